#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/Platform.h"

extern char** environ;

namespace platform {
namespace {

// Owns the spawn attributes and file actions of one child.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attr_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        // The child starts with default signal dispositions and nothing blocked, whatever the
        // calling thread had; it gets its own process group so no terminal signal reaches it.
        posix_spawnattr_setsigmask(&attr_, &none);
        posix_spawnattr_setsigdefault(&attr_, &all);
        posix_spawnattr_setpgroup(&attr_, 0);
        posix_spawnattr_setflags(&attr_,
                                 POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    void StdinFromNull() { posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0); }
    void OutputToNull() {
        posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, 1, 2);
    }
    void OutputToFd(int fd) {
        posix_spawn_file_actions_adddup2(&actions_, fd, 1);
        posix_spawn_file_actions_adddup2(&actions_, fd, 2);
    }

    // Returns the child's pid, or -1 when it could not be started.
    pid_t Spawn(const std::vector<std::string>& argv) {
        if (argv.empty() || argv[0].empty()) return -1;
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        // Last action: every descriptor above standard error is closed in the child, so a tool
        // never inherits a file the program holds open (a list being written, the log, a
        // decoder's streams), whether or not it was opened close-on-exec.
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
        pid_t pid = -1;
        int rc = posix_spawnp(&pid, args[0], &actions_, &attr_, args.data(), environ);
        return rc == 0 ? pid : -1;
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
};

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

int WaitChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return DecodeStatus(status);
}

// glibc's posix_spawnp reports a missing program as a successful spawn whose child exits with
// 127. Checking the program first gives callers a clean "could not start".
bool Startable(const std::string& program) {
    return !FindExecutable(program).empty();
}

}  // namespace

std::string FindExecutable(const std::string& name) {
    if (name.empty()) return {};
    auto executable = [](const std::string& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos) return executable(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        if (executable(candidate)) {
            if (candidate[0] != '/') {
                char* real = ::realpath(candidate.c_str(), nullptr);
                if (real) {
                    candidate = real;
                    std::free(real);
                }
            }
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool RunProcess(const std::vector<std::string>& argv, int* exitCode) {
    if (argv.empty() || !Startable(argv[0])) return false;
    SpawnSetup setup;
    setup.StdinFromNull();
    setup.OutputToNull();
    pid_t pid = setup.Spawn(argv);
    if (pid < 0) return false;
    KillGroupOnExit(pid);  // the child leads its own group
    int code = WaitChild(pid);
    ForgetGroup(pid);
    if (exitCode) *exitCode = code;
    return true;
}

namespace {

// The capture loop shared by RunProcessCapture and RunProcessCaptureFor; timeoutMs 0 means none.
bool Capture(const std::vector<std::string>& argv, std::string* output, int* exitCode, int drainMs,
             uint32_t timeoutMs, bool* timedOut) {
    if (output) output->clear();
    if (timedOut) *timedOut = false;
    if (argv.empty() || !Startable(argv[0])) return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    SpawnSetup setup;
    setup.StdinFromNull();
    setup.OutputToFd(fds[1]);
    pid_t pid = setup.Spawn(argv);
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return false;
    }
    KillGroupOnExit(pid);
    const uint64_t started = TickCountMs();
    bool exited = false;
    int code = -1;
    uint64_t quietSince = 0;
    char buf[65536];
    for (;;) {
        if (timeoutMs != 0 && TickCountMs() - started >= timeoutMs) {
            // The caller gives up: the child and everything it started go.
            ::kill(-pid, SIGKILL);
            if (timedOut) *timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int ready = ::poll(&p, 1, exited ? 20 : 50);
        if (ready > 0) {
            ssize_t got = ::read(fds[0], buf, sizeof buf);
            if (got > 0) {
                if (output) output->append(buf, static_cast<size_t>(got));
                quietSince = TickCountMs();
                continue;
            }
            if (got == 0) break;  // every writer closed the pipe
            if (errno != EINTR && errno != EAGAIN) break;
        } else if (ready < 0 && errno != EINTR) {
            break;
        }
        if (!exited) {
            int status = 0;
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                exited = true;
                code = DecodeStatus(status);
                quietSince = TickCountMs();
            }
        } else if (TickCountMs() - quietSince >= static_cast<uint64_t>(drainMs)) {
            break;  // the child is gone and someone else keeps the pipe open
        }
    }
    ::close(fds[0]);
    if (!exited) code = WaitChild(pid);
    ForgetGroup(pid);
    if (exitCode) *exitCode = code;
    return true;
}

}  // namespace

bool RunProcessCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                       int drainMs) {
    return Capture(argv, output, exitCode, drainMs, 0, nullptr);
}

bool RunProcessCaptureFor(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                          uint32_t timeoutMs, bool* timedOut) {
    return Capture(argv, output, exitCode, 200, timeoutMs == 0 ? 1 : timeoutMs, timedOut);
}

bool SpawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || !Startable(argv[0])) return false;
    SpawnSetup setup;
    setup.StdinFromNull();
    setup.OutputToNull();
    pid_t pid = setup.Spawn(argv);
    if (pid < 0) return false;
    std::thread([pid] { WaitChild(pid); }).detach();
    return true;
}

}  // namespace platform
