// The embedded impulse-response sets, as generated at build time.
#include <gtest/gtest.h>

#include <mysofa.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "../../tools/room_targets.h"
#include "analysis/measures.h"
#include "effects/spatial/sample_reverb.h"
#include "effects/spatial/virtual_3d.h"
#include "platform/posix/embedded_kernels.h"

namespace orve {
namespace {

// Backward-integrated decay of both ears, normalised 20 ms after the peak; a
// line through its part from -5 dB down to `lowest` dB, extrapolated to -60 dB.
double ReverberationTime(const int16_t* left, const int16_t* right, size_t n, double lowest) {
    std::vector<double> energy(n);
    size_t peak = 0;
    for (size_t i = 0; i < n; ++i) {
        energy[i] = double(left[i]) * left[i] + double(right[i]) * right[i];
        if (std::abs(left[i]) + std::abs(right[i]) > std::abs(left[peak]) + std::abs(right[peak])) peak = i;
    }
    return analysis::DecayTime(energy, peak + 882, 44100.0, lowest);
}

class KernelData : public ::testing::Test {
protected:
    void SetUp() override {
        rooms = source.Find(kRoomSetId, &roomValues);
        hrirs = source.Find(kHrirSetId, &hrirValues);
        ASSERT_NE(rooms, nullptr);
        ASSERT_NE(hrirs, nullptr);
    }
    EmbeddedKernels source;
    const int16_t* rooms = nullptr;
    const int16_t* hrirs = nullptr;
    size_t roomValues = 0, hrirValues = 0;
};

// Each room: the direct sound first, the decay its name promises in one
// slope, a tail that has died away before the stored response ends, and ears
// decorrelated in the late tail; over the set, direct-to-reverberant energy
// spans a wide range (a car or a studio is dry, a cave or a stairwell drenched).
TEST_F(KernelData, EveryRoomDecaysAsBuiltAndTheRoomsDiffer) {
    EXPECT_TRUE(RoomSetFits(rooms, roomValues));
    double driest = -1e9, wettest = 1e9;
    for (int32_t type = 1; type <= kRoomCount; ++type) {
        const RoomEntry entry = ReadRoomEntry(rooms, type);
        const size_t half = entry.length / 2;
        const int16_t* left = rooms + entry.offset;
        const int16_t* right = left + half;
        const char* name = rooms::kRoomTargets[type - 1].name;
        double total = 0.0, last = 0.0;   // energy of the whole response and of its last tenth
        for (const int16_t* ear : {left, right}) {
            const size_t peak = std::max_element(ear, ear + half, [](int16_t a, int16_t b) {
                                    return std::abs(a) < std::abs(b);
                                }) - ear;
            EXPECT_LT(peak, 60u) << name;
            EXPECT_GT(std::abs(ear[peak]), 4000) << name;
            for (size_t i = 0; i < half; ++i) (i < half - half / 10 ? total : last) += double(ear[i]) * ear[i];
        }
        const double target = rooms::kRoomTargets[type - 1].reverbSeconds;
        const double t30 = ReverberationTime(left, right, half, -35.0);
        EXPECT_NEAR(t30, target, 0.15 * target) << name;
        EXPECT_NEAR(ReverberationTime(left, right, half, -25.0), t30, 0.15 * t30) << name;
        EXPECT_LT(last, 1e-6 * total) << name;   // 60 dB down

        double direct = 0, leftEnergy = 0, cross = 0, ll = 0, rr = 0;
        for (size_t i = 0; i < half; ++i) {
            const double e = double(left[i]) * left[i];
            leftEnergy += e;
            if (i < 60) direct = std::max(direct, e);
        }
        // The late tail: from 0.4 to 0.8 of the room's reverberation time.
        for (size_t i = static_cast<size_t>(0.4 * target * 44100); i < static_cast<size_t>(0.8 * target * 44100); ++i) {
            cross += double(left[i]) * right[i];
            ll += double(left[i]) * left[i];
            rr += double(right[i]) * right[i];
        }
        EXPECT_LT(std::fabs(cross) / std::sqrt(ll * rr), 0.5) << name;
        const double ratio = 10.0 * std::log10(direct / (leftEnergy - direct));
        driest = std::max(driest, ratio);
        wettest = std::min(wettest, ratio);
    }
    EXPECT_GT(driest - wettest, 15.0);
}

// The grid against the measured set it is taken from, with each direction
// named as the file itself labels its measurements (azimuth counter-clockwise
// from ahead, so 90 is left; elevation upwards): a wrong axis, a mirrored
// side, a swapped ear or a blend of neighbours shows up as a mismatch.
TEST_F(KernelData, GridRowsAreTheMeasurementsInTheirDirections) {
    int err = 0;
    std::unique_ptr<MYSOFA_HRTF, void (*)(MYSOFA_HRTF*)> sofa(mysofa_load(ORVE_HRIR_SOFA, &err), mysofa_free);
    ASSERT_TRUE(sofa && err == MYSOFA_OK) << ORVE_HRIR_SOFA;
    mysofa_tospherical(sofa.get());
    const int32_t taps = static_cast<int32_t>(sofa->N);
    auto measurement = [&](double azimuth, double elevation) -> const float* {
        for (unsigned m = 0; m < sofa->M; ++m) {
            const float* p = sofa->SourcePosition.values + 3 * m;
            const double dAz = std::remainder(p[0] - azimuth, 360.0);
            if (std::fabs(dAz) < 0.5 && std::fabs(p[1] - elevation) < 0.5) return sofa->DataIR.values + 2 * m * taps;
        }
        ADD_FAILURE() << "no measurement at " << azimuth << "/" << elevation;
        return nullptr;
    };
    // One scale for the whole set, taken from the frontal left ear.
    const float* ahead = measurement(0, 0);
    ASSERT_NE(ahead, nullptr);
    constexpr int32_t kCompared = 170;   // the taps before the end taper
    double num = 0, den = 0;
    for (int32_t i = 0; i < kCompared; ++i) {
        num += hrirs[1216 * kHrirTaps + i] * double(ahead[i]);
        den += double(ahead[i]) * ahead[i];
    }
    const double scale = num / den;
    struct Point {
        int32_t a, e;
        double azimuth, elevation;   // the file's labels
    };
    // Below -40 the set has no measurements: its lowest ring stands in, ahead
    // or behind as the polar angle says (230.625 points back and down).
    const Point points[] = {
        {12, 8, 0, 0},     {12, 24, 0, 90},   {12, 40, 180, 0},  {0, 8, 80, 0},
        {24, 8, 280, 0},   {12, 0, 0, -40},   {12, 49, 180, -40}, {3, 8, 45, 0},
    };
    for (const Point& point : points) {
        const float* ir = measurement(point.azimuth, point.elevation);
        if (!ir) continue;
        for (int32_t k = 0; k < 2; ++k) {
            const int16_t* row = hrirs + (2 * (point.a * kHrirElevations + point.e) + k) * kHrirTaps;
            double worst = 0.0;
            for (int32_t i = 0; i < kCompared; ++i) worst = std::max(worst, std::fabs(row[i] - scale * ir[k * taps + i]));
            EXPECT_LE(worst, 1.0) << "azimuth " << kHrirGridAzimuth[point.a] << " elevation "
                                  << HrirGridElevation(point.e) << " ear " << k;
        }
    }
}

}  // namespace
}  // namespace orve
