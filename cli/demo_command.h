#pragma once
// `orve demo [DIR]`: the standard programme through every demo case.
#include <CLI/CLI.hpp>

#include <string>

namespace orve::cli {

struct DemoCommandOptions {
    std::string directory = "orve-demo";
};

CLI::App* AddDemoCommand(CLI::App& app, DemoCommandOptions& options);
int RunDemoCommand(const DemoCommandOptions& options);

}  // namespace orve::cli
