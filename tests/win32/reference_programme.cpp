// The programme of the Windows tests played through the portable core as it
// is built natively: the digests that every DLL's run under Wine must
// reproduce bit for bit. Prints one "audio ID DIGEST" line per effect.
#include <cstdio>

#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "ui/window_actions.h"
#include "win32/programme.h"

namespace {

using namespace orve;

struct CorePlayer {
    PluginState& state;
    wintest::AudioDigest digest{};

    bool Play(int first, int count) {
        for (int b = first; b < first + count; ++b) {
            std::vector<int16_t> block = wintest::ProgrammeBlock(b, 2);
            const int32_t frames = ModifySamples(state, block.data(), wintest::kProgrammeFrames, 16, 2, 44100);
            if (frames < 0 || frames > 2 * wintest::kProgrammeFrames) return false;
            digest.Add(frames, block.data(), 2 * frames);
        }
        return true;
    }
    void SnapNoise() { ui::PressSnapNoise(state); }
    bool ChoosePreset(int32_t row) {
        ui::SliderPositions sliders;
        return ui::ChoosePreset(state, row, sliders);
    }
};

}  // namespace

int main() {
    orve::EmbeddedKernels kernels;
    for (const orve::EffectEntry& effect : orve::OfferedEffects()) {
        const int32_t id = orve::EffectNumber(effect.id);
        if (!orve::wintest::ComparesAudio(id)) continue;
        orve::PluginState state(nullptr, &kernels, nullptr);
        state.effectId = effect.id;
        orve::BuildEffect(state, 44100, 2, false);
        CorePlayer player{state};
        orve::wintest::PlayProgramme(id, orve::ui::PresetsOf(state.currentEffect.get()).count, player);
        std::printf("audio %2d %s\n", id, player.digest.Hex().c_str());
    }
    return 0;
}
