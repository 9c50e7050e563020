#include "effects/restoration/de_click.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "effects/restoration/de_click_kernels.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

// Runs the effect and then silence until it has released the whole input, as
// a host does at the end of a stream; returns exactly the input's length.
std::vector<double> RunToEnd(DeClick& effect, std::vector<double> input) {
    const size_t frames = input.size();
    input.resize(frames + effect.FrameLength() + effect.Hop(), 0.0);
    auto out = test::RunBlocks(effect, input, 1, 576, 1);
    out.resize(frames);
    return out;
}

// Speech-like programme: syllables of a vowel (harmonics of a gliding pitch
// under three formants), a sibilant after every third, a hiss floor between.
std::vector<double> Speech(int32_t rate, int32_t frames) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const double vowels[4][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {520, 920, 2560}, {300, 870, 2240}};
    std::vector<double> x(frames);
    double phase = 0.0, previous = 0.0;
    for (int32_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const int32_t syllable = static_cast<int32_t>(t / 0.22);
        const double local = t - syllable * 0.22;
        const double f0 = 130.0 + 40.0 * std::sin(2 * M_PI * 0.9 * t) + 10.0 * std::sin(2 * M_PI * 3.1 * t);
        phase += 2 * M_PI * f0 / rate;
        double voice = 0.0;
        for (int32_t h = 1; h * f0 < 0.45 * rate && h * f0 < 5000.0; ++h) {
            double weight = 0.0;
            for (int32_t f = 0; f < 3; ++f) {
                const double d = (h * f0 - vowels[syllable % 4][f]) / (90.0 + 0.05 * vowels[syllable % 4][f]);
                weight += std::exp(-d * d) / (1.0 + f);
            }
            voice += weight * std::sin(h * phase);
        }
        const double envelope = local < 0.16 ? std::sin(M_PI * local / 0.16) : 0.0;
        const double white = uniform(random);
        const double ess = syllable % 3 == 2 && local >= 0.16 ? std::sin(M_PI * (local - 0.16) / 0.06) * 1250.0 * (white - previous) : 0.0;
        previous = white;
        x[n] = std::round(900.0 * envelope * voice + ess + 90.0 * uniform(random));
    }
    return x;
}

struct Click {
    int32_t position;
    int32_t length;
};

// Ringing clicks: each sample -0.7 of the one before, starting at the click's
// amplitude (the amplitudes cycled).
std::vector<double> AddClicks(std::vector<double> x, const std::vector<Click>& clicks, const std::vector<double>& amplitudes) {
    for (size_t i = 0; i < clicks.size(); ++i)
        for (int32_t k = 0; k < clicks[i].length; ++k)
            x[clicks[i].position + k] += amplitudes[i % amplitudes.size()] * std::pow(-0.7, k);
    return x;
}

// Error energy against the clean signal around a click, before and after, in dB.
double RepairDb(const std::vector<double>& out, const std::vector<double>& input, const std::vector<double>& clean,
                const Click& c) {
    double before = 0.0, after = 0.0;
    const int32_t end = std::min(c.position + c.length + 10, static_cast<int32_t>(clean.size()));
    for (int32_t j = std::max(c.position - 10, 0); j < end; ++j) {
        before += (input[j] - clean[j]) * (input[j] - clean[j]);
        after += (out[j] - clean[j]) * (out[j] - clean[j]);
    }
    return 10.0 * std::log10(before / std::max(after, 1e-9));
}

