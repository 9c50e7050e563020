// orve: runs audio files through the plug-in's audio path.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "cli_docs.h"
#include "cli_error.h"
#include "command_line.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file.flush()) throw orve::cli::CliError("cannot write '" + path + "'");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orve::cli;
    const std::string version = ORVE_VERSION;
    CommandLine line(version);
    CLI::App& app = line.app;

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
        if (!line.manPath.empty() || !line.completionPath.empty()) {
            if (!line.manPath.empty()) WriteText(line.manPath, ManPage(app, version));
            if (!line.completionPath.empty()) WriteText(line.completionPath, BashCompletion(app));
            return 0;
        }
        if (line.listCmd->parsed()) return RunListCommand(line.list);
        if (line.describeCmd->parsed()) return RunDescribeCommand(line.describe);
        if (line.processCmd->parsed()) return RunProcessCommand(line.process);
        if (line.settingsCmd->parsed()) return RunSettingsCommand(line.settings);
        if (line.demoCmd->parsed()) return RunDemoCommand(line.demo);
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
