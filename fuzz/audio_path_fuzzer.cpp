// The audio path as a player and a user drive it: blocks of any width,
// channel count, length and sample rate, with the window's actions (effect,
// preset, knobs, gain, switches, Snap Noise) between them, all decoded from
// the input. A block gives back at most twice its frames, in place.
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/plugin_state.h"
#include "ui/window_actions.h"

namespace {
using namespace orve;

class QuietUi : public HostUi {
public:
    void ShowError(const char*) override {}
    bool HasMainWindow() const override { return true; }
    void DrawMeter(int32_t, int32_t, int32_t) override {}
    void LayChannelSwitches(int32_t) override {}
};

enum class Action : uint8_t { Block, Effect, Preset, Knobs, Gain, Switches, SnapNoise, Layout, Count };

const int64_t kUsualRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};
const int64_t kUsualChannels[] = {1, 2, 2, 2, 6};
const int64_t kUsualFrames[] = {0, 1, 64, 576, 576, 1152, 4096};
const int64_t kUsualWidths[] = {8, 16, 16, 32};
// Samples per input beyond which no more blocks run, so that one input
// cannot take minutes.
constexpr int64_t kSampleBudget = int64_t{1} << 21;

// Samples of the block's width (little-endian, as the hosts hand them):
// noise at a level the input chooses, from full scale down to the last bit,
// from a generator seeded by the input.
void FillBlock(fuzz::FuzzInput& in, std::vector<uint8_t>& bytes, int32_t bps, int64_t count) {
    uint64_t seed = in.Bits32() | 1;
    const int shift = in.Byte() % 32;
    const int width = bps == 8 ? 1 : (bps == 16 ? 2 : 4);
    for (int64_t i = 0; i < count; ++i) {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(seed >> 32)) >> shift;
        // 8-bit PCM has its zero at 128.
        const uint32_t u = (static_cast<uint32_t>(v) >> (32 - 8 * width)) ^ (width == 1 ? 0x80u : 0u);
        std::memcpy(&bytes[static_cast<size_t>(i * width)], &u, static_cast<size_t>(width));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static EmbeddedKernels kernels;
    QuietUi ui;
    PluginState state(nullptr, &kernels, &ui);
    fuzz::FuzzInput in(data, size);
    std::vector<uint8_t> bytes;
    int64_t budget = kSampleBudget;
    while (!in.Empty() && budget > 0) {
        switch (static_cast<Action>(in.Byte() % static_cast<uint8_t>(Action::Count))) {
            case Action::Block: {
                const int32_t srate = static_cast<int32_t>(in.UsualOr(kUsualRates, 0, INT32_MAX));
                const int32_t nch = static_cast<int32_t>(in.UsualOr(kUsualChannels, 0, 16));
                const int32_t frames = static_cast<int32_t>(in.UsualOr(kUsualFrames, 0, 65536));
                const int32_t bps = static_cast<int32_t>(in.UsualOr(kUsualWidths, INT32_MIN, INT32_MAX));
                const int64_t count = int64_t{frames} * nch;
                const int width = bps == 8 ? 1 : (bps == 16 ? 2 : 4);
                // Exactly the room the path may use, so that ASan sees any write beyond it.
                bytes.assign(static_cast<size_t>(2 * count * width), 0);
                FillBlock(in, bytes, bps == 8 || bps == 16 ? bps : 32, count);
                budget -= count;
                const int32_t produced = ModifySamples(state, bytes.data(), frames, bps, nch, srate);
                ORVE_FUZZ_CHECK(produced >= 0 && produced <= 2 * frames);
                ORVE_FUZZ_CHECK(state.meterLeft >= 0 && state.meterLeft <= 100);
                ORVE_FUZZ_CHECK(state.meterRight >= 0 && state.meterRight <= 100);
                break;
            }
            case Action::Effect: {
                const EffectRows rows = OfferedEffects();
                const EffectEntry& entry = rows.first[in.Range(0, rows.last - rows.first - 1)];
                ui::SelectEffect(state, EffectNumber(entry.id));
                break;
            }
            case Action::Preset: {
                ui::SliderPositions sliders;
                ui::ChoosePreset(state, static_cast<int32_t>(in.Range(-2, 40)), sliders);
                break;
            }
            case Action::Knobs: {
                int32_t positions[kMaxKnobs];
                const int32_t count = static_cast<int32_t>(in.Range(0, kMaxKnobs));
                for (int32_t i = 0; i < count; ++i)
                    positions[i] = in.Byte() < 240 ? static_cast<int32_t>(in.Range(0, kKnobPositionMax))
                                                   : static_cast<int32_t>(in.Bits32());
                ui::MoveKnobs(state, positions, count);
                ui::KnobThumbText(state, static_cast<int32_t>(in.Range(-1, kMaxKnobs)), static_cast<int32_t>(in.Bits32()));
                break;
            }
            case Action::Gain: ui::MoveGain(state, static_cast<int32_t>(in.Range(0, kKnobPositionMax))); break;
            case Action::Switches: {
                const uint8_t b = in.Byte();
                if (b & 4) ui::SetPassSwitch(state, b & 1);
                else ui::SetChannelSwitches(state, b & 1, b & 2);
                break;
            }
            case Action::SnapNoise: ui::PressSnapNoise(state); break;
            case Action::Layout: ui::PrepareLayout(state); break;
            case Action::Count: break;
        }
    }
    return 0;
}
