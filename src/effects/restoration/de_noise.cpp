#include "effects/restoration/de_noise.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Window", 500.0, 5.0, 50.0, "ms",
     "Length of the analysis frames in milliseconds; longer frames separate steady noise from tones "
     "more finely but smear sharp attacks (a change starts learning the noise again)."},
    {"NoiseLen", 10.0, 1.0, 4.0, "frames",
     "How long the noise is listened to after Snap Noise, in analysis frames (this times Window); "
     "longer gives a steadier noise profile."},
    {"Thresh", 1.0, 0.0, 0.5, "",
     "Strength of the removal from 0 to 1; higher values take away more noise and, near the top, risk "
     "a watery sound."},
};

}  // namespace

// The transform and spectra of one frame length, in the order of their
// fields in DeNoise: noisePower, magnitude, smoothedMagnitude, gain,
// prevPostSnr, postSnr, priorSnr.
struct DeNoise::Spectra {
    static constexpr int kArrays = 7;
    std::unique_ptr<FftEngine> fft;
    std::vector<double> arrays[kArrays];

    void Make(int32_t frameLength, int32_t channels) {
        fft = std::make_unique<FftEngine>(frameLength, FftKind::Real);
        const size_t values = static_cast<size_t>(channels) * (frameLength / 2 + 1);
        // A fresh profile, unity gains.
        const double start[kArrays] = {0.0, 0.0, 0.0, 1.0, 1.0, 0.0, 0.0};
        for (int i = 0; i < kArrays; ++i) arrays[i].assign(values, start[i]);
    }
};

void DeNoise::SwapSpectra(Spectra& s) {
    fft.swap(s.fft);
    binCount = frameLength / 2 + 1;
    std::vector<double>* fields[Spectra::kArrays] = {&noisePower,  &magnitude, &smoothedMagnitude, &gain,
                                                    &prevPostSnr, &postSnr,   &priorSnr};
    for (int i = 0; i < Spectra::kArrays; ++i) fields[i]->swap(s.arrays[i]);
    learnedFrames = 0;
    if (profileReady) ++profileVersion;
    profileReady = false;
    learnOrigin = 0;
    // A profile taken for this frame length replaces the learning; swapped,
    // so nothing is allocated or released here.
    if (savedFrameLength == frameLength) {
        noisePower.swap(savedProfile);
        profileReady = true;
        learnedFrames = 1;
        ++profileVersion;
    }
    savedFrameLength = 0;
}

// A re-framing, made off the audio thread; afterwards it carries the old
// framing's arrays away to be released.
class DeNoise::Reframe : public EffectWork {
public:
    void Run() override {
        frames = FrameSet{};
        spectra = Spectra{};
        if (!build) return;
        MakeFrames(frames, seconds, sampleRate, 0.25, channels, kWindowed, blockValues, capacity);
        spectra.Make(frames.frameLength, channels);
    }

    bool build = false;
    double seconds = 0.0, sampleRate = 0.0;
    int32_t channels = 0, blockValues = 0, capacity = 0;
    FrameSet frames;
    Spectra spectra;
};

DeNoise::DeNoise(double sampleRate, int32_t channels)
    : SpectralEffect(sampleRate, 0.05, 0.25, channels, 5000, kWindowed),
      requestedFrameSeconds(0.05),
      reframe(std::make_unique<Reframe>()),
      builtSeconds(0.05) {
    SetUpSpectra();
    ServeTables(kKnobs);
}

DeNoise::~DeNoise() = default;

void DeNoise::SetUpSpectra() {
    Spectra s;
    s.Make(frameLength, channels);
    SwapSpectra(s);
}

std::unique_ptr<EffectWork> DeNoise::TakeWork() {
    if (!reframe) return nullptr;
    const double requested = requestedFrameSeconds;
    reframe->build = !reframeReady && requested != builtSeconds;
    if (!reframe->build && !leftOvers) return nullptr;
    if (reframe->build) {
        builtSeconds = requested;
        reframe->seconds = requested;
        reframe->sampleRate = sampleRate;
        reframe->channels = channels;
        reframe->blockValues = largestBlock;
        reframe->capacity = largestCapacity;
    }
    leftOvers = false;
    lent = reframe.get();
    return std::move(reframe);
}

std::unique_ptr<EffectWork> DeNoise::FinishWork(std::unique_ptr<EffectWork> work) {
    if (!work || work.get() != lent) return work;
    reframe.reset(static_cast<Reframe*>(work.release()));
    lent = nullptr;
    reframeReady = reframe->build;
    reframe->build = false;
    return nullptr;
}

void DeNoise::SetParameters(const double* values) {
    const double d = values[0] * 0.001;
    noiseSeconds = d * values[1];
    threshold = values[2];
    // A new frame duration replaces every buffer the frame processing uses. So
    // the re-framing is only requested here, built as work (TakeWork) and
    // swapped in at the start of a block, where it cannot overlap a frame.
    // Nothing audible is lost by the wait: re-framing drops the pending audio
    // and restarts learning either way. The 1 ms tolerance is measured against
    // the duration of the last re-framing requested, so creeping a knob in
    // steps of under 1 ms does not re-frame at every step.
    if (std::fabs(d - requestedFrameSeconds) > 0.001) requestedFrameSeconds = d;
}

int32_t DeNoise::ProcessBlock(const double* in, double* out, int32_t inCount, int32_t outCapacity,
                              int32_t channelMask) {
    if (reframeReady && reframe) {
        // Swapped, not copied: the work object leaves with the old arrays.
        reframeReady = false;
        AdoptFrames(reframe->frames);
        SwapSpectra(reframe->spectra);
        leftOvers = true;
    }
    return SpectralEffect::ProcessBlock(in, out, inCount, outCapacity, channelMask);
}

