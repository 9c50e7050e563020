// Builds impulse-response set 121: head-related responses on the 25 x 50
// interaural-polar grid, taken from a measured SOFA set (MIT KEMAR, normal
// pinna) and written as 2500 rows of 200 little-endian int16 taps.
//
//   make_hrir_kernels <input.sofa> <output.bin>
//
// Row 2 * (a * 50 + e) + k holds azimuth index a, elevation index e and ear k
// (0 = left, 1 = right). The grid is interaural-polar: the azimuth is the
// lateral angle (negative = left of the listener), the elevation rotates the
// direction around the interaural axis (0 ahead, 90 overhead, 180 behind).
// The output is a pure function of the input file.
//
// Each grid direction takes the measured response nearest to it, not a blend.
// libmysofa's interpolating lookup adds up to four neighbouring impulse
// responses in the time domain; their onsets differ by the change in
// interaural delay, so the sum cancels part of the highs (on this set up to
// 6 dB of level at some grid points, and a collapsed interaural level
// difference at others) and fills the pinna notches that carry elevation.
// The effect snaps to the nearest grid point anyway, so a measured response
// per point keeps every cue intact. Below -40 degrees, where MIT KEMAR has no
// measurements, the lowest measured ring serves (ahead-below and behind-below
// stay distinct).
#include <mysofa.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kAzimuths = 25;
constexpr int kElevations = 50;
constexpr int kTaps = 200;
constexpr int kFadeTaps = 24;   // half-cosine taper so truncation adds no click
constexpr double kSampleRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

const double kGridAzimuth[kAzimuths] = {-80, -65, -55, -45, -40, -35, -30, -25, -20,
                                        -15, -10, -5,  0,   5,   10,  15,  20,  25,
                                        30,  35,  40,  45,  55,  65,  80};

double GridElevation(int e) { return -45.0 + 5.625 * e; }

// Interaural-polar angles to SOFA's cartesian frame (x ahead, y left, z up),
// the frame mysofa_open leaves the source positions in. The lateral angle sets
// the component along the interaural axis; the polar angle turns the rest of
// the unit vector around that axis. The lookup scales the vector onto the
// measurement sphere, so its length does not matter.
void DirectionVector(double azimuthDeg, double elevationDeg, float xyz[3]) {
    const double lateral = azimuthDeg * kPi / 180.0;
    const double polar = elevationDeg * kPi / 180.0;
    xyz[0] = static_cast<float>(std::cos(lateral) * std::cos(polar));
    xyz[1] = static_cast<float>(-std::sin(lateral));   // negative azimuth = left = +y
    xyz[2] = static_cast<float>(std::cos(lateral) * std::sin(polar));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <input.sofa> <output.bin>\n", argv[0]);
        return 2;
    }
    int err = 0;
    MYSOFA_HRTF* raw = mysofa_load(argv[1], &err);
    if (!raw || err != MYSOFA_OK) {
        std::fprintf(stderr, "cannot read %s (libmysofa error %d)\n", argv[1], err);
        return 1;
    }
    const double fileRate = raw->DataSamplingRate.elements ? raw->DataSamplingRate.values[0] : 0.0;
    mysofa_free(raw);

    // mysofa_open resamples to the rate asked for when the file differs; the
    // "no_norm" variant keeps the measured levels, so the interaural level
    // differences survive and one common factor scales the whole set below.
    int filterLength = 0;
    MYSOFA_EASY* sofa = mysofa_open_no_norm(argv[1], static_cast<float>(kSampleRate), &filterLength, &err);
    if (!sofa || err != MYSOFA_OK) {
        std::fprintf(stderr, "cannot open %s at %.0f Hz (libmysofa error %d)\n", argv[1], kSampleRate, err);
        return 1;
    }
    std::vector<float> left(filterLength), right(filterLength);
    std::vector<double> rows(static_cast<size_t>(kAzimuths) * kElevations * 2 * kTaps, 0.0);

    for (int a = 0; a < kAzimuths; ++a) {
        for (int e = 0; e < kElevations; ++e) {
            float xyz[3];
            DirectionVector(kGridAzimuth[a], GridElevation(e), xyz);
            float delayLeft = 0.0f, delayRight = 0.0f;
            mysofa_getfilter_float_nointerp(sofa, xyz[0], xyz[1], xyz[2], left.data(), right.data(),
                                            &delayLeft, &delayRight);
            // Sets that store the onset as a separate delay get it back in
            // the taps, so the interaural time difference is kept.
            const float* ear[2] = {left.data(), right.data()};
            const int delay[2] = {static_cast<int>(std::lround(delayLeft * kSampleRate)),
                                  static_cast<int>(std::lround(delayRight * kSampleRate))};
            for (int k = 0; k < 2; ++k) {
                double* row = &rows[(static_cast<size_t>(2 * (a * kElevations + e) + k)) * kTaps];
                for (int i = 0; i < kTaps; ++i) {
                    const int source = i - delay[k];
                    double v = (source >= 0 && source < filterLength) ? ear[k][source] : 0.0;
                    if (i >= kTaps - kFadeTaps) {
                        const double x = (i - (kTaps - kFadeTaps) + 1.0) / (kFadeTaps + 1.0);
                        v *= 0.5 * (1.0 + std::cos(kPi * x));
                    }
                    row[i] = v;
                }
            }
        }
    }
    mysofa_close(sofa);

    // One factor for every row. It is chosen so that the frontal response
    // passes roughly unit energy (a source ahead keeps its loudness), and is
    // lowered when that would push any tap of the loudest lateral rows out of
    // the 16-bit range.
    double peak = 0.0;
    for (double v : rows) peak = std::max(peak, std::fabs(v));
    double frontalEnergy = 0.0;
    for (int k = 0; k < 2; ++k) {
        const double* row = &rows[static_cast<size_t>(2 * (12 * kElevations + 8) + k) * kTaps];
        for (int i = 0; i < kTaps; ++i) frontalEnergy += row[i] * row[i];
    }
    frontalEnergy *= 0.5;
    double scale = 32768.0 / std::sqrt(std::max(frontalEnergy, 1e-30));
    if (peak * scale > 32000.0) scale = 32000.0 / peak;

    std::vector<uint8_t> bytes(rows.size() * 2);
    for (size_t i = 0; i < rows.size(); ++i) {
        const long q = std::lround(rows[i] * scale);
        const int16_t v = static_cast<int16_t>(std::clamp(q, -32768L, 32767L));
        const uint16_t u = static_cast<uint16_t>(v);
        bytes[2 * i] = static_cast<uint8_t>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("binhir 121: %d rows of %d taps from %s (%.0f Hz, %d taps), scale %.1f\n",
                kAzimuths * kElevations * 2, kTaps, argv[1], fileRate, filterLength, scale);
    return 0;
}
