#pragma once
// One input through the stages into one output: what `orve process IN OUT`
// does, and what each file of a batch does exactly the same way.
#include <functional>
#include <string>
#include <vector>

#include "process_pipeline.h"

namespace orve::cli {

// What applies to every file of a run.
struct JobOptions {
    ProcessSettings settings;      // bits 0: chosen per file (16, or 32 for wider inputs)
    std::string outputBits;        // "": the input's own encoding
    bool dither = true;
    std::string type;              // -t: the output container, "" from OUT's name
    bool remember = false;
};

struct FileJob {
    std::string input;    // "-": stdin
    std::string output;   // "-": stdout
};

struct FileOutcome {
    // Lines for stderr without the "orve: " prefix: warnings and the
    // clipping report.
    std::vector<std::string> notes;
    std::string summary;   // one line of JSON
};

// Throws CliError for anything the user can fix; the output is then left
// as it was (a stream may have received part of the audio).
FileOutcome ProcessFile(const FileJob& job, const JobOptions& options,
                        const std::function<void(double)>& progress);

}  // namespace orve::cli
