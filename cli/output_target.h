#pragma once
// Where an output goes, decided before anything is written: a regular file
// (also through a symlink) is replaced atomically by renaming a finished
// temporary over it; a pipe, FIFO, terminal or character device is written
// to as it is and never replaced; "-", /dev/stdout and /dev/fd/N are the
// descriptors the shell handed over.
#include <string>

namespace orve::cli {

class OutputTarget {
public:
    // Throws CliError: a directory, a block device, a missing descriptor, a
    // symlink loop. Opening a FIFO waits for its reader.
    static OutputTarget Resolve(const std::string& name);

    OutputTarget(OutputTarget&& other) noexcept;
    OutputTarget& operator=(OutputTarget&&) = delete;
    OutputTarget(const OutputTarget&) = delete;
    ~OutputTarget();

    bool IsFile() const { return fd < 0; }
    // The name as given, for messages.
    const std::string& Shown() const { return shown; }
    // The regular file finally written (a symlink's target); empty for streams.
    const std::string& FilePath() const { return path; }
    // The name whose extension says the container: the file written, or the
    // name given when that file's name has none. Empty for "-".
    const std::string& NameForType() const { return typeName; }
    // A stream's descriptor (owned by the target).
    int Descriptor() const { return fd; }
    // Whether libsndfile may seek in the stream (a redirected regular file, /dev/null).
    bool Seekable() const;

private:
    OutputTarget() = default;
    std::string shown;
    std::string path;
    std::string typeName;
    int fd = -1;
};

// ".NAME.orve-XXXXXX" in the directory of `path`, with NAME cut (at a
// character boundary) so that the whole fits the directory's name limit.
std::string TemporaryPattern(const std::string& path);

}  // namespace orve::cli
