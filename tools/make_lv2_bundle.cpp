// Writes the Turtle descriptions of the LV2 bundle (manifest.ttl, and per
// plug-in <stem>.ttl with its ports and <stem>-presets.ttl with its presets)
// from the catalogue and the effects' own knob and preset tables, so that the
// descriptions always match the build.
//   make_lv2_bundle DIRECTORY
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/effect_processor.h"
#include "platform/lv2/lv2_bundle.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"

namespace {

using orve::lv2::BundlePlugin;
using orve::lv2::PortLayout;

const char* const kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix log: <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// Ports hold floats: nine significant digits say everything they can hold.
// Always with a point or an exponent, so the literal is a number with a
// fractional part (xsd:decimal or xsd:double), as the LV2 ranges expect.
std::string Number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string Trimmed(const char* text) {
    std::string s = text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
}

// The knobs' display units in the LV2 units vocabulary; any other unit is
// described inline with its own symbol.
std::string UnitOf(const std::string& unit) {
    static const char* const kUnits[][2] = {
        {"dB", "units:db"},    {"Hz", "units:hz"},     {"kHz", "units:khz"},         {"ms", "units:ms"},
        {"s", "units:s"},      {"%", "units:pc"},      {"m", "units:m"},             {"cm", "units:cm"},
        {"deg", "units:degree"}, {"\xC2\xB0", "units:degree"}, {"cent", "units:cent"}, {"cents", "units:cent"},
        {"oct", "units:oct"},  {"st", "units:semitone12TET"}, {"semitones", "units:semitone12TET"},
    };
    for (const auto& row : kUnits)
        if (unit == row[0]) return row[1];
    // A word stands apart from the number ("4 frames"), a sign does not ("2:1", "3\xC3\x97").
    const bool word = std::isalpha(static_cast<unsigned char>(unit[0])) != 0;
    return "[ a units:Unit ; rdfs:label " + Quoted(unit) + " ; units:symbol " + Quoted(unit) +
           " ; units:render " + Quoted("%f" + std::string(word ? " " : "") + unit) + " ]";
}

// The family's nearest LV2 plug-in class.
const char* PluginClass(orve::EffectFamily family) {
    switch (family) {
        case orve::EffectFamily::Level: return "lv2:DynamicsPlugin";
        case orve::EffectFamily::Restoration: return "lv2:FilterPlugin";
        case orve::EffectFamily::Equaliser: return "lv2:MultiEQPlugin";
        case orve::EffectFamily::Spacial: return "lv2:SpatialPlugin";
        case orve::EffectFamily::TimePitch: return "lv2:PitchPlugin";
        case orve::EffectFamily::Distortion: return "lv2:DistortionPlugin";
    }
    return "lv2:UtilityPlugin";
}

struct ControlPort {
    std::string symbol, name, comment, unit, properties, designation;
    double minimum = 0.0, maximum = 1.0, defaultValue = 0.0;
    bool output = false;
};

void WriteControl(std::ostream& out, uint32_t index, const ControlPort& p) {
    out << "\t\ta lv2:ControlPort , lv2:" << (p.output ? "OutputPort" : "InputPort") << " ;\n"
        << "\t\tlv2:index " << index << " ;\n"
        << "\t\tlv2:symbol " << Quoted(p.symbol) << " ;\n"
        << "\t\tlv2:name " << Quoted(p.name) << " ;\n";
    if (!p.comment.empty()) out << "\t\trdfs:comment " << Quoted(p.comment) << " ;\n";
    if (!p.designation.empty()) out << "\t\tlv2:designation " << p.designation << " ;\n";
    if (!p.properties.empty()) out << "\t\tlv2:portProperty " << p.properties << " ;\n";
    if (!p.unit.empty()) out << "\t\tunits:unit " << p.unit << " ;\n";
    if (!p.output) out << "\t\tlv2:default " << Number(p.defaultValue) << " ;\n";
    out << "\t\tlv2:minimum " << Number(p.minimum) << " ;\n"
        << "\t\tlv2:maximum " << Number(p.maximum) << "\n";
}

ControlPort Toggle(const std::string& symbol, const std::string& name, const std::string& comment, double value) {
    ControlPort p;
    p.symbol = symbol;
    p.name = name;
    p.comment = comment;
    p.properties = "lv2:toggled";
    p.defaultValue = value;
    return p;
}

struct Preset {
    std::string uri, label;
    std::vector<std::pair<std::string, double>> values;
};

class PluginWriter {
public:
    explicit PluginWriter(const BundlePlugin& p) : plugin(p) {
        const orve::EffectBuildContext context{44100, plugin.channels, nullptr, nullptr};
        effect = orve::MakeEffect(plugin.effect, context);
        knobCount = effect->DescribeKnobs(knobs);
        layout = orve::lv2::LayoutOf(plugin, knobCount);
        std::vector<std::string> taken = {orve::lv2::kSnapNoiseSymbol, orve::lv2::kGainSymbol,
                                          orve::lv2::kEnabledSymbol, orve::lv2::kLatencySymbol};
        for (int32_t c = 0; c < layout.channels; ++c) {
            taken.push_back(orve::lv2::AudioSymbol(layout, true, c));
            taken.push_back(orve::lv2::AudioSymbol(layout, false, c));
        }
        for (int32_t s = 0; s < layout.switches; ++s) taken.push_back(orve::lv2::SwitchSymbol(layout, s));
        for (int32_t k = 0; k < knobCount; ++k) knobSymbols.push_back(orve::lv2::KnobSymbol(knobs[k].label, taken));
        CollectPresets();
    }

