#include "process_command.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "audio_file.h"
#include "cli_error.h"
#include "effect_lookup.h"
#include "platform/posix/embedded_kernels.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/stderr_ui.h"
#include "plugin/effect_catalogue.h"
#include "process_pipeline.h"

namespace orve::cli {
namespace {

volatile std::sig_atomic_t interruptRequested = 0;
void OnInterrupt(int) { interruptRequested = 1; }

// Restores the previous handlers when the run ends, whichever way it ends.
class InterruptGuard {
public:
    InterruptGuard() {
        interruptRequested = 0;
        previousInt = std::signal(SIGINT, OnInterrupt);
        previousTerm = std::signal(SIGTERM, OnInterrupt);
    }
    ~InterruptGuard() {
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
    }

private:
    void (*previousInt)(int);
    void (*previousTerm)(int);
};

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

double ParseKnobValue(const std::string& text, const std::string& whole) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v))
        throw CliError("--knob " + whole + ": the value must be a number");
    return v;
}

int32_t ParseChannels(const std::string& text) {
    const std::string t = Normalised(text);
    if (t == "l") return 1;
    if (t == "r") return 2;
    if (t == "lr") return 3;
    if (t == "pass") return 0;
    throw CliError("--channels must be L, R, LR or PASS, not '" + text + "'");
}

class ProgressBar {
public:
    ProgressBar() : enabled(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressBar() { Finish(); }
    // Clears the bar so that later messages start on a clean line.
    void Finish() {
        if (enabled && drawn) std::fprintf(stderr, "\r%60s\r", "");
        drawn = false;
    }
    void Show(double fraction) {
        if (!enabled) return;
        const int width = 40;
        const int filled = static_cast<int>(fraction * width);
        std::fprintf(stderr, "\r%3d%% [%-*s]", static_cast<int>(fraction * 100.0), width,
                     std::string(static_cast<size_t>(filled), '#').c_str());
        std::fflush(stderr);
        drawn = true;
    }

private:
    bool enabled;
    bool drawn = false;
};

}  // namespace

CLI::App* AddProcessCommand(CLI::App& app, ProcessCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand("process", "Run an audio file through an effect");
    cmd->add_option("IN", o.input, "Input audio file")->required();
    cmd->add_option("OUT", o.output, "Output file (same container and rate as IN)")->required();
    cmd->add_option("-e,--effect", o.effect, "Effect id, name or name without its prefix")->required();
    cmd->add_option("-p,--preset", o.preset, "Preset name (sets the gain and every knob)");
    cmd->add_option("-k,--knob", o.knobs, "LABEL=VALUE, applied after the preset (repeatable)")
        ->allow_extra_args(false);
    o.gainOption = cmd->add_option("-g,--gain-db", o.gainDb, "Output gain in dB (default: the preset's, else 0)");
    cmd->add_option("-c,--channels", o.channels, "Channels the effect and gain apply to: L, R, LR or PASS");
    cmd->add_option("--block", o.block, "Frames per block handed to the audio path (default 576)");
    cmd->add_option("--bits", o.bits, "PCM width the audio path runs at: 8, 16 or 32 (default 16)");
    cmd->add_option("--tail", o.tail, "Seconds of output beyond the input's end (reverb tails)");
    cmd->add_option("--snap-noise", o.snapNoise, "Seconds at which DeNoise starts learning the noise (repeatable)")
        ->allow_extra_args(false);
    cmd->add_flag("--remember", o.remember, "Save effect, preset, gain and knobs like the plug-in does");
    return cmd;
}

int RunProcessCommand(const ProcessCommandOptions& o) {
    ProcessSettings settings;
    settings.effectId = FindEffect(o.effect);
    settings.preset = o.preset;
    for (const std::string& knob : o.knobs) {
        const size_t eq = knob.find('=');
        if (eq == std::string::npos || eq == 0) throw CliError("--knob takes LABEL=VALUE, not '" + knob + "'");
        settings.knobs.emplace_back(knob.substr(0, eq), ParseKnobValue(knob.substr(eq + 1), knob));
    }
    if (o.gainOption && o.gainOption->count() > 0) settings.gainDb = o.gainDb;
    if (!o.channels.empty()) settings.channelMask = ParseChannels(o.channels);
    settings.blockFrames = o.block;
    settings.bits = o.bits;
    settings.tailSeconds = o.tail;
    settings.snapNoiseSeconds = o.snapNoise;
    ValidateSettings(settings);

    AudioReader reader(o.input, settings.bits);
    CheckDistinctOutput(o.input, o.output);
    const SF_INFO& info = reader.Info();

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
    PluginState state(std::move(store), &kernels, &ui);
    ApplySettings(state, settings, info.samplerate, info.channels);

    AudioWriter writer(o.output, OutputFormat(info, settings.bits), info.samplerate, info.channels, settings.bits);
    ProgressBar bar;
    InterruptGuard interrupts;
    RunOptions run;
    run.blockFrames = settings.blockFrames;
    run.tailSeconds = settings.tailSeconds;
    run.snapNoiseSeconds = settings.snapNoiseSeconds;
    run.progress = [&bar](double fraction) { bar.Show(fraction); };
    run.interrupted = &interruptRequested;
    const RunReport report = RunAudioPath(state, {info.samplerate, info.channels, settings.bits}, info.frames,
                                          reader, writer, run);
    bar.Finish();
    writer.Commit();
    if (gate) gate->Open();

    if (report.snapsIgnored > 0)
        std::fprintf(stderr, "orve: warning: --snap-noise does nothing for %s (only %s learns a noise profile)\n",
                     EffectText(settings.effectId), EffectText(EffectId::DeNoise));
    if (report.snapsBeyondEnd > 0)
        std::fprintf(stderr, "orve: warning: %d --snap-noise time(s) lie beyond the end of the input\n",
                     report.snapsBeyondEnd);
    return 0;
}

}  // namespace orve::cli