TEST(DeClickRepair, ClicksOnPeriodicSignalAreRestoredWhereverTheyFall) {
    DeClick effect(kRate, 1);
    const int32_t frames = kRate;
    // A voiced-like periodic programme: 200 Hz with a few harmonics over a
    // faint hiss (about -55 dB), quantised like 16-bit material.
    std::vector<double> clean = test::Noise(frames, 100.0, 9);
    for (int32_t i = 0; i < frames; ++i) {
        const double t = 2.0 * M_PI * 200.0 * i / kRate;
        clean[i] = std::round(6000.0 * std::sin(t) + 2500.0 * std::sin(2 * t + 0.3) + 1200.0 * std::sin(3 * t + 1.1) +
                              clean[i]);
    }
    // Every 1193 samples: the clicks fall at 36 different places in the hop,
    // the first in the first frame's.
    std::vector<Click> clicks;
    for (int32_t j = 100; j + 10 < frames; j += 1193) clicks.push_back({j, clicks.size() % 2 ? 4 : 1});
    const auto input = AddClicks(clean, clicks, {-12000.0, 12000.0, 12000.0});
    const auto out = RunToEnd(effect, input);
    for (const Click& c : clicks) EXPECT_GT(RepairDb(out, input, clean, c), 20.0) << "click at " << c.position;
    // Away from the clicks the programme is left as it was, from the first sample on.
    double elsewhere = 0.0;
    for (size_t j = 0; j < out.size(); ++j) {
        bool nearClick = false;
        for (const Click& c : clicks) nearClick |= std::abs(static_cast<int32_t>(j) - c.position) < 60;
        if (!nearClick) elsewhere = std::max(elsewhere, std::fabs(out[j] - input[j]));
    }
    EXPECT_EQ(elsewhere, 0.0);
}

// 92 clicks of 1..7 samples on speech-like material: telephone and archive
// rates included, where the frames are short in samples and the model's
// margins long.
class DeClickSpeech : public ::testing::TestWithParam<int32_t> {};

TEST_P(DeClickSpeech, AlmostEveryClickIsRepaired) {
    const int32_t rate = GetParam();
    const int32_t frames = 6 * rate;
    const auto clean = Speech(rate, frames);
    std::mt19937 random(42);
    std::uniform_int_distribution<int32_t> where(rate / 4, frames - rate / 4);
    std::vector<Click> clicks;
    while (clicks.size() < 92) {
        const int32_t at = where(random);
        bool apart = true;
        for (const Click& c : clicks) apart &= std::abs(at - c.position) > rate / 50;
        if (apart) clicks.push_back({at, 1 + static_cast<int32_t>(clicks.size()) % 7});
    }
    std::uniform_real_distribution<double> size(3000.0, 12000.0);
    std::vector<double> amplitudes;
    for (size_t i = 0; i < clicks.size(); ++i) amplitudes.push_back(size(random) * (i % 2 ? 1.0 : -1.0));
    const auto input = AddClicks(clean, clicks, amplitudes);
    DeClick effect(rate, 1);
    const auto out = RunToEnd(effect, input);
    int32_t repaired = 0;   // error energy down by 10 dB or more
    for (const Click& c : clicks) repaired += RepairDb(out, input, clean, c) >= 10.0;
    EXPECT_GE(repaired, 79) << "of 92 at " << rate << " Hz";   // 85 %
}

INSTANTIATE_TEST_SUITE_P(Rates, DeClickSpeech, ::testing::Values(8000, 11025, 44100));

TEST(DeClickStream, TheEndsOfTheStreamAreContinuedNotRepaired) {
    // The history before the first sample and the silence after the last
    // are no steps: DC and a loud sine pass whole, at every frame layout.
    for (int32_t rate : {8000, 11025, 44100, 96000}) {
        const int32_t frames = rate / 2;
        std::vector<double> dc(frames, 20000.0), sine(frames);
        for (int32_t n = 0; n < frames; ++n) sine[n] = std::round(29204.0 * std::sin(2 * M_PI * 1000.0 * n / rate + 1.3));
        const std::vector<double>* inputs[] = {&dc, &sine};
        for (const std::vector<double>* input : inputs) {
            DeClick effect(rate, 1);
            EXPECT_EQ(test::MaxDifference(RunToEnd(effect, *input), *input), 0.0) << rate << " Hz";
        }
    }
}

// A scratch of 300 loud samples is programme as far as the detector goes;
// one of 150 is still a disturbance and gets replaced.
TEST(DeClickDetection, RunsOfTwoHundredSamplesAreLeftAlone) {
    for (int32_t length : {300, 150}) {
        auto input = test::Noise(kRate / 2, 100.0, 3);
        const auto burst = test::Noise(length, 10000.0, 5);
        for (int32_t k = 0; k < length; ++k) input[8000 + k] += burst[k];
        DeClick effect(kRate, 1);
        const auto out = RunToEnd(effect, input);
        double change = 0.0;
        for (int32_t j = 8000; j < 8000 + length; ++j) change = std::max(change, std::fabs(out[j] - input[j]));
        if (length == 300) EXPECT_EQ(change, 0.0);
        else EXPECT_GT(change, 1000.0);
    }
}