    const std::vector<Preset>& Presets() const { return presets; }

    void WriteDescription(std::ostream& out) const {
        const orve::EffectEntry& entry = orve::CatalogueEntry(plugin.effect);
        out << kPrefixes;
        out << "<" << orve::lv2::kUriBase << ">\n\ta doap:Project ;\n\tdoap:name \"ORVE Studio\" ;\n"
            << "\tdoap:homepage <" << ORVE_HOME_PAGE_URL << "> .\n\n";
        out << "<" << plugin.uri << ">\n"
            << "\ta lv2:Plugin , " << PluginClass(entry.family) << " ;\n"
            << "\tdoap:name " << Quoted(plugin.name) << " ;\n"
            << "\trdfs:comment " << Quoted(entry.description) << " ;\n"
            << "\tlv2:project <" << orve::lv2::kUriBase << "> ;\n"
            << "\tlv2:minorVersion " << ORVE_VERSION_MINOR << " ;\n"
            << "\tlv2:microVersion 0 ;\n"
            << "\tlv2:optionalFeature lv2:hardRTCapable , urid:map , work:schedule , log:log ;\n"
            << "\tlv2:extensionData state:interface , work:interface ;\n"
            << "\tlv2:port ";
        bool first = true;
        auto open = [&]() -> std::ostream& {
            out << (first ? "[\n" : " , [\n");
            first = false;
            return out;
        };
        static const char* const kSides[] = {"Left", "Right"};
        for (int direction = 0; direction < 2; ++direction) {
            const bool input = direction == 0;
            for (int32_t c = 0; c < layout.channels; ++c) {
                const uint32_t index = input ? layout.AudioIn(c) : layout.AudioOut(c);
                std::string name = input ? "In" : "Out";
                if (layout.channels == 2) name = std::string(kSides[c]) + (input ? " in" : " out");
                open() << "\t\ta lv2:AudioPort , lv2:" << (input ? "InputPort" : "OutputPort") << " ;\n"
                       << "\t\tlv2:index " << index << " ;\n"
                       << "\t\tlv2:symbol " << Quoted(orve::lv2::AudioSymbol(layout, input, c)) << " ;\n"
                       << "\t\tlv2:name " << Quoted(name) << "\n\t]";
            }
        }
        for (int32_t k = 0; k < knobCount; ++k) {
            const orve::KnobSpec& knob = knobs[k];
            ControlPort p;
            p.symbol = knobSymbols[k];
            p.name = Trimmed(knob.label);
            p.comment = knob.help ? knob.help : "";
            p.minimum = std::min(knob.startValue, knob.endValue);
            p.maximum = std::max(knob.startValue, knob.endValue);
            p.defaultValue = knob.defaultValue;
            // The port holds the value the knob stores; its unit is the
            // displayed one, so it applies only where the two are the same
            // (not on the knobs that store a logarithm).
            if (knob.unit && *knob.unit && StoresDisplayedValue(k)) p.unit = UnitOf(knob.unit);
            WriteControl(open(), layout.Knob(k), p);
            out << "\t]";
        }
        if (layout.snapNoise) {
            ControlPort p = Toggle(orve::lv2::kSnapNoiseSymbol, "Snap Noise",
                                   "Starts learning a new noise profile from the next stretch of audio (the output "
                                   "is muted meanwhile).",
                                   0.0);
            p.properties = "lv2:toggled , pprops:trigger";
            WriteControl(open(), layout.SnapNoise(), p);
            out << "\t]";
        }
        ControlPort gain;
        gain.symbol = orve::lv2::kGainSymbol;
        gain.name = "Output gain";
        gain.comment = "Gain applied to the processed channels after the effect.";
        gain.unit = "units:db";
        gain.minimum = orve::lv2::kMinGainDb;
        gain.maximum = orve::lv2::kMaxGainDb;
        WriteControl(open(), layout.Gain(), gain);
        out << "\t]";
        for (int32_t s = 0; s < layout.switches; ++s) {
            std::string name = "Process", comment = "Off: the audio passes untouched (still delayed by the latency).";
            if (layout.switches == 2) {
                name = std::string("Process ") + (s == 0 ? "left" : "right");
                comment = std::string("Off: the ") + (s == 0 ? "left" : "right") +
                          " channel passes untouched (still delayed by the latency).";
            }
            WriteControl(open(), layout.Switch(s), Toggle(orve::lv2::SwitchSymbol(layout, s), name, comment, 1.0));
            out << "\t]";
        }
        ControlPort enabled = Toggle(orve::lv2::kEnabledSymbol, "Enabled",
                                     "The host's bypass: crossfades to the input, delayed by the same latency.", 1.0);
        enabled.designation = "lv2:enabled";
        WriteControl(open(), layout.Enabled(), enabled);
        out << "\t]";
        ControlPort latency;
        latency.symbol = orve::lv2::kLatencySymbol;
        latency.name = "Latency";
        latency.output = true;
        latency.designation = "lv2:latency";
        latency.properties = "lv2:reportsLatency , lv2:integer";
        latency.unit = "units:frame";
        latency.maximum = orve::kMaxSampleRate;
        WriteControl(open(), layout.Latency(), latency);
        out << "\t] .\n";
    }

