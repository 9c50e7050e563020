#include "interruption.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace orve::cli {
namespace {

constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Slots the handler reads: a path (or pid) is complete before its flag is set
// and the flag is cleared before the slot is reused.
constexpr int kMaxTemporaries = 4;
char temporaries[kMaxTemporaries][PATH_MAX];
volatile sig_atomic_t temporaryInUse[kMaxTemporaries];
constexpr int kMaxWorkers = 512;
pid_t workers[kMaxWorkers];
volatile sig_atomic_t workerInUse[kMaxWorkers];

volatile sig_atomic_t quietExit = 0;
int realStderr = -1;
int devNull = -1;
bool stderrIsTerminal = false;
int quietDepth = 0;

void EnsureDescriptors() {
    if (devNull >= 0) return;
    realStderr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    stderrIsTerminal = realStderr >= 0 && ::isatty(realStderr) == 1;
}

void WriteAll(int fd, const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

const char* LineFor(int sig) {
    switch (sig) {
        case SIGINT: return "orve: interrupted\n";
        case SIGTERM: return "orve: interrupted (SIGTERM)\n";
        case SIGHUP: return "orve: interrupted (SIGHUP)\n";
        case SIGQUIT: return "orve: interrupted (SIGQUIT)\n";
        default: return "orve: stopped: the output pipe was closed (SIGPIPE)\n";
    }
}

void OnSignal(int sig) {
    // Workers get the same signal (a terminal's Ctrl-C reaches them anyway;
    // a kill aimed at the batch must too) and remove their own temporaries.
    for (int i = 0; i < kMaxWorkers; ++i)
        if (workerInUse[i]) ::kill(workers[i], sig == SIGPIPE ? SIGTERM : sig);
    for (int i = 0; i < kMaxWorkers; ++i)
        if (workerInUse[i]) ::waitpid(workers[i], nullptr, 0);
    for (int i = 0; i < kMaxTemporaries; ++i)
        if (temporaryInUse[i]) ::unlink(temporaries[i]);
    if (!quietExit && realStderr >= 0) {
        // A progress bar may be on the line: clear it first.
        if (stderrIsTerminal) WriteAll(realStderr, "\r                                                            \r");
        WriteAll(realStderr, LineFor(sig));
    }
    ::_exit(128 + sig);
}

}  // namespace

void InstallInterruptHandlers(InterruptMode mode) {
    EnsureDescriptors();
    SetInterruptMode(mode);
    for (int sig : kHandled) {
        struct sigaction old {};
        ::sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigfillset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

void SetInterruptMode(InterruptMode mode) { quietExit = mode == InterruptMode::Quiet ? 1 : 0; }

void RegisterTemporary(const std::string& path) {
    SignalsHeld held;
    for (int i = 0; i < kMaxTemporaries; ++i)
        if (!temporaryInUse[i] && path.size() < PATH_MAX) {
            std::memcpy(temporaries[i], path.c_str(), path.size() + 1);
            temporaryInUse[i] = 1;
            return;
        }
}

void ForgetTemporary(const std::string& path) {
    SignalsHeld held;
    for (int i = 0; i < kMaxTemporaries; ++i)
        if (temporaryInUse[i] && path == temporaries[i]) temporaryInUse[i] = 0;
}

void RegisterWorker(pid_t pid) {
    SignalsHeld held;
    for (int i = 0; i < kMaxWorkers; ++i)
        if (!workerInUse[i]) {
            workers[i] = pid;
            workerInUse[i] = 1;
            return;
        }
}

void ForgetWorker(pid_t pid) {
    SignalsHeld held;
    for (int i = 0; i < kMaxWorkers; ++i)
        if (workerInUse[i] && workers[i] == pid) workerInUse[i] = 0;
}

void BecomeWorker() {
    for (int i = 0; i < kMaxWorkers; ++i) workerInUse[i] = 0;
    SetInterruptMode(InterruptMode::Quiet);
}

SignalsHeld::SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kHandled) sigaddset(&set, sig);
    ::sigprocmask(SIG_BLOCK, &set, &previous);
}

SignalsHeld::~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous, nullptr); }

QuietLibraries::QuietLibraries() {
    EnsureDescriptors();
    if (quietDepth++ == 0 && devNull >= 0) {
        std::fflush(stderr);
        ::dup2(devNull, STDERR_FILENO);
    }
}

QuietLibraries::~QuietLibraries() {
    if (--quietDepth == 0 && devNull >= 0) {
        std::fflush(stderr);
        if (realStderr >= 0) ::dup2(realStderr, STDERR_FILENO);
        else ::close(STDERR_FILENO);
    }
}

}  // namespace orve::cli
