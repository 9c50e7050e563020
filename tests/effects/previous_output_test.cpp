// The effects whose per-bin maths went vectorised and polar-free, against the
// code they had before: the polar round trip, the C library's maths and the
// FFT's reference path, kept here as the oracle. On a programme like the
// demo's at the 32-bit scale the outputs must agree within one PCM step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dsp/channel_effect.h"
#include "dsp/fft_engine.h"
#include "dsp/stream_convolver.h"
#include "dsp/spectral_effect.h"
#include "effects/distortion/whisper.h"
#include "effects/level/level_dynamic.h"
#include "effects/restoration/de_hiss.h"
#include "effects/restoration/de_hum.h"
#include "effects/restoration/de_noise.h"
#include "effects/timepitch/pitch_scaler.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

// The previous polar form of a packed spectrum, and back.
void ToPolar(const double* X, int32_t N, double* magnitude, double* phase) {
    const int32_t K = N / 2 + 1;
    magnitude[0] = std::fabs(X[0]);
    phase[0] = X[0] > 0.0 ? 0.0 : M_PI;
    magnitude[K - 1] = std::fabs(X[N - 1]);
    phase[K - 1] = X[N - 1] > 0.0 ? 0.0 : M_PI;
    for (int32_t k = 1; k < K - 1; ++k) {
        const double re = X[2 * k - 1], im = X[2 * k];
        magnitude[k] = std::sqrt(re * re + im * im);
        phase[k] = (re == 0.0 && im == 0.0) ? 0.0 : std::atan2(im, re);
    }
}

void FromPolar(const double* magnitude, const double* phase, int32_t N, double* X) {
    const int32_t K = N / 2 + 1;
    X[0] = magnitude[0] * std::cos(phase[0]);
    X[N - 1] = magnitude[K - 1] * std::cos(phase[K - 1]);
    for (int32_t k = 1; k < K - 1; ++k) {
        X[2 * k - 1] = magnitude[k] * std::cos(phase[k]);
        X[2 * k] = magnitude[k] * std::sin(phase[k]);
    }
}

// Framing and state shared by the three previous effects.
class Previous : public SpectralEffect {
public:
    Previous(double frameSeconds, int32_t channels, double hopFraction = 0.25)
        : SpectralEffect(kRate, frameSeconds, hopFraction, channels, 5000, kWindowed),
          fft(frameLength, FftKind::Real, InstructionSet::kReference),
          K(frameLength / 2 + 1),
          magnitude(channels * K),
          phase(channels * K),
          state(4 * channels * K, 0.0) {}

protected:
    FftEngine fft;
    const int32_t K;
    std::vector<double> magnitude, phase, state;
};

class PreviousDeHiss : public Previous {
public:
    PreviousDeHiss() : Previous(0.05, 2) {}
    void SetParameters(const double* values) override { threshold = values[0]; }
    void ProcessChannels(int32_t mask) override {
        const int32_t N = frameLength, k0 = static_cast<int32_t>(K * 0.6);
        const double T = threshold, e = T + 1.0;
        for (int32_t c = 0; c < channels; ++c) {
            if (!ChannelEnabled(mask, c)) continue;
            double* X = FramePlane(c);
            double *mag = &magnitude[0], *ph = &phase[0], *smooth = &state[c * K], *floor = &state[(2 + c) * K];
            fft.ForwardReal(X);
            ToPolar(X, N, mag, ph);
            double top = 0.0;
            for (int32_t k = k0; k < K; ++k) top += mag[k];
            const double H = T * 0.6000000000000001 / (K - k0 + 1) * top;
            const double L = H * N / (0.30000000000000004 * hop);
            for (int32_t k = 0; k < K; ++k) {
                smooth[k] = frameCounter >= 1 ? 0.7 * smooth[k] + 0.30000000000000004 * mag[k] : mag[k];
                floor[k] = frameCounter >= 1 ? 0.7 * floor[k] + std::min(0.30000000000000004 * mag[k], H)
                                             : std::min(mag[k], L);
                const double d = 30.0 * e * floor[k] + smooth[k];
                if (d > 0.0) mag[k] *= 0.99 * std::pow(smooth[k] / d, e) + 0.01;
            }
            FromPolar(mag, ph, N, X);
            fft.InverseReal(X);
        }
    }

private:
    double threshold = 0.5;
};

