// Builds impulse-response set 142: fourteen stereo room responses, synthesised
// from a model of each room rather than measured.
//
//   make_room_kernels <output.bin>
//
// Layout (little-endian): a directory of 14 (offset, length) uint32 pairs
// counted in 16-bit values from the start of the file, then the responses back
// to back, each as two planar halves (left, then right) of length / 2 values.
// The lengths are fixed: the effect's room table and its users depend on them.
//
// Each room is a geometry that fits its name, rendered in three layers:
//   - the direct sound, a clean impulse a few dozen samples in;
//   - early reflections from an image-source model of a box with per-wall
//     reflection coefficients (open sides and roofs have coefficient 0,
//     irregular rock or balconies displace the images randomly), heard by two
//     receivers a head-width apart with a mild directional pattern, in two
//     frequency bands so that absorbent surfaces darken later reflections;
//   - a late tail of independent noise per ear and per octave-group band,
//     each band decaying at its own rate, started at the level the image
//     model reaches at the end of its window and scaled so that the broadband
//     reverberation time (T30) is the room's target (room_targets.h): a time
//     that fits the room's name, far inside the stored length, so the tail
//     has died away before the response ends.
// Every random draw comes from fixed seeds, so the output is reproducible.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "room_targets.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr double kSpeedOfSound = 343.0;
constexpr double kPi = 3.14159265358979323846;
constexpr int kRooms = 14;
constexpr int kDirectIndex = 24;      // where the nearer receiver hears the source
constexpr double kCrossoverHz = 1500.0;   // split of the early reflections' two bands
constexpr int kTailBands = 4;
constexpr double kTailEdges[kTailBands + 1] = {40.0, 250.0, 1000.0, 4000.0, 0.0};
// Amplitude of each tail band before decay: a falling spectrum, as the diffuse
// field of a real room is, rather than white hiss. Each room darkens it further
// by its surfaces' high-band loss (highRatio to the power of the band index).
constexpr double kTailBandGain[kTailBands] = {1.6, 1.0, 0.5, 0.2};

// Walls in the order x = 0, x = Lx, y = 0, y = Ly, z = 0 (floor), z = Lz (ceiling).
struct RoomDesign {
    const char* name;
    uint32_t length;            // 16-bit values in the entry (both halves)
    double size[3];             // Lx (front-back), Ly (width), Lz (height), metres
    double source[3];
    double listener[3];
    double wall[6];             // low-frequency pressure reflection coefficient
    double highRatio;           // extra high-band loss per reflection (1 = none)
    double scatter;             // metres of random image displacement per reflection
    double earlySeconds;        // window of the image-source model
    double tailLevel;           // tail start relative to the image model's level
    double bandTime[kTailBands];   // reverberation time per band, relative to mid
    double earSpacing;          // metres between the two receivers
    uint64_t seed;
};

