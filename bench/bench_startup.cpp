// Start-up time of the main window: from the start of a fresh process to the first painted frame
// of the main window (Qt offscreen, the embedded skin, no updater, no players). The benchmark
// starts itself again as a child for every run, handing over the monotonic start time; the child
// sets up the backend and the skin, creates and shows the window, paints it once and reports.
// Prints the best and the median of the runs: RESULT startup ours_ms=<best> median_ms=<median>.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"

#ifdef TW_BENCH_HAVE_QT
#include <QImage>

#include "app/MainFrameWnd.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit/qt/QtSurface.h"

namespace {

// The child: everything the program does before its first frame, then the time it took.
int RunChild(uint64_t startedMs) {
    platform::InitLocale();
    CQtBackendUI backend;
    CAppUI::SetBackend(&backend);
    if (!CSkinUI::LoadEmbedded()) return 2;
    MainFrameOptions options;
    options.startUpdater = false;
    options.createPlayers = false;
    int rc = 3;
    {
        CMainFrameWnd wnd(L"", options);
        if (wnd.Create(nullptr, kMainWindowTitle, 0, 0, 900, 590)) {
            wnd.CenterWindow();
            wnd.ShowWindow(true);
            backend.Pump();
            QImage frame = UIQtGrab(&wnd);
            uint64_t painted = platform::TickCountMs();
            if (!frame.isNull()) {
                std::printf("painted_ms=%llu\n", static_cast<unsigned long long>(painted - startedMs));
                rc = 0;
            }
            wnd.CloseSequence();
            backend.Pump();
        }
    }
    CSkinUI::Release();
    CAppUI::SetBackend(nullptr);
    return rc;
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef TW_BENCH_HAVE_QT
    if (const char* child = std::getenv("TW_BENCH_STARTUP_T0"))
        return RunChild(std::strtoull(child, nullptr, 10));
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string self = platform::ToUtf8(platform::ExePath());
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        int fds[2];
        if (pipe(fds) != 0) return 1;
        uint64_t t0 = platform::TickCountMs();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            setenv("TW_BENCH_STARTUP_T0", std::to_string(t0).c_str(), 1);
            execl(self.c_str(), self.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string out;
        char buf[256];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof(buf))) > 0) out.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        size_t at = out.find("painted_ms=");
        if (at == std::string::npos) {
            std::fprintf(stderr, "run %d failed (status %d)\n", i, status);
            return 1;
        }
        times.push_back(std::atof(out.c_str() + at + 11));
        std::printf("run %d: %.0f ms\n", i + 1, times.back());
    }
    std::sort(times.begin(), times.end());
    std::printf("RESULT startup ours_ms=%.0f median_ms=%.0f runs=%d goal_ms=300\n", times.front(),
                times[times.size() / 2], runs);
    return 0;
#else
    (void)argc;
    (void)argv;
    std::printf("RESULT startup skipped=1 reason=no-qt-build\n");
    return 0;
#endif
}
