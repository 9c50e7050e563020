#include "ui/knob_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "dsp/effect_processor.h"
#include "ui/face_drawing.h"
#include "ui/product_links.h"

namespace orve::ui {
namespace {

TEST(KnobFormatTest, PrecisionFollowsMagnitude) {
    EXPECT_EQ(FormatKnobValue(9.0), "9.0");
    EXPECT_EQ(FormatKnobValue(-9.0), "-9.0");
    EXPECT_EQ(FormatKnobValue(9.05), " 9.1");   // "%4.1f": past 9 the field widens
    EXPECT_EQ(FormatKnobValue(0.25), "0.2");
    EXPECT_EQ(FormatKnobValue(99.9), "99.9");
    EXPECT_EQ(FormatKnobValue(99.95), " 99");
    EXPECT_EQ(FormatKnobValue(-250.7), "-250");
    EXPECT_EQ(FormatKnobValue(999.0), "999");
    EXPECT_EQ(FormatKnobValue(1000.0), "  1k");
    EXPECT_EQ(FormatKnobValue(16000.0), " 16k");
    EXPECT_EQ(FormatKnobValue(1000000.0), "1000k");
    EXPECT_EQ(FormatKnobValue(1000001.0), "  1M");
    EXPECT_EQ(FormatKnobValue(25000000.0), " 25M");
}

TEST(KnobFormatTest, GainSliderReadsDecibels) {
    EXPECT_EQ(PresetGainPosition(0.0), 5000);
    EXPECT_EQ(PresetGainPosition(6.0), 4500);
    EXPECT_EQ(PresetGainPosition(-3.5), 5291);   // 5291.66 truncated
    // The user's own row restores whole decibels from the stored position.
    EXPECT_DOUBLE_EQ(StoredRowGain(5000), 1.0);
    EXPECT_DOUBLE_EQ(StoredRowGain(4999), std::pow(10.0, 1.0 / 20.0));
    EXPECT_DOUBLE_EQ(StoredRowGain(3334), 10.0);                          // 40 steps: 20 dB
    EXPECT_DOUBLE_EQ(StoredRowGain(3333), std::pow(10.0, 21.0 / 20.0));   // 39 steps: 21 dB
}

TEST(KnobFormatTest, KnobMappingRunsBothWaysWhenStartExceedsEnd) {
    const KnobSpec falling{"Thresh", 0.0, -60.0, -20.0};
    EXPECT_DOUBLE_EQ(KnobValueAt(falling, 0), 0.0);
    EXPECT_DOUBLE_EQ(KnobValueAt(falling, 10000), -60.0);
    EXPECT_DOUBLE_EQ(KnobValueAt(falling, 2500), -15.0);
    EXPECT_EQ(KnobPositionOf(falling, -15.0), 2500);
    EXPECT_EQ(KnobPositionOf(falling, -20.0), 3333);   // truncated toward zero
    const KnobSpec rising{"Freq", 100.0, 16000.0, 1000.0};
    for (int p : {0, 1, 1234, 5000, 9999, 10000}) {
        const int back = KnobPositionOf(rising, KnobValueAt(rising, p));
        EXPECT_LE(std::abs(back - p), 1) << p;
        const int backFalling = KnobPositionOf(falling, KnobValueAt(falling, p));
        EXPECT_LE(std::abs(backFalling - p), 1) << p;
    }
}

TEST(FaceDrawingTest, PassSwitchBypassesOrRestoresEveryChannel) {
    EXPECT_EQ(PassSwitchMask(true, 1), 0);
    EXPECT_EQ(PassSwitchMask(true, 2), 0);
    EXPECT_EQ(PassSwitchMask(false, 1), 1);
    EXPECT_EQ(PassSwitchMask(false, 2), 3);
}

TEST(ProductLinksTest, HelpPageSitsBesideTheModule) {
    EXPECT_EQ(HelpPagePath("C:\\Program Files\\Winamp\\Plugins\\orve_studio.dll"),
              "C:\\Program Files\\Winamp\\Plugins\\ORVEStudio/help.html");
    EXPECT_EQ(HelpPagePath("orve_studio.dll"), "");      // no backslash: online manual
    EXPECT_EQ(HelpPagePath("C:\\Plugins\\x"), "");        // fewer than two characters after it
    EXPECT_EQ(HelpPagePath("C:\\Plugins\\xy"), "C:\\Plugins\\ORVEStudio/help.html");
    EXPECT_NE(std::string(kHomePageUrl), std::string(kManualUrl));
}

}  // namespace
}  // namespace orve::ui
