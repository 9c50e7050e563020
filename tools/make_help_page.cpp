// Writes the plug-in's help page (ORVEStudio/help.html): every effect the
// window offers with its description, its knobs (unit and what each does) and
// its presets, read from the effects themselves so the page always matches the
// build; each graphic-equaliser preset also gets a plot of its response,
// computed from the equaliser's own filter sections.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "dsp/effect_processor.h"
#include "effects/equaliser/graphic_eq.h"
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

// A small SVG plot of one preset's response: 20 Hz to 20 kHz on a logarithmic
// axis, -24 to +24 dB.
std::string ResponsePlot(const orve::GraphicEq& eq) {
    const double left = 34, top = 6, width = 262, height = 100, range = 24.0;
    auto x = [&](double hz) { return left + width * std::log10(hz / 20.0) / 3.0; };
    auto y = [&](double db) { return top + height * (range - std::clamp(db, -range, range)) / (2 * range); };
    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"300\" height=\"124\" viewBox=\"0 0 300 124\">"
        << "<g stroke=\"#555a80\" stroke-width=\"1\">";
    for (double db : {-24.0, -12.0, 0.0, 12.0, 24.0})
        svg << "<line x1=\"" << left << "\" x2=\"" << left + width << "\" y1=\"" << y(db) << "\" y2=\"" << y(db) << "\"/>";
    for (double hz : {20.0, 100.0, 1000.0, 10000.0, 20000.0})
        svg << "<line x1=\"" << x(hz) << "\" x2=\"" << x(hz) << "\" y1=\"" << top << "\" y2=\"" << top + height << "\"/>";
    svg << "</g><g fill=\"#d8f0d8\" font-size=\"10\" font-family=\"sans-serif\">";
    for (double db : {-24.0, -12.0, 0.0, 12.0, 24.0})
        svg << "<text x=\"" << left - 4 << "\" y=\"" << y(db) + 3 << "\" text-anchor=\"end\">" << (db > 0 ? "+" : "")
            << db << "</text>";
    const std::pair<double, const char*> ticks[] = {{100.0, "100"}, {1000.0, "1k"}, {10000.0, "10k"}};
    for (const auto& [hz, label] : ticks)
        svg << "<text x=\"" << x(hz) << "\" y=\"" << top + height + 13 << "\" text-anchor=\"middle\">" << label << "</text>";
    svg << "</g><polyline fill=\"none\" stroke=\"#3fff3f\" stroke-width=\"1.5\" points=\"";
    char point[40];
    for (int i = 0; i <= 160; ++i) {
        const double hz = 20.0 * std::pow(1000.0, i / 160.0);
        std::snprintf(point, sizeof point, "%s%.1f,%.1f", i ? " " : "", x(hz), y(eq.ResponseDb(hz)));
        svg << point;
    }
    svg << "\"/></svg>";
    return svg.str();
}

// The response of every preset row, as the equaliser designs it at 44100 Hz.
void WritePresetPlots(std::ostream& out, orve::GraphicEq& eq, const orve::EffectPreset* presets, int32_t count) {
    out << "<p>Responses of the presets (20 Hz to 20 kHz, &minus;24 to +24 dB):</p>\n<div class=\"plots\">\n";
    for (int32_t p = 0; p < count; ++p) {
        eq.SetParameters(presets[p].values + 1);
        double silence[2] = {0.0, 0.0};   // one frame makes the equaliser design its sections
        eq.ProcessBlock(silence, silence, 2, 2, 3);
        out << "<figure>" << ResponsePlot(eq) << "<figcaption>" << Escape(presets[p].name) << "</figcaption></figure>\n";
    }
    out << "</div>\n";
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
               "<tr><th>Knob</th><th>Top</th><th>Bottom</th><th>Default</th><th>Unit</th><th>What it does</th></tr>\n";
        for (int32_t i = 0; i < knobCount; ++i)
            out << "<tr><td>" << Escape(knobs[i].label) << "</td><td>" << Shown(*effect, i, knobs[i].startValue)
                << "</td><td>" << Shown(*effect, i, knobs[i].endValue) << "</td><td>"
                << Shown(*effect, i, knobs[i].defaultValue) << "</td><td>" << Escape(knobs[i].unit ? knobs[i].unit : "")
                << "</td><td class=\"help\">" << Escape(knobs[i].help ? knobs[i].help : "") << "</td></tr>\n";
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
        if (auto* eq = dynamic_cast<orve::GraphicEq*>(effect.get())) WritePresetPlots(out, *eq, presets, presetCount);
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
            "caption{text-align:left;font-weight:bold;padding:4px 0} td.help{text-align:left;max-width:32em}\n"
            ".plots{display:flex;flex-wrap:wrap;gap:4px 12px} figure{margin:0} "
            "figcaption{text-align:center;font-size:smaller}\n</style></head><body>\n"
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
