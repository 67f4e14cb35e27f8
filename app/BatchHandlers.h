// The batch start handlers of the main window: the start button, one batch thread per tool page,
// the single-row format conversion. They reach the window only through its named controls and
// two posted messages (MSG_NOTICE, MSG_BATCH_DONE), so they work on any CWindowUI built from
// "main.xml" (the real main window, or a test window from the same layout).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CWindowUI;
class CControlUI;
class CWorkThreadPoolImpl;

class CBatchHandlers {
public:
    explicit CBatchHandlers(CWindowUI* mainWnd);
    ~CBatchHandlers();  // waits for nothing: batch threads still running are detached
    CBatchHandlers(const CBatchHandlers&) = delete;
    CBatchHandlers& operator=(const CBatchHandlers&) = delete;

    // "btn_conver": output-folder check, empty-list rules, remove buttons disabled, the page's
    // batch thread started, the start button swapped for the countdown animation.
    void OnStartClick();
    // "formatconvertaudio" of a format row: the output-folder check, then the row's conversion on
    // a thread of its own.
    void OnSingleFormatClick(CControlUI* button);

    // True while page's batch thread has not ended (waits at most waitMs for it to end).
    bool IsRunning(int page, int waitMs) const;
    // True while any single-row conversion started here has not ended.
    bool IsSingleRunning() const;
    // The merged file of the last merge batch (shown by notice 8).
    std::wstring MergeOutputPath() const;

    // Delay of the start button's countdown animation steps; 0 in the CLI (the animation is then
    // shown on its first frame and not run).
    void SetAnimationDelayMs(int ms);

    // ---- Seams for the terminal tools and the tests ----
    // The time base of the pauses between rows (50 ms) and of the done-counter polling (10 ms);
    // an empty function restores the real sleep.
    using SleepFn = std::function<void(uint32_t ms)>;
    void SetSleepFunction(SleepFn fn);
    // Where the empty-list message of the cut and extract pages goes instead of the modal message
    // dialog (the terminal has no one to click it away). Empty: the dialog.
    using MessageFn = std::function<void(const std::wstring& text)>;
    void SetMessageSink(MessageFn fn);
    // The pool the batches queue on (default: the shared worker pool, started with five threads
    // when nobody started it yet).
    void SetPool(CWorkThreadPoolImpl* pool);

    // What the handlers and their threads share (defined in the source file).
    struct State;

private:
    std::shared_ptr<State> m_state;
};