class PreviousDeNoise : public Previous {
public:
    PreviousDeNoise() : Previous(0.05, 2) {}
    void SetParameters(const double* values) override { threshold = values[2]; }
    void ProcessChannels(int32_t mask) override {
        const int32_t N = frameLength, firstLearn = overlap / hop + 1;
        const int32_t learnEnd = static_cast<int32_t>((0.2 * sampleRate - N) / hop) + firstLearn;
        const double T = threshold, alpha = 0.95 - 0.6 * T, beta = 0.971 + 0.028 * T, mu = 3.0 * T + 1e-30;
        for (int32_t c = 0; c < channels; ++c) {
            if (!ChannelEnabled(mask, c)) continue;
            double* X = FramePlane(c);
            fft.ForwardReal(X);
            double *noise = &state[c * K], *smooth = &state[(2 + c) * K];
            double *g = &magnitude[c * K], *prev = &phase[c * K];
            if (learnedFrames < 0) {
                std::vector<double> mag(K), ph(K);
                ToPolar(X, N, mag.data(), ph.data());
                for (int32_t k = 0; k < K; ++k) {
                    smooth[k] = alpha * mag[k] + (1.0 - alpha) * smooth[k];
                    const double gamma = smooth[k] * smooth[k] / (noise[k] + 1e-8);
                    const double xi = beta * g[k] * g[k] * prev[k] + (1.0 - beta) * std::max(gamma - 1.0, 0.0);
                    prev[k] = gamma;
                    g[k] = xi / (mu + xi);
                    mag[k] *= g[k];
                }
                FromPolar(mag.data(), ph.data(), N, X);
            } else {
                if (firstLearn <= frameCounter && frameCounter <= learnEnd) {
                    const double w = static_cast<double>(learnedFrames) / (learnedFrames + 1);
                    noise[0] = (1.0 - w) * X[0] * X[0] + w * noise[0];
                    noise[K - 1] = (1.0 - w) * X[N - 1] * X[N - 1] + w * noise[K - 1];
                    for (int32_t k = 1; k < K - 1; ++k)
                        noise[k] = (1.0 - w) * (X[2 * k - 1] * X[2 * k - 1] + X[2 * k] * X[2 * k]) + w * noise[k];
                    if (c == channels - 1) ++learnedFrames;
                }
                std::fill(X, X + N, 0.0);
                if (frameCounter > learnEnd && c == channels - 1) {
                    learnedFrames = -1;   // profile ready: gains 1, previous SNRs 1
                    std::fill(magnitude.begin(), magnitude.end(), 1.0);
                    std::fill(phase.begin(), phase.end(), 1.0);
                }
            }
            fft.InverseReal(X);
        }
    }

private:
    double threshold = 0.5;
    int32_t learnedFrames = 0;
};

class PreviousWhisper : public Previous {
public:
    PreviousWhisper() : Previous(0.01, 2) {}
    void SetParameters(const double* values) override { wet = values[0]; }
    void ProcessChannels(int32_t mask) override {
        const int32_t M = frameLength / 2;
        for (int32_t c = 0; c < channels; ++c) {
            if (!ChannelEnabled(mask, c)) continue;
            double* x = FramePlane(c);
            fft.ForwardReal(x);
            for (int32_t k = 1; k < M; ++k) {
                const double a = x[2 * k - 1], b = x[2 * k];
                magnitude[k] = std::sqrt(a * a + b * b);
                const double measured = (a == 0.0 && b == 0.0) ? 0.0 : std::atan2(b, a);
                phase[k] = (random.Next() * 0.00019175345033660654 - M_PI) * wet + (1.0 - wet) * measured;
            }
            for (int32_t k = 1; k < M; ++k) {
                x[2 * k - 1] = magnitude[k] * std::cos(phase[k]);
                x[2 * k] = magnitude[k] * std::sin(phase[k]);
            }
            fft.InverseReal(x);
        }
    }

private:
    double wet = 1.0;
    RuntimeRandom random{12345};
};

