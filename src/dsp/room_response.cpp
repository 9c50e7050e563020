#include "dsp/room_response.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "dsp/sort.h"

namespace orve {
namespace {

constexpr double kSpeedOfSound = 343.0;   // m/s
// Arrivals closer than this are heard as one and merged.
constexpr double kMergeSeconds = 0.001;
// Beyond every room the knobs can make (68.7 s at the extremes); only a wall
// that reflects everything (no absorption at all) would reach it.
constexpr double kMaxReverbSeconds = 100.0;
// The same ten image indices on every axis; 0 is absent, so every image has
// at least one reflection on each axis.
constexpr int kImageIndices[10] = {-5, -4, -3, -2, -1, 1, 2, 3, 4, 5};

double Uniform(int32_t r) { return r * (2.0 / 32767.0) - 1.0; }

}  // namespace

RoomResponse::RoomResponse(double sampleRate) : sampleRate(sampleRate) {}

void RoomResponse::BuildEarly() {
    const double fs = sampleRate;
    const RoomGeometry& g = geometry;
    const double Lx = g[6], Ly = g[7], Lz = g[8];

    // Eyring: the mean absorption weights each wall's 1 - beta^2 by its area.
    const double S = 2.0 * (Lx * Ly + (Lx + Ly) * Lz);
    const double V = Lx * Ly * Lz;
    const double meanAbsorption = (Lz * (Lx * (2.0 - g[10] * g[10] - g[13] * g[13]) +
                                         Ly * (2.0 - g[9] * g[9] - g[12] * g[12])) +
                                   Lx * Ly * (2.0 - g[11] * g[11] - g[14] * g[14])) /
                                  S;
    reverbSeconds = 0.161 * V / (-S * std::log(1.0 - meanAbsorption));
    // Fully reflecting walls give an infinite time, fully absorbing ones zero.
    if (!(reverbSeconds > 0.0)) reverbSeconds = 0.0;
    reverbSeconds = std::min(reverbSeconds, kMaxReverbSeconds);
    tailLength = static_cast<int32_t>(reverbSeconds * fs);

    // Per axis: reflection factor and signed offset of each image.
    double R[3][10], D[3][10];
    for (int axis = 0; axis < 3; ++axis) {
        const double s = g[axis], l = g[3 + axis], L = g[6 + axis];
        const double nearWall = g[9 + axis], farWall = g[12 + axis];
        for (int k = 0; k < 10; ++k) {
            const int n = kImageIndices[k];
            const bool odd = (n % 2) != 0;
            R[axis][k] = n < 0 ? std::pow(nearWall, -n) : std::pow(farWall, n);
            const int m = odd ? n + 1 : n;
            D[axis][k] = m * L + (odd ? -s : s) - l;
        }
    }

    const double dx = g[3] - g[0], dy = g[4] - g[1], dz = g[5] - g[2];
    directIndex = static_cast<int32_t>(std::sqrt(dx * dx + dy * dy + dz * dz) * fs / kSpeedOfSound);

    int32_t count = 0;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            for (int k = 0; k < 10; ++k) {
                const double r = std::sqrt(D[0][i] * D[0][i] + D[1][j] * D[1][j] + D[2][k] * D[2][k]);
                arrivals[count++] = Arrival{r / kSpeedOfSound, R[0][i] * R[1][j] * R[2][k] / (4.0 * M_PI * r)};
            }
    HeapSort(arrivals.data(), kImageCount);

    // Merge arrivals within 1 ms into one at their energy-weighted time with
    // their summed energy; groups overwrite the front of the sorted list.
    int32_t group = 0;
    for (int32_t m = 1; m < kImageCount; ++m) {
        const Arrival next = arrivals[m];
        if (next.t > reverbSeconds) break;
        Arrival& current = arrivals[group];
        if (next.t - current.t >= kMergeSeconds) {
            arrivals[++group] = next;
        } else {
            const double e = current.a * current.a + next.a * next.a;
            current.t = (current.a * current.a * current.t + next.a * next.a * next.t) / e;
            current.a = std::sqrt(e);
        }
    }
    groupCount = group + 1;

    // With fewer than 17 groups the 17th entry is still the sorted image
    // time that merging left in place.
    arrivalSpacing = static_cast<int32_t>((arrivals[16].t - arrivals[0].t) * fs / 16.0);

    double energy = 0.0, weighted = 0.0;
    for (int32_t k = 0; k < groupCount; ++k) {
        const double e = arrivals[k].a * arrivals[k].a;
        energy += e;
        weighted += e * arrivals[k].t;
    }
    // Walls that reflect nothing leave no energy to weight by; the first
    // arrival then stands for the mean path.
    const double meanPath = kSpeedOfSound * (energy > 0.0 ? weighted / energy : arrivals[0].t);
    cutoffHz = std::exp(10.577 - 0.596 * std::log(meanPath));
    // One-pole low-pass 3 dB down at cutoffHz.
    const double b = 2.0 - std::cos(2.0 * M_PI * cutoffHz / fs);
    smoothing = b - std::sqrt(b * b - 1.0);

    int32_t strongest = 0;
    for (int32_t k = 1; k < groupCount; ++k)
        if (arrivals[k].a > arrivals[strongest].a) strongest = k;
    auto samplePosition = [fs](double t) {
        const double x = t * fs;
        const int32_t n = static_cast<int32_t>(x);
        return x - n >= 0.5 ? n + 1 : n;
    };
    tailGain = 1.0;
    peakIndex = tailOffset = samplePosition(arrivals[strongest].t);
    earlyLength = samplePosition(arrivals[groupCount - 1].t) + 1;
    early.assign(static_cast<size_t>(earlyLength), 0.0);
    const double aMax = arrivals[strongest].a;
    if (aMax > 0.0)
        for (int32_t k = 0; k < groupCount; ++k) early[samplePosition(arrivals[k].t)] = arrivals[k].a / aMax;
}

void RoomResponse::BuildTail() {
    random.Seed(seedFixed ? fixedSeed : static_cast<uint32_t>(std::time(nullptr)));
    const double G = tailGain * 0.6;
    tail.assign(static_cast<size_t>(tailLength), 0.0);

    // A degenerate geometry (a tiny room at a low rate) can give arrivals
    // less than a sample apart; one sample is the finest spacing that means
    // anything.
    const int32_t delta = std::max(arrivalSpacing, 1);
    const int32_t M = std::min(peakIndex / delta, tailLength);
    onsetLength = M;

    // Sparse onset: isolated echoes whose gaps shrink from about the early
    // arrival spacing to one sample, fading in towards the dense part. It
    // needs at least two gap entries to interpolate between; with fewer the
    // dense decay simply starts at M.
    if (M >= 2) {
        gaps.resize(static_cast<size_t>(M));
        for (int32_t i = 0; i < M; ++i) {
            const double u = Uniform(random.Next());
            // Integer interpolation, as the gap schedule is counted in whole samples.
            const int32_t ramp = delta + (1 - delta) * i / (M - 1);
            gaps[i] = static_cast<int32_t>((1.0 + 0.5 * u) * ramp);
        }
        const double span = static_cast<double>(M - 1) * (M - 1);
        int32_t i = 0;
        while (i < M) {
            const double p = 1.0 + 0.5 * Uniform(random.Next());
            const double q = Uniform(random.Next());
            const double d = static_cast<double>(M - i);
            tail[i] = q * p * std::exp(-d * d / span) * G;
            i = i + 1 + gaps[i];
        }
    }

    // Dense decay: exp(-7) at the end is about -61 dB, the 60 dB of T60.
    const double decayLength = static_cast<double>(tailLength - M);
    for (int32_t n = M; n < tailLength; ++n) {
        const double p = 1.0 + 0.5 * Uniform(random.Next());
        const double q = Uniform(random.Next());
        tail[n] = q * p * std::exp(-7.0 * (n - M) / decayLength) * G;
    }
}

void RoomResponse::Assemble() {
    // The direct path is shorter than every image path, so the direct impulse
    // lies inside the early part; the bound only protects odd geometries.
    responseLength = std::max({earlyLength, tailOffset + tailLength, directIndex + 1});
    response.assign(static_cast<size_t>(responseLength), 0.0);
    for (int32_t i = 0; i < tailLength; ++i) response[tailOffset + i] = tail[i] * reverbRatio;
    for (int32_t i = 0; i < earlyLength; ++i) response[i] += early[i] * reflectionRatio;
    // Air absorption: the longer the mean path, the duller the room.
    const double c = smoothing;
    response[0] = (1.0 - c) * response[0];
    for (int32_t i = 1; i < responseLength; ++i) response[i] = (1.0 - c) * response[i] + c * response[i - 1];
    // After the low-pass: the direct sound arrives through air of its own
    // short path and keeps its full bandwidth.
    response[directIndex] += directRatio;
    for (double& v : response) v *= 0.1;
}

void RoomResponse::Rebuild() {
    BuildEarly();
    BuildTail();
    Assemble();
}

}  // namespace orve
