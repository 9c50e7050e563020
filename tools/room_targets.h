#pragma once
// The reverberation time each room of impulse-response set 142 is built to,
// in set order: T30 (the backward-integrated decay from -5 to -35 dB,
// extrapolated to -60 dB) of both ears together, in seconds. Chosen for the
// rooms' names, each well inside its stored length, so every tail has died
// away before the response ends. make_room_kernels renders the rooms to these
// times; the kernel-data test measures them.
namespace orve::rooms {

struct RoomTarget {
    const char* name;
    double reverbSeconds;
};

constexpr RoomTarget kRoomTargets[14] = {
    {"Amphitheater", 0.8},   // open air: stone tiers and a stage house, no roof
    {"Auditorium", 1.4},
    {"Cave", 3.0},           // hard rock all round
    {"Chapel", 2.2},         // stone nave
    {"Club", 0.9},           // low ceiling, drapes, people
    {"ConcertHall", 2.0},
    {"Hallway", 1.2},        // hard corridor
    {"InCar", 0.1},          // upholstered cabin: dry
    {"MediumHall", 1.1},
    {"OperaHouse", 1.3},     // absorbent seating and boxes
    {"SmallRoom", 0.45},     // furnished living room
    {"Stadium", 3.0},        // roofless bowl: long echoes from the far stands
    {"Stairway", 4.0},       // tall concrete shaft
    {"Studio", 0.3},         // treated control room
};

}  // namespace orve::rooms
