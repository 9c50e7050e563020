#include "plugin/effect_catalogue.h"

namespace orve {
namespace {

#define WHITE "\xA1\xF3"
#define BLACK "\xA1\xF4"
// The spaces inside the equaliser names are part of the names.
const char* const kDisplayNames[kEffectCount] = {
    WHITE "Level Tuning",
    WHITE "Level Dynamic",
    BLACK "Restoration-DeClick",
    BLACK "Restoration-DeHiss",
    BLACK "Restoration-DeNoise",
    BLACK "Restoration-DeEss",
    BLACK "Restoration-DeHum",
    WHITE "GEQ-  3 Bands 8/3 Oct",
    WHITE "GEQ-10 Bands 1    Oct",
    WHITE "GEQ-15 Bands 2/3 Oct",
    WHITE "GEQ-20 Bands 1/2 Oct",
    WHITE "GEQ-31 Bands 1/3 Oct",
    BLACK "Spacial-DeVocal Mono",
    BLACK "Spacial-DeVocal Stereo",
    BLACK "Spacial-SampleReverb",
    BLACK "Spacial-ModalReverb",
    BLACK "Spacial-Virtual3D",
    WHITE "T/P-Resampler",
    WHITE "T/P-TempoScaler",
    WHITE "T/P-PitchScaler",
    BLACK "Distortion-Vibrato",
    BLACK "Distortion-Whisper",
    BLACK "Dist-ASImpact",
};
#undef WHITE
#undef BLACK

int32_t Clamp(int32_t id) { return (id < 0 || id >= kEffectCount) ? 0 : id; }

}  // namespace

const char* EffectDisplayName(int32_t effectId) { return kDisplayNames[Clamp(effectId)]; }
const char* EffectText(int32_t effectId) { return kDisplayNames[Clamp(effectId)] + 2; }
bool EffectGlyphIsBlack(int32_t effectId) {
    return static_cast<unsigned char>(kDisplayNames[Clamp(effectId)][1]) == 0xF4;
}
std::string EffectNameUtf8(int32_t effectId) {
    return std::string(EffectGlyphIsBlack(effectId) ? "\xE2\x97\x86" : "\xE2\x97\x87") + EffectText(effectId);
}

}  // namespace orve