// Peaks moved as regions with the C library's hypot, atan2, sin and cos,
// one peak at a time.
class PreviousPitchScaler : public Previous {
public:
    PreviousPitchScaler() : Previous(0.05, 2, 0.125), previous(2 * frameLength, 0.0), turn(2 * K, 0.0) {}
    void SetParameters(const double* values) override { ratio = std::pow(3.0, values[0]); }
    void ProcessChannels(int32_t mask) override {
        const int32_t N = frameLength, M = N / 2;
        const double omega = 2.0 * M_PI * hop / N, r = ratio;
        auto wrapped = [](double p) { return p - 2.0 * M_PI * std::nearbyint(p * (0.5 / M_PI)); };
        for (int32_t c = 0; c < channels; ++c) {
            if (!ChannelEnabled(mask, c)) continue;
            double* x = FramePlane(c);
            fft.ForwardReal(x);
            double *before = &previous[c * N], *rotation = &turn[c * K];
            const std::vector<double> input(x, x + N);
            for (int32_t k = 1; k < M; ++k) magnitude[k] = std::hypot(input[2 * k - 1], input[2 * k]);
            std::fill(x + 1, x + N - 1, 0.0);
            auto mag = [&](int32_t k) { return k >= 1 && k < M ? magnitude[k] : 0.0; };
            std::vector<int32_t> peaks;
            for (int32_t k = 1; k < M; ++k)
                if (mag(k) > mag(k - 1) && mag(k) > mag(k - 2) && mag(k) >= mag(k + 1) && mag(k) >= mag(k + 2))
                    peaks.push_back(k);
            int32_t low = 1;
            for (size_t p = 0; p < peaks.size(); ++p) {
                const int32_t peak = peaks[p];
                int32_t high = M - 1;
                if (p + 1 < peaks.size()) {
                    high = peak;
                    for (int32_t k = peak + 1; k < peaks[p + 1]; ++k)
                        if (magnitude[k] < magnitude[high]) high = k;
                }
                const double re = input[2 * peak - 1], im = input[2 * peak];
                const double pre = before[2 * peak - 1], pim = before[2 * peak];
                double advance = peak * omega;
                if (pre != 0.0 || pim != 0.0)
                    advance += wrapped(std::atan2(im * pre - re * pim, re * pre + im * pim) - peak * omega);
                const int32_t shift = static_cast<int32_t>(std::lround((r - 1.0) * advance / omega));
                const double theta = wrapped(rotation[peak] + (r - 1.0) * advance);
                const double phi = theta - M_PI * shift * (N - 1.0) / N;
                for (int32_t k = low; k <= high; ++k) {
                    rotation[k] = theta;
                    const int32_t to = k + shift;
                    if (to < 1 || to >= M) continue;
                    x[2 * to - 1] += input[2 * k - 1] * std::cos(phi) - input[2 * k] * std::sin(phi);
                    x[2 * to] += input[2 * k - 1] * std::sin(phi) + input[2 * k] * std::cos(phi);
                }
                low = high + 1;
            }
            std::copy(input.begin(), input.end(), before);
            fft.InverseReal(x);
        }
    }

private:
    double ratio = 1.0;
    std::vector<double> previous, turn;
};

// The compressor with the C library's power for each sample's gain.
class PreviousLevelDynamic : public LevelDynamic {
public:
    PreviousLevelDynamic() : LevelDynamic(kRate, 2) {}
    void ProcessChannels(int32_t mask) override {
        const int32_t L = std::clamp(static_cast<int32_t>(rmsWindowSeconds * sampleRate), 1, overlap + 1);
        const double attack = std::exp(-1.0 / (attackSeconds * sampleRate));
        const double release = std::exp(-1.0 / (releaseSeconds * sampleRate));
        const double T = std::pow(10.0, thresholdDb * 0.05);
        for (int32_t c = 0; c < 2; ++c) {
            if (!ChannelEnabled(mask, c)) continue;
            double* x = FramePlane(c);
            double e = envelope[c], S = 0.0;
            for (int32_t k = 0; k < L - 1; ++k) S += x[k] * x[k];
            for (int32_t i = 0; i < hop; ++i) {
                S += x[i + L - 1] * x[i + L - 1];
                const double r = std::sqrt(std::max(S, 0.0) * (1.0 / L)) * 3.0517578125e-5;
                const double a = r > e ? attack : release;
                e = (1.0 - a) * r + a * e;
                const double xi = x[i];
                S -= xi * xi;
                if (e > T) x[i] = xi * (T / e * std::pow(T / e, -1.0 / ratio));
            }
            envelope[c] = e;
            windowSum[c] = S;
        }
    }
};

