#include "describe_command.h"

#include <cstdio>
#include <string>
#include <nlohmann/json.hpp>

#include "effect_lookup.h"
#include "knob_value.h"
#include "platform/posix/embedded_kernels.h"
#include "platform/posix/stderr_ui.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"

namespace orve::cli {
namespace {

// The format the window first builds for: 44100 Hz stereo.
constexpr int32_t kDescribeRate = 44100;
constexpr int32_t kDescribeChannels = 2;

nlohmann::json Describe(EffectId id) {
    EmbeddedKernels kernels;
    StderrUi ui;
    const EffectBuildContext context{kDescribeRate, kDescribeChannels, &kernels, &ui};
    const std::unique_ptr<EffectProcessor> effect = MakeEffect(id, context);
    KnobSpec table[kMaxKnobs] = {};
    const int32_t knobCount = effect->DescribeKnobs(table);

    nlohmann::json knobs = nlohmann::json::array();
    for (int32_t k = 0; k < knobCount; ++k) {
        const KnobSpec& knob = table[k];
        knobs.push_back({{"label", KnobLabel(knob)},
                         {"start", knob.startValue},
                         {"end", knob.endValue},
                         {"default", knob.defaultValue},
                         // What the window prints for them (a factor where
                         // the knob holds its logarithm).
                         {"startShown", effect->DisplayValue(k, knob.startValue)},
                         {"endShown", effect->DisplayValue(k, knob.endValue)},
                         {"defaultShown", effect->DisplayValue(k, knob.defaultValue)},
                         // The unit of the shown values, and what the knob does.
                         {"unit", knob.unit ? knob.unit : ""},
                         {"help", knob.help ? knob.help : ""}});
    }
    const EffectPreset* presetTable = nullptr;
    const int32_t rows = effect->GetPresets(&presetTable);
    nlohmann::json presets = nlohmann::json::array();
    for (int32_t r = 0; presetTable && r < rows; ++r) {
        const double* v = presetTable[r].values;
        std::vector<double> values(v + 1, v + 1 + knobCount), shown(knobCount);
        for (int32_t k = 0; k < knobCount; ++k) shown[k] = effect->DisplayValue(k, values[k]);
        presets.push_back({{"name", presetTable[r].name ? presetTable[r].name : ""},
                           {"gainDb", v[0]},
                           {"values", values},
                           {"shownValues", shown}});
    }
    return {{"id", EffectNumber(id)},
            {"name", EffectNameUtf8(id)},
            {"text", EffectText(id)},
            {"description", CatalogueEntry(id).description},
            {"knobs", knobs},
            {"presetCount", effect->PresetCount()},
            {"presets", presets}};
}

// Padded with spaces to `width` characters (not bytes: units carry µ and °).
std::string Padded(std::string text, size_t width) {
    const size_t n = TextWidth(text);
    if (n < width) text.append(width - n, ' ');
    return text;
}

// Prints `text` in lines of at most `width` characters, each after `indent`.
void PrintWrapped(const std::string& text, const char* indent, size_t width = 88) {
    std::string line;
    size_t from = 0;
    while (from < text.size()) {
        size_t to = text.find(' ', from);
        if (to == std::string::npos) to = text.size();
        const std::string word = text.substr(from, to - from);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            std::printf("%s%s\n", indent, line.c_str());
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        from = to + 1;
    }
    if (!line.empty()) std::printf("%s%s\n", indent, line.c_str());
}

void PrintText(const nlohmann::json& d) {
    std::printf("%2d  %s\n", d["id"].get<int>(), d["name"].get<std::string>().c_str());
    PrintWrapped(d["description"].get<std::string>(), "    ");
    const auto& knobs = d["knobs"];
    std::vector<std::string> units;
    if (knobs.empty()) {
        std::printf("    no knobs\n");
    } else {
        // Both forms -k takes: the stored value as a bare number, the shown
        // one (what the window and the help page print) with its unit.
        std::printf("    %-4s %-10s %s%s\n", "knob", "label", Padded("stored: start .. end, default", 34).c_str(),
                    "shown: start .. end, default");
        int index = 1;
        for (const auto& k : knobs) {
            const std::string unit = k["unit"].get<std::string>();
            units.push_back(unit);
            auto shown = [&unit](const nlohmann::json& v) { return ShownText(v.get<double>(), unit.c_str()); };
            const std::string stored =
                Number(k["start"]) + " .. " + Number(k["end"]) + ", " + Number(k["default"]);
            std::printf("    %-4d %-10s %s%s .. %s, %s\n", index++, k["label"].get<std::string>().c_str(),
                        Padded(stored, 34).c_str(), shown(k["startShown"]).c_str(), shown(k["endShown"]).c_str(),
                        shown(k["defaultShown"]).c_str());
            PrintWrapped(k["help"].get<std::string>(), "         ");
        }
    }
    const auto& presets = d["presets"];
    if (presets.empty()) {
        std::printf("    no presets\n");
    } else {
        std::printf("    %-16s %8s  %s\n", "preset", "gain dB", "knob values");
        for (const auto& p : presets) {
            // A knob that shows something other than it stores gets both.
            std::string values;
            for (size_t k = 0; k < p["values"].size(); ++k) {
                const double v = p["values"][k], shown = p["shownValues"][k];
                values += (values.empty() ? "" : " ") + Number(v);
                if (shown != v) values += " (" + ShownText(shown, units[k].c_str()) + ")";
            }
            std::printf("    %-16s %8s  %s\n", TrimmedRight(p["name"].get<std::string>()).c_str(),
                        Number(p["gainDb"]).c_str(), values.c_str());
        }
    }
}

}  // namespace

CLI::App* AddDescribeCommand(CLI::App& app, DescribeCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand(
        "describe",
        "Show effects' descriptions, knobs (unit, what each does) and presets: each EFFECT in order, as the stages of a "
        "chain, or all effects without EFFECT");
    cmd->add_option("EFFECT", o.effects, "Effect id, name or name without its prefix");
    cmd->add_flag("--json", o.json, "Print JSON");
    return cmd;
}

int RunDescribeCommand(const DescribeCommandOptions& o) {
    if (o.effects.size() == 1) {
        const nlohmann::json d = Describe(FindEffect(o.effects[0]));
        if (o.json) std::printf("%s\n", d.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        else PrintText(d);
        return 0;
    }
    nlohmann::json all = nlohmann::json::array();
    if (o.effects.empty())
        for (const EffectEntry& effect : OfferedEffects()) all.push_back(Describe(effect.id));
    for (const std::string& effect : o.effects) all.push_back(Describe(FindEffect(effect)));
    if (o.json) {
        std::printf("%s\n", all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        for (size_t i = 0; i < all.size(); ++i) {
            if (i) std::printf("\n");
            PrintText(all[i]);
        }
    }
    return 0;
}

}  // namespace orve::cli