void DeNoise::SnapNoise() { snapRequested = true; }

void DeNoise::CopyProfile(double* values) const {
    if (!profileReady) return;
    values[0] = frameLength;
    std::copy(noisePower.begin(), noisePower.end(), values + 1);
}

bool DeNoise::AdoptProfile(const double* values, int32_t count) {
    if (count < 1 || !(values[0] >= 2.0 && values[0] <= 1 << 24) || values[0] != std::floor(values[0])) return false;
    const int32_t length = static_cast<int32_t>(values[0]);
    if (static_cast<int64_t>(count) - 1 != static_cast<int64_t>(channels) * (length / 2 + 1)) return false;
    for (int32_t i = 1; i < count; ++i)
        if (!(values[i] >= 0.0 && std::isfinite(values[i]))) return false;
    savedProfile.assign(values + 1, values + count);
    savedFrameLength = length;
    // With a re-framing on its way the profile waits for it: it is the
    // frame length the knobs now ask for that the profile must fit.
    if (length == frameLength && requestedFrameSeconds == frameSeconds) {
        noisePower.swap(savedProfile);
        profileReady = true;
        learnedFrames = 1;
        ++profileVersion;
        savedFrameLength = 0;
    }
    return true;
}

int32_t DeNoise::LongestFrameLength() const {
    return FrameLengthFor(0.001 * std::max(kKnobs[0].startValue, kKnobs[0].endValue), sampleRate);
}

int32_t DeNoise::FirstLearnFrame() const { return overlap / hop + 1; }

int32_t DeNoise::LearnEndFrame() const {
    return static_cast<int32_t>((noiseSeconds * sampleRate - frameLength) / hop) + FirstLearnFrame();
}

void DeNoise::ProcessChannels(int32_t channelMask) {
    // Snap Noise acts at the next frame: learning counts its frames from
    // there as it does from the start of the stream. The frame engine goes
    // on undisturbed; restarting its counter instead would drop the V
    // samples it drops at the start, and every later sample would come out
    // that much early: a host that states a latency would play the rest of
    // the track out of time.
    if (frameCounter < learnOrigin) learnOrigin = 0;   // Reset restarted the stream
    if (snapRequested) {
        snapRequested = false;
        if (profileReady) ++profileVersion;
        profileReady = false;
        learnedFrames = 0;
        learnOrigin = frameCounter;
        savedFrameLength = 0;
    }

    const int32_t f = frameCounter - learnOrigin;
    const int32_t K = binCount, N = frameLength;
    const int32_t firstLearn = FirstLearnFrame();
    const int32_t learnEnd = LearnEndFrame();
    const double T = threshold;
    const double alpha = 0.95 - 0.6 * T;
    const double beta = 0.971 + 0.028 * T;
    const double mu = 3.0 * T + 1e-30;

    // Learning advances once per frame, after the last channel that is
    // switched on: with the last channel of the stream switched off, waiting
    // for it would keep the enabled channels silent for good.
    int32_t lastEnabled = -1;
    for (int32_t c = 0; c < channels; ++c)
        if (ChannelEnabled(channelMask, c)) lastEnabled = c;

    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* X = FramePlane(c);
        fft->ForwardReal(X);
        const size_t base = static_cast<size_t>(c) * K;

        if (profileReady) {
            double* mag = &magnitude[base];
            double* smooth = &smoothedMagnitude[base];
            double* g = &gain[base];
            double* prevPost = &prevPostSnr[base];
            double* post = &postSnr[base];
            double* prior = &priorSnr[base];
            const double* noise = &noisePower[base];

            math.Magnitudes(X, N, mag);
            for (int32_t k = 0; k < K; ++k) {
                smooth[k] = alpha * mag[k] + (1.0 - alpha) * smooth[k];
                const double gamma = smooth[k] * smooth[k] / (noise[k] + 1e-8);
                post[k] = gamma;
                const double xi = beta * g[k] * g[k] * prevPost[k] + (1.0 - beta) * (gamma > 1.0 ? gamma - 1.0 : 0.0);
                prior[k] = xi;
                prevPost[k] = gamma;
                g[k] = xi / (mu + xi);
            }
            // A real gain per bin: scaling re and im is the polar round trip
            // without the angle.
            math.ScaleBins(g, N, X);
        } else {
            if (firstLearn <= f && f <= learnEnd) {
                // Running mean: the first learned frame replaces any old profile.
                const int32_t n = learnedFrames;
                const double w = static_cast<double>(n) / (n + 1);
                double* noise = &noisePower[base];
                noise[0] = (1.0 - w) * X[0] * X[0] + w * noise[0];
                noise[K - 1] = (1.0 - w) * X[N - 1] * X[N - 1] + w * noise[K - 1];
                for (int32_t k = 1; k < K - 1; ++k) {
                    const double re = X[2 * k - 1], im = X[2 * k];
                    noise[k] = (1.0 - w) * (re * re + im * im) + w * noise[k];
                }
                if (c == lastEnabled) learnedFrames = n + 1;
            }
            std::fill(X, X + N, 0.0);
            // The frame that ends learning is itself still silent. A stretch
            // that passed with every channel switched off (PASS) learned
            // nothing, and a profile of zeros would remove nothing: learn again.
            if (f > learnEnd && c == lastEnabled) {
                if (learnedFrames > 0) {
                    profileReady = true;
                    ++profileVersion;
                } else {
                    snapRequested = true;
                }
            }
        }
        fft->InverseReal(X);
    }
}

}  // namespace orve