// Lengths are those of the room table; everything else is this room's model.
const RoomDesign kRoomDesigns[kRooms] = {
    // Open-air theatre: no roof and no side walls; a reflective stage house
    // behind the source and stone tiers behind the listener give slap echoes.
    {"Amphitheater", 97020, {42, 60, 30}, {36, 30, 1.5}, {20, 30, 3.0},
     {0.55, 0.9, 0.0, 0.0, 0.8, 0.0}, 0.85, 0.15, 0.30, 1.0, {1.0, 1.0, 0.9, 0.7}, 0.20, 101},
    {"Auditorium  ", 168416, {32, 22, 11}, {28, 11, 1.6}, {12, 10, 1.2},
     {0.82, 0.88, 0.8, 0.8, 0.6, 0.87}, 0.8, 0.05, 0.12, 1.0, {1.1, 1.0, 0.85, 0.6}, 0.20, 102},
    // Rock cave: hard, irregular surfaces scatter the images and keep the
    // tail long and bright.
    {"Cave        ", 311870, {26, 17, 9}, {18, 7, 1.5}, {6, 10, 1.7},
     {0.95, 0.95, 0.94, 0.94, 0.93, 0.95}, 0.93, 0.7, 0.20, 0.9, {1.15, 1.0, 0.9, 0.75}, 0.20, 103},
    // Tall, narrow stone nave.
    {"Chapel      ", 232748, {22, 9, 14}, {19, 4.5, 1.7}, {8, 4.0, 1.2},
     {0.92, 0.94, 0.93, 0.93, 0.9, 0.94}, 0.88, 0.05, 0.15, 1.0, {1.05, 1.0, 0.85, 0.65}, 0.20, 104},
    // Low ceiling, drapes and people: boomy and dark.
    {"Club        ", 114760, {16, 12, 3.5}, {14, 6, 1.8}, {6, 5, 1.6},
     {0.7, 0.75, 0.7, 0.7, 0.75, 0.5}, 0.6, 0.05, 0.06, 0.8, {1.4, 1.0, 0.6, 0.35}, 0.20, 105},
    {"ConcertHall ", 223452, {42, 26, 18}, {37, 13, 1.8}, {18, 12, 1.3},
     {0.88, 0.9, 0.88, 0.88, 0.7, 0.88}, 0.85, 0.1, 0.15, 1.0, {1.15, 1.0, 0.85, 0.6}, 0.20, 106},
    // Long narrow corridor: flutter echoes between the close side walls.
    {"Hallway     ", 155454, {30, 2.4, 2.8}, {25, 1.2, 1.6}, {10, 1.0, 1.6},
     {0.88, 0.88, 0.92, 0.92, 0.85, 0.9}, 0.85, 0.02, 0.15, 0.7, {1.0, 1.0, 0.8, 0.55}, 0.20, 107},
    // Car cabin: a tiny box of glass, upholstery and carpet; dense, short,
    // coloured early sound whose tail continues its slope and is gone within
    // a tenth of a second.
    {"InCar       ", 141870, {2.6, 1.5, 1.15}, {2.3, 0.75, 0.9}, {1.2, 0.4, 0.85},
     {0.5, 0.9, 0.8, 0.8, 0.4, 0.55}, 0.45, 0.0, 0.04, 0.6, {1.5, 1.0, 0.5, 0.3}, 0.15, 108},
    {"MediumHall  ", 122536, {24, 16, 9}, {21, 8, 1.7}, {9, 7, 1.3},
     {0.85, 0.86, 0.85, 0.85, 0.7, 0.85}, 0.8, 0.05, 0.10, 1.0, {1.1, 1.0, 0.85, 0.6}, 0.20, 109},
    // Horseshoe with balconies: absorbent seating, strongly scattered images.
    {"OperaHouse  ", 155016, {32, 28, 20}, {28, 14, 1.8}, {12, 13, 1.3},
     {0.8, 0.85, 0.8, 0.8, 0.6, 0.85}, 0.75, 0.35, 0.12, 1.0, {1.2, 1.0, 0.8, 0.55}, 0.20, 110},
    {"SmallRoom   ", 142002, {4.5, 3.6, 2.6}, {3.7, 1.6, 1.3}, {1.4, 2.0, 1.2},
     {0.8, 0.82, 0.8, 0.8, 0.7, 0.8}, 0.7, 0.02, 0.04, 0.7, {1.2, 1.0, 0.75, 0.5}, 0.20, 111},
    // Roofless bowl of stands: the far stands return long, discrete echoes.
    {"Stadium     ", 466304, {220, 160, 45}, {150, 80, 2.0}, {110, 82, 8.0},
     {0.6, 0.65, 0.6, 0.6, 0.7, 0.0}, 0.6, 1.0, 0.70, 0.5, {1.1, 1.0, 0.7, 0.4}, 0.20, 112},
    // Tall concrete shaft: vertical flutter between floor and roof.
    {"Stairway    ", 481396, {3.5, 3.5, 22}, {2.5, 1.8, 9.0}, {1.2, 1.5, 3.0},
     {0.93, 0.93, 0.93, 0.93, 0.95, 0.95}, 0.9, 0.1, 0.20, 0.6, {1.0, 1.0, 0.85, 0.65}, 0.20, 113},
    // Treated control room: absorbent walls and ceiling, hard floor.
    {"Studio      ", 124974, {9, 7, 3.8}, {6.5, 3.5, 1.4}, {2.8, 3.5, 1.2},
     {0.6, 0.65, 0.6, 0.6, 0.8, 0.5}, 0.5, 0.02, 0.05, 0.6, {1.3, 1.0, 0.7, 0.5}, 0.20, 114},
};

