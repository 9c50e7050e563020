#include <gtest/gtest.h>

#include <set>
#include <string>

#include "plugin/effect_catalogue.h"

namespace orve {
namespace {

// The help page prints one paragraph per offered effect: each must exist and
// belong to its own effect (a copied row would describe the wrong effect).
TEST(EffectDescriptionTest, EveryOfferedEffectHasItsOwnParagraph) {
    std::set<std::string> seen;
    for (int32_t id = 0; id < kSelectableEffects; ++id) {
        const std::string text = EffectDescription(id);
        EXPECT_GT(text.size(), 40u) << id;
        EXPECT_TRUE(seen.insert(text).second) << "duplicate description for " << id;
    }
    EXPECT_NE(std::string(EffectDescription(4)).find("Snap Noise"), std::string::npos);
    EXPECT_STREQ(EffectDescription(-1), EffectDescription(0));
    EXPECT_STREQ(EffectDescription(99), EffectDescription(0));
}

}  // namespace
}  // namespace orve
