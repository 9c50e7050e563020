#pragma once
// Rounding samples to a shorter word: with TPDF dither, so that what is below
// the new last bit survives as noise instead of turning into harmonics and a
// DC offset (libsndfile's own dither is not implemented, so it is done here).
#include <cstdint>
#include <random>

namespace orve::cli {

class WordLength {
public:
    // `bits`: the width the values are rounded to. The generator is seeded
    // with a constant so that the same command gives the same bytes.
    WordLength(int32_t bits, bool dither);

    // Rounds `count` values given in units of the target's last bit (already
    // scaled) to integers on the target's signed scale, clipping at its ends.
    // A block whose values are all whole already is copied unchanged, so that
    // digital silence stays silent and a file that needs no rounding comes
    // back bit for bit. Returns how many values were clipped (NaN, which
    // becomes 0, counts as clipped).
    int64_t Round(const double* values, int64_t count, int32_t* out);

    int32_t Bits() const { return bits; }

private:
    double Triangular();

    int32_t bits;
    bool dither;
    double top;      // largest value: 2^(bits-1) - 1
    double bottom;   // smallest: -2^(bits-1)
    std::mt19937_64 random;
};

}  // namespace orve::cli
