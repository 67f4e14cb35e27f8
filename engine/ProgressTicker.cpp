#include "engine/ProgressTicker.h"

#include <cstdlib>
#include <mutex>

#include "engine/WorkThreadPool.h"
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
    : core_(std::make_shared<Core>()) {
    core_->sink = std::move(sink);
    core_->target = target;
    core_->sink->SetBarColor(kNormalBarColor);
    core_->sink->SetLabelColor(kNormalLabelColor);
    thread_ = std::thread([core = core_] { Run(core); });
}

CProgressTicker::~CProgressTicker() {
    Wait();
}

void CProgressTicker::Run(const std::shared_ptr<Core>& core) {
    for (int i = 0; i < core->target; ++i) {
        if (!core->Show(i)) {
            return;  // the worker has already shown a later mark
        }
        Sleep(kTickMs);
    }
}

bool CProgressTicker::Core::Show(int value) {
    // The check and the write stay together, so the thread and the worker cannot interleave a
    // lower value after a higher one.
    std::lock_guard<std::mutex> lock(shownMutex);
    if (value <= shown) {
        return false;
    }
    shown = value;
    sink->SetBar(value);
    sink->SetLabel(Percent(value));
    return true;
}

int CProgressTicker::Shown() const {
    std::lock_guard<std::mutex> lock(core_->shownMutex);
    return core_->shown;
}

void CProgressTicker::Wait() {
    if (thread_.joinable()) thread_.join();
}

void CProgressTicker::Core::StepRange(int from, int to) {
    for (int i = from; i <= to; ++i) {
        if (Show(i)) {
            Sleep(kFinishMs);
        }
    }
}

bool CProgressTicker::Core::MarkFailedIfMissing(const std::wstring& output) {
    // An empty output is no result either.
    if (!output.empty() && platform::PathExists(output) && platform::FileSize(output) != 0) return false;
    sink->SetBarColor(kFailedColor);
    sink->SetLabelColor(kFailedColor);
    sink->SetLabel(L"失败");
    return true;
}

void CProgressTicker::Core::FinishSteps(const std::wstring& output) {
    StepRange(target, 100);
    {
        std::lock_guard<std::mutex> lock(shownMutex);
        shown = 100;
        sink->SetBar(100);
        sink->SetLabel(L"100%");
    }
    MarkFailedIfMissing(output);
}

void CProgressTicker::Finish(const std::wstring& output) {
    Wait();
    core_->FinishSteps(output);
}

void CProgressTicker::FinishAfterReturn(const std::wstring& output) {
    auto stepper = std::make_shared<std::thread>(std::move(thread_));
    auto rest = [core = core_, stepper, output]() {
        if (stepper->joinable()) stepper->join();
        core->FinishSteps(output);
    };
    if (!CWorkThreadPoolImpl::ContinueAfterReturn(rest)) {
        rest();
    }
}
