#pragma once
// A failure the user caused or can fix: reported as one line on stderr, never a crash.
#include <stdexcept>
#include <string>

namespace orve::cli {

class CliError : public std::runtime_error {
public:
    explicit CliError(const std::string& message, int exitStatus = 1)
        : std::runtime_error(message), status(exitStatus) {}
    int Status() const { return status; }

private:
    int status;
};

}  // namespace orve::cli
