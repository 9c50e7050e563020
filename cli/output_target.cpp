#include "output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "audio_format.h"
#include "cli_error.h"

namespace orve::cli {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// "/dev/fd/3", "/proc/self/fd/3": a descriptor this process holds. Opening
// the name would start a new file description (at offset 0, without the
// shell's O_APPEND); the descriptor itself is what the user redirected.
int DescriptorNamed(const std::string& p) {
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t n = std::strlen(prefix);
        if (p.compare(0, n, prefix) != 0 || p.size() == n || p.size() > n + 6) continue;
        int fd = 0;
        for (size_t i = n; i < p.size(); ++i) {
            if (p[i] < '0' || p[i] > '9') return -1;
            fd = fd * 10 + (p[i] - '0');
        }
        return fd;
    }
    return -1;
}

}  // namespace

OutputTarget::OutputTarget(OutputTarget&& other) noexcept
    : shown(std::move(other.shown)), path(std::move(other.path)), typeName(std::move(other.typeName)), fd(other.fd) {
    other.fd = -1;
}

OutputTarget::~OutputTarget() {
    if (fd >= 0) ::close(fd);
}

bool OutputTarget::Seekable() const { return fd >= 0 && ::lseek(fd, 0, SEEK_CUR) >= 0; }

OutputTarget OutputTarget::Resolve(const std::string& name) {
    OutputTarget t;
    t.shown = name;
    auto stream = [&](int descriptor, const std::string& label) {
        if (::isatty(descriptor) == 1) {
            ::close(descriptor);
            throw CliError("not writing audio to the terminal " + label + " (redirect it or name a file)");
        }
        t.fd = descriptor;
        return std::move(t);
    };
    auto adopt = [&](int n, const std::string& label) {
        const int copy = ::fcntl(n, F_DUPFD_CLOEXEC, 3);
        if (copy < 0) throw CliError("cannot write " + label + ": descriptor " + std::to_string(n) + " is not open");
        return stream(copy, label);
    };
    if (name == "-") return adopt(STDOUT_FILENO, "stdout");
    if (name.empty()) throw CliError("the output name is empty");

    // Follow symlinks by hand: a dangling one names the file to create, and a
    // link to /proc/self/fd/N (as /dev/stdout is) means the descriptor.
    std::string p = name;
    for (int hops = 0;; ++hops) {
        if (const int n = DescriptorNamed(p); n >= 0) return adopt(n, Quoted(name));
        if (hops > 40) throw CliError("cannot write " + Quoted(name) + ": too many levels of symbolic links");
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) throw CliError("cannot write " + Quoted(name) + ": " + std::strerror(errno));
            break;   // a new file
        }
        if (S_ISLNK(st.st_mode)) {
            std::string target(PATH_MAX, '\0');
            const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
            if (n < 0) throw CliError("cannot write " + Quoted(name) + ": " + std::strerror(errno));
            target.resize(static_cast<size_t>(n));
            p = fs::path(target).is_absolute() ? target : (fs::path(p).parent_path() / target).string();
            continue;
        }
        if (S_ISREG(st.st_mode)) break;
        if (S_ISDIR(st.st_mode)) throw CliError("cannot write " + Quoted(name) + ": it is a directory");
        if (S_ISBLK(st.st_mode))
            throw CliError("cannot write " + Quoted(name) + ": it is a block device (orve writes files, pipes and "
                           "character devices)");
        // A FIFO, a socket or a character device: written to, never replaced.
        const int descriptor = ::open(p.c_str(), O_WRONLY | O_CLOEXEC);
        if (descriptor < 0) throw CliError("cannot write " + Quoted(name) + ": " + std::strerror(errno));
        t.typeName = name;
        return stream(descriptor, Quoted(name));
    }
    t.path = p;
    t.typeName = ExtensionOf(p).empty() ? name : p;
    return t;
}

std::string TemporaryPattern(const std::string& path) {
    const fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const std::string suffix = ".orve-XXXXXX";
    std::string base = target.filename().string();
    long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = NAME_MAX;
    const size_t room = static_cast<size_t>(limit) > suffix.size() + 1 ? static_cast<size_t>(limit) - suffix.size() - 1 : 0;
    if (base.size() > room) {
        size_t cut = room;
        // Not inside a UTF-8 sequence: continuation bytes are 10xxxxxx.
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    return (dir / ("." + base + suffix)).string();
}

}  // namespace orve::cli
