#pragma once
// orve's whole command line: the commands, their options and where each
// option's value lands, built once for the program and for anything that
// parses the same definition (the manual page, the fuzz harness).
#include <CLI/CLI.hpp>

#include <string>

#include "demo_command.h"
#include "describe_command.h"
#include "list_command.h"
#include "process_command.h"
#include "settings_command.h"

namespace orve::cli {

struct CommandLine {
    explicit CommandLine(const std::string& version);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    CLI::App app{"orve - ORVE Studio effects on audio files"};
    std::string manPath, completionPath;
    ListCommandOptions list;
    DescribeCommandOptions describe;
    ProcessCommandOptions process;
    SettingsCommandOptions settings;
    DemoCommandOptions demo;
    CLI::App *listCmd, *describeCmd, *processCmd, *settingsCmd, *demoCmd;
};

}  // namespace orve::cli