    void WritePresets(std::ostream& out) const {
        out << kPrefixes;
        for (const Preset& preset : presets) {
            out << "<" << preset.uri << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << plugin.uri << "> ;\n"
                << "\trdfs:label " << Quoted(preset.label) << " ;\n\tlv2:port ";
            for (size_t i = 0; i < preset.values.size(); ++i)
                out << (i ? " , " : "") << "[\n\t\tlv2:symbol " << Quoted(preset.values[i].first)
                    << " ;\n\t\tpset:value " << Number(preset.values[i].second) << "\n\t]";
            out << " .\n\n";
        }
    }

private:
    bool StoresDisplayedValue(int32_t k) const {
        const orve::KnobSpec& knob = knobs[k];
        for (double v : {knob.startValue, knob.endValue, knob.defaultValue, 0.5 * (knob.startValue + knob.endValue)})
            if (effect->DisplayValue(k, v) != v) return false;
        return true;
    }

    // Every row of the effect's table but the user's own "Custom" row, which
    // in the window keeps the user's last setting and in a host would only
    // repeat the defaults: hosts keep user presets of their own.
    void CollectPresets() {
        const orve::EffectPreset* table = nullptr;
        int32_t rows = effect->GetPresets(&table);
        if (!table) rows = 0;
        std::vector<std::string> slugs;
        for (int32_t r = 0; r < rows; ++r) {
            const std::string label = Trimmed(table[r].name);
            if (r == rows - 1 && label == "Custom") continue;
            std::string slug = orve::lv2::Slug(label), unique = slug;
            for (int n = 2; std::find(slugs.begin(), slugs.end(), unique) != slugs.end(); ++n)
                unique = slug + "-" + std::to_string(n);
            slugs.push_back(unique);
            Preset preset{plugin.uri + "/preset/" + unique, label, {}};
            for (int32_t k = 0; k < knobCount; ++k) preset.values.emplace_back(knobSymbols[k], table[r].values[k + 1]);
            preset.values.emplace_back(orve::lv2::kGainSymbol, table[r].values[0]);
            presets.push_back(preset);
        }
    }

    const BundlePlugin& plugin;
    std::unique_ptr<orve::EffectProcessor> effect;
    orve::KnobSpec knobs[orve::kMaxKnobs] = {};
    int32_t knobCount = 0;
    PortLayout layout;
    std::vector<std::string> knobSymbols;
    std::vector<Preset> presets;
};

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) std::cerr << "make_lv2_bundle: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_lv2_bundle DIRECTORY\n";
        return 2;
    }
    const std::string directory = argv[1];
    // Descriptions of plug-ins or presets that are no longer built must not
    // linger in the bundle.
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(directory, error))
        if (file.path().extension() == ".ttl") std::filesystem::remove(file.path(), error);
    std::ostringstream manifest;
    manifest << kPrefixes;
    for (const BundlePlugin& plugin : orve::lv2::BundlePlugins()) {
        PluginWriter writer(plugin);
        std::ostringstream description, presets;
        writer.WriteDescription(description);
        writer.WritePresets(presets);
        if (!WriteFile(directory + "/" + plugin.fileStem + ".ttl", description.str())) return 1;
        manifest << "<" << plugin.uri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <" << orve::lv2::kBinaryFile << "> ;\n"
                 << "\trdfs:seeAlso <" << plugin.fileStem << ".ttl> .\n\n";
        if (writer.Presets().empty()) continue;
        if (!WriteFile(directory + "/" + plugin.fileStem + "-presets.ttl", presets.str())) return 1;
        for (const Preset& preset : writer.Presets())
            manifest << "<" << preset.uri << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << plugin.uri << "> ;\n"
                     << "\trdfs:seeAlso <" << plugin.fileStem << "-presets.ttl> .\n\n";
    }
    return WriteFile(directory + "/manifest.ttl", manifest.str()) ? 0 : 1;
}
