#pragma once
// `orve settings [--json]`: the record the plug-in state keeps between runs.
#include <CLI/CLI.hpp>

namespace orve::cli {

struct SettingsCommandOptions {
    bool json = false;
};

CLI::App* AddSettingsCommand(CLI::App& app, SettingsCommandOptions& options);
int RunSettingsCommand(const SettingsCommandOptions& options);

}  // namespace orve::cli
