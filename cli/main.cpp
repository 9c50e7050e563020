// orve: runs audio files through the plug-in's audio path.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

#include "cli_error.h"
#include "demo_command.h"
#include "describe_command.h"
#include "list_command.h"
#include "process_command.h"
#include "settings_command.h"

int main(int argc, char** argv) {
    using namespace orve::cli;
    CLI::App app{"orve - ORVE Studio effects on audio files"};
    app.require_subcommand(1);
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
        if (listCmd->parsed()) return RunListCommand(list);
        if (describeCmd->parsed()) return RunDescribeCommand(describe);
        if (processCmd->parsed()) return RunProcessCommand(process);
        if (settingsCmd->parsed()) return RunSettingsCommand(settings);
        if (demoCmd->parsed()) return RunDemoCommand(demo);
    } catch (const CliError& e) {
        std::fprintf(stderr, "orve: %s\n", e.what());
        return e.Status();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orve: %s\n", e.what());
        return 1;
    }
    return 0;
}
