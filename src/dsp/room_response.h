#pragma once
// Impulse response of a shoebox room for one source and one listening point.
//
// Three parts are mixed: the direct impulse at the direct path's delay, early
// reflections from 10 x 10 x 10 image sources (merged to arrivals at least
// 1 ms apart and placed on whole samples), and a random late tail decaying
// 60 dB over the Eyring reverberation time. All but the direct impulse pass a
// one-pole low-pass whose cut-off falls with the mean path length (air
// absorption).
#include <array>
#include <cstdint>
#include <vector>

namespace orve {

// Source x, y, z; listening point x, y, z; room Lx, Ly, Lz; pressure
// reflection coefficients of the walls at x = 0, y = 0, z = 0, then of the
// walls at x = Lx, y = Ly, z = Lz. Lengths in metres.
using RoomGeometry = std::array<double, 15>;

// The runtime-style generator the tail is drawn from: integers 0..32767 from
// a linear congruential sequence (multiplier 214013, increment 2531011).
class TailRandom {
public:
    void Seed(uint32_t seed) { state = seed; }
    int32_t Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFF);
    }

private:
    uint32_t state = 1;
};

class RoomResponse {
public:
    static constexpr int32_t kImageCount = 1000;

    explicit RoomResponse(double sampleRate);
    virtual ~RoomResponse() = default;
    RoomResponse(const RoomResponse&) = delete;
    RoomResponse& operator=(const RoomResponse&) = delete;

    void SetGeometry(const RoomGeometry& g) { geometry = g; }
    void SetRatios(double direct, double reflection, double reverb) {
        directRatio = direct;
        reflectionRatio = reflection;
        reverbRatio = reverb;
    }
    // Tails are seeded from the clock (seconds), so builds within one second
    // draw the same noise. A fixed seed makes every later build reproducible.
    void UseFixedSeed(uint32_t seed) {
        fixedSeed = seed;
        seedFixed = true;
    }

    void BuildEarly();
    void BuildTail();
    void Assemble();
    // All three builds.
    void Rebuild();
    // Hands the assembled response over (it leaves this object).
    void TakeResponse(std::vector<double>& into) { into.swap(response); }

    double ReverbSeconds() const { return reverbSeconds; }
    int32_t DirectIndex() const { return directIndex; }
    int32_t ResponseLength() const { return responseLength; }
    const double* Response() const { return response.data(); }

private:
    struct Arrival {
        double t;   // seconds
        double a;   // pressure amplitude
        bool operator<(const Arrival& other) const { return t < other.t; }
    };

    double sampleRate;
    RoomGeometry geometry{};
    double directRatio = 0.0, reflectionRatio = 0.0, reverbRatio = 0.0;
    double reverbSeconds = 0.0;
    double cutoffHz = 0.0;
    double smoothing = 0.0;
    int32_t tailOffset = 0;
    int32_t peakIndex = 0;
    double tailGain = 1.0;
    int32_t arrivalSpacing = 1;
    int32_t groupCount = 0;
    int32_t onsetLength = 0;   // M: samples of sparse onset at the head of the tail
    std::vector<double> early;
    int32_t earlyLength = 0;
    std::vector<double> tail;
    int32_t tailLength = 0;
    std::vector<double> response;
    int32_t responseLength = 0;
    int32_t directIndex = 0;
    std::array<Arrival, kImageCount> arrivals{};
    std::vector<int32_t> gaps;
    TailRandom random;
    uint32_t fixedSeed = 0;
    bool seedFixed = false;
};

}  // namespace orve
