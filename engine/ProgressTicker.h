// The progress ticker: while the external tool runs, a row's progress bar and percent label are
// animated by time (the tool's own progress output is never read). A thread steps 0 … target−1
// at 100 ms; after the tool returns the worker waits for it, steps target … 100 at 50 ms, shows
// "100%" and marks the row failed when the output is missing. A row's value never runs backwards:
// a value at or below the one already shown is skipped (a worker's fixed mark ends the thread's
// stepping early), and skipped finishing steps do not wait.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CControlUI;

// Where the ticker writes: the row's bar and percent label. Either may be absent.
class TickerSink {
public:
    virtual ~TickerSink() = default;
    virtual void SetBar(int value) = 0;
    virtual void SetBarColor(uint32_t argb) = 0;
    virtual void SetLabel(const std::wstring& text) = 0;
    virtual void SetLabelColor(uint32_t argb) = 0;
};

// The sink over a row's controls: the progress bar ("progress", a CProgressUI) and the percent
// label ("ProgressValue"); null controls are skipped. Colours are set as the "forecolor" and
// "textcolor" attributes.
class ControlTickerSink : public TickerSink {
public:
    ControlTickerSink(CControlUI* bar, CControlUI* label) : bar_(bar), label_(label) {}
    void SetBar(int value) override;
    void SetBarColor(uint32_t argb) override;
    void SetLabel(const std::wstring& text) override;
    void SetLabelColor(uint32_t argb) override;

private:
    CControlUI* bar_;
    CControlUI* label_;
};

class CProgressTicker {
public:
    static constexpr uint32_t kNormalBarColor = 0xFF7ED321;
    static constexpr uint32_t kNormalLabelColor = 0xFF333333;
    static constexpr uint32_t kFailedColor = 0xFFF1707A;
    static constexpr uint32_t kTickMs = 100;   // the thread's step
    static constexpr uint32_t kFinishMs = 50;  // the finishing steps

    // The time base of every step. Tests install one that does not really wait; an empty
    // function restores the real sleep.
    using SleepFn = std::function<void(uint32_t ms)>;
    static void SetSleepFunction(SleepFn fn);
    static void Sleep(uint32_t ms);

    // Target from one random draw: speed, volume and background music r mod 90, below 50 plus 40
    // (40 … 89); noise r mod 80, below 40 plus 40 (40 … 79).
    static int TargetFromDraw(int r, bool noise);
    // Seeds the C library's generator with the millisecond tick count and draws once.
    static int ChooseTarget(bool noise);

    // Sets the normal colours (a row reused after a failure looks normal again) and starts the
    // thread that steps 0 … target−1.
    CProgressTicker(std::shared_ptr<TickerSink> sink, int target);
    // Convenience for the workers: a ControlTickerSink over the row's bar and label, and a target
    // chosen by ChooseTarget.
    CProgressTicker(CControlUI* bar, CControlUI* label, bool noise);
    ~CProgressTicker();  // waits for the thread
    CProgressTicker(const CProgressTicker&) = delete;
    CProgressTicker& operator=(const CProgressTicker&) = delete;

    int Target() const { return core_->target; }
    TickerSink& Sink() { return *core_->sink; }

    // Waits for the thread to end (a quick run still lasts target × 100 ms).
    void Wait();
    // Sets bar and "%d%%" label for from … to (inclusive), one kFinishMs step each; values not
    // above the one shown are skipped without waiting.
    void StepRange(int from, int to) { core_->StepRange(from, to); }
    // Bar and "%d%%" label at one mark, without waiting; ignored when not above the value shown.
    void Mark(int value) { core_->Show(value); }
    // The highest value shown so far (-1 before the first).
    int Shown() const;
    // Bar "forecolor" and label "textcolor" #FFF1707A and the label "失败" when nothing exists at
    // `output` or it is an empty file. True when the row was marked.
    bool MarkFailedIfMissing(const std::wstring& output) { return core_->MarkFailedIfMissing(output); }
    // The end of a job: Wait, StepRange(target, 100), bar 100 and "100%", then
    // MarkFailedIfMissing(output).
    void Finish(const std::wstring& output);
    // Finish, for the last statement of a worker. On a pool thread the row finishes after the
    // worker has returned, on a thread of its own, and the pool counts the job finished only then;
    // the pool's thread meanwhile goes on with the next row instead of waiting for the animation.
    // Elsewhere it is Finish.
    void FinishAfterReturn(const std::wstring& output);

private:
    // What the stepping thread and a finishing continuation share with the ticker: either may
    // outlive the ticker object.
    struct Core {
        std::shared_ptr<TickerSink> sink;
        int target = 0;
        mutable std::mutex shownMutex;
        int shown = -1;

        // Shows `value` when it is above the value shown; false (nothing written) otherwise.
        bool Show(int value);
        void StepRange(int from, int to);
        bool MarkFailedIfMissing(const std::wstring& output);
        // StepRange(target, 100), bar 100 and "100%", MarkFailedIfMissing.
        void FinishSteps(const std::wstring& output);
    };
    static void Run(const std::shared_ptr<Core>& core);

    std::shared_ptr<Core> core_;
    std::thread thread_;
};