// Deterministic generator (splitmix64); the standard distributions are not
// portable across libraries, so the normal variate is drawn by hand.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }
    double Normal() {
        const double u = Uniform(), v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * kPi * v);
    }

private:
    uint64_t state;
};

// Second-order Butterworth section; two in cascade make a Linkwitz-Riley
// fourth-order filter, whose low and high outputs add up flat.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
    static Biquad Make(double hz, bool highPass) {
        const double w = 2.0 * kPi * hz / kSampleRate;
        const double alpha = std::sin(w) / (2.0 * std::sqrt(0.5));
        const double c = std::cos(w), a0 = 1.0 + alpha;
        Biquad f;
        if (highPass) {
            f.b0 = (1.0 + c) / 2.0 / a0; f.b1 = -(1.0 + c) / a0; f.b2 = f.b0;
        } else {
            f.b0 = (1.0 - c) / 2.0 / a0; f.b1 = (1.0 - c) / a0; f.b2 = f.b0;
        }
        f.a1 = -2.0 * c / a0;
        f.a2 = (1.0 - alpha) / a0;
        return f;
    }
    double Run(double x) {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

void LinkwitzRiley(std::vector<double>& x, double hz, bool highPass) {
    Biquad first = Biquad::Make(hz, highPass), second = Biquad::Make(hz, highPass);
    for (double& v : x) v = second.Run(first.Run(v));
}

// Reverberation time from the backward-integrated energy decay of a response
// (both ears summed): normalised 20 ms after its peak, a least-squares line
// through the part between -5 dB and `lowest` dB, extrapolated to -60 dB
// (lowest -35: T30; -25: T20).
double EstimateRt60(const std::vector<double>& left, const std::vector<double>& right, double lowest = -35.0) {
    const size_t n = left.size();
    size_t peak = 0;
    for (size_t i = 0; i < n; ++i)
        if (std::fabs(left[i]) + std::fabs(right[i]) > std::fabs(left[peak]) + std::fabs(right[peak])) peak = i;
    const size_t start = std::min(n - 1, peak + static_cast<size_t>(0.02 * kSampleRate));
    std::vector<double> decay(n + 1, 0.0);
    for (size_t i = n; i-- > 0;) decay[i] = decay[i + 1] + left[i] * left[i] + right[i] * right[i];
    double sx = 0, sy = 0, sxx = 0, sxy = 0, count = 0;
    for (size_t i = start; i < n; ++i) {
        const double db = 10.0 * std::log10(std::max(decay[i], 1e-300) / decay[start]);
        if (db > -5.0) continue;
        if (db < lowest) break;
        const double t = (i - start) / kSampleRate;
        sx += t; sy += db; sxx += t * t; sxy += t * db; count += 1;
    }
    const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
    return -60.0 / slope;
}

struct EarlyField {
    std::vector<double> ear[2];   // image-source reflections, without the direct sound
    int directIndex[2] = {kDirectIndex, kDirectIndex};
    double firstReflection = 0.0;  // seconds after the direct sound
};

// Image sources of a box (Allen and Berkley): along each axis an image is
// (1 - 2q)s + 2mL, reflected |m - q| times by the wall at 0 and |m| times by
// the wall at L.
EarlyField RenderEarly(const RoomDesign& room, size_t half) {
    EarlyField field;
    std::vector<double> low[2], high[2];
    for (int k = 0; k < 2; ++k) {
        low[k].assign(half, 0.0);
        high[k].assign(half, 0.0);
    }
    double receiver[2][3];
    for (int k = 0; k < 2; ++k) {
        for (int a = 0; a < 3; ++a) receiver[k][a] = room.listener[a];
        receiver[k][1] += (k == 0 ? 0.5 : -0.5) * room.earSpacing;   // channel 0 on the +y (left) side
    }
    double directDistance[2];
    for (int k = 0; k < 2; ++k) {
        double d2 = 0;
        for (int a = 0; a < 3; ++a) d2 += (room.source[a] - receiver[k][a]) * (room.source[a] - receiver[k][a]);
        directDistance[k] = std::sqrt(d2);
    }
    const double nearest = std::min(directDistance[0], directDistance[1]);
    for (int k = 0; k < 2; ++k)
        field.directIndex[k] = kDirectIndex + static_cast<int>(std::lround((directDistance[k] - nearest) / kSpeedOfSound * kSampleRate));

    const double maxPath = nearest + room.earlySeconds * kSpeedOfSound;
    int reach[3];
    for (int a = 0; a < 3; ++a) reach[a] = static_cast<int>(std::ceil(maxPath / (2.0 * room.size[a]))) + 1;
    field.firstReflection = room.earlySeconds;

    for (int mx = -reach[0]; mx <= reach[0]; ++mx)
    for (int qx = 0; qx < 2; ++qx)
    for (int my = -reach[1]; my <= reach[1]; ++my)
    for (int qy = 0; qy < 2; ++qy)
    for (int mz = -reach[2]; mz <= reach[2]; ++mz)
    for (int qz = 0; qz < 2; ++qz) {
        const int m[3] = {mx, my, mz}, q[3] = {qx, qy, qz};
        double image[3], gainLow = 1.0;
        int order = 0;
        for (int a = 0; a < 3; ++a) {
            image[a] = (1 - 2 * q[a]) * room.source[a] + 2.0 * m[a] * room.size[a];
            const int atZero = std::abs(m[a] - q[a]), atFar = std::abs(m[a]);
            gainLow *= std::pow(room.wall[2 * a], atZero) * std::pow(room.wall[2 * a + 1], atFar);
            order += atZero + atFar;
        }
        if (order == 0 || gainLow == 0.0) continue;
        // Irregular surfaces: each reflection moves the image a little, the
        // same way for both receivers (a property of the room, not the ear).
        if (room.scatter > 0.0) {
            Random r(room.seed * 1000003ull + static_cast<uint64_t>((((mx + 64) * 2 + qx) * 128 + (my + 64)) * 2 + qy) * 256 +
                     static_cast<uint64_t>((mz + 64) * 2 + qz));
            const double spread = room.scatter * std::sqrt(static_cast<double>(order));
            for (double& c : image) c += spread * r.Normal();
        }
        const double gainHigh = gainLow * std::pow(room.highRatio, order);
        for (int k = 0; k < 2; ++k) {
            double delta[3], d2 = 0;
            for (int a = 0; a < 3; ++a) {
                delta[a] = image[a] - receiver[k][a];
                d2 += delta[a] * delta[a];
            }
            const double distance = std::sqrt(d2);
            const double seconds = (distance - directDistance[k]) / kSpeedOfSound;
            if (seconds <= 0.0 || seconds >= room.earlySeconds) continue;
            field.firstReflection = std::min(field.firstReflection, seconds);
            // Mild directivity: each receiver favours its own side, which
            // gives the reflections an interaural level difference.
            const double lateral = delta[1] / distance * (k == 0 ? 1.0 : -1.0);
            const double pattern = 1.0 + 0.35 * lateral;
            // Air absorbs the highs over long paths (some 0.03 dB/m above 4 kHz).
            const double air = std::exp(-0.004 * distance);
            const double amp = directDistance[k] / distance * pattern;
            const double position = field.directIndex[k] + seconds * kSampleRate;
            const size_t i = static_cast<size_t>(position);
            const double frac = position - i;
            if (i + 1 >= half) continue;
            low[k][i] += amp * gainLow * (1.0 - frac);
            low[k][i + 1] += amp * gainLow * frac;
            high[k][i] += amp * gainHigh * air * (1.0 - frac);
            high[k][i + 1] += amp * gainHigh * air * frac;
        }
    }
    for (int k = 0; k < 2; ++k) {
        LinkwitzRiley(low[k], kCrossoverHz, false);
        LinkwitzRiley(high[k], kCrossoverHz, true);
        field.ear[k].resize(half);
        for (size_t i = 0; i < half; ++i) field.ear[k][i] = low[k][i] + high[k][i];
    }
    return field;
}

// Late tail of one ear: independent band-limited noise per band, each with
// its own exponential decay, rising smoothly from the first reflection to the
// end of the early window. Unit level at the end of that window.
std::vector<double> RenderTail(const RoomDesign& room, size_t half, int directIndex, double firstReflection,
                               double midSeconds, uint64_t seed) {
    std::vector<double> tail(half, 0.0), band(half);
    const double rampStart = directIndex + firstReflection * kSampleRate;
    const double rampEnd = directIndex + room.earlySeconds * kSampleRate;
    for (int b = 0; b < kTailBands; ++b) {
        Random r(seed * 16 + static_cast<uint64_t>(b));
        for (double& v : band) v = r.Normal();
        LinkwitzRiley(band, kTailEdges[b], true);
        if (kTailEdges[b + 1] > 0.0) LinkwitzRiley(band, kTailEdges[b + 1], false);
        const double tone = kTailBandGain[b] * std::pow(room.highRatio, b);
        const double rate = std::log(1000.0) / (midSeconds * room.bandTime[b] * kSampleRate);   // -60 dB per T60
        for (size_t i = 0; i < half; ++i) {
            const double t = static_cast<double>(i);
            double ramp = 0.0;
            if (t >= rampEnd) ramp = 1.0;
            else if (t > rampStart) ramp = 0.5 - 0.5 * std::cos(kPi * (t - rampStart) / (rampEnd - rampStart));
            tail[i] += tone * band[i] * ramp * std::exp(-rate * (t - rampEnd));
        }
    }
    return tail;
}

double WindowEnergy(const std::vector<double>& x, size_t from, size_t to) {
    double e = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) e += x[i] * x[i];
    return e / std::max<size_t>(1, to - from);
}

