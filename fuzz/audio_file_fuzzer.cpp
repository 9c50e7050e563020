// Any bytes as the file `orve process IN -` reads: libsndfile's parse, orve's
// checks of what the header claims, its metadata, the reading at the width
// the file asks for, and the output written in the input's own container with
// that metadata. Whatever the bytes, the outcome is a result or a CliError
// (one line for the user).
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "cli_error.h"
#include "file_job.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A file in memory, named through /proc as a user would name a file.
    static const int fd = memfd_create("orve-fuzz-input", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    ORVE_FUZZ_CHECK(fd >= 0 && ftruncate(fd, 0) == 0);
    ORVE_FUZZ_CHECK(size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    try {
        orve::cli::ProcessFile({path, "/dev/null"}, orve::cli::JobOptions{}, {});
    } catch (const orve::cli::CliError&) {
    }
    return 0;
}
