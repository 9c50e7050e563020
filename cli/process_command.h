#pragma once
// `orve process IN OUT --effect E ...`: one file through one effect.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace orve::cli {

struct ProcessCommandOptions {
    std::string input;
    std::string output;
    std::string effect;
    std::string preset;
    std::vector<std::string> knobs;   // LABEL=VALUE
    double gainDb = 0.0;
    CLI::Option* gainOption = nullptr;
    std::string channels;             // L, R, LR or PASS; empty: all
    int32_t block = 576;
    int32_t bits = 16;
    double tail = 0.0;
    std::vector<double> snapNoise;
    bool remember = false;
};

CLI::App* AddProcessCommand(CLI::App& app, ProcessCommandOptions& options);
// Returns the exit status; throws CliError for anything the user can fix.
int RunProcessCommand(const ProcessCommandOptions& options);

}  // namespace orve::cli
