#include "plugin/effect_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "effects/spatial/modal_reverb.h"
#include "plugin/audio_path.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "support/test_signals.h"

namespace orve {
namespace {

// The modal reverb as the window selects it, with the given Size.
ModalReverb& SelectReverb(PluginState& state, double size) {
    state.effectId = EffectId::ModalReverb;
    BuildEffect(state, 44100, 2, false);
    state.parameterValues[0] = size;
    state.currentEffect->SetParameters(state.parameterValues);
    BuildFirstWork(state);
    return static_cast<ModalReverb&>(*state.currentEffect);
}

int32_t PlayBlock(PluginState& state) {
    static const auto noise = test::Noise(2 * 576, 8000.0, 4);
    std::vector<int16_t> host(noise.begin(), noise.end());
    return ModifySamples(state, host.data(), 576, 16, 2, 44100);
}

// The rooms played, from the one playing now, block by block, while the
// deferred worker runs its work between blocks as the worker thread would
// (a finished room may come in with the very first block).
std::vector<double> Settle(PluginState& state, const ModalReverb& reverb, int blocks) {
    std::vector<double> rooms{reverb.Room(0).reverbSeconds};
    for (int i = 0; i < blocks; ++i) {
        state.worker->RunPending();
        PlayBlock(state);
        if (rooms.back() != reverb.Room(0).reverbSeconds) rooms.push_back(reverb.Room(0).reverbSeconds);
    }
    return rooms;
}

TEST(EffectWorker, AKnobDragBuildsOnlyItsLatestPosition) {
    PluginState state(nullptr);
    state.worker = std::make_unique<EffectWorker>(EffectWorker::Mode::Deferred);
    ModalReverb& reverb = SelectReverb(state, 2.0);
    const double size2 = Settle(state, reverb, 20).back();
    // A drag over ten blocks: the build for its first step is out all along,
    // so the blocks play on in the old room and nothing more is taken.
    for (int step = 1; step <= 10; ++step) {
        state.parameterValues[0] = 2.0 + 0.2 * step;
        reverb.SetParameters(state.parameterValues);
        EXPECT_EQ(PlayBlock(state), 576);
        EXPECT_EQ(reverb.Room(0).reverbSeconds, size2);
    }
    // Two rooms follow: the first step's (Size 2.2) and where the drag ended
    // (Size 4: twice the reverberation time of Size 2).
    const auto rooms = Settle(state, reverb, 200);
    ASSERT_EQ(rooms.size(), 3u);
    EXPECT_NEAR(rooms[1], 1.1 * size2, 1e-9);
    EXPECT_NEAR(rooms[2], 2.0 * size2, 1e-9);
}

TEST(EffectWorker, ThreadBuildsWhileBlocksPlayAndOutlivesReplacedEffects) {
    PluginState state(nullptr);
    state.worker = std::make_unique<EffectWorker>(EffectWorker::Mode::Thread);
    ModalReverb& first = SelectReverb(state, 2.0);
    PlayBlock(state);
    const double before = first.Room(0).reverbSeconds;
    state.parameterValues[0] = 8.0;
    first.SetParameters(state.parameterValues);
    // Every block plays whole while the room is built beside it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (first.Room(0).reverbSeconds == before && std::chrono::steady_clock::now() < deadline)
        ASSERT_EQ(PlayBlock(state), 576);
    EXPECT_NEAR(first.Room(0).reverbSeconds, 4.0 * before, 1e-9);
    // A build still out when its effect is replaced is released by the
    // worker, never handed to the new effect.
    state.parameterValues[0] = 10.0;
    first.SetParameters(state.parameterValues);
    PlayBlock(state);
    ModalReverb& second = SelectReverb(state, 3.0);
    PlayBlock(state);   // the new effect's first block: its latency held back
    while (second.Room(0).reverbSeconds == before && std::chrono::steady_clock::now() < deadline)
        ASSERT_EQ(PlayBlock(state), 576);
    for (int i = 0; i < 100; ++i) PlayBlock(state);
    EXPECT_NEAR(second.Room(0).reverbSeconds, 1.5 * before, 1e-9);
}

}  // namespace
}  // namespace orve
