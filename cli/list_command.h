#pragma once
// `orve list [--json]`: the effects the window offers, by id.
#include <CLI/CLI.hpp>

namespace orve::cli {

struct ListCommandOptions {
    bool json = false;
};

CLI::App* AddListCommand(CLI::App& app, ListCommandOptions& options);
int RunListCommand(const ListCommandOptions& options);

}  // namespace orve::cli
