#include "plugin/effect_catalogue.h"

#include <iterator>

#include "effects/distortion/vibrato.h"
#include "effects/distortion/whisper.h"
#include "effects/equaliser/graphic_eq.h"
#include "effects/level/level_dynamic.h"
#include "effects/restoration/de_click.h"
#include "effects/restoration/de_ess.h"
#include "effects/restoration/de_hiss.h"
#include "effects/restoration/de_hum.h"
#include "effects/restoration/de_noise.h"
#include "effects/spatial/de_vocal_mono.h"
#include "effects/spatial/de_vocal_stereo.h"
#include "effects/spatial/modal_reverb.h"
#include "effects/spatial/sample_reverb.h"
#include "effects/spatial/virtual_3d.h"
#include "effects/timepitch/pitch_scaler.h"
#include "effects/timepitch/resampler.h"
#include "effects/timepitch/tempo_scaler.h"

namespace orve {
namespace {

// Every effect is built from the stream format and, for the equalisers, its
// band count.
template <class Effect, auto... extra>
std::unique_ptr<EffectProcessor> Build(const EffectBuildContext& c) {
    return std::make_unique<Effect>(c.sampleRate, c.channels, extra...);
}

std::unique_ptr<EffectProcessor> PassThrough(const EffectBuildContext&) {
    return std::make_unique<EffectProcessor>(6000);
}

// The two effects that play embedded impulse responses. A set that is absent,
// or too short for its layout, reaches the effect as missing: the effect
// reports it and stays silent instead of reading past it.

std::unique_ptr<EffectProcessor> BuildSampleReverb(const EffectBuildContext& c) {
    size_t count = 0;
    const int16_t* rooms = c.Kernel(kRoomSetId, &count);
    if (rooms && !RoomSetFits(rooms, count)) rooms = nullptr;
    return std::make_unique<SampleReverb>(c.sampleRate, c.channels, rooms, 1, c.errors);
}

std::unique_ptr<EffectProcessor> BuildVirtual3D(const EffectBuildContext& c) {
    size_t count = 0;
    const int16_t* responses = c.Kernel(kHrirSetId, &count);
    if (count < static_cast<size_t>(kHrirValues)) responses = nullptr;
    return std::make_unique<Virtual3D>(c.sampleRate, responses, 0.0, 0.0, c.errors, c.channels);
}

std::unique_ptr<EffectProcessor> BuildModalReverb(const EffectBuildContext& c) {
    return std::make_unique<ModalReverb>(c.sampleRate, c.channels, c.seed);
}

// Window widths: hosts from the wide-frame version on give most effects more room.
constexpr WindowWidths kSmallWindow{276, 315};
constexpr WindowWidths kDeNoiseWindow{347, 390};
constexpr WindowWidths kLargeWindow{400, 440};
constexpr bool kPassOnly = true;
constexpr bool kAnyChannels = false;

#define WHITE "\xA1\xF3"
#define BLACK "\xA1\xF4"
// The spaces inside the equaliser names are part of the names.
constexpr EffectEntry kCatalogue[] = {
    {EffectId::LevelTuning, WHITE "Level Tuning", EffectFamily::Level, PassThrough, kSmallWindow,
     kAnyChannels,
     "Sets the output level only: the signal passes untouched and the gain slider scales it."},
    {EffectId::LevelDynamic, WHITE "Level Dynamic", EffectFamily::Level, Build<LevelDynamic>, kLargeWindow,
     kAnyChannels,
     "A downward compressor. A look-ahead RMS detector follows the level of each channel and turns "
     "loud passages down above the threshold, so that speech and music play at a steadier level."},
    {EffectId::DeClick, BLACK "Restoration-DeClick", EffectFamily::Restoration, Build<DeClick>, kSmallWindow,
     kAnyChannels,
     "Finds short impulsive disturbances such as record clicks and crackle in each channel and "
     "rebuilds the damaged samples from their surroundings, first by a pitch-synchronous or linear "
     "estimate and then by autoregressive interpolation. Every sample is examined, at any sample "
     "rate; digital silence, such as the start and end of a track, is never taken for a click."},
    {EffectId::DeHiss, BLACK "Restoration-DeHiss", EffectFamily::Restoration, Build<DeHiss>, kSmallWindow,
     kAnyChannels,
     "Lowers broadband hiss with a spectral gain per frequency bin. It needs no noise sample: the hiss "
     "level is estimated continuously from the top of the spectrum of every frame."},
    {EffectId::DeNoise, BLACK "Restoration-DeNoise", EffectFamily::Restoration, Build<DeNoise>, kDeNoiseWindow,
     kAnyChannels,
     "Removes steady background noise (hum of fans, tape noise, air conditioning). It first listens to "
     "a stretch of the noise, with the output muted, and then attenuates every frequency bin by how "
     "far it stands above that noise. \"Snap Noise\" starts a new learning stretch at any time."},
    {EffectId::DeEss, BLACK "Restoration-DeEss", EffectFamily::Restoration, Build<DeEss>, kSmallWindow,
     kAnyChannels,
     "Tames sharp sibilants (s, sh, t). When the upper band holds more than its usual share of the "
     "energy of a frame, that band is turned down in proportion to the excess."},
    {EffectId::DeHum, BLACK "Restoration-DeHum", EffectFamily::Restoration, Build<DeHum>, kLargeWindow,
     kAnyChannels,
     "Cancels mains hum and its harmonics with an adaptive filter per channel that predicts the signal "
     "one hum period back and keeps only what does not repeat with the hum."},
    {EffectId::Geq3Bands, WHITE "GEQ-  3 Bands 8/3 Oct", EffectFamily::Equaliser, Build<GraphicEq, 3>, kLargeWindow,
     kAnyChannels,
     "A three-band graphic equaliser: a low shelf, one peaking band and a high shelf, each band spanning "
     "about 8/3 octave, with its gain in dB on a knob."},
    {EffectId::Geq10Bands, WHITE "GEQ-10 Bands 1    Oct", EffectFamily::Equaliser, Build<GraphicEq, 10>, kLargeWindow,
     kAnyChannels,
     "A ten-band graphic equaliser, one band per octave, each band's gain in dB on a knob."},
    {EffectId::Geq15Bands, WHITE "GEQ-15 Bands 2/3 Oct", EffectFamily::Equaliser, Build<GraphicEq, 15>,
     WindowWidths{500, 500}, kAnyChannels,
     "A fifteen-band graphic equaliser in steps of 2/3 octave, each band's gain in dB on a knob."},
    {EffectId::Geq20Bands, WHITE "GEQ-20 Bands 1/2 Oct", EffectFamily::Equaliser, Build<GraphicEq, 20>,
     WindowWidths{640, 640}, kAnyChannels,
     "A twenty-band graphic equaliser in half-octave steps, each band's gain in dB on a knob."},
    {EffectId::Geq31Bands, WHITE "GEQ-31 Bands 1/3 Oct", EffectFamily::Equaliser, Build<GraphicEq, 31>,
     WindowWidths{950, 950}, kAnyChannels,
     "A thirty-one-band graphic equaliser in third-octave steps, each band's gain in dB on a knob."},
    {EffectId::DeVocalMono, BLACK "Spacial-DeVocal Mono", EffectFamily::Spacial, Build<DeVocalMono>, kLargeWindow,
     kPassOnly,
     "Removes a centre-panned voice: inside the chosen frequency band both channels are replaced by "
     "their pan-weighted difference, so that what is common to both cancels. The band comes out as "
     "one signal in opposite phase on the two channels."},
    {EffectId::DeVocalStereo, BLACK "Spacial-DeVocal Stereo", EffectFamily::Spacial, Build<DeVocalStereo>, kLargeWindow,
     kPassOnly,
     "Removes or brings forward a centre-panned voice while keeping the stereo image: for every "
     "frequency bin inside the band it estimates the part common to both channels and subtracts it "
     "from each channel, or adds it."},
    {EffectId::SampleReverb, BLACK "Spacial-SampleReverb", EffectFamily::Spacial, BuildSampleReverb, kLargeWindow,
     kAnyChannels,
     "A convolution reverb with fourteen rooms, each with the reverberation time its name suggests "
     "(a tenth of a second in a car, 0.3 s in a studio, 2 s in a concert hall, 4 s in a stairwell). "
     "Each channel is convolved with the room's response for its side; the room is chosen through "
     "the preset list."},
    {EffectId::ModalReverb, BLACK "Spacial-ModalReverb", EffectFamily::Spacial, BuildModalReverb, kLargeWindow,
     kAnyChannels,
     "A room reverb computed from a model: the room size, shape and surfaces on the knobs give a "
     "shoebox room whose impulse response (direct sound, early reflections and a decaying tail) is "
     "synthesised for each ear and convolved with the signal."},
    {EffectId::Virtual3D, BLACK "Spacial-Virtual3D", EffectFamily::Spacial, BuildVirtual3D, kLargeWindow,
     kPassOnly,
     "Places the sound at a direction around the listener's head, for headphones: each channel is "
     "filtered with the measured head-related response of the nearest grid direction. A mono "
     "stream gets the mean of both ears' responses, so left and right play equally loud."},
    {EffectId::Resampler, WHITE "T/P-Resampler", EffectFamily::TimePitch, Build<Resampler>, kLargeWindow,
     kPassOnly,
     "Plays the stream faster or slower like a tape at another speed: it is resampled by a factor, "
     "so speed and pitch change together."},
    {EffectId::TempoScaler, WHITE "T/P-TempoScaler", EffectFamily::TimePitch, Build<TempoScaler>, kLargeWindow,
     kPassOnly,
     "Changes the playing time without changing the pitch, by synchronised overlap-add of frames "
     "that are shifted to match the waveform of the output built so far."},
    {EffectId::PitchScaler, WHITE "T/P-PitchScaler", EffectFamily::TimePitch, Build<PitchScaler>, kLargeWindow,
     kAnyChannels,
     "Raises or lowers the pitch without changing the duration, with a phase vocoder that moves "
     "each spectral peak, with the bins around it, to its new frequency and keeps their phases "
     "locked: the level stays and the tone stays clean over the whole range."},
    {EffectId::Vibrato, BLACK "Distortion-Vibrato", EffectFamily::Distortion, Build<Vibrato>, kSmallWindow,
     kAnyChannels,
     "A vibrato: each channel is read through a delay line whose length follows a sine wave, so the "
     "pitch swings periodically."},
    {EffectId::Whisper, BLACK "Distortion-Whisper", EffectFamily::Distortion, Build<Whisper>, kSmallWindow,
     kAnyChannels,
     "Turns voiced sound into a whisper by keeping the short-time magnitude spectrum and replacing the "
     "phases with random ones; \"Wet\" blends the measured and the random phase."},
    {EffectId::AsImpact, BLACK "Dist-ASImpact", EffectFamily::Distortion, PassThrough, kSmallWindow,
     kAnyChannels,
     "Not offered: the signal passes untouched."},
};
#undef WHITE
#undef BLACK

static_assert(std::size(kCatalogue) == static_cast<size_t>(kEffectCount), "one row per EffectId");

constexpr bool RowsInIdOrder() {
    for (int32_t i = 0; i < kEffectCount; ++i)
        if (EffectNumber(kCatalogue[i].id) != i) return false;
    return true;
}
static_assert(RowsInIdOrder(), "row i describes EffectId i");

}  // namespace

const EffectEntry& CatalogueEntry(EffectId id) {
    const int32_t number = EffectNumber(id);
    return kCatalogue[number >= 0 && number < kEffectCount ? number : 0];
}

std::optional<EffectId> OfferedEffect(int32_t number) {
    if (number < 0 || number >= kSelectableEffects) return std::nullopt;
    return kCatalogue[number].id;
}

EffectRows OfferedEffects() { return {kCatalogue, kCatalogue + kSelectableEffects}; }

std::string EffectEntry::NameUtf8() const {
    return std::string(GlyphIsBlack() ? "\xE2\x97\x86" : "\xE2\x97\x87") + Text();
}

const int16_t* EffectBuildContext::Kernel(int32_t resourceId, size_t* valueCount) const {
    size_t count = 0;
    const int16_t* data = kernels ? kernels->Find(resourceId, &count) : nullptr;
    if (valueCount) *valueCount = data ? count : 0;
    return data;
}

}  // namespace orve
