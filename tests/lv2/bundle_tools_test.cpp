// The bundle as Debian's LV2 tools see it: lv2ls lists every plug-in,
// lv2info shows each one's ports and presets as the effect's own tables give
// them, lv2_validate accepts the descriptions against the LV2 schemas, and
// lv2bench runs every plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "lv2/lv2_test_host.h"
#include "platform/lv2/lv2_bundle.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_factory.h"

namespace orve::lv2test {
namespace {

using lv2::BundlePlugin;
using lv2::BundlePlugins;

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
}

TEST(Lv2Bundle, Lv2lsListsOneStereoPluginPerLengthKeepingEffectAndMonoWhereChannelsAreIndependent) {
    std::string listing;
    ASSERT_EQ(RunCommand("lv2ls", &listing), 0) << listing;
    std::vector<std::string> listed;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) listed.push_back(line);

    size_t expected = 0;
    for (const EffectEntry& entry : OfferedEffects()) {
        const bool kept = entry.id != EffectId::TempoScaler && entry.id != EffectId::Resampler;
        int32_t variants = 0;
        for (const BundlePlugin& plugin : BundlePlugins()) {
            if (plugin.effect != entry.id) continue;
            ++variants;
            EXPECT_NE(std::find(listed.begin(), listed.end(), plugin.uri), listed.end()) << plugin.uri;
            EXPECT_EQ(plugin.uri.rfind(lv2::kUriBase, 0), 0u);
        }
        EXPECT_EQ(variants, kept ? (entry.passOnly ? 1 : 2) : 0) << entry.Text();
        expected += variants;
    }
    EXPECT_EQ(listed.size(), expected) << listing;
}

class Lv2InfoTest : public ::testing::TestWithParam<size_t> {};

// lv2info lists the plug-in's latency, every knob and every preset as the
// effect's own tables give them; the ranges, defaults and port properties as
// lilv reads them (what lv2info prints) match the knobs and the host ports.
TEST_P(Lv2InfoTest, ShowsTheEffectsKnobsPresetsAndTheHostPorts) {
    const BundlePlugin& plugin = BundlePlugins()[GetParam()];
    std::string info;
    ASSERT_EQ(RunCommand("lv2info '" + plugin.uri + "'", &info), 0) << info;
    EXPECT_NE(info.find("Has latency:       yes"), std::string::npos) << info;

    const EffectBuildContext context{44100, plugin.channels, nullptr, nullptr};
    std::unique_ptr<EffectProcessor> effect = MakeEffect(plugin.effect, context);
    KnobSpec knobs[kMaxKnobs] = {};
    const int32_t knobCount = effect->DescribeKnobs(knobs);
    const lv2::PortLayout layout = lv2::LayoutOf(plugin, knobCount);
    const LilvPlugin* described = World::Get().Plugin(plugin.uri);
    ASSERT_EQ(lilv_plugin_get_num_ports(described), layout.Count());
    std::vector<float> low(layout.Count()), high(layout.Count()), standard(layout.Count());
    lilv_plugin_get_port_ranges_float(described, low.data(), high.data(), standard.data());
    Host host(plugin.uri, 44100);
    EXPECT_EQ(host.Channels(), plugin.channels);

    for (int32_t k = 0; k < knobCount; ++k) {
        const uint32_t port = layout.Knob(k);
        SCOPED_TRACE(knobs[k].label);
        EXPECT_NE(info.find("Name:        " + Trimmed(knobs[k].label) + "\n"), std::string::npos);
        EXPECT_FLOAT_EQ(low[port], static_cast<float>(std::min(knobs[k].startValue, knobs[k].endValue)));
        EXPECT_FLOAT_EQ(high[port], static_cast<float>(std::max(knobs[k].startValue, knobs[k].endValue)));
        EXPECT_FLOAT_EQ(standard[port], static_cast<float>(knobs[k].defaultValue));
    }
    EXPECT_EQ(host.SymbolAt(layout.Gain()), "gain");
    EXPECT_EQ(low[layout.Gain()], -60.0f);
    EXPECT_EQ(high[layout.Gain()], 60.0f);
    EXPECT_EQ(layout.switches, CatalogueEntry(plugin.effect).passOnly || plugin.channels == 1 ? 1 : 2);
    for (int32_t s = 0; s < layout.switches; ++s) EXPECT_EQ(standard[layout.Switch(s)], 1.0f);
    EXPECT_EQ(host.SymbolAt(layout.Enabled()), "enabled");
    EXPECT_EQ(host.SymbolAt(layout.Latency()), "latency");
    EXPECT_NE(info.find("Designation: http://lv2plug.in/ns/lv2core#enabled"), std::string::npos);
    EXPECT_NE(info.find("Designation: http://lv2plug.in/ns/lv2core#latency"), std::string::npos);
    EXPECT_EQ(info.find("#trigger") != std::string::npos, plugin.effect == EffectId::DeNoise);

    // Every row of the effect's table but the user's own "Custom" row.
    const EffectPreset* table = nullptr;
    int32_t rows = effect->GetPresets(&table);
    if (!table) rows = 0;
    size_t expected = 0;
    for (int32_t r = 0; r < rows; ++r) {
        if (r == rows - 1 && Trimmed(table[r].name) == "Custom") continue;
        ++expected;
        EXPECT_NE(info.find("\t         " + Trimmed(table[r].name) + "\n"), std::string::npos) << table[r].name;
    }
    EXPECT_EQ(World::Get().Presets(described).size(), expected);
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2InfoTest, ::testing::Range<size_t>(0, BundlePlugins().size()),
                         [](const ::testing::TestParamInfo<size_t>& p) {
                             std::string name = BundlePlugins()[p.param].fileStem;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(Lv2Bundle, Lv2ValidateAcceptsEveryDescription) {
    std::string files;
    for (const auto& file : std::filesystem::directory_iterator(BundleParent() + "/" + lv2::kBundleDirectory))
        if (file.path().extension() == ".ttl") files += " '" + file.path().string() + "'";
    std::string output;
    EXPECT_EQ(RunCommand("lv2_validate" + files, &output), 0) << output;
    EXPECT_NE(output.find("Found 0 errors"), std::string::npos) << output;
}

TEST(Lv2Bundle, Lv2benchRunsEveryPlugin) {
    for (const BundlePlugin& plugin : BundlePlugins()) {
        std::string output;
        EXPECT_EQ(RunCommand("lv2bench -n 16384 -b 512 '" + plugin.uri + "'", &output), 0) << output;
        // lv2bench prints the plug-in with its time per period, and skips
        // (with a message, status 0) what it cannot run.
        EXPECT_NE(output.find(plugin.uri), std::string::npos) << output;
        EXPECT_EQ(output.find("Failed"), std::string::npos) << output;
        EXPECT_EQ(output.find("rror"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace orve::lv2test
