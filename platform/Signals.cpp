// Clean-up on interruption: files registered here are removed, and child process groups
// registered here are killed, when the process is ended by SIGINT, SIGTERM or SIGHUP (and the
// child groups also at a normal exit). The handler uses only async-signal-safe calls on
// fixed-size slots, then ends the process with the same signal.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Platform.h"

namespace platform {
namespace {

constexpr int kFileSlots = 16;
constexpr int kPathBytes = 4096;
constexpr int kGroupSlots = 64;

// A slot is free (0), being written (1) or holding a path the handler may remove (2).
std::atomic<int> g_fileState[kFileSlots];
char g_files[kFileSlots][kPathBytes];
std::atomic<int> g_groups[kGroupSlots];  // process-group ids, 0 when free

std::once_flag g_installOnce;

void KillGroups() {
    for (auto& slot : g_groups) {
        const int group = slot.load();
        if (group > 0) ::kill(-group, SIGKILL);
    }
}

// The handlers found before ours, for SIGINT, SIGTERM and SIGHUP (indexed by signal number).
struct sigaction g_previous[SIGHUP > SIGTERM ? SIGHUP + 1 : SIGTERM + 1];

void OnSignal(int sig) {
    for (int i = 0; i < kFileSlots; ++i) {
        if (g_fileState[i].load() == 2) ::unlink(g_files[i]);
    }
    KillGroups();
    // A handler the program installed before keeps its say (a graceful close, say).
    const struct sigaction& previous = g_previous[sig];
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void Install() {
    std::call_once(g_installOnce, [] {
        struct sigaction action {};
        action.sa_handler = &OnSignal;
        sigemptyset(&action.sa_mask);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0) continue;
            // A signal the caller chose to ignore stays ignored; one with a three-argument
            // handler is left to that handler.
            if (old.sa_handler == SIG_IGN || (old.sa_flags & SA_SIGINFO)) continue;
            g_previous[sig] = old;
            ::sigaction(sig, &action, nullptr);
        }
        std::atexit(&KillGroups);
    });
}

}  // namespace

bool RemoveOnInterrupt(const std::string& path) {
    if (path.empty() || path.size() >= static_cast<size_t>(kPathBytes)) return false;
    Install();
    for (int i = 0; i < kFileSlots; ++i) {
        int expected = 0;
        if (g_fileState[i].compare_exchange_strong(expected, 1)) {
            std::memcpy(g_files[i], path.c_str(), path.size() + 1);
            g_fileState[i].store(2);
            return true;
        }
    }
    return false;
}

void KeepAfterInterrupt(const std::string& path) {
    for (int i = 0; i < kFileSlots; ++i) {
        if (g_fileState[i].load() == 2 && path == g_files[i]) {
            int expected = 2;
            g_fileState[i].compare_exchange_strong(expected, 0);
        }
    }
}

void ExitNow(int code) {
    KillGroups();
    std::fflush(nullptr);
    ::_exit(code);
}

void KillGroupOnExit(int group) {
    if (group <= 0) return;
    Install();
    for (auto& slot : g_groups) {
        int expected = 0;
        if (slot.compare_exchange_strong(expected, group)) return;
    }
}

void ForgetGroup(int group) {
    for (auto& slot : g_groups) {
        int expected = group;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

}  // namespace platform
