#pragma once
// The effects the user chooses from, by EffectId.
#include <cstdint>
#include <string>

namespace orve {

constexpr int32_t kEffectCount = 23;       // catalogue entries 0..22
constexpr int32_t kSelectableEffects = 22; // the window offers 0..21

// Display name as stored: a two-byte GB2312 diamond (A1 F3 white, A1 F4 black)
// followed by the text. Returns the pass-through entry's name for ids out of range.
const char* EffectDisplayName(int32_t effectId);
// The text after the glyph ("Restoration-DeNoise").
const char* EffectText(int32_t effectId);
// Whether the glyph is the black diamond.
bool EffectGlyphIsBlack(int32_t effectId);
// Display name with the glyph rendered in UTF-8 (U+25C7 / U+25C6).
std::string EffectNameUtf8(int32_t effectId);
// One paragraph on what the effect does, for the help page.
const char* EffectDescription(int32_t effectId);

}  // namespace orve
