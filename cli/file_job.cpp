#include "file_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>

#include "audio_file.h"
#include "audio_format.h"
#include "cli_error.h"
#include "effect_lookup.h"
#include "platform/posix/embedded_kernels.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/stderr_ui.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_catalogue.h"

namespace orve::cli {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// A stream with no length in its header is read to its end; the pipeline
// takes the length as a hint and ends the stream when the source does.
constexpr int64_t kUnknownLength = int64_t{1} << 50;

// The plug-in saves its record whenever it unloads; a batch run saves only
// once its output is in place, so a failed run leaves the user's record alone.
class GatedStore : public SettingsStore {
public:
    explicit GatedStore(std::string path) : store(std::move(path)) {}
    bool Read(uint8_t* bytes, size_t capacity, size_t* bytesRead) override {
        return store.Read(bytes, capacity, bytesRead);
    }
    bool Write(const uint8_t* bytes, size_t count) override { return open && store.Write(bytes, count); }
    void Open() { open = true; }

private:
    FileSettingsStore store;
    bool open = false;
};

// Throws when `output` names the same file as `input` (by canonical path or
// by device and inode, so symlinks, "./" and hard links are caught).
void CheckDistinctOutput(const std::string& input, const OutputTarget& output) {
    if (input == "-") return;
    struct stat in {}, out {};
    if (::stat(input.c_str(), &in) != 0) return;
    bool same = false;
    if (output.IsFile()) {
        std::error_code ec;
        const fs::path a = fs::weakly_canonical(input, ec);
        const fs::path b = fs::weakly_canonical(output.FilePath(), ec);
        same = (!ec && a == b) ||
               (::stat(output.FilePath().c_str(), &out) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino);
    } else {
        same = ::fstat(output.Descriptor(), &out) == 0 && S_ISREG(out.st_mode) && in.st_dev == out.st_dev &&
               in.st_ino == out.st_ino;
    }
    if (same) throw CliError("output " + Quoted(output.Shown()) + " is the input file; choose another output");
}

Container OutputContainer(const JobOptions& o, const OutputTarget& target, const SF_INFO& input) {
    if (!o.type.empty()) return ContainerForWord(o.type, input.format, input.channels);
    const std::string extension = ExtensionOf(target.NameForType());
    if (!extension.empty()) return ContainerForWord(extension, input.format, input.channels);
    // A stream has no name to go by: the input's own container.
    if (!target.IsFile()) return {input.format & SF_FORMAT_TYPEMASK, 0};
    throw CliError("cannot tell the container of " + Quoted(target.Shown()) +
                   " from its name: give it an extension or -t TYPE");
}

std::string ChannelsText(int32_t mask) {
    switch (mask) {
        case 0: return "PASS";
        case 1: return "L";
        case 2: return "R";
        default: return "LR";
    }
}

// The frames the effect holds back; the output is aligned regardless (the
// pipeline feeds silence until they are out), so this is for information.
int64_t ReportedLatency(const EffectProcessor* effect) { return effect ? effect->Latency() : 0; }

nlohmann::json StageSummary(PluginState& state, const StageSettings& stage) {
    nlohmann::json knobs = nlohmann::json::array();
    for (int32_t k = 0; k < state.knobCount; ++k)
        knobs.push_back({{"label", TrimmedRight(KnobLabel(state.knobTable[k]))}, {"value", state.parameterValues[k]}});
    nlohmann::json preset = nullptr;
    if (!stage.preset.empty() && state.currentEffect) {
        const EffectPreset* table = nullptr;
        state.currentEffect->GetPresets(&table);
        preset = TrimmedRight(table[FindPreset(*state.currentEffect, stage.effectId, stage.preset)].name);
    }
    return {{"effect", {{"id", EffectNumber(stage.effectId)}, {"name", EffectText(stage.effectId)}}},
            {"preset", preset},
            {"gainDb", 20.0 * std::log10(state.outputGain.load())},
            {"channels", ChannelsText(state.channelMask)},
            {"knobs", knobs},
            {"latency", ReportedLatency(state.currentEffect.get())}};
}

std::string Percent(double part, double whole) {
    const double p = whole > 0.0 ? 100.0 * part / whole : 0.0;
    char text[32];
    std::snprintf(text, sizeof text, p >= 0.1 ? "%.1f" : "%.2g", p);
    return text;
}

}  // namespace

