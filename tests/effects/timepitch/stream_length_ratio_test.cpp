// Output length / input length and start-up lead as a host plans them for the
// effects that change the stream length.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/timepitch/pitch_scaler.h"
#include "effects/timepitch/resampler.h"
#include "effects/timepitch/tempo_scaler.h"
#include "plugin/effect_actions.h"

namespace orve {
namespace {

TEST(StreamLengthRatio, IsTheRatioTheEffectRealises) {
    const double slower[] = {0.4};
    // "SlowDown" steps consume 1552 frames and produce 2048: slightly more
    // than the 2^0.4 the knob shows, which a host must not cut off.
    TempoScaler tempo(44100, 2);
    tempo.SetParameters(slower);
    EXPECT_DOUBLE_EQ(StreamLengthRatio(&tempo), 2048.0 / 1552.0);
    EXPECT_NE(StreamStartLead(&tempo), 0);
    Resampler resampler(44100, 2);
    resampler.SetParameters(slower);
    EXPECT_DOUBLE_EQ(StreamLengthRatio(&resampler), std::pow(2.0, 0.4));
    EXPECT_EQ(StreamStartLead(&resampler), 0);

    PitchScaler pitch(44100, 2);
    pitch.SetParameters(slower);
    EXPECT_EQ(StreamLengthRatio(&pitch), 1.0);
    EXPECT_EQ(StreamStartLead(&pitch), 0);
    EXPECT_EQ(StreamLengthRatio(nullptr), 1.0);
    EXPECT_EQ(StreamStartLead(nullptr), 0);
}

}  // namespace
}  // namespace orve
