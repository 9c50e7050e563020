// The bundle as Debian's LV2 tools see it: lv2ls lists every plug-in,
// lv2info shows each one with its latency, bypass and presets, lv2_validate
// accepts the descriptions against the LV2 schemas.
//
// lv2apply (lilv-utils) runs a test programme through every plug-in, at its
// defaults and with its first preset, and the result equals `orve process`
// with the same settings at 32 bits, once shifted by the latency the plug-in
// reports: the LV2 wrapper plays the very same effect, float for integer.
//
// lv2apply runs the plug-in one frame per run() and without a worker, so the
// wrapper's queues and its own rebuild path are exercised at their extreme.
// lv2apply runs under a frozen clock (faketime): the plug-in's modal reverb
// draws its tail noise from the clock's seconds, and orve is given those
// seconds as its --seed.
#include <gtest/gtest.h>
#include <sndfile.hh>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demo_cases.h"
#include "effect_lookup.h"
#include "lv2/lv2_test_host.h"

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
    const analysis::Signal full = analysis::StandardProgramme(kRate);
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
    SndfileHandle(path, SFM_WRITE, SF_FORMAT_WAV | format, channels, kRate).writef(samples.data(), samples.size() / channels);
}

std::vector<double> ReadWav(const std::string& path, int32_t channels) {
    SndfileHandle file(path);
    EXPECT_EQ(file.channels(), channels) << path;
    std::vector<double> samples(static_cast<size_t>(file.frames()) * file.channels());
    file.readf(samples.data(), file.frames());
    return samples;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

struct Case {
    size_t plugin;
    std::string preset;   // a preset's label, or empty for the defaults
};

// Each plug-in at its defaults, and with the first row of its table that
// sets anything but the defaults.
std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (size_t p = 0; p < BundlePlugins().size(); ++p) {
        cases.push_back({p, ""});
        const Described d = Describe(BundlePlugins()[p]);
        const EffectPreset* table = nullptr;
        const int32_t rows = d.effect->GetPresets(&table);
        for (int32_t r = 0; r < rows; ++r) {
            bool differs = table[r].values[0] != 0.0;
            for (int32_t k = 0; k < d.knobCount; ++k) differs = differs || table[r].values[k + 1] != d.knobs[k].defaultValue;
            std::string name = table[r].name;
            name.erase(name.find_last_not_of(' ') + 1);
            if (differs && name != "Custom") {
                cases.push_back({p, name});
                break;
            }
        }
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
        ASSERT_EQ(presets.count(preset), 1u) << preset;
        ASSERT_FALSE(presets.at(preset).empty()) << preset;
        for (const auto& [symbol, value] : presets.at(preset)) {
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

    const std::string clock = "faketime -f '2024-01-02 03:04:05' ", orveRun = " --bits 32 --output-bits 32";
    std::string output;
    ASSERT_EQ(RunCommand(clock + "lv2apply -i " + Quote(dir + "/in.wav") + " -o " + Quote(dir + "/lv2.wav") +
                             controls + " " + Quote(plugin.uri), &output), 0) << output;
    ASSERT_EQ(RunCommand(Quote(ORVE_CLI_PATH) + " process " + Quote(dir + "/in16.wav") + " " + Quote(dir + "/orve.wav") +
                             " -e " + std::to_string(EffectNumber(plugin.effect)) + orveRun + orveOptions +
                             " --seed \"$(" + clock + "date +%s)\"", &output), 0) << output;

    const std::vector<double> lv2 = ReadWav(dir + "/lv2.wav", channels), orve = ReadWav(dir + "/orve.wav", channels);
    ASSERT_EQ(lv2.size(), programme.size());
    ASSERT_EQ(orve.size(), programme.size());
    const size_t shift = static_cast<size_t>(latency) * channels;
    ASSERT_LT(shift, programme.size() / 2);
    double worst = 0.0, level = 0.0;
    size_t worstAt = shift;
    for (size_t i = shift; i < lv2.size(); ++i) {
        level = std::max(level, std::fabs(orve[i - shift]));
        if (std::fabs(lv2[i] - orve[i - shift]) > worst) worst = std::fabs(lv2[i] - orve[(worstAt = i) - shift]);
    }
    // Floats carry 24 bits: a few units of their last place on values up to
    // full scale, far below anything a misalignment or another setting gives.
    EXPECT_LT(worst, 2e-6) << "at frame " << worstAt / channels << ", latency " << latency << ": " << lv2[worstAt]
                           << " against " << orve[worstAt - shift];
    EXPECT_GT(level, 1e-3) << "the programme must sound through the effect";
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2ApplyTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& p) {
                             return PluginName({p.param.plugin, p.index}) + (p.param.preset.empty() ? "_defaults" : "_preset");
                         });

constexpr size_t npos = std::string::npos;

TEST(Lv2Bundle, ToolsListEveryLengthKeepingEffectWithItsPresets) {
    std::string listing;
    ASSERT_EQ(RunCommand("lv2ls", &listing), 0) << listing;
    // Stereo for every effect but the two that change the stream's length,
    // and mono too where the window offers the channels one by one.
    size_t expected = 0;
    for (const EffectEntry& entry : OfferedEffects())
        if (entry.id != EffectId::TempoScaler && entry.id != EffectId::Resampler) expected += entry.passOnly ? 1 : 2;
    EXPECT_EQ(static_cast<size_t>(std::count(listing.begin(), listing.end(), '\n')), expected) << listing;

    for (const BundlePlugin& plugin : BundlePlugins()) {
        SCOPED_TRACE(plugin.uri);
        EXPECT_NE(listing.find(plugin.uri + "\n"), npos);
        std::string info;
        ASSERT_EQ(RunCommand("lv2info '" + plugin.uri + "'", &info), 0) << info;
        EXPECT_NE(info.find("Has latency:       yes"), npos) << info;
        EXPECT_NE(info.find("Designation: http://lv2plug.in/ns/lv2core#enabled"), npos);
        EXPECT_EQ(info.find("#trigger") != npos, plugin.effect == EffectId::DeNoise);

        const Described d = Describe(plugin);
        // Every row of the effect's table but the user's own "Custom" row.
        const EffectPreset* table = nullptr;
        int32_t rows = d.effect->GetPresets(&table);
        if (rows > 0 && cli::Trimmed(table[rows - 1].name) == "Custom") --rows;
        for (int32_t r = 0; r < rows; ++r)
            EXPECT_NE(info.find("\t         " + cli::Trimmed(table[r].name) + "\n"), npos) << table[r].name;
        EXPECT_EQ(World::Get().Presets(World::Get().Plugin(plugin.uri)).size(), static_cast<size_t>(std::max(rows, 0)));
    }
}

TEST(Lv2Bundle, Lv2ValidateAcceptsEveryDescription) {
    std::string files, output;
    for (const auto& file : std::filesystem::directory_iterator(ORVE_LV2_DIR "/" + std::string(lv2::kBundleDirectory)))
        if (file.path().extension() == ".ttl") files += " '" + file.path().string() + "'";
    EXPECT_EQ(RunCommand("lv2_validate" + files, &output), 0) << output;
    EXPECT_NE(output.find("Found 0 errors"), npos) << output;
}

}  // namespace
}  // namespace orve::lv2test
