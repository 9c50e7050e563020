#include "process_command.h"

#include <unistd.h>

#include <cstdio>

#include "audio_format.h"
#include "batch.h"
#include "cli_error.h"
#include "effect_lookup.h"
#include "file_job.h"
#include "interruption.h"
#include "progress_bar.h"

namespace orve::cli {
namespace {

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
    for (const std::string& knob : o.knobs) stage.knobs.push_back(ParseKnob(knob));
    stage.gainDb = o.gainDb;
    if (!o.channels.empty()) stage.channelMask = ParseChannels(o.channels);
    stage.snapNoiseSeconds = o.snapNoise;
    return stage;
}

int Cores() {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace

KnobChoice ParseKnob(const std::string& text) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw CliError("--knob takes LABEL=VALUE, not '" + text + "'");
    return ParseKnobValue(text.substr(0, eq), text.substr(eq + 1), text);
}

std::vector<StageOptions> StagesInOrder(const ProcessCommandOptions& o) {
    const StageOptionLists& l = o.stageLists;
    std::vector<StageOptions> stages(1);
    size_t effect = 0, preset = 0, knob = 0, gain = 0, channel = 0, snap = 0;
    auto once = [&](bool given, const char* name) {
        if (given)
            throw CliError(std::string(name) + " is given twice for stage " + std::to_string(stages.size()) +
                           " (each -e opens a stage of its own)");
    };
    for (const CLI::Option* opt : o.command->parse_order()) {
        StageOptions& s = stages.back();
        if (opt == l.effect) {
            if (!s.effect.empty()) stages.emplace_back();
            stages.back().effect = l.effects.at(effect++);
        } else if (opt == l.preset) {
            once(!s.preset.empty(), "--preset");
            s.preset = l.presets.at(preset++);
        } else if (opt == l.knob) {
            s.knobs.push_back(l.knobs.at(knob++));
        } else if (opt == l.gain) {
            once(s.gainDb.has_value(), "--gain-db");
            s.gainDb = l.gains.at(gain++);
        } else if (opt == l.channel) {
            once(!s.channels.empty(), "--channels");
            s.channels = l.channels.at(channel++);
        } else if (opt == l.snap) {
            s.snapNoise.push_back(l.snapNoise.at(snap++));
        }
    }
    return stages;
}

CLI::App* AddProcessCommand(CLI::App& app, ProcessCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand("process", "Run audio files through an effect, or a chain of them in one pass");
    cmd->add_option("FILES", o.files, "IN OUT, or IN... with --out-dir (files or folders); - is stdin/stdout")
        ->type_name("FILE")
        ->required();
    // The stages: each -e opens one, with the effect and what the window
    // would set on it; the options after it apply to it.
    StageOptionLists& l = o.stageLists;
    o.command = cmd;
    l.effect = cmd->add_option("-e,--effect", l.effects,
                               "Effect id, name or name without its prefix; each -e opens a stage of a chain")
                   ->type_name("EFFECT")
                   ->allow_extra_args(false)
                   ->required();
    l.preset = cmd->add_option("-p,--preset", l.presets, "Preset name (sets the stage's gain and every knob)")
                   ->type_name("PRESET")
                   ->allow_extra_args(false);
    l.knob = cmd->add_option("-k,--knob", l.knobs,
                             "LABEL=VALUE, applied after the preset (repeatable): a bare number as the knob stores "
                             "it, or as shown with its unit (Pitch=x1.55, Delay=1000us, Hi F=16k)")
                 ->type_name("LABEL=VALUE")
                 ->allow_extra_args(false);
    l.gain = cmd->add_option("-g,--gain-db", l.gains, "Output gain in dB, -60..60 (default: the preset's, else 0)")
                 ->type_name("DB")
                 ->allow_extra_args(false);
    l.channel = cmd->add_option("-c,--channels", l.channels, "Channels the stage's effect and gain apply to")
                    ->type_name("L|R|LR|PASS")
                    ->allow_extra_args(false);
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
    cmd->add_option("--seed", o.seed,
                    "What the effects' random parts (the modal reverb's tail) are drawn from, 0..4294967295 "
                    "(default " + std::to_string(kDefaultSeed) + "): the same seed gives the same bytes")
        ->type_name("N");
    cmd->add_option("--tail", o.tail, "Seconds of output beyond the input's end (reverb tails)")->type_name("SECONDS");
    l.snap = cmd->add_option("--snap-noise", l.snapNoise,
                             "Seconds into the stage's input at which DeNoise starts learning the noise (repeatable)")
                 ->type_name("SECONDS")
                 ->allow_extra_args(false);
    cmd->add_flag("--remember", o.remember, "Save effect, preset, gain and knobs like the plug-in does");
    cmd->add_flag("--json", o.json, "Print a JSON summary of each file on stdout (stderr when OUT is -)");
    return cmd;
}

JobOptions ProcessJob(const ProcessCommandOptions& o) {
    JobOptions job;
    job.settings.stages.clear();
    const std::vector<StageOptions> stages = StagesInOrder(o);
    for (size_t i = 0; i < stages.size(); ++i) {
        try {
            job.settings.stages.push_back(StageFrom(stages[i]));
        } catch (const CliError& e) {
            throw CliError(StageNamed(i, stages.size()) + e.what(), e.Status());
        }
    }
    job.settings.blockFrames = o.block;
    job.settings.bits = o.bits;
    job.settings.tailSeconds = o.tail;
    if (o.seed < 0 || o.seed > static_cast<int64_t>(UINT32_MAX)) throw CliError("--seed must lie between 0 and 4294967295");
    job.settings.seed = static_cast<uint32_t>(o.seed);
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
    // The record holds one effect: a chain has no single choice to keep.
    if (o.remember && job.settings.stages.size() > 1) throw CliError("--remember takes a single effect, not a chain");
    return job;
}

int RunProcessCommand(const ProcessCommandOptions& o) {
    const JobOptions job = ProcessJob(o);

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
