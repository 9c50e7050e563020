#include "knob_value.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli_error.h"
#include "effect_lookup.h"

namespace orve::cli {
namespace {

constexpr const char* kTimes = "\xC3\x97";       // the knob tables' unit of a factor
constexpr const char* kMicroseconds = "\xC2\xB5s";
constexpr const char* kDegrees = "\xC2\xB0";

// The ways a unit may be written, each with the knob tables' spelling and its
// size in the base of its kind (seconds for the times; 1 for the others,
// which convert to nothing but themselves).
struct UnitForm {
    const char* written;
    const char* unit;
    double scale;
};
constexpr UnitForm kUnitForms[] = {
    {"\xC3\x97", kTimes, 1.0}, {"x", kTimes, 1.0},
    {"hz", "Hz", 1.0},
    {"db", "dB", 1.0},
    {"s", "s", 1.0}, {"ms", "ms", 1e-3},
    {"\xC2\xB5s", kMicroseconds, 1e-6}, {"\xCE\xBCs", kMicroseconds, 1e-6}, {"us", kMicroseconds, 1e-6},
    {"\xC2\xB0", kDegrees, 1.0}, {"deg", kDegrees, 1.0},
    {":1", ":1", 1.0},
    {"frames", "frames", 1.0}, {"frame", "frames", 1.0},
};

const UnitForm* FindUnit(const std::string& written) {
    const std::string w = Lower(written);
    for (const UnitForm& f : kUnitForms)
        if (w == f.written) return &f;
    return nullptr;
}

bool IsTime(const std::string& unit) { return unit == "s" || unit == "ms" || unit == kMicroseconds; }

double UnitScale(const std::string& unit) {
    for (const UnitForm& f : kUnitForms)
        if (unit == f.unit) return f.scale;
    return 1.0;
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string Subject(const KnobSpec& knob, EffectId effectId, const KnobChoice& choice) {
    const std::string label = TrimmedRight(KnobLabel(knob));
    return (choice.text.empty() ? "knob '" + label + "'" : "--knob " + choice.text) + ": " + label + " of " +
           EffectText(effectId);
}

}  // namespace

KnobChoice ParseKnobValue(const std::string& label, const std::string& valueText, const std::string& text) {
    KnobChoice choice;
    choice.label = label;
    choice.text = text;
    auto fail = [&]() {
        return CliError("--knob " + text +
                        ": the value must be a number, as stored (Pitch=0.4) or as shown with its unit "
                        "(Pitch=x1.55, Delay=1000us, Hi F=16k)");
    };
    std::string s = Trimmed(valueText);
    // A factor as the window's users read it: "x1.55" or "×1.55".
    bool factor = false;
    for (const char* prefix : {"\xC3\x97", "x", "X"}) {
        if (s.rfind(prefix, 0) == 0) {
            s = Trimmed(s.substr(std::strlen(prefix)));
            factor = true;
            break;
        }
    }
    // The number, scanned by hand: strtod would take hexadecimal, "inf" and
    // "nan" too, and the digits written give the precision meant.
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    int32_t digits = 0, decimals = 0, exponent = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && IsDigit(s[i]); ++i) ++digits, ++decimals;
    if (digits == 0) throw fail();
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) ++j;
            exponent = std::atoi(s.substr(i + 1, j - i - 1).c_str());
            i = j;
        }
    }
    choice.value = std::strtod(s.substr(0, i).c_str(), nullptr);
    if (!std::isfinite(choice.value) || std::abs(exponent) > 300) throw fail();
    const std::string rest = Trimmed(s.substr(i));
    if (factor) {
        if (!rest.empty()) throw fail();
        choice.shown = true;
        choice.unit = kTimes;
    } else if (!rest.empty()) {
        // A unit ("ms", "Hz"), or thousands or millions of one ("16k", "16kHz").
        double multiplier = 1.0;
        const UnitForm* unit = FindUnit(rest);
        if (!unit) {
            if (rest[0] == 'k' || rest[0] == 'K') multiplier = 1e3;
            else if (rest[0] == 'M') multiplier = 1e6;
            else throw fail();
            const std::string after = Trimmed(rest.substr(1));
            if (!after.empty() && !(unit = FindUnit(after))) throw fail();
        }
        choice.shown = true;
        if (unit) {
            choice.unit = unit->unit;
            choice.unitScale = unit->scale;
        }
        choice.value *= multiplier;
        exponent += static_cast<int32_t>(std::lround(std::log10(multiplier)));
    }
    choice.precision = 0.5 * std::pow(10.0, exponent - decimals);
    return choice;
}

