#include "ui/knob_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "ui/product_links.h"
#include "ui/window_layout.h"

namespace orve::ui {
namespace {

TEST(KnobFormatTest, PrecisionFollowsMagnitude) {
    const std::pair<double, const char*> cases[] = {{-9.0, "-9.0"}, {9.05, "9.1"},   {99.95, "99"},
                                                    {-250.7, "-250"}, {1000.0, "1k"}, {1000000.0, "1000k"},
                                                    {1000001.0, "1M"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatKnobValue(value), text) << value;
}

// Every knob of every effect, at every position, as its thumb shows it, and
// the gain slider: at most five glyphs (what the value fonts fit on a thumb),
// with the value's sign.
TEST(KnobFormatTest, EveryKnobReadsWholeInFiveGlyphs) {
    PluginState state(nullptr);
    size_t widest = 0;
    for (const EffectEntry& effect : OfferedEffects()) {
        state.effectId = effect.id;
        BuildEffect(state, 44100, 2, false);
        for (int32_t k = 0; k < state.knobCount; ++k)
            for (int32_t p = 0; p <= kKnobPositionMax; ++p) {
                const double shown = state.currentEffect->DisplayValue(k, KnobValueAt(state.knobTable[k], p));
                const std::string text = FormatKnobValue(shown);
                ASSERT_LE(text.size(), 5u) << effect.Text() << " knob " << k << " at " << p << ": " << text;
                ASSERT_EQ(text[0] == '-', shown <= -0.05) << text;
                widest = std::max(widest, text.size());
            }
    }
    for (int32_t p = 0; p <= kKnobPositionMax; ++p) ASSERT_LE(FormatKnobValue(GainPositionToDecibels(p)).size(), 5u);
    EXPECT_EQ(widest, 5u);
}

TEST(ProductLinksTest, HelpPageSitsBesideTheModule) {
    EXPECT_EQ(HelpPagePath("C:\\Program Files\\Winamp\\Plugins\\orve_studio.dll"),
              "C:\\Program Files\\Winamp\\Plugins\\ORVEStudio/help.html");
    EXPECT_EQ(HelpPagePath("orve_studio.dll"), "");      // no backslash: online manual
    EXPECT_EQ(HelpPagePath("C:\\Plugins\\x"), "");        // fewer than two characters after it
    EXPECT_EQ(HelpPagePath("C:\\Plugins\\xy"), "C:\\Plugins\\ORVEStudio/help.html");
    EXPECT_NE(std::string(kHomePageUrl), std::string(kManualUrl));
}

// The widest layout, 31 knobs in the narrow host's GEQ-31 window: the knob
// columns truncate, yet no two trackbars overlap and the last stays inside.
TEST(WindowLayoutTest, ThirtyOneKnobsNeverOverlap) {
    const int32_t client = WindowWidth(EffectId::Geq31Bands, 0) - 6;
    const KnobRow row = KnobRowFor(client, 31);
    for (int k = 1; k < 31; ++k)
        EXPECT_GE(KnobTrackbarRect(row, k, 150).x - KnobTrackbarRect(row, k - 1, 150).x, kTrackbarWidth) << k;
    EXPECT_LE(KnobTrackbarRect(row, 30, 150).x + kTrackbarWidth, client);
}

}  // namespace
}  // namespace orve::ui
