#include "batch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "audio_format.h"
#include "cli_error.h"
#include "interruption.h"
#include "progress_bar.h"

namespace orve::cli {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

bool Hidden(const fs::path& relative) {
    for (const fs::path& part : relative)
        if (part.string().size() > 1 && part.string()[0] == '.' && part != "..") return true;
    return false;
}

// Worker to batch: one line per message, a letter saying what it is.
//   p FRACTION   progress of this file
//   n TEXT       a note (warning, clipping report)
//   j JSON       the file's summary
//   e TEXT       the reason the file failed
void Send(int fd, char kind, std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    const std::string line = std::string(1, kind) + " " + text + "\n";
    const char* bytes = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        left -= static_cast<size_t>(n);
    }
}

int WorkerMain(const FileJob& job, const JobOptions& options, bool json, int fd) {
    try {
        const fs::path parent = fs::path(job.output).parent_path();
        std::error_code ec;
        if (!parent.empty() && !fs::is_directory(parent, ec) && !fs::create_directories(parent, ec) && ec)
            throw CliError("cannot create the folder " + Quoted(parent.string()) + ": " + ec.message());
        const FileOutcome outcome =
            ProcessFile(job, options, [fd](double f) { Send(fd, 'p', std::to_string(f)); });
        for (const std::string& note : outcome.notes) Send(fd, 'n', note);
        if (json) Send(fd, 'j', outcome.summary);
        return 0;
    } catch (const CliError& e) {
        Send(fd, 'e', e.what());
        return e.Status() != 0 ? e.Status() : 1;
    } catch (const std::exception& e) {
        Send(fd, 'e', e.what());
        return 1;
    }
}

struct Worker {
    pid_t pid;
    int fd;
    size_t job;
    std::string pending;   // a line not yet complete
    std::string error;
    double fraction = 0.0;
};

