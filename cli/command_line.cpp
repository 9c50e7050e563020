#include "command_line.h"

#include <sndfile.h>

namespace orve::cli {

CommandLine::CommandLine(const std::string& version) {
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", "orve " + version + " (" + sf_version_string() + ")",
                         "Print the version and exit");
    // The build writes the manual page and the completion with the program
    // itself (hidden options), from the very definition parsed here.
    app.add_option("--write-man-page", manPath)->group("");
    app.add_option("--write-bash-completion", completionPath)->group("");
    listCmd = AddListCommand(app, list);
    describeCmd = AddDescribeCommand(app, describe);
    processCmd = AddProcessCommand(app, process);
    settingsCmd = AddSettingsCommand(app, settings);
    demoCmd = AddDemoCommand(app, demo);
}

}  // namespace orve::cli
