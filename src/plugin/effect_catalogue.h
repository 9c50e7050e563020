#pragma once
// The effects the user chooses from: one row per effect, addressed by EffectId.
// Adding an effect is one class (src/effects/<family>/) and one row in the
// catalogue's table; everything that depends on the effect (window width,
// channel switches, help page, `orve`, the demo) reads that row.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dsp/effect_processor.h"
#include "dsp/effect_services.h"

namespace orve {

// The catalogue's order is the order of the window's list and the number the
// settings record stores: never reorder; a new effect goes just before
// AsImpact, the one entry the window never offers.
enum class EffectId : int32_t {
    LevelTuning,
    LevelDynamic,
    DeClick,
    DeHiss,
    DeNoise,
    DeEss,
    DeHum,
    Geq3Bands,
    Geq10Bands,
    Geq15Bands,
    Geq20Bands,
    Geq31Bands,
    DeVocalMono,
    DeVocalStereo,
    SampleReverb,
    ModalReverb,
    Virtual3D,
    Resampler,
    TempoScaler,
    PitchScaler,
    Vibrato,
    Whisper,
    AsImpact,   // in the catalogue but never offered: it builds the pass-through effect
};

constexpr int32_t kEffectCount = static_cast<int32_t>(EffectId::AsImpact) + 1;
// The window offers every id before AsImpact, in order.
constexpr int32_t kSelectableEffects = static_cast<int32_t>(EffectId::AsImpact);

// The number of an effect in the window's list and in the settings record.
constexpr int32_t EffectNumber(EffectId id) { return static_cast<int32_t>(id); }
// The effect the window offers under `number`; none for any other number.
std::optional<EffectId> OfferedEffect(int32_t number);

// The families, as the names' prefixes show them.
enum class EffectFamily { Level, Restoration, Equaliser, Spacial, TimePitch, Distortion };

// What an effect's constructor may draw on besides the stream format.
struct EffectBuildContext {
    int32_t sampleRate;
    int32_t channels;
    KernelSource* kernels;   // may be null: the kernel-based effects then report it
    ErrorSink* errors;       // may be null
    // What an effect's random parts (the modal reverb's tail noise) are drawn
    // from: the same seed gives the same output bit for bit. Without one
    // they are drawn from the clock, as the plug-in does.
    std::optional<uint32_t> seed = std::nullopt;
    // Locates an embedded impulse-response set; null when it is missing.
    const int16_t* Kernel(int32_t resourceId, size_t* valueCount = nullptr) const;
};

using EffectConstructor = std::unique_ptr<EffectProcessor> (*)(const EffectBuildContext&);

// Outer window width on hosts before and from the wide-frame version.
struct WindowWidths {
    int32_t narrow;
    int32_t wide;
};

struct EffectEntry {
    EffectId id;
    // As stored: a two-byte GB2312 diamond (A1 F3 white, A1 F4 black), then the text.
    const char* displayName;
    EffectFamily family;
    EffectConstructor construct;
    WindowWidths width;
    // Works on the stream as a whole (a pair of channels, or a changed
    // length), so the window offers PASS alone instead of L and R.
    bool passOnly;
    // One paragraph on what the effect does, for the help page.
    const char* description;

    const char* Text() const { return displayName + 2; }   // "Restoration-DeNoise"
    bool GlyphIsBlack() const { return static_cast<unsigned char>(displayName[1]) == 0xF4; }
    // The name with the glyph as UTF-8 (U+25C7 white, U+25C6 black).
    std::string NameUtf8() const;
};

// The row of `id`; an id outside the catalogue gets Level Tuning's row.
const EffectEntry& CatalogueEntry(EffectId id);

// The rows the window offers, in order: `for (const EffectEntry& e : OfferedEffects())`.
struct EffectRows {
    const EffectEntry* first;
    const EffectEntry* last;
    const EffectEntry* begin() const { return first; }
    const EffectEntry* end() const { return last; }
};
EffectRows OfferedEffects();

inline const char* EffectText(EffectId id) { return CatalogueEntry(id).Text(); }
inline std::string EffectNameUtf8(EffectId id) { return CatalogueEntry(id).NameUtf8(); }

}  // namespace orve
