// The programme of the Windows tests played through the portable core as it
// is built natively: the digests that every DLL's run under Wine must
// reproduce bit for bit. Prints one "audio ID DIGEST" line per effect.
#include <cstdio>

#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "ui/window_actions.h"
#include "win32/programme.h"

namespace orve::wintest {
namespace {

class CorePlayer : public ProgrammePlayer {
public:
    explicit CorePlayer(PluginState& state) : state(state) {}

    bool Play(int first, int count) override {
        for (int b = first; b < first + count; ++b) {
            std::vector<int16_t> block = ProgrammeBlock(b, 2);
            const int32_t frames = ModifySamples(state, block.data(), kProgrammeFrames, 16, 2, 44100);
            if (frames < 0 || frames > 2 * kProgrammeFrames) return false;
            digest.Add(frames, block.data(), 2 * frames);
        }
        return true;
    }
    void SnapNoise() override { ui::PressSnapNoise(state); }
    bool ChoosePreset(int32_t row) override {
        ui::SliderPositions sliders;
        return ui::ChoosePreset(state, row, sliders);
    }

    AudioDigest digest;

private:
    PluginState& state;
};

}  // namespace
}  // namespace orve::wintest

int main() {
    using namespace orve;
    EmbeddedKernels kernels;
    for (const EffectEntry& effect : OfferedEffects()) {
        const int32_t id = EffectNumber(effect.id);
        if (!wintest::ComparesAudio(id)) continue;
        PluginState state(nullptr, &kernels, nullptr);
        {
            PluginState::Lock lock(state.processingLock);
            state.effectId = effect.id;
            BuildEffect(state, 44100, 2, false);
        }
        wintest::CorePlayer player(state);
        int32_t presets = 0;
        {
            PluginState::Lock lock(state.processingLock);
            presets = ui::PresetsOf(state.currentEffect.get()).count;
        }
        wintest::PlayProgramme(id, presets, player);
        std::printf("audio %2d %s\n", id, player.digest.Hex().c_str());
    }
    return 0;
}