FileOutcome ProcessFile(const FileJob& job, const JobOptions& o, const std::function<void(double)>& progress) {
    AudioReader reader(job.input);
    const SF_INFO& info = reader.Info();
    ProcessSettings settings = o.settings;
    if (settings.bits == 0) settings.bits = DefaultPathBits(info.format);
    reader.SetPathBits(settings.bits, o.dither);

    std::unique_ptr<SettingsStore> store;
    GatedStore* gate = nullptr;
    if (o.remember) {
        const std::string path = FileSettingsStore::DefaultPath();
        if (path.empty()) throw CliError("--remember: no settings location (set HOME or XDG_CONFIG_HOME)");
        auto gated = std::make_unique<GatedStore>(path);
        gate = gated.get();
        store = std::move(gated);
    }
    EmbeddedKernels kernels;
    StderrUi ui;
    // Only a single stage's settings may be remembered.
    const PreparedChain chain = PrepareChain(settings, info.samplerate, info.channels, &kernels, &ui, std::move(store));
    const auto& states = chain.states;

    // The output is opened only now that every choice has been accepted: a
    // FIFO's reader is not handed an empty stream for a misspelt knob.
    OutputTarget target = OutputTarget::Resolve(job.output);
    CheckDistinctOutput(job.input, target);
    OutputLayout layout;
    layout.format = ChooseOutputFormat(info, OutputContainer(o, target, info), o.outputBits);
    layout.sampleRate = info.samplerate;
    layout.channels = info.channels;
    layout.pathBits = settings.bits;
    layout.dither = o.dither;
    PositionMap positions;
    for (const auto& state : states) {
        positions.scale *= StageLengthRatio(*state);
        positions.offset = positions.offset * StageLengthRatio(*state) + static_cast<double>(StageLeadingFrames(*state));
    }
    AudioWriter writer(std::move(target), layout, &reader.FileMetadata(), positions);

    RunOptions run;
    run.blockFrames = settings.blockFrames;
    run.tailSeconds = settings.tailSeconds;
    if (reader.LengthKnown()) run.progress = progress;
    const RunReport report = RunChain(chain.stages, {info.samplerate, info.channels, settings.bits},
                                      reader.LengthKnown() ? info.frames : kUnknownLength, reader, writer, run);
    writer.Commit();
    if (gate) gate->Open();

    FileOutcome outcome;
    for (const std::string& line : reader.Warnings()) outcome.notes.push_back("warning: " + line);
    if (!writer.RefusedMetadata().empty()) {
        std::string kinds;
        for (const std::string& k : writer.RefusedMetadata()) kinds += (kinds.empty() ? "" : ", ") + k;
        outcome.notes.push_back("warning: " + ContainerName(layout.format) + " cannot hold the input's " + kinds +
                                "; left out");
    }
    if (report.snapsIgnored > 0) {
        EffectId deaf = settings.stages[0].effectId;
        for (const StageSettings& stage : settings.stages)
            if (!stage.snapNoiseSeconds.empty() && stage.effectId != EffectId::DeNoise) deaf = stage.effectId;
        outcome.notes.push_back("warning: --snap-noise does nothing for " + std::string(EffectText(deaf)) + " (only " +
                                EffectText(EffectId::DeNoise) + " learns a noise profile)");
    }
    if (report.snapsBeyondEnd > 0)
        outcome.notes.push_back("warning: " + std::to_string(report.snapsBeyondEnd) +
                                " --snap-noise time(s) lie beyond the end of the input");
    // Samples the input already had at full scale are not orve's doing.
    const int64_t clipped = std::max<int64_t>(0, writer.SamplesAtFullScale() - reader.SamplesAtFullScale());
    if (clipped > 0)
        outcome.notes.push_back("clipped " + std::to_string(clipped) + " samples (" +
                                Percent(static_cast<double>(clipped), static_cast<double>(writer.SamplesWritten())) +
                                " %)");

    nlohmann::json stages = nlohmann::json::array();
    int64_t latency = 0;
    for (size_t k = 0; k < states.size(); ++k) {
        stages.push_back(StageSummary(*states[k], settings.stages[k]));
        latency += ReportedLatency(states[k]->currentEffect.get());
    }
    const double peak = writer.Peak();
    nlohmann::json summary = {
        {"input", job.input},
        {"output", job.output},
        {"sampleRate", info.samplerate},
        {"channels", info.channels},
        {"inputFormat", FormatName(info.format)},
        {"outputFormat", FormatName(layout.format)},
        {"pathBits", settings.bits},
        {"dither", o.dither},
        {"blockFrames", settings.blockFrames},
        {"tailSeconds", settings.tailSeconds},
        {"seed", settings.seed},
        {"framesIn", report.inputFrames},
        {"framesOut", report.outputFrames},
        {"peak", peak},
        {"peakDb", peak > 0.0 ? nlohmann::json(20.0 * std::log10(peak)) : nlohmann::json(nullptr)},
        {"clipped", clipped},
        {"latency", latency},
        {"stages", stages},
        {"notes", outcome.notes},
    };
    outcome.summary = summary.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return outcome;
}

}  // namespace orve::cli
