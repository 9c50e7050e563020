#pragma once
// The manual page and the bash completion, written from the command-line
// definition itself at build time, so that neither can drift from the
// options orve really takes. An option's type name carries its values:
// "L|R|LR|PASS" lists them, EFFECT, TYPE, DIR and FILE name what completes.
#include <CLI/CLI.hpp>

#include <string>

namespace orve::cli {

std::string ManPage(const CLI::App& app, const std::string& version);
std::string BashCompletion(const CLI::App& app);

}  // namespace orve::cli