// The hum canceller with one running sum for the prediction, over a ring
// read in two runs.
class PreviousDeHum : public ChannelEffect {
public:
    PreviousDeHum() : ChannelEffect(2, 2000) {}
    void SetParameters(const double* values) override {
        const int32_t M = static_cast<int32_t>(0.05 * kRate / values[0] + 1.0);
        D = static_cast<int32_t>(kRate / values[0] + 0.5) + M + 1;
        T = 2 * M + 1;
        for (auto& s : state) {
            s.ring.assign(D, 0.0);
            s.taps.assign(T, 0.0);
            s.taps[M] = 1.0;
            s.fill = D - 1;
            s.at = 0;
            s.sum = 0.0;
        }
    }
    void ProcessChannels(int32_t) override {
        for (int32_t c = 0; c < 2; ++c)
            for (int32_t i = 0; i < InputFrames(); ++i) OutputPlane(c)[i] = Step(state[c], InputPlane(c)[i]);
    }

private:
    struct Canceller {
        std::vector<double> ring, taps;
        int32_t fill = 0, at = 0;
        double sum = 0.0;
    };
    double Step(Canceller& s, double x) {
        s.ring[s.at++] = x;
        if (s.fill > 0) {
            s.sum += x * x;
            --s.fill;
            return 0.0;
        }
        const bool wrapped = s.at == D;
        if (wrapped) s.at = 0;
        const int32_t first = std::min(T, D - s.at);
        const double* head = s.ring.data() + s.at;
        if (wrapped) {
            s.sum = 0.0;
            for (int32_t i = 0; i < D; ++i) s.sum += s.ring[i] * s.ring[i];
        } else {
            s.sum += x * x;
        }
        double prediction = 0.0;
        for (int32_t j = 0; j < T; ++j) prediction += s.taps[j] * (j < first ? head[j] : s.ring[j - first]);
        const double e = x - prediction;
        const double gain = 2.0 / (1e-10 + std::max(s.sum, 0.0)) * e;
        s.sum -= head[0] * head[0];
        for (int32_t j = 0; j < T; ++j) s.taps[j] += gain * (j < first ? head[j] : s.ring[j - first]);
        return e;
    }
    int32_t D = 0, T = 0;
    Canceller state[2];
};

// The reverbs' stream: each channel convolved with a room-like response of
// `length` samples (noise decaying by 60 dB over it), its kernel cut into the
// levels that convolve it for the least work, or into every level of the
// layout as before.
class RoomStream : public ChannelEffect {
public:
    RoomStream(int32_t length, bool everyLevel) : ChannelEffect(2, 2000) {
        const int32_t levels = everyLevel ? kConvolutionLevels : LevelsFor(length, kConvolutionLevels);
        LevelTransforms transforms(levels);
        for (int32_t c = 0; c < 2; ++c) {
            auto taps = test::Noise(length, 0.1, 60 + c);
            for (int32_t i = 0; i < length; ++i) taps[i] *= std::exp(-6.9 * i / length);
            kernels[c] = std::make_unique<ConvolutionKernel>(length, levels);
            kernels[c]->Load(taps.data(), transforms);
            streams[c] = std::make_unique<StreamConvolver>(kConvolutionLevels, 1024);
            history[c] = StreamConvolver::PlanHistory(streams[c]->Shape(), kernels[c].get());
            streams[c]->Change(kernels[c].get(), *history[c]);
        }
    }
    void ProcessChannels(int32_t) override {
        for (int32_t c = 0; c < 2; ++c)
            producedFrames = streams[c]->Process(InputPlane(c), InputFrames(), OutputPlane(c), nullptr);
    }

private:
    std::unique_ptr<ConvolutionKernel> kernels[2];
    std::unique_ptr<StreamConvolver> streams[2];
    std::unique_ptr<ConvolutionHistory> history[2];
};

// Like the demo's programme, at the 32-bit scale: a hiss bed and 50 Hz hum
// with harmonics throughout (alone for the first 0.3 s, which DeNoise learns),
// then a chord, speech-like bursts of filtered noise and clicks.
std::vector<double> Programme(int32_t frames) {
    const double full = 2147483647.0;
    std::vector<double> x(2 * frames, 0.0);
    const auto hiss = test::Noise(2 * frames, 0.01 * full, 41), voice = test::Noise(frames, 0.2 * full, 42);
    double band = 0.0;
    for (int32_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / kRate;
        double chord = 0.0, hum = 0.0;
        for (double hz : {220.0, 277.18, 329.63}) chord += 0.08 * full * std::sin(2 * M_PI * hz * t);
        for (int h = 1; h <= 4; ++h) hum += 0.03 * full / h * std::sin(2 * M_PI * 50.0 * h * t);
        band = 0.9 * band + 0.1 * voice[f];   // low-passed noise, on for 0.3 s of every 0.8
        const double burst = std::fmod(t, 0.8) < 0.3 ? band * std::sin(2 * M_PI * 900.0 * t) : 0.0;
        const double click = f % 22050 == 7000 ? 0.5 * full : 0.0;
        const double programme = t < 0.3 ? 0.0 : 1.0;
        for (int c = 0; c < 2; ++c)
            x[2 * f + c] = programme * ((c ? 0.8 : 1.0) * (chord + burst) + click) + hum + hiss[2 * f + c];
    }
    return x;
}