std::string ShownText(double shown, const char* unitText) {
    const std::string unit = unitText ? unitText : "";
    if (unit == kTimes) return "x" + Number(shown);
    if (unit.empty()) return Number(shown);
    if (unit == ":1" || unit == kDegrees) return Number(shown) + unit;
    return Number(shown) + " " + unit;
}

std::string KnobRangeText(EffectProcessor& effect, int32_t k, const KnobSpec& knob) {
    const double low = std::min(knob.startValue, knob.endValue), high = std::max(knob.startValue, knob.endValue);
    const double a = effect.DisplayValue(k, low), b = effect.DisplayValue(k, high);
    const std::string stored = Number(low) + " .. " + Number(high);
    const std::string shown = ShownText(std::min(a, b), knob.unit) + " .. " + ShownText(std::max(a, b), knob.unit);
    if (shown == stored) return stored;
    return shown + " (stored " + stored + ")";
}

double StoredKnobValue(EffectProcessor& effect, int32_t k, const KnobSpec& knob, EffectId effectId,
                       const KnobChoice& choice) {
    const double low = std::min(knob.startValue, knob.endValue), high = std::max(knob.startValue, knob.endValue);
    auto offKnob = [&]() { return CliError(Subject(knob, effectId, choice) + " takes " + KnobRangeText(effect, k, knob)); };
    if (!choice.shown) {
        if (!(choice.value >= low && choice.value <= high)) throw offKnob();
        return choice.value;
    }
    const std::string knobUnit = knob.unit ? knob.unit : "";
    double scale = 1.0;
    if (!choice.unit.empty()) {
        if (IsTime(choice.unit) && IsTime(knobUnit)) {
            scale = choice.unitScale / UnitScale(knobUnit);
        } else if (choice.unit != knobUnit) {
            throw CliError(Subject(knob, effectId, choice) + " shows " +
                           (knobUnit.empty() ? std::string("a plain number") : knobUnit == kTimes ? "a factor" : knobUnit) +
                           ", not " + choice.unit + "; it takes " + KnobRangeText(effect, k, knob));
        }
    }
    const double target = choice.value * scale, precision = choice.precision * scale;
    auto shown = [&](double stored) { return effect.DisplayValue(k, stored); };
    const double atLow = shown(low), atHigh = shown(high);
    const bool rising = atHigh >= atLow;
    const double shownLow = std::min(atLow, atHigh), shownHigh = std::max(atLow, atHigh);
    // The ends as describe prints them (six digits) lie within the digits
    // written of the exact ends.
    if (!(target >= shownLow - precision && target <= shownHigh + precision)) throw offKnob();

    // Every DisplayValue is monotonic over the knob (identity, a power, a
    // scaled power): bisection finds the stored value showing `target`.
    double s;
    if (target <= shownLow) {
        s = rising ? low : high;
    } else if (target >= shownHigh) {
        s = rising ? high : low;
    } else {
        double a = low, b = high;
        for (int32_t step = 0; step < 200; ++step) {
            const double m = 0.5 * (a + b);
            if (m <= a || m >= b) break;
            if ((shown(m) < target) == rising) a = m;
            else b = m;
        }
        s = std::fabs(shown(a) - target) <= std::fabs(shown(b) - target) ? a : b;
    }
    // The simplest stored value that shows the value written, to its last
    // digit and to six significant digits: "x1.55185" (PitchScaler's Child
    // as printed) is the preset's own 0.4, "x2" stays 0.63093 (x2.0000005).
    const double tolerance = std::min(precision, 5e-6 * std::fabs(target));
    for (int32_t digits = 1; digits <= 17; ++digits) {
        char text[40];
        std::snprintf(text, sizeof text, "%.*g", digits, s);
        const double r = std::strtod(text, nullptr);
        if (r >= low && r <= high && std::fabs(shown(r) - target) <= tolerance) return r;
    }
    return s;
}

}  // namespace orve::cli
