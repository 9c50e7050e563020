#include "demo_command.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "audio_file.h"
#include "cli_error.h"
#include "demo_cases.h"
#include "plugin/effect_catalogue.h"
#include "process_pipeline.h"

namespace orve::cli {
namespace {

constexpr int32_t kDemoRate = 44100;

struct DemoRun {
    std::string name;
    ProcessSettings settings;
    demo::Signal (*makeInput)(int32_t sampleRate);
    std::string (*measure)(const demo::Signal& input, const demo::Signal& output);
};

double RmsDb(const demo::Signal& s) {
    double sum = 0.0;
    for (double v : s.samples) sum += v * v;
    const double rms = s.samples.empty() ? 0.0 : std::sqrt(sum / s.samples.size());
    return rms > 0.0 ? 20.0 * std::log10(rms / 32768.0) : -200.0;
}

std::string LevelChange(const demo::Signal& input, const demo::Signal& output) {
    const double before = RmsDb(input), after = RmsDb(output);
    char text[96];
    std::snprintf(text, sizeof text, "level %+.2f dB (rms %.1f -> %.1f dBFS)", after - before, before, after);
    return text;
}

// The case this host brings itself: the gain stage of the audio path alone.
DemoRun LevelTuningRun() {
    DemoRun run{"level-tuning", {}, nullptr, LevelChange};
    run.settings.effectId = EffectId::LevelTuning;
    run.settings.gainDb = 6.0;
    return run;
}

DemoRun FromCase(const demo::DemoCase& c) {
    DemoRun run{c.name, {}, c.makeInput, c.measure};
    run.settings.effectId = c.effectId;
    run.settings.preset = c.preset;
    run.settings.knobs = c.knobs;
    run.settings.tailSeconds = c.tailSeconds;
    return run;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string SettingText(const ProcessSettings& s) {
    std::string text = s.preset.empty() ? "defaults" : "preset " + s.preset;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    for (const auto& [label, value] : s.knobs) text += ", " + label + "=" + Number(value);
    if (s.gainDb) text += ", gain " + std::string(*s.gainDb >= 0 ? "+" : "") + Number(*s.gainDb) + " dB";
    if (s.tailSeconds > 0) text += ", tail " + Number(s.tailSeconds) + " s";
    return text;
}

// Columns line up by characters, not bytes.
size_t Width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

void PrintRow(const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += cells[i];
        if (i + 1 < cells.size()) line += std::string(widths[i] - Width(cells[i]) + 2, ' ');
    }
    std::printf("%s\n", line.c_str());
}

}  // namespace

CLI::App* AddDemoCommand(CLI::App& app, DemoCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand("demo", "Synthesise a test programme and run every demo case over it");
    cmd->add_option("DIR", o.directory, "Directory for input.wav and one file per case (default orve-demo)");
    return cmd;
}

int RunDemoCommand(const DemoCommandOptions& o) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(o.directory, ec);
    if (ec) throw CliError("cannot create '" + o.directory + "': " + ec.message());

    const demo::Signal programme = demo::StandardProgramme(kDemoRate);
    WriteWav16((fs::path(o.directory) / "input.wav").string(), programme);

    std::vector<DemoRun> runs{LevelTuningRun()};
    for (auto group : {demo::RestorationDemos, demo::HumEssVocalDemos, demo::EqualiserSpatialDemos,
                       demo::KernelDemos, demo::TimePitchDemos})
        for (const demo::DemoCase& c : group()) runs.push_back(FromCase(c));

    std::vector<std::vector<std::string>> rows{{"effect", "setting", "figure"}};
    int status = 0;
    for (const DemoRun& run : runs) {
        std::string figure;
        try {
            const demo::Signal input = run.makeInput ? run.makeInput(kDemoRate) : programme;
            const demo::Signal output = ProcessSignal(input, run.settings);
            WriteWav16((fs::path(o.directory) / (run.name + ".wav")).string(), output);
            figure = run.measure ? run.measure(input, output) : "";
        } catch (const CliError& e) {
            figure = std::string("failed: ") + e.what();
            status = 1;
        }
        rows.push_back({EffectText(run.settings.effectId), SettingText(run.settings), figure});
    }
    std::vector<size_t> widths(3, 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
    for (const auto& row : rows) PrintRow(row, widths);
    std::printf("\n%zu case(s); files in %s/\n", runs.size(), o.directory.c_str());
    return status;
}

}  // namespace orve::cli
