// Rounding to the output's word: without dither it must be the C library's
// rounding to nearest (ties to even) with clipping, whatever path it takes.
#include "word_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace orve::cli {
namespace {

TEST(WordLength, UnditheredRoundingIsNearestEvenWithClipping) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> wide(-40000.0, 40000.0);
    std::vector<double> mixed = {-2.5, -1.5, -0.5, -0.0, 0.5, 1.5, 2.5, 32766.5, -32768.5, 32767.49999999,
                                 4503599627370495.5, -1e300, inf, -inf, nan};
    for (int i = 0; i < 1000; ++i) mixed.push_back(wide(random));
    for (int i = 0; i < 1000; ++i) mixed.push_back(std::ldexp(std::round(wide(random) * 2.0), -1));   // ties
    std::vector<double> whole;   // a block that needs no rounding at all
    for (int i = 0; i < 1001; ++i) whole.push_back(static_cast<double>(i * 65 - 32768));
    for (const auto& block : {mixed, whole}) {
        WordLength word(16, false);
        std::vector<int32_t> out(block.size());
        int64_t expectClipped = 0;
        const int64_t clipped = word.Round(block.data(), static_cast<int64_t>(block.size()), out.data());
        for (size_t i = 0; i < block.size(); ++i) {
            double v = std::nearbyint(block[i]);
            if (std::isnan(v) || v > 32767.0 || v < -32768.0) ++expectClipped;
            v = std::isnan(v) ? 0.0 : std::fmin(std::fmax(v, -32768.0), 32767.0);
            ASSERT_EQ(out[i], static_cast<int32_t>(v)) << "value " << block[i];
        }
        EXPECT_EQ(clipped, expectClipped);
    }
}

}  // namespace
}  // namespace orve::cli
