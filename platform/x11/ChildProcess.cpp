#include "platform/x11/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

extern char** environ;

namespace rimbrel::gui::x11 {

namespace {
// Children stopped but not yet reaped. A plain array, not a container: a
// dialog can be destroyed while the module unloads, after other statics
// are gone, and this list must still work then. When it is full the oldest
// orphan is left to the host (a zombie until it exits), never a crash.
constexpr int kMaxOrphans = 64;
std::mutex orphanMutex;
pid_t orphanPids[kMaxOrphans];
int orphanTotal = 0;

// Reaps what has ended; the caller holds orphanMutex.
void reapEndedOrphans() {
    int kept = 0;
    for (int i = 0; i < orphanTotal; ++i) {
        int st = 0;
        pid_t r;
        do
            r = ::waitpid(orphanPids[i], &st, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == 0)
            orphanPids[kept++] = orphanPids[i];
    }
    orphanTotal = kept;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}
}  // namespace

std::string findProgram(const std::string& name) {
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = dirs.find(':', begin);
        const std::string_view dir = std::string_view(dirs).substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        if (isExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    return {};
}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv, bool captureOutput,
                                                  std::string* error) {
    auto fail = [error](const std::string& why) -> std::unique_ptr<ChildProcess> {
        if (error)
            *error = why;
        return nullptr;
    };
    if (argv.empty())
        return fail("no program");

    int fds[2] = {-1, -1};
    if (captureOutput && ::pipe2(fds, O_CLOEXEC) != 0)
        return fail(std::string("pipe: ") + std::strerror(errno));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (captureOutput)
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    // The child starts with default signal handling and nothing blocked,
    // whatever the host has set up for its own threads.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (captureOutput)
        ::close(fds[1]);
    if (rc != 0) {
        if (captureOutput)
            ::close(fds[0]);
        return fail(argv[0] + ": " + std::strerror(rc));
    }

    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->childPid = pid;
    if (captureOutput) {
        child->pipeFd = fds[0];
        child->pipeAtEnd = false;
        ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    }
    return child;
}

ChildProcess::~ChildProcess() {
    closePipe();
    if (!done && childPid > 0) {
        ::kill(childPid, SIGTERM);
        std::lock_guard<std::mutex> lock(orphanMutex);
        reapEndedOrphans();
        if (orphanTotal == kMaxOrphans) {
            std::memmove(orphanPids, orphanPids + 1, sizeof(pid_t) * (kMaxOrphans - 1));
            --orphanTotal;
        }
        orphanPids[orphanTotal++] = childPid;
    }
}

void ChildProcess::closePipe() {
    if (pipeFd >= 0)
        ::close(pipeFd);
    pipeFd = -1;
    pipeAtEnd = true;
}

void ChildProcess::readAvailable() {
    char buffer[4096];
    while (pipeFd >= 0) {
        const ssize_t n = ::read(pipeFd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        closePipe();  // end of the output (or an error reading it)
    }
}

bool ChildProcess::poll() {
    if (done)
        return true;
    readAvailable();
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(childPid, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return false;  // still running
    if (r == childPid)
        status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    else
        status = -1;  // reaped by someone else: the end cannot be observed
    // The child is gone: what it wrote is all in the pipe now, unless it
    // left a process of its own holding the pipe, which is not waited for.
    readAvailable();
    closePipe();
    done = true;
    return true;
}

void ChildProcess::terminate() {
    if (!done && childPid > 0)
        ::kill(childPid, SIGTERM);
}

void ChildProcess::reapOrphans() {
    std::lock_guard<std::mutex> lock(orphanMutex);
    reapEndedOrphans();
}

int ChildProcess::orphanCount() {
    std::lock_guard<std::mutex> lock(orphanMutex);
    return orphanTotal;
}

}  // namespace rimbrel::gui::x11