struct RoomResponse {
    std::vector<int16_t> ear[2];   // as stored
    double scale = 0.0;            // the stored value of the direct sound's unit
    double t30 = 0.0, t20 = 0.0;   // of the stored values
};

// One factor per room: about unit energy through the whole response (rooms
// sound equally loud), never more than the 16-bit range allows. The decay is
// measured on the rounded values, which are what the effect plays.
void Store(const std::vector<double> (&ear)[2], RoomResponse& out) {
    double energy = 0.0, peak = 0.0;
    for (int k = 0; k < 2; ++k)
        for (double v : ear[k]) {
            energy += v * v;
            peak = std::max(peak, std::fabs(v));
        }
    out.scale = std::min(32768.0 / std::sqrt(energy * 0.5), 32000.0 / peak);
    std::vector<double> stored[2];
    for (int k = 0; k < 2; ++k) {
        out.ear[k].resize(ear[k].size());
        stored[k].resize(ear[k].size());
        for (size_t i = 0; i < ear[k].size(); ++i) {
            const long q = std::clamp(std::lround(ear[k][i] * out.scale), -32768L, 32767L);
            out.ear[k][i] = static_cast<int16_t>(q);
            stored[k][i] = static_cast<double>(q);
        }
    }
    out.t30 = EstimateRt60(stored[0], stored[1]);
    out.t20 = EstimateRt60(stored[0], stored[1], -25.0);
}

