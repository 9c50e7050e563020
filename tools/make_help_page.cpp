// Writes the plug-in's help page (ORVEStudio/help.html): every effect the
// window offers with its description, its knobs and its presets, read from
// the effects themselves so the page always matches the build.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Knob values as the knob shows them (a factor for a logarithmic knob).
std::string Shown(orve::EffectProcessor& effect, int knob, double value) {
    const double shown = effect.DisplayValue(knob, value);
    return shown == value ? Number(value) : Number(shown);
}

void WriteEffect(std::ostream& out, const orve::EffectEntry& entry) {
    const int32_t id = orve::EffectNumber(entry.id);
    const orve::EffectBuildContext context{44100, 2, nullptr, nullptr};
    std::unique_ptr<orve::EffectProcessor> effect = entry.construct(context);
    orve::KnobSpec knobs[orve::kMaxKnobs] = {};
    const int32_t knobCount = effect->DescribeKnobs(knobs);
    const orve::EffectPreset* presets = nullptr;
    int32_t presetCount = effect->GetPresets(&presets);
    if (!presets) presetCount = 0;

    out << "<section id=\"effect" << id << "\">\n<h2>" << Escape(entry.NameUtf8()) << "</h2>\n";
    out << "<p>" << Escape(entry.description) << "</p>\n";
    if (knobCount == 0) {
        out << "<p>No knobs: only the output gain applies.</p>\n";
    } else {
        out << "<table><caption>Knobs (top of the knob &rarr; bottom)</caption>\n"
               "<tr><th>Knob</th><th>Top</th><th>Bottom</th><th>Default</th></tr>\n";
        for (int32_t i = 0; i < knobCount; ++i)
            out << "<tr><td>" << Escape(knobs[i].label) << "</td><td>" << Shown(*effect, i, knobs[i].startValue)
                << "</td><td>" << Shown(*effect, i, knobs[i].endValue) << "</td><td>"
                << Shown(*effect, i, knobs[i].defaultValue) << "</td></tr>\n";
        out << "</table>\n";
    }
    if (presetCount > 0) {
        out << "<table><caption>Presets (the last row keeps your own setting)</caption>\n<tr><th>Preset</th>"
               "<th>Gain dB</th>";
        for (int32_t i = 0; i < knobCount; ++i) out << "<th>" << Escape(knobs[i].label) << "</th>";
        out << "</tr>\n";
        for (int32_t p = 0; p < presetCount; ++p) {
            out << "<tr><td>" << Escape(presets[p].name) << "</td><td>" << Number(presets[p].values[0]) << "</td>";
            for (int32_t i = 0; i < knobCount; ++i) out << "<td>" << Shown(*effect, i, presets[p].values[i + 1]) << "</td>";
            out << "</tr>\n";
        }
        out << "</table>\n";
    }
    out << "</section>\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_help_page OUTPUT.html\n";
        return 2;
    }
    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
            "<title>ORVE Studio V1.2 help</title>\n<style>\n"
            "body{font-family:sans-serif;background:#313452;color:#d8f0d8;max-width:60em;margin:2em auto;padding:0 1em}\n"
            "h1,h2{color:#f7a64a} a{color:#3fff3f} table{border-collapse:collapse;margin:.5em 0 1.5em}\n"
            "td,th{border:1px solid #555a80;padding:2px 8px;text-align:right} td:first-child,th:first-child{text-align:left}\n"
            "caption{text-align:left;font-weight:bold;padding:4px 0}\n</style></head><body>\n"
            "<h1>ORVE Studio V1.2</h1>\n"
            "<p>Pick an effect in the list at the bottom of the window, a preset in the list beside it, and set the "
            "knobs. The slider left of the knobs is the output gain (+60 dB at the top, 0 dB in the middle, "
            "&minus;60 dB at the bottom). <b>L</b> and <b>R</b> choose the channels the effect and the gain act on; "
            "<b>PASS</b> lets the sound through untouched. The last row of a preset list is your own setting, kept "
            "from one session to the next; moving a knob selects it in every list but Level Dynamic's. "
            "F12 in the player reopens the window; a right click in it opens this page and the home page.</p>\n<ul>\n";
    for (const orve::EffectEntry& entry : orve::OfferedEffects())
        page << "<li><a href=\"#effect" << orve::EffectNumber(entry.id) << "\">" << Escape(entry.NameUtf8())
             << "</a></li>\n";
    page << "</ul>\n";
    for (const orve::EffectEntry& entry : orve::OfferedEffects()) WriteEffect(page, entry);
    page << "</body></html>\n";

    std::ofstream out(argv[1], std::ios::binary);
    out << page.str();
    return out.good() ? 0 : 1;
}
