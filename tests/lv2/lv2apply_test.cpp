// lv2apply (lilv-utils) runs a test programme through every plug-in, at its
// defaults and with its first preset, and the result equals `orve process`
// with the same settings at 32 bits, once shifted by the latency the plug-in
// reports: the LV2 wrapper plays the very same effect, float for integer.
//
// lv2apply runs the plug-in one frame per run() and without a worker, so the
// wrapper's queues and its own rebuild path are exercised at their extreme.
// Both programs run under a frozen clock (faketime): the modal reverb draws
// its tail noise from the clock's seconds.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo_cases.h"
#include "lv2/lv2_test_host.h"
#include "platform/lv2/lv2_bundle.h"
#include "plugin/effect_factory.h"

namespace orve::lv2test {
namespace {

using lv2::BundlePlugin;
using lv2::BundlePlugins;

constexpr int32_t kRate = 44100;

// A short programme from the demo's: hiss and hum alone (for DeNoise to
// learn), the chord, speech-like bursts with sibilants, the tone with clicks.
// On the 16-bit grid, so that the 16-bit file orve reads and the float file
// lv2apply reads hold the same values.
std::vector<double> Programme(int32_t channels) {
    const analysis::Signal full = demo::StandardProgramme(kRate);
    const double pieces[][2] = {{0.0, 0.45}, {1.0, 1.4}, {2.0, 2.5}, {4.25, 4.6}};
    std::vector<double> out;
    for (const auto& piece : pieces) {
        for (int64_t f = static_cast<int64_t>(piece[0] * kRate); f < static_cast<int64_t>(piece[1] * kRate); ++f)
            for (int32_t c = 0; c < channels; ++c)
                out.push_back(std::nearbyint(std::clamp(full.samples[2 * f + c], -32768.0, 32767.0)) / 32768.0);
    }
    return out;
}

void WriteWav(const std::string& path, const std::vector<double>& samples, int32_t channels, int format) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    sf_writef_double(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
}

std::vector<double> ReadWav(const std::string& path, int32_t channels) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    EXPECT_EQ(info.channels, channels);
    std::vector<double> samples(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_double(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

struct Case {
    size_t plugin;
    std::string preset;   // a preset's label, or empty for the defaults
};

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The first row of the effect's table that sets anything but the defaults.
std::string ChosenPreset(const BundlePlugin& plugin) {
    const EffectBuildContext context{kRate, plugin.channels, nullptr, nullptr};
    std::unique_ptr<EffectProcessor> effect = MakeEffect(plugin.effect, context);
    KnobSpec knobs[kMaxKnobs] = {};
    const int32_t knobCount = effect->DescribeKnobs(knobs);
    const EffectPreset* table = nullptr;
    const int32_t rows = effect->GetPresets(&table);
    for (int32_t r = 0; table && r < rows; ++r) {
        bool differs = table[r].values[0] != 0.0;
        for (int32_t k = 0; k < knobCount; ++k) differs = differs || table[r].values[k + 1] != knobs[k].defaultValue;
        if (differs && Trimmed(table[r].name) != "Custom") return Trimmed(table[r].name);
    }
    return "";
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (size_t p = 0; p < BundlePlugins().size(); ++p) {
        cases.push_back({p, ""});
        const std::string preset = ChosenPreset(BundlePlugins()[p]);
        if (!preset.empty()) cases.push_back({p, preset});
    }
    return cases;
}

class Lv2ApplyTest : public ::testing::TestWithParam<Case> {};

TEST_P(Lv2ApplyTest, EqualsOrveProcessAt32BitsShiftedByTheReportedLatency) {
    const BundlePlugin& plugin = BundlePlugins()[GetParam().plugin];
    const int32_t channels = plugin.channels;
    const std::string dir = ::testing::TempDir() + "orve-lv2apply-" + std::to_string(getpid()) + "-" +
                            std::to_string(GetParam().plugin) + (GetParam().preset.empty() ? "d" : "p");
    std::filesystem::create_directories(dir);
    const std::vector<double> programme = Programme(channels);
    WriteWav(dir + "/in16.wav", programme, channels, SF_FORMAT_PCM_16);
    WriteWav(dir + "/in.wav", programme, channels, SF_FORMAT_FLOAT);

    std::string controls, orveOptions;
    Host host(plugin.uri, kRate);
    ASSERT_TRUE(host.Ok());
    const std::string& preset = GetParam().preset;
    if (!preset.empty()) {
        const auto presets = World::Get().Presets(World::Get().Plugin(plugin.uri));
        const auto chosen = std::find_if(presets.begin(), presets.end(), [&](const auto& p) { return p.second == preset; });
        ASSERT_NE(chosen, presets.end()) << preset;
        for (const auto& [symbol, value] : World::Get().PresetValues(chosen->first)) {
            char text[64];
            std::snprintf(text, sizeof text, "%.9g", value);
            controls += " -c " + symbol + " " + text;
            host.Set(symbol, value);
        }
        orveOptions = " --preset " + Quote(preset);
    }
    host.Activate();
    host.Run({}, 0);
    const int32_t latency = host.Latency();

    const std::string clock = "faketime -f '2024-01-02 03:04:05' ";
    std::string output;
    ASSERT_EQ(RunCommand(clock + "lv2apply -i " + Quote(dir + "/in.wav") + " -o " + Quote(dir + "/lv2.wav") +
                             controls + " " + Quote(plugin.uri),
                         &output),
              0)
        << output;
    ASSERT_EQ(RunCommand(clock + Quote(ORVE_CLI_PATH) + " process " + Quote(dir + "/in16.wav") + " " +
                             Quote(dir + "/orve.wav") + " -e " + std::to_string(EffectNumber(plugin.effect)) +
                             " --bits 32 --output-bits 32" + orveOptions,
                         &output),
              0)
        << output;

    const std::vector<double> lv2 = ReadWav(dir + "/lv2.wav", channels);
    const std::vector<double> orve = ReadWav(dir + "/orve.wav", channels);
    ASSERT_EQ(lv2.size(), programme.size());
    ASSERT_EQ(orve.size(), programme.size());
    const size_t frames = programme.size() / channels;
    ASSERT_LT(static_cast<size_t>(latency), frames / 2);
    double worst = 0.0, level = 0.0;
    size_t worstAt = 0;
    for (size_t f = latency; f < frames; ++f) {
        for (int32_t c = 0; c < channels; ++c) {
            const double expected = orve[(f - latency) * channels + c];
            const double d = std::fabs(lv2[f * channels + c] - expected);
            level = std::max(level, std::fabs(expected));
            if (d > worst) {
                worst = d;
                worstAt = f;
            }
        }
    }
    // Floats carry 24 bits: a few units of their last place on values up to
    // full scale, far below anything a misalignment or another setting gives.
    EXPECT_LT(worst, 2e-6) << "at frame " << worstAt << ", latency " << latency << ": " << lv2[worstAt * channels]
                           << " against " << orve[(worstAt - latency) * channels];
    EXPECT_GT(level, 1e-3) << "the programme must sound through the effect";
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2ApplyTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& p) {
                             std::string name = BundlePlugins()[p.param.plugin].fileStem;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name + (p.param.preset.empty() ? "_defaults" : "_preset");
                         });

}  // namespace
}  // namespace orve::lv2test
