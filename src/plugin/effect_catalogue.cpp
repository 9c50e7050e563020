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

const char* const kDescriptions[kEffectCount] = {
    "Sets the output level only: the signal passes untouched and the gain slider scales it.",
    "A downward compressor. A look-ahead RMS detector follows the level of each channel and turns "
    "loud passages down above the threshold, so that speech and music play at a steadier level.",
    "Finds short impulsive disturbances such as record clicks and crackle in each channel and "
    "rebuilds the damaged samples from their surroundings, first by a pitch-synchronous or linear "
    "estimate and then by autoregressive interpolation. Every sample is examined, at any sample "
    "rate; digital silence, such as the start and end of a track, is never taken for a click.",
    "Lowers broadband hiss with a spectral gain per frequency bin. It needs no noise sample: the hiss "
    "level is estimated continuously from the top of the spectrum of every frame.",
    "Removes steady background noise (hum of fans, tape noise, air conditioning). It first listens to "
    "a stretch of the noise, with the output muted, and then attenuates every frequency bin by how "
    "far it stands above that noise. \"Snap Noise\" starts a new learning stretch at any time.",
    "Tames sharp sibilants (s, sh, t). When the upper band holds more than its usual share of the "
    "energy of a frame, that band is turned down in proportion to the excess.",
    "Cancels mains hum and its harmonics with an adaptive filter per channel that predicts the signal "
    "one hum period back and keeps only what does not repeat with the hum.",
    "A three-band graphic equaliser: a low shelf, one peaking band and a high shelf, each band spanning "
    "about 8/3 octave, with its gain in dB on a knob.",
    "A ten-band graphic equaliser, one band per octave, each band's gain in dB on a knob.",
    "A fifteen-band graphic equaliser in steps of 2/3 octave, each band's gain in dB on a knob.",
    "A twenty-band graphic equaliser in half-octave steps, each band's gain in dB on a knob.",
    "A thirty-one-band graphic equaliser in third-octave steps, each band's gain in dB on a knob.",
    "Removes a centre-panned voice: inside the chosen frequency band both channels are replaced by "
    "their pan-weighted difference, so that what is common to both cancels. The band comes out as "
    "one signal in opposite phase on the two channels.",
    "Removes or brings forward a centre-panned voice while keeping the stereo image: for every "
    "frequency bin inside the band it estimates the part common to both channels and subtracts it "
    "from each channel, or adds it.",
    "A convolution reverb with fourteen rooms, each with the reverberation time its name suggests "
    "(a tenth of a second in a car, 0.3 s in a studio, 2 s in a concert hall, 4 s in a stairwell). "
    "Each channel is convolved with the room's response for its side; the room is chosen through "
    "the preset list.",
    "A room reverb computed from a model: the room size, shape and surfaces on the knobs give a "
    "shoebox room whose impulse response (direct sound, early reflections and a decaying tail) is "
    "synthesised for each ear and convolved with the signal.",
    "Places the sound at a direction around the listener's head, for headphones: each channel is "
    "filtered with the measured head-related response of the nearest grid direction. A mono "
    "stream gets the mean of both ears' responses, so left and right play equally loud.",
    "Plays the stream faster or slower like a tape at another speed: it is resampled by a factor, "
    "so speed and pitch change together.",
    "Changes the playing time without changing the pitch, by synchronised overlap-add of frames "
    "that are shifted to match the waveform of the output built so far.",
    "Raises or lowers the pitch without changing the duration, with a phase vocoder that moves "
    "each spectral peak, with the bins around it, to its new frequency and keeps their phases "
    "locked: the level stays and the tone stays clean over the whole range.",
    "A vibrato: each channel is read through a delay line whose length follows a sine wave, so the "
    "pitch swings periodically.",
    "Turns voiced sound into a whisper by keeping the short-time magnitude spectrum and replacing the "
    "phases with random ones; \"Wet\" blends the measured and the random phase.",
    "Not offered: the signal passes untouched.",
};

int32_t Clamp(int32_t id) { return (id < 0 || id >= kEffectCount) ? 0 : id; }

}  // namespace

const char* EffectDisplayName(int32_t effectId) { return kDisplayNames[Clamp(effectId)]; }
const char* EffectText(int32_t effectId) { return kDisplayNames[Clamp(effectId)] + 2; }
bool EffectGlyphIsBlack(int32_t effectId) {
    return static_cast<unsigned char>(kDisplayNames[Clamp(effectId)][1]) == 0xF4;
}
const char* EffectDescription(int32_t effectId) { return kDescriptions[Clamp(effectId)]; }
std::string EffectNameUtf8(int32_t effectId) {
    return std::string(EffectGlyphIsBlack(effectId) ? "\xE2\x97\x86" : "\xE2\x97\x87") + EffectText(effectId);
}

}  // namespace orve