struct Case {
    std::string name;
    std::function<std::unique_ptr<EffectProcessor>()> current, previous;
    std::vector<double> knobs;
    // One 32-bit step as the effect sees it: 1 for effects that scale with
    // their input; 2^-16 where levels matter, as the audio path hands every
    // stream over on the 16-bit scale.
    double step = 1.0;
};

class PreviousOutput : public ::testing::TestWithParam<Case> {};

TEST_P(PreviousOutput, WithinOne32BitStep) {
    const Case& c = GetParam();
    auto current = c.current(), previous = c.previous();
    current->SetParameters(c.knobs.data());
    previous->SetParameters(c.knobs.data());
    auto input = Programme(2 * kRate);
    for (double& v : input) v *= c.step;
    const auto want = test::RunBlocks(*previous, input, 2, 576);
    const auto got = test::RunBlocks(*current, input, 2, 576);
    ASSERT_EQ(got.size(), want.size());
    ASSERT_GT(test::Rms(want), 1e7 * c.step);   // the comparison is not between silences
    EXPECT_LE(test::MaxDifference(got, want), c.step);
}

INSTANTIATE_TEST_SUITE_P(
    Effects, PreviousOutput,
    ::testing::Values(
        Case{"DeHiss", [] { return std::make_unique<DeHiss>(kRate, 2); },
             [] { return std::make_unique<PreviousDeHiss>(); }, {0.5}},
        Case{"DeHissStrongest", [] { return std::make_unique<DeHiss>(kRate, 2); },
             [] { return std::make_unique<PreviousDeHiss>(); }, {1.0}},
        Case{"DeNoise", [] { return std::make_unique<DeNoise>(kRate, 2); },
             [] { return std::make_unique<PreviousDeNoise>(); }, {50.0, 4.0, 0.5}},
        Case{"Whisper", [] { return std::make_unique<Whisper>(kRate, 2); },
             [] { return std::make_unique<PreviousWhisper>(); }, {1.0}},
        Case{"WhisperHalfWet", [] { return std::make_unique<Whisper>(kRate, 2); },
             [] { return std::make_unique<PreviousWhisper>(); }, {0.4}},
        Case{"LevelDynamic", [] { return std::make_unique<LevelDynamic>(kRate, 2); },
             [] { return std::make_unique<PreviousLevelDynamic>(); }, {-20.0, 5.0, 300.0, 2.0}, 1.0 / 65536},
        Case{"LevelDynamicHardest", [] { return std::make_unique<LevelDynamic>(kRate, 2); },
             [] { return std::make_unique<PreviousLevelDynamic>(); }, {-35.0, 1.0, 20.0, 20.0}, 1.0 / 65536},
        Case{"DeHum", [] { return std::make_unique<DeHum>(kRate, 2); },
             [] { return std::make_unique<PreviousDeHum>(); }, {50.0}},
        Case{"DeHumLowest", [] { return std::make_unique<DeHum>(kRate, 2); },
             [] { return std::make_unique<PreviousDeHum>(); }, {16.7}},
        // The default sample room (three levels) and the longest (four).
        Case{"RoomOfOneSecond", [] { return std::make_unique<RoomStream>(48510, false); },
             [] { return std::make_unique<RoomStream>(48510, true); }, {}},
        Case{"RoomOfFiveSeconds", [] { return std::make_unique<RoomStream>(240698, false); },
             [] { return std::make_unique<RoomStream>(240698, true); }, {}},
        Case{"PitchScaler", [] { return std::make_unique<PitchScaler>(kRate, 2); },
             [] { return std::make_unique<PreviousPitchScaler>(); }, {0.0}},
        Case{"PitchScalerChild", [] { return std::make_unique<PitchScaler>(kRate, 2); },
             [] { return std::make_unique<PreviousPitchScaler>(); }, {0.4}},
        Case{"PitchScalerBassTone", [] { return std::make_unique<PitchScaler>(kRate, 2); },
             [] { return std::make_unique<PreviousPitchScaler>(); }, {-0.4}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace orve
