#include "dsp/room_response.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effects/spatial/modal_reverb.h"

namespace orve {
namespace {

// The default room of the modal reverb: Size 2, RefC 0.85.
RoomGeometry DefaultRoom(int channel, double size = 2.0, double refC = 0.85) {
    RoomGeometry g[2];
    ModalReverb::ChannelGeometries(ModalReverb::BaseRoom(), size, refC, 0.0, 0.13, g);
    return g[channel];
}

RoomResponse& Build(RoomResponse& r, const RoomGeometry& g, double direct = 0.2, double refl = 0.3,
                    double rev = 0.5) {
    r.SetGeometry(g);
    r.SetRatios(direct, refl, rev);
    r.UseFixedSeed(1234);
    r.Rebuild();
    return r;
}

// Energy of the response from tenth `from` of its length to tenth `to`.
double Energy(const RoomResponse& r, int from, int to) {
    const int n = r.ResponseLength();
    double e = 0;
    for (int i = from * n / 10; i < to * n / 10; ++i) e += r.Response()[i] * r.Response()[i];
    return e;
}

TEST(RoomResponseBuild, EqualWallsFollowEyring) {
    RoomResponse r(44100);
    const RoomGeometry g = DefaultRoom(0, 3.0, 0.6);
    Build(r, g);
    const double Lx = g[6], Ly = g[7], Lz = g[8];
    const double S = 2 * (Lx * Ly + (Lx + Ly) * Lz), V = Lx * Ly * Lz;
    EXPECT_NEAR(r.ReverbSeconds(), 0.161 * V / (-S * std::log(0.36)), 1e-12);
}

TEST(RoomResponseBuild, DoublingTheRoomDoublesItsTimes) {
    // Every length doubled (the ears' spacing included). Merging within 1 ms
    // regroups arrivals, but it keeps their energy-weighted mean time.
    RoomGeometry g = DefaultRoom(0), g2 = g;
    for (int i = 0; i < 9; ++i) g2[i] *= 2;
    RoomResponse a(44100), b(44100);
    Build(a, g);
    Build(b, g2);
    EXPECT_NEAR(b.ReverbSeconds(), 2 * a.ReverbSeconds(), 1e-12);
    EXPECT_NEAR(b.DirectIndex(), 2 * a.DirectIndex(), 1);
}

TEST(RoomResponseBuild, ResponseMixesDirectEarlyAndTail) {
    RoomResponse r(44100);
    Build(r, DefaultRoom(0), 0.2, 0.3, 0.5);
    const double* h = r.Response();
    // Nothing before the direct sound; the direct impulse is not smoothed.
    for (int i = 0; i < r.DirectIndex(); ++i) ASSERT_EQ(h[i], 0.0);
    EXPECT_NEAR(h[r.DirectIndex()], 0.02, 1e-12);
    // Without direct sound the early peak and tail remain.
    RoomResponse dry(44100);
    Build(dry, DefaultRoom(0), 0.0, 0.3, 0.5);
    EXPECT_EQ(dry.Response()[dry.DirectIndex()], 0.0);
    double late = 0.0;
    for (int i = 20000; i < dry.ResponseLength(); ++i) late = std::max(late, std::abs(dry.Response()[i]));
    EXPECT_GT(late, 0.0);
    // The tail decays: the last tenth holds some 50 dB less than the whole.
    EXPECT_LT(10 * std::log10(Energy(dry, 9, 10) / Energy(dry, 0, 10)), -45.0);
}

TEST(RoomResponseBuild, KnobExtremesGiveAFiniteDecayingResponse) {
    // Over the whole Size and RefC range at the lowest and highest rates.
    for (double fs : {8000.0, 48000.0})
        for (double size : {1.0, 12.0})
            for (double refC : {0.1, 0.99}) {
                RoomResponse r(fs);
                Build(r, DefaultRoom(0, size, refC));
                for (int i = 0; i < r.ResponseLength(); ++i) ASSERT_TRUE(std::isfinite(r.Response()[i]));
                EXPECT_LT(Energy(r, 9, 10), 0.01 * Energy(r, 0, 10)) << fs << " " << size << " " << refC;
            }
}

TEST(RoomResponseBuild, DegenerateRoomStaysFinite) {
    // A room a few centimetres across at a low rate puts the arrivals less
    // than a sample apart.
    RoomGeometry g = DefaultRoom(0, 0.01, 0.5);
    RoomResponse r(8000);
    Build(r, g);
    ASSERT_GT(r.ResponseLength(), 0);
    for (int i = 0; i < r.ResponseLength(); ++i) ASSERT_TRUE(std::isfinite(r.Response()[i]));
    // Walls that reflect everything would never stop ringing; the time is capped.
    RoomGeometry closed = DefaultRoom(0, 1.0, 1.0);
    RoomResponse c(8000);
    c.SetGeometry(closed);
    c.SetRatios(0.2, 0.3, 0.5);
    c.UseFixedSeed(1);
    c.BuildEarly();
    EXPECT_TRUE(std::isfinite(c.ReverbSeconds()));
    EXPECT_LE(c.ReverbSeconds(), 100.0);
}

}  // namespace
}  // namespace orve
