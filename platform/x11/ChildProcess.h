// A helper program run beside the host (a dialog), watched without ever
// blocking the thread that started it.
//
// The child gets /dev/null as its input and error stream and, when asked, a
// pipe as its output. poll() reads what the pipe holds and reaps the child
// once it has ended (waitpid with WNOHANG on that child only), so a host that
// installs its own SIGCHLD handling is left alone. A child whose watcher is
// destroyed while it runs is sent SIGTERM and reaped later by reapOrphans().
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace rimbrel::gui::x11 {

// The full path of an executable `name` found in $PATH ("" when none). A
// name holding a '/' is taken as a path and only checked.
std::string findProgram(const std::string& name);

class ChildProcess {
public:
    // Starts argv[0] (a path) with argv[1..]. Returns null and fills `error`
    // when the program could not be started.
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv, bool captureOutput,
                                               std::string* error = nullptr);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads the output that arrived and checks whether the child has ended.
    // Answers true once it has ended and its output is complete.
    bool poll();
    bool finished() const { return done; }
    // The exit code; -1 when the child died of a signal or its end could not
    // be observed (a host that ignores SIGCHLD has its children reaped for it).
    int exitStatus() const { return status; }
    const std::string& output() const { return out; }
    pid_t pid() const { return childPid; }
    // Asks a running child to end (SIGTERM); poll() still reaps it.
    void terminate();

    // Reaps children abandoned by destroyed watchers; call now and then.
    static void reapOrphans();
    static int orphanCount();

private:
    ChildProcess() = default;
    void readAvailable();
    void closePipe();

    pid_t childPid = -1;
    int pipeFd = -1;
    bool pipeAtEnd = true;
    bool done = false;
    int status = -1;
    std::string out;
};

}  // namespace rimbrel::gui::x11
