// The bundle as Debian's LV2 tools see it: lv2ls lists every plug-in,
// lv2info shows each one with its latency, bypass and presets, lv2_validate
// accepts the descriptions against the LV2 schemas, lv2bench runs them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "lv2/lv2_test_host.h"

namespace orve::lv2test {
namespace {

using lv2::BundlePlugin;
using lv2::BundlePlugins;
constexpr size_t npos = std::string::npos;

std::string Trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s.substr(std::min(s.size(), s.find_first_not_of(' ')));
}

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
        if (rows > 0 && Trimmed(table[rows - 1].name) == "Custom") --rows;
        for (int32_t r = 0; r < rows; ++r)
            EXPECT_NE(info.find("\t         " + Trimmed(table[r].name) + "\n"), npos) << table[r].name;
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

TEST(Lv2Bundle, Lv2benchRunsEveryPlugin) {
    for (const BundlePlugin& plugin : BundlePlugins()) {
        std::string output;
        EXPECT_EQ(RunCommand("lv2bench -n 16384 -b 512 '" + plugin.uri + "'", &output), 0) << output;
        // lv2bench prints the plug-in with its time per period, and skips
        // (with a message, status 0) what it cannot run.
        EXPECT_NE(output.find(plugin.uri), npos) << output;
        EXPECT_EQ(output.find("Failed"), npos) << output;
        EXPECT_EQ(output.find("rror"), npos) << output;
    }
}

}  // namespace
}  // namespace orve::lv2test
