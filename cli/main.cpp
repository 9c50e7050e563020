// orve: runs audio files through the plug-in's audio path.
#include <CLI/CLI.hpp>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "cli_docs.h"
#include "cli_error.h"
#include "demo_command.h"
#include "describe_command.h"
#include "list_command.h"
#include "process_command.h"
#include "settings_command.h"

namespace {

// The build writes the manual page and the completion with the program
// itself (hidden options), from the very definition parsed here.
void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush()) throw orve::cli::CliError("cannot write '" + path + "'");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orve::cli;
    CLI::App app{"orve - ORVE Studio effects on audio files"};
    app.require_subcommand(0, 1);
    const std::string version = ORVE_VERSION;
    app.set_version_flag("--version", "orve " + version + " (" + sf_version_string() + ")",
                         "Print the version and exit");
    std::string manPath, completionPath;
    app.add_option("--write-man-page", manPath)->group("");
    app.add_option("--write-bash-completion", completionPath)->group("");
    ListCommandOptions list;
    DescribeCommandOptions describe;
    ProcessCommandOptions process;
    SettingsCommandOptions settings;
    DemoCommandOptions demo;
    CLI::App* listCmd = AddListCommand(app, list);
    CLI::App* describeCmd = AddDescribeCommand(app, describe);
    CLI::App* processCmd = AddProcessCommand(app, process);
    CLI::App* settingsCmd = AddSettingsCommand(app, settings);
    CLI::App* demoCmd = AddDemoCommand(app, demo);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line, like every other failure.
        const std::vector<CLI::App*> commands = app.get_subcommands({});
        const bool unknownCommand = argc > 1 && argv[1][0] != '-' &&
                                    std::none_of(commands.begin(), commands.end(),
                                                 [&](const CLI::App* c) { return c->get_name() == argv[1]; });
        if (unknownCommand)
            std::fprintf(stderr, "orve: unknown command '%s' (see 'orve --help')\n", argv[1]);
        else
            std::fprintf(stderr, "orve: %s (see 'orve --help')\n", e.what());
        return 2;
    }

    try {
        if (!manPath.empty() || !completionPath.empty()) {
            if (!manPath.empty()) WriteText(manPath, ManPage(app, version));
            if (!completionPath.empty()) WriteText(completionPath, BashCompletion(app));
            return 0;
        }
        if (listCmd->parsed()) return RunListCommand(list);
        if (describeCmd->parsed()) return RunDescribeCommand(describe);
        if (processCmd->parsed()) return RunProcessCommand(process);
        if (settingsCmd->parsed()) return RunSettingsCommand(settings);
        if (demoCmd->parsed()) return RunDemoCommand(demo);
        std::fprintf(stderr, "orve: a command is required: list, describe, process, settings or demo (see 'orve --help')\n");
        return 2;
    } catch (const CliError& e) {
        std::fprintf(stderr, "orve: %s\n", e.what());
        return e.Status();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orve: %s\n", e.what());
        return 1;
    }
}
