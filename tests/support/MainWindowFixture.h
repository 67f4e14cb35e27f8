// The program's main window on the headless backend, as the window, batch and soak tests and the
// window benchmarks drive it. No GoogleTest inside.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/MainFrameWnd.h"
#include "engine/WorkThreadPool.h"
#include "support/HeadlessUi.h"

namespace testsupport {

// Owns the main window between Open() and its closing. The skin must be loaded by the process
// (usually CSkinUI::LoadEmbedded() once per suite). A window still open when the fixture goes is
// discarded as Discard() does.
class MainWindowFixture : public HeadlessUi {
public:
    // A message the window showed through its message hook instead of a message box.
    struct Shown {
        int kind;
        std::wstring text;
    };

    struct OpenOptions {
        std::wstring title = kMainWindowTitle;
        int width = 0;  // 0 with `height` 0: the layout's own size
        int height = 0;
        int dpi = 96;  // of the screen, and applied to the window when it is not 96
        bool show = true;
        // The batch moves rows without its animation delay.
        bool instantBatch = true;
        // When non-zero, the batch runs on a pool of its own with this many threads. The window
        // stops the pool it uses when it closes, and a stopped pool stays stopped, so a test that
        // closes the window gets a fresh pool each time.
        unsigned poolThreads = 0;
        // No updater and no preview players by default.
        MainFrameOptions frame = [] {
            MainFrameOptions options;
            options.startUpdater = false;
            options.createPlayers = false;
            return options;
        }();
    };

    explicit MainWindowFixture(bool virtualClock = true) : HeadlessUi(virtualClock) {}
    ~MainWindowFixture() override;

    // Makes, creates and shows the window; every message it would show is kept in `messages` and
    // answered with `answer`. False, with no window left, when Create fails.
    bool Open(const OpenOptions& options);
    bool Open() { return Open(OpenOptions()); }

    // Waits (each at most `timeoutMs`) until no page runs a batch and no single row runs, runs
    // the window's close sequence, stops the own pool and destroys the window.
    void CloseAfterBatches(int timeoutMs);
    // Waits (at most `timeoutMs`) until the task list has no probe pending and destroys the
    // window without its close sequence.
    void Discard(int timeoutMs = 5000);

    std::unique_ptr<CMainFrameWnd> wnd;
    std::unique_ptr<CWorkThreadPoolImpl> pool;  // with OpenOptions::poolThreads
    std::vector<Shown> messages;
    int answer = 1;

private:
    void StopPool();
};

}  // namespace testsupport