std::string EndedHow(int status) {
    if (WIFSIGNALED(status)) return std::string("stopped by signal ") + strsignal(WTERMSIG(status));
    return "failed with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

std::vector<FileJob> PlanBatch(const std::vector<std::string>& inputs, const std::string& outDir,
                               const std::string& type) {
    std::error_code ec;
    if (fs::exists(outDir, ec) && !fs::is_directory(outDir, ec))
        throw CliError("--out-dir " + Quoted(outDir) + " is not a folder");
    const std::string extension = type.empty() ? "" : ExtensionFor(ContainerForWord(type, 0, 2));
    std::vector<FileJob> jobs;
    auto add = [&](const std::string& input, fs::path relative) {
        if (!extension.empty()) relative.replace_extension(extension);
        jobs.push_back({input, (fs::path(outDir) / relative).string()});
    };
    for (const std::string& input : inputs) {
        if (input == "-") throw CliError("stdin cannot be one of several inputs");
        if (!fs::is_directory(input, ec)) {
            add(input, fs::path(input).filename());
            continue;
        }
        std::vector<fs::path> found;
        for (fs::recursive_directory_iterator it(input, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec)) {
            const fs::path relative = fs::relative(it->path(), input, ec);
            if (Hidden(relative)) {
                if (it->is_directory(ec)) it.disable_recursion_pending();
                continue;
            }
            if (it->is_regular_file(ec) && IsAudioExtension(ExtensionOf(it->path().string())))
                found.push_back(relative);
        }
        if (ec) throw CliError("cannot read the folder " + Quoted(input) + ": " + ec.message());
        std::sort(found.begin(), found.end());
        for (const fs::path& relative : found) add((fs::path(input) / relative).string(), relative);
    }
    if (jobs.empty()) throw CliError("no audio files to process");
    std::map<std::string, std::string> outputs;
    for (const FileJob& job : jobs) {
        const std::string key = fs::weakly_canonical(job.output, ec).string();
        const auto [it, fresh] = outputs.emplace(key, job.input);
        if (!fresh)
            throw CliError(Quoted(it->second) + " and " + Quoted(job.input) + " would both write " +
                           Quoted(job.output));
    }
    return jobs;
}

int RunBatch(const std::vector<FileJob>& jobs, const JobOptions& options, int parallel, bool json) {
    // Sizes weigh the files in the one progress bar.
    std::vector<double> weight(jobs.size(), 1.0);
    double total = 0.0;
    for (size_t j = 0; j < jobs.size(); ++j) {
        struct stat st {};
        if (::stat(jobs[j].input.c_str(), &st) == 0 && st.st_size > 0) weight[j] = static_cast<double>(st.st_size);
        total += weight[j];
    }
    ProgressBar bar;
    double finishedWeight = 0.0;
    std::vector<Worker> active;
    size_t next = 0;
    int failed = 0;

    auto start = [&](size_t j) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) throw CliError(std::string("cannot start a worker: ") + std::strerror(errno));
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid;
        {
            SignalsHeld held;
            pid = ::fork();
            if (pid == 0) BecomeWorker();
            else if (pid > 0) RegisterWorker(pid);
        }
        if (pid == 0) {
            ::close(ends[0]);
            for (const Worker& w : active) ::close(w.fd);
            ::_exit(WorkerMain(jobs[j], options, json, ends[1]));
        }
        ::close(ends[1]);
        if (pid < 0) {
            ::close(ends[0]);
            throw CliError(std::string("cannot start a worker: ") + std::strerror(errno));
        }
        active.push_back({pid, ends[0], j, "", "", 0.0});
    };
    auto drawProgress = [&] {
        double done = finishedWeight;
        for (const Worker& w : active) done += w.fraction * weight[w.job];
        bar.Show(total > 0.0 ? done / total : 1.0);
    };
    auto handleLine = [&](Worker& w, const std::string& line) {
        if (line.size() < 2) return;
        const std::string text = line.substr(2);
        switch (line[0]) {
            case 'p': w.fraction = std::atof(text.c_str()); drawProgress(); break;
            case 'n':
                bar.Clear();
                std::fprintf(stderr, "orve: %s: %s\n", jobs[w.job].input.c_str(), text.c_str());
                break;
            case 'j': std::printf("%s\n", text.c_str()); std::fflush(stdout); break;
            case 'e': w.error = text; break;
            default: break;
        }
    };
    auto finish = [&](size_t index) {
        Worker w = std::move(active[index]);
        active.erase(active.begin() + static_cast<std::ptrdiff_t>(index));
        ::close(w.fd);
        int status = 0;
        while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
        }
        ForgetWorker(w.pid);
        finishedWeight += weight[w.job];
        if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            ++failed;
            bar.Clear();
            std::fprintf(stderr, "orve: %s: %s\n", jobs[w.job].input.c_str(),
                         (w.error.empty() ? EndedHow(status) : w.error).c_str());
        }
        drawProgress();
    };

    while (next < jobs.size() || !active.empty()) {
        while (static_cast<int>(active.size()) < parallel && next < jobs.size()) start(next++);
        std::vector<pollfd> fds;
        for (const Worker& w : active) fds.push_back({w.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            throw CliError(std::string("waiting for the workers: ") + std::strerror(errno));
        }
        // From the back, so that finishing one leaves the others' indices alone.
        for (size_t i = fds.size(); i-- > 0;) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = ::read(active[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                finish(i);
                continue;
            }
            Worker& w = active[i];
            w.pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = w.pending.find('\n')) != std::string::npos;) {
                handleLine(w, w.pending.substr(0, end));
                w.pending.erase(0, end + 1);
            }
        }
    }
    bar.Clear();
    if (failed > 0)
        std::fprintf(stderr, "orve: processed %zu of %zu files; %d failed\n", jobs.size() - failed, jobs.size(), failed);
    else
        std::fprintf(stderr, "orve: processed %zu files\n", jobs.size());
    return failed > 0 ? 1 : 0;
}

}  // namespace orve::cli
