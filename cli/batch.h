#pragma once
// `orve process IN... --out-dir DIR`: many files, several at once. Each file
// runs in a worker process of its own, forked from this one after the
// options were checked, doing exactly what a single run does; a bad file
// fails alone and the batch goes on.
#include <string>
#include <vector>

#include "file_job.h"

namespace orve::cli {

// The files of a batch: each input file to DIR/its name, each input folder's
// audio files (by extension, hidden ones left out) to DIR/the same relative
// path. With -t TYPE the names take that container's extension. Throws
// CliError when two inputs would write the same output.
std::vector<FileJob> PlanBatch(const std::vector<std::string>& inputs, const std::string& outDir,
                               const std::string& type);

// Runs the jobs, `parallel` at a time, with one progress bar; prints a line
// per failure and per note ("orve: IN: ..."), the JSON summaries on stdout
// when `json`, and a closing summary. Returns the exit status: 0 when every
// file was done, 1 otherwise.
int RunBatch(const std::vector<FileJob>& jobs, const JobOptions& options, int parallel, bool json);

}  // namespace orve::cli
