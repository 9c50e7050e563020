#pragma once
// How a run ends when it is stopped from outside: SIGINT, SIGTERM, SIGHUP,
// SIGQUIT and SIGPIPE remove the temporary files the run has open, print one
// line and exit with 128 + the signal's number. The handler does this itself
// (unlink, write and _exit are safe there), so a run blocked on a pipe or a
// FIFO ends at once instead of waiting for I/O that may never come.
//
// The signal handler can only reach process-wide storage; this file keeps
// the list of temporary paths and of batch workers there, and nothing else.
#include <signal.h>
#include <sys/types.h>

#include <string>

namespace orve::cli {

enum class InterruptMode {
    Report,   // print "orve: interrupted" (or the signal's line) and exit
    Quiet,    // a batch worker: exit without a line, the batch reports once
};

// Installs the handlers for the signals that were not ignored when orve
// started (a SIGHUP ignored by nohup stays ignored). Call once, early.
void InstallInterruptHandlers(InterruptMode mode);
void SetInterruptMode(InterruptMode mode);

// A temporary file the handler removes if the run is stopped.
void RegisterTemporary(const std::string& path);
void ForgetTemporary(const std::string& path);

// A batch worker process the handler passes the signal on to and waits for.
void RegisterWorker(pid_t pid);
void ForgetWorker(pid_t pid);
// In a freshly forked worker: no workers of its own, and a quiet exit.
void BecomeWorker();

// Holds the handled signals back while alive, so that a file or a process
// and its registration come into being together.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous;
};

// Third-party decoders (libmpg123 inside libsndfile) print their own
// diagnostics on stderr. While one of these is alive, descriptor 2 points to
// /dev/null; orve's own messages are written between library calls, so none
// of them is lost. The handler writes to the real stderr in any case.
class QuietLibraries {
public:
    QuietLibraries();
    ~QuietLibraries();
    QuietLibraries(const QuietLibraries&) = delete;
    QuietLibraries& operator=(const QuietLibraries&) = delete;
};

}  // namespace orve::cli