RoomResponse SynthesiseRoom(const RoomDesign& room, double target) {
    const size_t half = room.length / 2;
    const EarlyField early = RenderEarly(room, half);

    // The tail starts where the image model is cut off, at the level the
    // model has reached there, so the two layers join without a step.
    const size_t windowEnd = kDirectIndex + static_cast<size_t>(room.earlySeconds * kSampleRate);
    const size_t windowStart = kDirectIndex + static_cast<size_t>(0.7 * room.earlySeconds * kSampleRate);
    const size_t fadeStart = kDirectIndex + static_cast<size_t>(0.8 * room.earlySeconds * kSampleRate);

    RoomResponse out;
    std::vector<double> ears[2];
    double midSeconds = target;
    // The band mix makes the broadband decay differ from the mid-band one:
    // measure and correct the time scale a few times (deterministically).
    for (int pass = 0; pass < 6; ++pass) {
        for (int k = 0; k < 2; ++k) {
            std::vector<double> tail =
                RenderTail(room, half, early.directIndex[k], early.firstReflection, midSeconds, room.seed * 2 + k);
            const double model = WindowEnergy(early.ear[k], windowStart, windowEnd);
            const double own = WindowEnergy(tail, windowEnd, windowEnd + (windowEnd - windowStart));
            // Rooms with open sides can run out of images; a floor keeps a
            // faint diffuse field (the surroundings are never fully silent).
            const double level = room.tailLevel * std::max(std::sqrt(model / own), 0.004 / std::sqrt(own));
            std::vector<double>& ear = ears[k];
            ear.assign(half, 0.0);
            for (size_t i = 0; i < half; ++i) {
                double e = early.ear[k][i];
                if (i >= windowEnd) e = 0.0;
                else if (i > fadeStart) e *= 0.5 + 0.5 * std::cos(kPi * (i - fadeStart) / double(windowEnd - fadeStart));
                ear[i] = e + level * tail[i];
            }
            // A few milliseconds of fade at the cut keep the end of the
            // stored response from clicking.
            const size_t fade = static_cast<size_t>(0.005 * kSampleRate);
            for (size_t i = 0; i < fade; ++i) ear[half - 1 - i] *= static_cast<double>(i) / fade;
        }
        // The reflections and tail may pile up above the direct sound in the
        // smallest rooms; keep the direct sound the strongest single value, as
        // in a measured response.
        double loudest = 0.0;
        for (int k = 0; k < 2; ++k)
            for (double v : ears[k]) loudest = std::max(loudest, std::fabs(v));
        const double limit = 0.8;
        const double shrink = loudest > limit ? limit / loudest : 1.0;
        for (int k = 0; k < 2; ++k) {
            for (double& v : ears[k]) v *= shrink;
            ears[k][early.directIndex[k]] += 1.0;
        }
        Store(ears, out);
        midSeconds *= target / out.t30;
    }
    return out;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.bin>\n", argv[0]);
        return 2;
    }
    uint32_t total = 4 * kRooms;   // the directory: 14 pairs of uint32, in 16-bit values
    for (const RoomDesign& room : kRoomDesigns) total += room.length;
    std::vector<uint8_t> bytes(static_cast<size_t>(total) * 2, 0);

    uint32_t offset = 4 * kRooms;
    for (int r = 0; r < kRooms; ++r) {
        const RoomDesign& room = kRoomDesigns[r];
        PutU32(bytes, 8 * r, offset);
        PutU32(bytes, 8 * r + 4, room.length);
        const orve::rooms::RoomTarget& goal = orve::rooms::kRoomTargets[r];
        if (std::string(room.name).substr(0, std::strlen(goal.name)) != goal.name) {
            std::fprintf(stderr, "room %d is %s in the designs but %s in the targets\n", r + 1, room.name, goal.name);
            return 1;
        }
        const double target = goal.reverbSeconds;
        const RoomResponse response = SynthesiseRoom(room, target);
        const size_t half = room.length / 2;
        for (int k = 0; k < 2; ++k) {
            for (size_t i = 0; i < half; ++i) {
                const uint16_t u = static_cast<uint16_t>(response.ear[k][i]);
                const size_t at = (static_cast<size_t>(offset) + k * half + i) * 2;
                bytes[at] = static_cast<uint8_t>(u & 0xFF);
                bytes[at + 1] = static_cast<uint8_t>(u >> 8);
            }
        }
        std::printf("room %2d %s: %6zu values per ear (%.2f s), target %.2f s: T30 %.2f s, T20 %.2f s, direct %.0f\n",
                    r + 1, room.name, half, half / kSampleRate, target, response.t30, response.t20, response.scale);
        offset += room.length;
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
