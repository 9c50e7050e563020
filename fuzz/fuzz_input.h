#pragma once
// What the harnesses share: the fuzz input read as a stream of choices, and a
// check that fails loudly under libFuzzer and in the corpus replay alike.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define ORVE_FUZZ_CHECK(condition)                                               \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                        \
        }                                                                        \
    } while (0)

namespace orve::fuzz {

// Little-endian values taken from the front; an exhausted input reads as
// zeros, so every prefix of an input is itself a complete run.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : at(data), left(size) {}
    bool Empty() const { return left == 0; }
    uint32_t Bits32() {
        uint32_t v = 0;
        for (int b = 0; b < 4 && left > 0; ++b, ++at, --left) v |= static_cast<uint32_t>(*at) << (8 * b);
        return v;
    }
    uint8_t Byte() {
        if (left == 0) return 0;
        --left;
        return *at++;
    }
    // lo..hi inclusive (hi - lo below 2^32).
    int64_t Range(int64_t lo, int64_t hi) {
        const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
        return lo + static_cast<int64_t>(span > 0xFFFFFFFFull ? Bits32() : Bits32() % span);
    }
    // Mostly one of the usual values, sometimes anything in lo..hi: the
    // usual values reach the code behind the format checks.
    template <size_t N>
    int64_t UsualOr(const int64_t (&usual)[N], int64_t lo, int64_t hi) {
        const uint8_t pick = Byte();
        return pick < 224 ? usual[pick % N] : Range(lo, hi);
    }
    // The unread rest.
    const uint8_t* Rest(size_t* size) const {
        *size = left;
        return at;
    }

private:
    const uint8_t* at;
    size_t left;
};

}  // namespace orve::fuzz
