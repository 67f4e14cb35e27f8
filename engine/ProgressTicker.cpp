#include "engine/ProgressTicker.h"

#include <cstdlib>
#include <mutex>

#include "platform/Platform.h"

namespace {

std::mutex g_sleepMutex;
CProgressTicker::SleepFn g_sleep;

std::wstring Percent(int value) {
    return std::to_wstring(value) + L"%";
}

}  // namespace

void CProgressTicker::SetSleepFunction(SleepFn fn) {
    std::lock_guard<std::mutex> lock(g_sleepMutex);
    g_sleep = std::move(fn);
}

void CProgressTicker::Sleep(uint32_t ms) {
    SleepFn fn;
    {
        std::lock_guard<std::mutex> lock(g_sleepMutex);
        fn = g_sleep;
    }
    if (fn) {
        fn(ms);
    } else {
        platform::SleepMs(ms);
    }
}

int CProgressTicker::TargetFromDraw(int r, bool noise) {
    if (r < 0) r = -r;  // rand() never is; keeps the range for any caller
    if (noise) {
        int t = r % 80;
        return t < 40 ? t + 40 : t;
    }
    int t = r % 90;
    return t < 50 ? t + 40 : t;
}

int CProgressTicker::ChooseTarget(bool noise) {
    std::srand(platform::TickCount32());
    return TargetFromDraw(std::rand(), noise);
}

CProgressTicker::CProgressTicker(std::shared_ptr<TickerSink> sink, int target)
    : sink_(std::move(sink)), target_(target) {
    sink_->SetBarColor(kNormalBarColor);
    sink_->SetLabelColor(kNormalLabelColor);
    thread_ = std::thread([this] { Run(); });
}

CProgressTicker::~CProgressTicker() {
    Wait();
}

void CProgressTicker::Run() {
    for (int i = 0; i < target_; ++i) {
        if (!Show(i)) {
            return;  // the worker has already shown a later mark
        }
        Sleep(kTickMs);
    }
}

bool CProgressTicker::Show(int value) {
    // The check and the write stay together, so the thread and the worker cannot interleave a
    // lower value after a higher one.
    std::lock_guard<std::mutex> lock(shownMutex_);
    if (value <= shown_) {
        return false;
    }
    shown_ = value;
    sink_->SetBar(value);
    sink_->SetLabel(Percent(value));
    return true;
}

int CProgressTicker::Shown() const {
    std::lock_guard<std::mutex> lock(shownMutex_);
    return shown_;
}

void CProgressTicker::Wait() {
    if (thread_.joinable()) thread_.join();
}

void CProgressTicker::Mark(int value) {
    Show(value);
}

void CProgressTicker::StepRange(int from, int to) {
    for (int i = from; i <= to; ++i) {
        if (Show(i)) {
            Sleep(kFinishMs);
        }
    }
}

bool CProgressTicker::MarkFailedIfMissing(const std::wstring& output) {
    // An empty output is no result either.
    if (!output.empty() && platform::PathExists(output) && platform::FileSize(output) != 0) return false;
    sink_->SetBarColor(kFailedColor);
    sink_->SetLabelColor(kFailedColor);
    sink_->SetLabel(L"失败");
    return true;
}

void CProgressTicker::Finish(const std::wstring& output) {
    Wait();
    StepRange(target_, 100);
    {
        std::lock_guard<std::mutex> lock(shownMutex_);
        shown_ = 100;
        sink_->SetBar(100);
        sink_->SetLabel(L"100%");
    }
    MarkFailedIfMissing(output);
}
