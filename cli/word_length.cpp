#include "word_length.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orve::cli {
namespace {

constexpr double kNoFraction = 4503599627370496.0;   // 2^52: every double from here on is whole

// std::nearbyint in the default rounding mode (to nearest, ties to even), as
// the library call it replaces: the sum with 2^52 leaves no bits below the
// units. The library call, not inlined without SSE4.1, was a quarter of a
// whole run's cost for the cheaper effects.
inline double NearestWhole(double v) {
    const double magnitude = std::fabs(v);
    if (!(magnitude < kNoFraction)) return v;           // whole already, infinite or NaN
    return std::copysign((magnitude + kNoFraction) - kNoFraction, v);
}

// True when every value is whole and within [bottom, top] (NaN is neither).
bool PlainBlock(const double* values, int64_t count, double bottom, double top) {
    int64_t i = 0;
    bool plain = true;
#if defined(__SSE2__)
    // Two at a time: the compiler leaves the scalar loop unvectorised at -O2.
    const __m128d noFraction = _mm_set1_pd(kNoFraction), low = _mm_set1_pd(bottom), high = _mm_set1_pd(top);
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d all = _mm_castsi128_pd(_mm_set1_epi32(-1));
    for (; i + 2 <= count; i += 2) {
        const __m128d x = _mm_loadu_pd(values + i);
        const __m128d magnitude = _mm_andnot_pd(sign, x);
        const __m128d whole = _mm_cmpeq_pd(_mm_sub_pd(_mm_add_pd(magnitude, noFraction), noFraction), magnitude);
        all = _mm_and_pd(all, _mm_and_pd(whole, _mm_and_pd(_mm_cmpge_pd(x, low), _mm_cmple_pd(x, high))));
    }
    plain = _mm_movemask_pd(all) == 3;
#endif
    for (; i < count; ++i) {
        const double x = values[i];
        const double magnitude = std::fabs(x);
        plain &= ((magnitude + kNoFraction) - kNoFraction == magnitude) & (x >= bottom) & (x <= top);
    }
    return plain;
}

}  // namespace

WordLength::WordLength(int32_t bitsIn, bool ditherIn)
    : bits(bitsIn),
      dither(ditherIn),
      top(std::ldexp(1.0, bitsIn - 1) - 1.0),
      bottom(-std::ldexp(1.0, bitsIn - 1)),
      random(0x6f7276652d747064ULL) {}

// The sum of two independent uniform values of one step each: its first two
// moments make the rounding error's mean and power independent of the signal,
// which is what removes distortion and noise modulation.
double WordLength::Triangular() {
    constexpr double kUnit = 1.0 / 9007199254740992.0;   // 2^-53
    const double a = static_cast<double>(random() >> 11) * kUnit;
    const double b = static_cast<double>(random() >> 11) * kUnit;
    return a - b;
}

int64_t WordLength::Round(const double* values, int64_t count, int32_t* out) {
    // Most blocks (an integer file on a path as wide) are whole and in range
    // already: one branch-free pass finds out, one conversion does the rest.
    if (PlainBlock(values, count, bottom, top)) {
        for (int64_t i = 0; i < count; ++i) out[i] = static_cast<int32_t>(values[i]);
        return 0;
    }
    bool whole = true;
    for (int64_t i = 0; i < count && whole; ++i) whole = values[i] == NearestWhole(values[i]) || std::isnan(values[i]);
    const bool addDither = dither && !whole;
    int64_t clipped = 0;
    for (int64_t i = 0; i < count; ++i) {
        double v = NearestWhole(addDither ? values[i] + Triangular() : values[i]);
        if (std::isnan(v)) {
            // A float file can hold NaN; silence is the only safe sample.
            v = 0.0;
            ++clipped;
        } else if (v > top) {
            v = top;
            ++clipped;
        } else if (v < bottom) {
            v = bottom;
            ++clipped;
        }
        out[i] = static_cast<int32_t>(v);
    }
    return clipped;
}

}  // namespace orve::cli
