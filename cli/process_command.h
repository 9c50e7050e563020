#pragma once
// `orve process IN OUT --effect E ...` and `orve process IN... --out-dir DIR ...`.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace orve::cli {

// What one stage takes on the command line.
struct StageOptions {
    std::string effect;
    std::string preset;
    std::vector<std::string> knobs;   // LABEL=VALUE
    double gainDb = 0.0;
    CLI::Option* gainOption = nullptr;
    std::string channels;             // L, R, LR or PASS; empty: all
};

struct ProcessCommandOptions {
    std::vector<std::string> files;   // IN OUT, or IN... with --out-dir
    std::string outDir;
    StageOptions stage;
    int32_t block = 576;
    int32_t bits = 0;                 // 0: 16, or 32 for inputs wider than 16 bits
    std::string outputBits;           // "": the input's own encoding
    bool noDither = false;
    std::string type;                 // -t: the output container
    int32_t jobs = 0;                 // 0: one per core
    double tail = 0.0;
    std::vector<double> snapNoise;
    bool remember = false;
    bool json = false;
};

CLI::App* AddProcessCommand(CLI::App& app, ProcessCommandOptions& options);
// Returns the exit status; throws CliError for anything the user can fix.
int RunProcessCommand(const ProcessCommandOptions& options);

}  // namespace orve::cli
