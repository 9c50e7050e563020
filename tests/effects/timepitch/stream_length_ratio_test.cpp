// Output length / input length as the host plans it for the effects that
// change the stream length.
#include <gtest/gtest.h>

#include <cmath>

#include "plugin/effect_actions.h"

namespace orve {
namespace {

TEST(StreamLengthRatio, FollowsTheLengthChangingKnobs) {
    const double knob[] = {0.4};
    EXPECT_NEAR(StreamLengthRatio(18, knob), std::pow(2.0, 0.4), 1e-12);   // tempo scaler: slower, longer
    EXPECT_NEAR(StreamLengthRatio(17, knob), std::pow(2.0, 0.4), 1e-12);   // resampler: more samples
    const double fastest[] = {-1.3}, fewest[] = {-1.5}, most[] = {1.0};
    EXPECT_NEAR(StreamLengthRatio(18, fastest), 0.40612619817811774, 1e-12);
    EXPECT_NEAR(StreamLengthRatio(17, fewest), 0.35355339059327379, 1e-12);
    EXPECT_DOUBLE_EQ(StreamLengthRatio(17, most), 2.0);
    const double zero[] = {0.0};
    EXPECT_EQ(StreamLengthRatio(18, zero), 1.0);
}

TEST(StreamLengthRatio, OtherEffectsKeepTheLength) {
    const double values[40] = {1.0, -1.0, 0.5};
    for (int32_t id : {0, 1, 4, 16, 19, 20, 21, 22, 99, -1}) EXPECT_EQ(StreamLengthRatio(id, values), 1.0) << id;
    EXPECT_EQ(StreamLengthRatio(18, nullptr), 1.0);
}

}  // namespace
}  // namespace orve
