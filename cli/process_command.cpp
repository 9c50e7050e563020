#include "process_command.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audio_format.h"
#include "batch.h"
#include "cli_error.h"
#include "effect_lookup.h"
#include "file_job.h"
#include "interruption.h"
#include "progress_bar.h"

namespace orve::cli {
namespace {

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

StageSettings StageFrom(const StageOptions& o) {
    StageSettings stage;
    stage.effectId = FindEffect(o.effect);
    stage.preset = o.preset;
    for (const std::string& knob : o.knobs) {
        const size_t eq = knob.find('=');
        if (eq == std::string::npos || eq == 0) throw CliError("--knob takes LABEL=VALUE, not '" + knob + "'");
        stage.knobs.emplace_back(knob.substr(0, eq), ParseKnobValue(knob.substr(eq + 1), knob));
    }
    if (o.gainOption && o.gainOption->count() > 0) stage.gainDb = o.gainDb;
    if (!o.channels.empty()) stage.channelMask = ParseChannels(o.channels);
    return stage;
}

int Cores() {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace

CLI::App* AddProcessCommand(CLI::App& app, ProcessCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand("process", "Run audio files through an effect");
    cmd->add_option("FILES", o.files, "IN OUT, or IN... with --out-dir (files or folders); - is stdin/stdout")
        ->type_name("FILE")
        ->required();
    // One stage: the effect and what the window would set on it.
    cmd->add_option("-e,--effect", o.stage.effect, "Effect id, name or name without its prefix")
        ->type_name("EFFECT")
        ->required();
    cmd->add_option("-p,--preset", o.stage.preset, "Preset name (sets the gain and every knob)")->type_name("PRESET");
    cmd->add_option("-k,--knob", o.stage.knobs, "LABEL=VALUE, applied after the preset (repeatable)")
        ->type_name("LABEL=VALUE")
        ->allow_extra_args(false);
    o.stage.gainOption = cmd->add_option("-g,--gain-db", o.stage.gainDb,
                                         "Output gain in dB, -60..60 (default: the preset's, else 0)")
                             ->type_name("DB");
    cmd->add_option("-c,--channels", o.stage.channels, "Channels the effect and gain apply to")
        ->type_name("L|R|LR|PASS");
    // The run.
    cmd->add_option("--block", o.block, "Frames per block handed to the audio path (default 576)")
        ->type_name("FRAMES");
    cmd->add_option("--bits", o.bits, "PCM width the audio path runs at (default 16, or 32 for wider inputs)")
        ->type_name("8|16|32");
    cmd->add_option("--output-bits", o.outputBits, "Sample format of the output (default: the input's)")
        ->type_name("8|16|24|32|float");
    cmd->add_flag("--no-dither", o.noDither, "Round without dither when the output is narrower than the path");
    cmd->add_option("-t,--type", o.type, "Output container, e.g. wav, flac, ogg (default: from OUT's extension)")
        ->type_name("TYPE");
    cmd->add_option("--out-dir", o.outDir, "Write each input to DIR under its own name (folders keep their tree)")
        ->type_name("DIR");
    cmd->add_option("-j,--jobs", o.jobs, "Files processed at once with --out-dir (default: one per core)")
        ->type_name("N");
    cmd->add_option("--tail", o.tail, "Seconds of output beyond the input's end (reverb tails)")->type_name("SECONDS");
    cmd->add_option("--snap-noise", o.snapNoise, "Seconds at which DeNoise starts learning the noise (repeatable)")
        ->type_name("SECONDS")
        ->allow_extra_args(false);
    cmd->add_flag("--remember", o.remember, "Save effect, preset, gain and knobs like the plug-in does");
    cmd->add_flag("--json", o.json, "Print a JSON summary of each file on stdout (stderr when OUT is -)");
    return cmd;
}

int RunProcessCommand(const ProcessCommandOptions& o) {
    JobOptions job;
    static_cast<StageSettings&>(job.settings) = StageFrom(o.stage);
    job.settings.blockFrames = o.block;
    job.settings.bits = o.bits;
    job.settings.tailSeconds = o.tail;
    job.settings.snapNoiseSeconds = o.snapNoise;
    if (o.bits != 0 && o.bits != 8 && o.bits != 16 && o.bits != 32) throw CliError("--bits must be 8, 16 or 32");
    ProcessSettings check = job.settings;
    if (check.bits == 0) check.bits = 16;
    ValidateSettings(check);
    if (!o.outputBits.empty() && o.outputBits != "8" && o.outputBits != "16" && o.outputBits != "24" &&
        o.outputBits != "32" && o.outputBits != "float")
        throw CliError("--output-bits must be 8, 16, 24, 32 or float, not '" + o.outputBits + "'");
    if (!o.type.empty()) ContainerForWord(o.type, 0, 2);
    job.outputBits = o.outputBits;
    job.dither = !o.noDither;
    job.type = o.type;
    job.remember = o.remember;

    if (!o.outDir.empty()) {
        if (o.remember) throw CliError("--remember takes a single input, not a batch");
        if (o.jobs < 0) throw CliError("--jobs must be 1 or more");
        const std::vector<FileJob> jobs = PlanBatch(o.files, o.outDir, o.type);
        InstallInterruptHandlers(InterruptMode::Report);
        return RunBatch(jobs, job, o.jobs > 0 ? o.jobs : Cores(), o.json);
    }
    if (o.files.size() == 1) throw CliError("no output named: orve process IN OUT, or IN... --out-dir DIR");
    if (o.files.size() > 2) throw CliError("several inputs need --out-dir DIR (one output takes one input)");

    InstallInterruptHandlers(InterruptMode::Report);
    ProgressBar bar;
    const FileOutcome outcome = ProcessFile({o.files[0], o.files[1]}, job, [&bar](double f) { bar.Show(f); });
    bar.Clear();
    for (const std::string& note : outcome.notes) std::fprintf(stderr, "orve: %s\n", note.c_str());
    const bool audioOnStdout = o.files[1] == "-" || o.files[1] == "/dev/stdout";
    if (o.json) std::fprintf(audioOnStdout ? stderr : stdout, "%s\n", outcome.summary.c_str());
    return 0;
}

}  // namespace orve::cli
