#pragma once
// `orve describe [EFFECT] [--json]`: knobs and presets as the effect object
// reports them.
#include <CLI/CLI.hpp>

#include <string>

namespace orve::cli {

struct DescribeCommandOptions {
    std::string effect;   // empty: every effect
    bool json = false;
};

CLI::App* AddDescribeCommand(CLI::App& app, DescribeCommandOptions& options);
int RunDescribeCommand(const DescribeCommandOptions& options);

}  // namespace orve::cli
