#include "effects/timepitch/tempo_scaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/spectral_effect.h"

namespace orve {
namespace {

// The knob holds log2 of the stretch factor (output duration / input duration).
// It stops at 2.0 because the audio path takes back at most twice a block.
const KnobSpec kKnobs[] = {
    {"Tempo", 1.0, -1.3, 0.0, "\xC3\x97",
     "Duration factor with the pitch kept: 2 plays twice as long (half speed), 0.5 twice as fast, 1 "
     "leaves the tempo."},
};

const double kOriginal[] = {0.0, 0.0};
const double kSpeedUp[] = {0.0, -0.4};
const double kSlowDown[] = {0.0, 0.4};
const double kCustom[] = {0.0, 0.0};
const EffectPreset kPresets[] = {
    {"Original", kOriginal},
    {"SpeedUp", kSpeedUp},
    {"SlowDown", kSlowDown},
    {"Custom", kCustom},
};

// Frames of the starting step that are held back: the fraction of D in
// synthesis hops, rounded to the nearest frame (exactly half rounds down).
int32_t StartUpSkip(double D, int32_t Hs) {
    const double y = (D - std::trunc(D)) * Hs;
    int32_t skip = static_cast<int32_t>(y);
    if (y - skip > 0.5) ++skip;
    return skip;
}

}  // namespace

TempoScaler::TempoScaler(double sampleRate, int32_t channels, double frameSeconds, double hopFraction,
                         double tempo, double searchSeconds)
    : EffectProcessor(5000),
      tempo(tempo),
      searchSeconds(searchSeconds),
      frameSeconds(frameSeconds),
      sampleRate(sampleRate),
      ch(channels),
      hopFraction(hopFraction) {
    N = ChooseFrameLength(static_cast<int32_t>(sampleRate * frameSeconds), 2);
    L = ChooseFrameLength(static_cast<int32_t>((1.0 - hopFraction) * N), 2);
    Hs = N - L;
    S = static_cast<int32_t>(sampleRate * searchSeconds);
    B = static_cast<int32_t>(2.5 * Hs + S + L);
    Ha = static_cast<int32_t>(Hs / tempo);

    corrA.assign(2 * L * ch, 0.0);
    corrB.assign(2 * L * ch, 0.0);
    fft = std::make_unique<FftEngine>(2 * L * ch, FftKind::Real);
    history.assign(static_cast<size_t>(B) * ch, 0.0);
    accumulator.assign(static_cast<size_t>(N) * ch, 0.0);

    // Blackman-Harris, normalised so that the squares of the windows meeting at
    // any output position sum to one, then squared: frames added at hop Hs then
    // sum to exactly one, and an unshifted stretch at tempo 1 is transparent.
    std::vector<double> w(N, 1.0);
    if (N > 1) {
        for (int32_t i = 0; i < N; ++i) {
            const double x = 2.0 * M_PI * i / (N - 1);
            w[i] = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        }
    }
    for (int32_t r = 0; r < Hs; ++r) {
        double s = 0.0;
        for (int32_t i = r; i < N; i += Hs) s += w[i] * w[i];
        const double scale = s > 0.0 ? 1.0 / std::sqrt(s) : 1.0;
        for (int32_t i = r; i < N; i += Hs) w[i] *= scale;
    }
    window.resize(static_cast<size_t>(N) * ch);
    for (int32_t i = 0; i < N; ++i)
        for (int32_t c = 0; c < ch; ++c) window[i * ch + c] = w[i] * w[i];
    ServeTables(kKnobs, kPresets);
}

void TempoScaler::SetParameters(const double* values) {
    // Held to the knob's range: beyond it the analysis hop would outgrow the
    // history (and the audio path cannot take back more than twice a block).
    tempo = std::pow(2.0, std::clamp(values[0], kKnobs[0].endValue, kKnobs[0].startValue));
    Ha = static_cast<int32_t>(Hs / tempo);
}

int32_t TempoScaler::ExtraOutput() { return outFill; }

double TempoScaler::DisplayValue(int32_t knobIndex, double value) {
    return knobIndex == 0 ? std::pow(2.0, value) : value;
}

int32_t TempoScaler::Reset() {
    inFill = outFill = 0;
    stepCount = 0;
    std::fill(history.begin(), history.end(), 0.0);
    std::fill(accumulator.begin(), accumulator.end(), 0.0);
    return EffectProcessor::Reset();
}

int32_t TempoScaler::ProcessBlock(const double* in, double* out, int32_t inCount, int32_t capacity,
                                  int32_t /*channelMask: every channel is stretched*/) {
    if (inCount > 0) {
        GrowBuffer(inBuffer, inCapacity, inFill + inCount, inFill);
        std::memmove(inBuffer + inFill, in, sizeof(double) * inCount);
        inFill += inCount;
    }
    int32_t consumed = 0;
    while (inFill - consumed >= Ha * ch) {
        GrowBuffer(outBuffer, outCapacity, outFill + Hs * ch, outFill);
        const int32_t step = Ha * ch;   // Ha as it stands before this step
        outFill += RunStep(inBuffer + consumed, outBuffer + outFill);
        consumed += step;
    }
    if (consumed > 0) {
        inFill -= consumed;
        if (inFill > 0) std::memmove(inBuffer, inBuffer + consumed, sizeof(double) * inFill);
    }
    if (outFill < capacity || capacity <= 0) return 0;
    std::memcpy(out, outBuffer, sizeof(double) * capacity);
    outFill -= capacity;
    if (outFill > 0) std::memmove(outBuffer, outBuffer + capacity, sizeof(double) * outFill);
    return capacity;
}

int32_t TempoScaler::BestOffset(int32_t base) {
    const int32_t Lv = L * ch, twoLv = 2 * Lv;
    std::copy(accumulator.begin(), accumulator.begin() + Lv, corrA.begin());
    std::fill(corrA.begin() + Lv, corrA.end(), 0.0);
    const double* segment = history.data() + static_cast<size_t>(base) * ch;
    std::copy(segment, segment + Lv, corrB.begin());
    std::fill(corrB.begin() + Lv, corrB.end(), 0.0);

    double* a = corrA.data();
    double* b = corrB.data();
    fft->ForwardReal(a);
    fft->ForwardReal(b);
    // corrB = corrA x conj(corrB): the circular cross-correlation for all lags at once.
    b[0] *= a[0];
    b[twoLv - 1] *= a[twoLv - 1];
    for (int32_t k = 1; k < Lv; ++k) {
        const double ar = a[2 * k - 1], ai = a[2 * k], br = b[2 * k - 1], bi = b[2 * k];
        b[2 * k - 1] = ar * br + ai * bi;
        b[2 * k] = ai * br - ar * bi;
    }
    fft->InverseReal(b);

    // Candidates in the order 0, +1, -1, +2, -2, ... frames; only a strictly
    // larger positive correlation replaces the choice, so silence stays at 0.
    //
    // Offsets are whole frames: with interleaved channels an offset of an odd
    // number of values would start the frame on the other channel's sample
    // and swap (or smear) the channels. Lags that are multiples of ch correlate
    // each channel with itself and sum over the channels.
    //
    // The frame must also end inside the history (base + d + N <= B). The
    // backward search keeps its full reach; forward offsets are limited to the
    // input that has actually arrived. At the fastest tempo at 44100 Hz that
    // still leaves 235 frames forward and 2205 back - more than a period of any
    // audible fundamental, so a matching position is always within reach.
    //
    // (Where the search range exceeds the overlap L, as at 44100 Hz, the lags
    // beyond L wrap round the circular correlation onto lags of the other
    // direction with only a sliver of overlap; their values stay small and
    // do not win against a genuine match.)
    const int32_t reach = std::min(S, Ha);
    const int32_t forwardRoom = B - N - base;
    double best = 0.0;
    int32_t d = 0;
    for (int32_t f = 0; f < reach; ++f) {
        const double behind = b[f * ch];
        if (behind > best) {
            best = behind;
            d = -f;
        }
        if (f + 1 <= forwardRoom) {
            const double ahead = b[twoLv - (f + 1) * ch];
            if (ahead > best) {
                best = ahead;
                d = f + 1;
            }
        }
    }
    return d;
}

int32_t TempoScaler::FrameBase() const {
    // Nominal start Ha; bounded so that the frame always lies inside the
    // history (only sample rates whose history is short relative to the
    // fastest analysis hop ever need the bound; at 44100 Hz it never acts).
    return std::max(0, std::min(Ha, B - N));
}

double TempoScaler::StartUpSteps() const {
    const double Hv = static_cast<double>(Ha) * ch, Bv = static_cast<double>(B) * ch;
    return ((Bv - Hv) / Hv - 1.0) / tempo;
}

double TempoScaler::StartUpLead() const {
    // Step s lays the centre of its frame - input frame Ha (s + 1) - B + base
    // + N/2 - at time-line position s Hs + N/2, and the released stream begins
    // at time-line position `released`. Measured from frame centres, where the
    // window puts its weight, the lag is the same for every step.
    const double D = StartUpSteps();
    const double released = D < 0.0 ? 0.0 : std::trunc(D) * Hs + StartUpSkip(D, Hs);
    const double stretch = static_cast<double>(Hs) / Ha;
    return N / 2.0 - Hs - released + stretch * (B - FrameBase() - N / 2.0);
}

int32_t TempoScaler::RunStep(const double* hopValues, double* dest) {
    const int32_t Hv = Ha * ch, Bv = B * ch, Lv = L * ch, Nv = N * ch, Hsv = Hs * ch;
    double* h = history.data();
    double* acc = accumulator.data();

    std::memmove(h, h + Hv, sizeof(double) * (Bv - Hv));
    std::memcpy(h + Bv - Hv, hopValues, sizeof(double) * Hv);
    // The first L frames are now the overlap tail the new frame has to join.
    std::memmove(acc, acc + Hsv, sizeof(double) * (Nv - Hsv));

    const int32_t base = FrameBase();
    // At tempo 1 the frames already line up (Ha = Hs): no search, no shift,
    // and the windows sum to one, so the stream passes unchanged.
    const int32_t d = Stretches() ? BestOffset(base) : 0;
    const double* frame = h + static_cast<size_t>(base + d) * ch;
    for (int32_t i = 0; i < Lv; ++i) acc[i] += window[i] * frame[i];
    for (int32_t i = Lv; i < Nv; ++i) acc[i] = window[i] * frame[i];

    // Start-up: the first steps release what stems from the zero-filled
    // history. D is the step (with its fractional part) at which output
    // begins; at tempo 1 the skip removes exactly the frames before the first
    // input value.
    //
    // Only there is the rule exact. D Hs comes to about B - 2 Ha frames of
    // time line whatever the tempo (the division by the tempo cancels the
    // Hs / Ha of counting in steps), but the part of the time line that stems
    // from the zero-filled history is stretched like the rest, to about
    // (B - 2 Ha - N/2) Hs / Ha + N/2 frames. So at other tempi the image of
    // the input starts StartUpLead() frames late or early: 0.12 s late at
    // tempo 2, 11 ms early at "SpeedUp". A player hears that as a little more
    // or less latency, so the rule stays as it is; a host that writes the
    // stretched stream to a file of the stretched length shifts it by
    // StartUpLead() so as to keep the end of the input.
    const double D = StartUpSteps();
    int32_t produced = 0;
    if (stepCount > D) {
        std::memcpy(dest, acc, sizeof(double) * Hsv);
        produced = Hsv;
    } else if (stepCount == static_cast<int32_t>(D)) {
        const int32_t skip = StartUpSkip(D, Hs);
        produced = Hsv - skip * ch;
        std::memcpy(dest, acc + skip * ch, sizeof(double) * produced);
    }
    ++stepCount;
    return produced;
}

}  // namespace orve
