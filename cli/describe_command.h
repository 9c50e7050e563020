#pragma once
// `orve describe [EFFECT...] [--json]`: knobs and presets as the effect object
// reports them.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace orve::cli {

struct DescribeCommandOptions {
    std::vector<std::string> effects;   // in the order given (a chain's stages); empty: every effect
    bool json = false;
};

CLI::App* AddDescribeCommand(CLI::App& app, DescribeCommandOptions& options);
int RunDescribeCommand(const DescribeCommandOptions& options);

}  // namespace orve::cli