TEST(DeClickDetection, LowerThresholdFindsMoreClicks) {
    const int32_t frames = kRate;
    auto input = test::Noise(frames, 1000.0, 21);
    // Clicks of graded size, from barely above the noise to obvious.
    for (int32_t i = 0, j = 700; j < frames - 100; ++i, j += 997) input[j] += (1500.0 + 300.0 * (i % 20)) * (i % 2 ? 1 : -1);
    // Samples the effect replaced.
    auto count = [&](double thresh) {
        DeClick effect(kRate, 1);
        effect.SetParameters(&thresh);
        const auto out = RunToEnd(effect, input);
        int64_t changed = 0;
        for (size_t i = 0; i < out.size(); ++i) changed += out[i] != input[i];
        return changed;
    };
    const int64_t at3 = count(3.0), at20 = count(20.0);
    EXPECT_GT(at3, at20);
    EXPECT_GT(at20, 0);
}

// The fast Burg recursion and the blocked whitening against their plain forms,
// on a model segment (order + a short gap), a frame, and programme that is
// nearly all prediction (a loud pair of tones over faint noise).
TEST(DeClickFastPaths, MatchThePlainForms) {
    const auto speech = Speech(kRate, 4096);
    auto tones = test::Noise(4096, 2.0, 4);
    for (int32_t n = 0; n < 4096; ++n) tones[n] += std::round(12000.0 * std::sin(0.05 * n) + 6000.0 * std::sin(0.31 * n + 1.0));
    const auto noise = test::Noise(4096, 5000.0, 8);
    BurgWorkspace burg;
    const std::vector<double>* signals[] = {&speech, &tones, &noise};
    for (const std::vector<double>* signal : signals)
        for (int32_t length : {60, 107, 300, 1024}) {
            const double* y = signal->data() + 1000;
            double fast[DeClick::kOrder + 1], plain[DeClick::kOrder + 1];
            const auto a = burg.Estimate(y, length, DeClick::kOrder, fast);
            const auto b = burg.EstimateReference(y, length, DeClick::kOrder, plain);
            EXPECT_EQ(a.stoppedEarly, b.stoppedEarly) << length;
            EXPECT_NEAR(a.residualPower, b.residualPower, 1e-9) << length;
            // What the coefficients are for: the same whitened residual, to a
            // thousandth of one PCM step (the coefficients themselves are
            // ill-conditioned where the programme is almost all prediction).
            std::vector<double> withFast(length), withPlain(length);
            WhitenFrameReference(y, length, fast, DeClick::kOrder, withFast.data());
            WhitenFrameReference(y, length, plain, DeClick::kOrder, withPlain.data());
            EXPECT_LT(test::MaxDifference(withFast, withPlain), 1e-3) << length;

            std::vector<double> r(length), reference(length);
            WhitenFrame(y, length, plain, DeClick::kOrder, r.data());
            WhitenFrameReference(y, length, plain, DeClick::kOrder, reference.data());
            double scale = 0.0;
            for (int32_t n = 0; n < length; ++n) scale = std::max(scale, std::fabs(y[n]));
            EXPECT_LT(test::MaxDifference(r, reference), 1e-12 * scale * DeClick::kOrder) << length;

            // The AVX2 builds of the loops, where this processor runs them,
            // give the same bits.
            if (!declick::Avx2Usable()) continue;
            std::vector<double> wide(length);
            WhitenFrame(y, length, plain, DeClick::kOrder, wide.data(), true);
            EXPECT_EQ(wide, r) << length;
            std::vector<double> narrowFit(DeClick::kOrder + 1), wideFit(DeClick::kOrder + 1);
            burg.UseAvx2(false);
            burg.Estimate(y, length, DeClick::kOrder, narrowFit.data());
            burg.UseAvx2(true);
            burg.Estimate(y, length, DeClick::kOrder, wideFit.data());
            EXPECT_EQ(wideFit, narrowFit) << length;
        }
}

}  // namespace
}  // namespace orve
