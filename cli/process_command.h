#pragma once
// `orve process IN OUT --effect E ...` and `orve process IN... --out-dir DIR ...`.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "file_job.h"
#include "process_pipeline.h"

namespace orve::cli {

// What one stage takes on the command line, as given.
struct StageOptions {
    std::string effect;
    std::string preset;
    std::vector<std::string> knobs;   // LABEL=VALUE
    std::optional<double> gainDb;
    std::string channels;             // L, R, LR or PASS; empty: all
    std::vector<double> snapNoise;
};

// The options that belong to a stage, each as CLI11 collects it (every
// occurrence, in order); which stage an occurrence belongs to follows from
// the order of the command line.
struct StageOptionLists {
    std::vector<std::string> effects, presets, knobs, channels;
    std::vector<double> gains, snapNoise;
    CLI::Option *effect = nullptr, *preset = nullptr, *knob = nullptr, *gain = nullptr, *channel = nullptr,
                *snap = nullptr;
};

struct ProcessCommandOptions {
    std::vector<std::string> files;   // IN OUT, or IN... with --out-dir
    std::string outDir;
    StageOptionLists stageLists;
    CLI::App* command = nullptr;
    int32_t block = 576;
    int32_t bits = 0;                 // 0: 16, or 32 for inputs wider than 16 bits
    std::string outputBits;           // "": the input's own encoding
    bool noDither = false;
    std::string type;                 // -t: the output container
    int32_t jobs = 0;                 // 0: one per core
    double tail = 0.0;
    int64_t seed = kDefaultSeed;      // checked to fit 32 bits
    bool remember = false;
    bool json = false;
};

CLI::App* AddProcessCommand(CLI::App& app, ProcessCommandOptions& options);
// The stages in command-line order: each -e opens one, and the stage options
// after it (those before the first -e too) belong to it. Throws CliError.
std::vector<StageOptions> StagesInOrder(const ProcessCommandOptions& options);
// One --knob LABEL=VALUE as the user wrote it: the label and the value, as
// the knob stores it (a bare number) or as it is shown (with a unit, "x" or
// "k": see knob_value.h). Throws CliError.
KnobChoice ParseKnob(const std::string& text);
// The run the options ask for, checked as far as it can be without the
// files (effects, knob syntax, widths, container word). Throws CliError.
JobOptions ProcessJob(const ProcessCommandOptions& options);
// Returns the exit status; throws CliError for anything the user can fix.
int RunProcessCommand(const ProcessCommandOptions& options);

}  // namespace orve::cli
