#pragma once
// The LV2 bundle's plug-ins and their port layout, shared by the generator of
// the Turtle descriptions (tools/make_lv2_bundle.cpp) and the plug-in module,
// so that what a host reads and what the binary serves cannot disagree.
//
// One plug-in per catalogue effect that keeps the stream's length, in stereo;
// effects that treat every channel alike (the window offers L and R for them)
// come in mono as well. Ports, by index:
//   audio in (1 or 2), audio out (1 or 2),
//   the effect's knobs in table order,
//   Snap Noise (DeNoise only, a trigger),
//   output gain (dB), channel switches (left and right, or one for the stream
//   as a whole), enabled (the host's bypass), latency (output, frames).
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/operating_range.h"
#include "plugin/effect_catalogue.h"

namespace orve::lv2 {

// Every URI of the bundle lies under this base. It names the plug-ins in
// hosts' sessions, so it never changes with the build's home-page setting.
constexpr const char* kUriBase = "https://orve-studio.org/lv2/";
constexpr const char* kBundleDirectory = "orve-studio.lv2";
constexpr const char* kBinaryFile = "orve_studio_lv2.so";

struct BundlePlugin {
    EffectId effect;
    int32_t channels;   // 1 or 2 audio ports each way
    std::string uri;
    std::string fileStem;   // the Turtle files' names: "<stem>.ttl", "<stem>-presets.ttl"
    std::string name;       // as hosts list it
};

// The bundle's plug-ins in descriptor order: stereo, then mono, per effect.
const std::vector<BundlePlugin>& BundlePlugins();
// The plug-in of `uri`; null for any other URI.
const BundlePlugin* FindBundlePlugin(const char* uri);

// Whether the window offers only PASS for the effect (it works on the stream
// as a whole): then one switch stands for both channels.
bool OneSwitch(const BundlePlugin& plugin);

struct PortLayout {
    int32_t channels = 2;
    int32_t knobs = 0;
    bool snapNoise = false;
    int32_t switches = 2;

    uint32_t AudioIn(int32_t c) const { return static_cast<uint32_t>(c); }
    uint32_t AudioOut(int32_t c) const { return static_cast<uint32_t>(channels + c); }
    uint32_t Knob(int32_t k) const { return static_cast<uint32_t>(2 * channels + k); }
    uint32_t SnapNoise() const { return Knob(knobs); }   // only when snapNoise
    uint32_t Gain() const { return Knob(knobs) + (snapNoise ? 1 : 0); }
    uint32_t Switch(int32_t s) const { return Gain() + 1 + static_cast<uint32_t>(s); }
    uint32_t Enabled() const { return Switch(switches); }
    uint32_t Latency() const { return Enabled() + 1; }
    uint32_t Count() const { return Latency() + 1; }
};

PortLayout LayoutOf(const BundlePlugin& plugin, int32_t knobCount);

// The output gain port's range, the plug-in window's slider range.
constexpr double kMinGainDb = -60.0;
constexpr double kMaxGainDb = 60.0;

// Port symbols of the fixed ports.
constexpr const char* kSnapNoiseSymbol = "snap_noise";
constexpr const char* kGainSymbol = "gain";
constexpr const char* kEnabledSymbol = "enabled";
constexpr const char* kLatencySymbol = "latency";
const char* SwitchSymbol(const PortLayout& layout, int32_t s);
const char* AudioSymbol(const PortLayout& layout, bool input, int32_t c);

// The value a host's float port stands for: the shortest decimal that rounds
// to the float (0.85f -> 0.85, not 0.85000002384185791). Knob tables, presets
// and `orve --knob` give short decimals; read this way a port set to one of
// them gives the effect the very same double. Arithmetic only, for run().
double PortValue(float value);

// An LV2 symbol for a knob label, unique among `taken` (which it joins):
// lower case, other characters as '_', a leading digit after '_' ("1k" -> "_1k").
std::string KnobSymbol(const char* label, std::vector<std::string>& taken);

// Lower case, every run of other characters as one '-': "Restoration-DeNoise"
// -> "restoration-denoise", "Bass&Tremble" -> "bass-tremble".
std::string Slug(const std::string& text);

}  // namespace orve::lv2
