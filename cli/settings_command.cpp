#include "settings_command.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "effect_lookup.h"
#include "platform/posix/embedded_kernels.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/stderr_ui.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"

namespace orve::cli {
namespace {

// The plug-in state writes its record when it goes away; looking must not.
class ReadOnlyStore : public SettingsStore {
public:
    explicit ReadOnlyStore(std::string path, bool& foundOut) : store(std::move(path)), found(foundOut) {}
    bool Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) override {
        found = store.Read(bytes, capacity, bytesRead);
        return found;
    }
    bool Write(const uint8_t*, size_t) override { return false; }

private:
    FileSettingsStore store;
    bool& found;
};

}  // namespace

CLI::App* AddSettingsCommand(CLI::App& app, SettingsCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand("settings", "Show the stored plug-in settings (what --remember saves)");
    cmd->add_flag("--json", o.json, "Print JSON");
    return cmd;
}

int RunSettingsCommand(const SettingsCommandOptions& o) {
    const std::string path = FileSettingsStore::DefaultPath();
    bool found = false;
    // Loading through the plug-in state applies its rules: an effect id the
    // window cannot offer reads as Level Tuning with preset 0.
    std::unique_ptr<SettingsStore> store;
    if (!path.empty()) store = std::make_unique<ReadOnlyStore>(path, found);
    PluginState state(std::move(store));
    const SettingsBlob& blob = state.settingsBlob;

    EmbeddedKernels kernels;
    StderrUi ui;
    const EffectBuildContext context{44100, 2, &kernels, &ui};
    const std::unique_ptr<EffectProcessor> effect = MakeEffect(state.effectId, context);
    KnobSpec table[kMaxKnobs] = {};
    const int32_t knobCount = std::min(effect->DescribeKnobs(table), SettingsBlob::kMaxStoredKnobs);
    const EffectPreset* presets = nullptr;
    const int32_t rows = effect->GetPresets(&presets);
    const std::string presetName = presets && state.presetIndex >= 0 && state.presetIndex < rows && presets[state.presetIndex].name
                                       ? TrimmedRight(presets[state.presetIndex].name)
                                       : std::string();
    const int32_t gainPosition = blob.slots[SettingsBlob::kGainSlot];

    nlohmann::json knobs = nlohmann::json::array();
    for (int32_t k = 0; k < knobCount; ++k) {
        const int32_t position = blob.slots[SettingsBlob::kFirstKnobSlot + k];
        const double value = KnobValueAt(table[k], position);
        knobs.push_back({{"label", KnobLabel(table[k])},
                         {"position", position},
                         {"value", value},
                         {"shown", effect->DisplayValue(k, value)}});
    }

    if (o.json) {
        nlohmann::json out = {{"path", path},
                              {"stored", found},
                              {"effectId", EffectNumber(state.effectId)},
                              {"effect", EffectNameUtf8(state.effectId)},
                              {"presetIndex", state.presetIndex},
                              {"preset", presetName},
                              {"gainPosition", gainPosition},
                              {"gainDb", GainPositionToDecibels(gainPosition)},
                              {"knobs", knobs},
                              {"slots", std::vector<int32_t>(blob.slots, blob.slots + SettingsBlob::kSlots)}};
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return 0;
    }
    if (!found) {
        std::printf("no settings stored%s%s; the plug-in starts with %s at 0 dB\n", path.empty() ? "" : " at ",
                    path.c_str(), EffectNameUtf8(EffectId::LevelTuning).c_str());
        return 0;
    }
    std::printf("file    %s\n", path.c_str());
    std::printf("effect  %d  %s\n", EffectNumber(state.effectId), EffectNameUtf8(state.effectId).c_str());
    if (rows > 0) std::printf("preset  %d  %s\n", state.presetIndex, presetName.c_str());
    else std::printf("preset  %d\n", state.presetIndex);
    std::printf("gain    position %d  (%+.2f dB)\n", gainPosition, GainPositionToDecibels(gainPosition));
    for (const auto& k : knobs)
        std::printf("knob    %-10s position %5d  value %g  shown %g\n", k["label"].get<std::string>().c_str(),
                    k["position"].get<int>(), k["value"].get<double>(), k["shown"].get<double>());
    return 0;
}

}  // namespace orve::cli
