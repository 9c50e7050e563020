#include "platform/lv2/lv2_bundle.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "plugin/effect_actions.h"

namespace orve::lv2 {
namespace {

// "GEQ-  3 Bands 8/3 Oct" -> "GEQ-3 Bands 8/3 Oct": the stored names pad the
// band counts to line up in the window's list; a host's list does not.
std::string HostName(const char* text) {
    std::string name;
    for (const char* p = text; *p; ++p) {
        const bool space = std::isspace(static_cast<unsigned char>(*p)) != 0;
        if (space && (name.empty() || name.back() == ' ' || name.back() == '-')) continue;
        name += space ? ' ' : *p;
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

std::vector<BundlePlugin> MakeBundle() {
    std::vector<BundlePlugin> plugins;
    for (const EffectEntry& entry : OfferedEffects()) {
        // A host hands a plug-in fixed periods and expects as many frames
        // back: an effect that changes the stream's length cannot be one.
        if (!KeepsStreamLength(entry.id)) continue;
        const std::string slug = Slug(entry.Text());
        const std::string name = "ORVE " + HostName(entry.Text());
        plugins.push_back({entry.id, 2, kUriBase + slug, slug, name});
        if (!entry.passOnly) plugins.push_back({entry.id, 1, kUriBase + slug + "-mono", slug + "-mono", name + " (mono)"});
    }
    return plugins;
}

}  // namespace

const std::vector<BundlePlugin>& BundlePlugins() {
    static const std::vector<BundlePlugin> plugins = MakeBundle();
    return plugins;
}

const BundlePlugin* FindBundlePlugin(const char* uri) {
    if (!uri) return nullptr;
    for (const BundlePlugin& plugin : BundlePlugins())
        if (plugin.uri == uri) return &plugin;
    return nullptr;
}

bool OneSwitch(const BundlePlugin& plugin) { return plugin.channels == 1 || CatalogueEntry(plugin.effect).passOnly; }

PortLayout LayoutOf(const BundlePlugin& plugin, int32_t knobCount) {
    PortLayout layout;
    layout.channels = plugin.channels;
    layout.knobs = knobCount;
    layout.snapNoise = plugin.effect == EffectId::DeNoise;
    layout.switches = OneSwitch(plugin) ? 1 : 2;
    return layout;
}

const char* SwitchSymbol(const PortLayout& layout, int32_t s) {
    if (layout.switches == 1) return "process";
    return s == 0 ? "left" : "right";
}

const char* AudioSymbol(const PortLayout& layout, bool input, int32_t c) {
    if (layout.channels == 1) return input ? "in" : "out";
    static const char* const kSymbols[2][2] = {{"out_l", "out_r"}, {"in_l", "in_r"}};
    return kSymbols[input ? 1 : 0][c];
}

double PortValue(float value) {
    const double v = value;
    if (v == 0.0 || !std::isfinite(v)) return v;
    // Powers of ten up to 1e22 are exact doubles, so m / 10^k (or m * 10^-k)
    // is the correctly rounded double of the decimal, as strtod would give.
    static const double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    for (int digits = 1; digits <= 9; ++digits) {
        const int k = digits - 1 - exponent;   // decimal places
        if (k > 22 || k < -22) break;
        const double scale = k >= 0 ? kTens[k] : kTens[-k];
        const double m = std::nearbyint(k >= 0 ? v * scale : v / scale);
        const double decimal = k >= 0 ? m / scale : m * scale;
        if (static_cast<float>(decimal) == value) return decimal;
    }
    return v;
}

std::string KnobSymbol(const char* label, std::vector<std::string>& taken) {
    std::string symbol;
    for (const char* p = label; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalnum(c)) symbol += static_cast<char>(std::tolower(c));
        else if (!symbol.empty() && symbol.back() != '_') symbol += '_';
    }
    while (!symbol.empty() && symbol.back() == '_') symbol.pop_back();
    if (symbol.empty() || std::isdigit(static_cast<unsigned char>(symbol[0]))) symbol = "_" + symbol;
    std::string unique = symbol;
    for (int n = 2; std::find(taken.begin(), taken.end(), unique) != taken.end(); ++n)
        unique = symbol + "_" + std::to_string(n);
    taken.push_back(unique);
    return unique;
}

std::string Slug(const std::string& text) {
    std::string slug;
    for (unsigned char c : text) {
        if (std::isalnum(c)) slug += static_cast<char>(std::tolower(c));
        else if (!slug.empty() && slug.back() != '-') slug += '-';
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return slug;
}

}  // namespace orve::lv2
