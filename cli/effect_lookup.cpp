#include "effect_lookup.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli_error.h"
#include "plugin/effect_catalogue.h"

namespace orve::cli {
namespace {

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 3) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

std::string Normalised(const std::string& text) {
    std::string out;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string TrimmedRight(const std::string& text) {
    const size_t last = text.find_last_not_of(" \t");
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string Lower(const std::string& text) {
    std::string out;
    for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : TrimmedRight(text.substr(first));
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

size_t TextWidth(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

EffectId FindEffect(const std::string& text) {
    std::string trimmed = Trimmed(text);
    // A name copied from `orve list` carries its diamond (U+25C6 or U+25C7).
    for (const char* glyph : {"\xE2\x97\x86", "\xE2\x97\x87"})
        if (trimmed.rfind(glyph, 0) == 0) trimmed = Trimmed(trimmed.substr(3));
    if (AllDigits(trimmed)) {
        if (const std::optional<EffectId> id = OfferedEffect(std::stoi(trimmed))) return *id;
        throw CliError("unknown effect " + Quoted(text) + ": ids run from 0 to " +
                       std::to_string(kSelectableEffects - 1) + " (see 'orve list')");
    }
    const std::string wanted = Normalised(trimmed);
    // The family prefix ends at the first '-' ("Restoration-", "T/P-", "GEQ-").
    auto bareName = [](const std::string& full) {
        const size_t dash = full.find('-');
        return dash == std::string::npos ? full : full.substr(dash + 1);
    };
    std::vector<EffectId> matches;
    for (const EffectEntry& e : OfferedEffects()) {
        const std::string full = Normalised(e.Text());
        if (wanted.empty()) break;
        if (wanted == full) return e.id;
        if (wanted == bareName(full)) matches.push_back(e.id);
    }
    if (matches.empty() && !wanted.empty()) {
        // Failing an exact name, a unique beginning of a full or bare name will do
        // ("tempo", "geq-31").
        for (const EffectEntry& e : OfferedEffects()) {
            const std::string full = Normalised(e.Text());
            if (full.compare(0, wanted.size(), wanted) == 0 || bareName(full).compare(0, wanted.size(), wanted) == 0)
                matches.push_back(e.id);
        }
        // "geq-3" begins both "GEQ-3 Bands" and "GEQ-31 Bands": a number typed
        // whole means that number, not a longer one it begins.
        if (matches.size() > 1 && std::isdigit(static_cast<unsigned char>(wanted.back()))) {
            auto continuesNumber = [&](EffectId id) {
                const std::string full = Normalised(EffectText(id)), bare = bareName(full);
                const std::string& name = full.compare(0, wanted.size(), wanted) == 0 ? full : bare;
                return name.size() > wanted.size() && std::isdigit(static_cast<unsigned char>(name[wanted.size()]));
            };
            std::vector<EffectId> whole;
            for (EffectId id : matches)
                if (!continuesNumber(id)) whole.push_back(id);
            if (!whole.empty()) matches = whole;
        }
    }
    if (matches.size() == 1) return matches[0];
    if (matches.size() > 1) {
        std::string names;
        for (EffectId id : matches) names += (names.empty() ? "" : ", ") + Quoted(EffectText(id));
        throw CliError("effect " + Quoted(text) + " is ambiguous: " + names);
    }
    throw CliError("unknown effect " + Quoted(text) + " (see 'orve list')");
}

int32_t FindPreset(EffectProcessor& effect, EffectId effectId, const std::string& name) {
    const EffectPreset* table = nullptr;
    const int32_t count = effect.GetPresets(&table);
    if (count <= 0 || !table)
        throw CliError(std::string(EffectText(effectId)) + " has no presets");
    const std::string wanted = Lower(Trimmed(name));
    std::string names;
    for (int32_t i = 0; i < count; ++i) {
        const std::string rowName = TrimmedRight(table[i].name ? table[i].name : "");
        if (Lower(rowName) == wanted) return i;
        names += (names.empty() ? "" : ", ") + Quoted(rowName);
    }
    throw CliError("unknown preset " + Quoted(name) + " for " + EffectText(effectId) + " (presets: " + names + ")");
}

std::string KnobLabel(const KnobSpec& knob) {
    return std::string(knob.label, strnlen(knob.label, sizeof knob.label));
}

int32_t FindKnob(const KnobSpec* table, int32_t count, EffectId effectId, const std::string& label) {
    if (count <= 0) throw CliError(std::string(EffectText(effectId)) + " has no knobs");
    const std::string wanted = Lower(Trimmed(label));
    std::string labels;
    int32_t found = -1;
    for (int32_t i = 0; i < count; ++i) {
        const std::string knob = Trimmed(KnobLabel(table[i]));
        labels += (labels.empty() ? "" : ", ") + Quoted(knob);
        if (Lower(knob) != wanted) continue;
        if (found >= 0) throw CliError("knob label " + Quoted(label) + " is ambiguous for " + EffectText(effectId));
        found = i;
    }
    if (found < 0)
        throw CliError("unknown knob " + Quoted(label) + " for " + EffectText(effectId) + " (knobs: " + labels + ")");
    return found;
}

}  // namespace orve::cli
