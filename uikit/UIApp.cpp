#include "uikit/UIBackend.h"

#include <algorithm>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "platform/Platform.h"
#include "uikit/UIControl.h"
#include "uikit/UIInternal.h"
#include "uikit/UIWindow.h"

namespace {

struct TimerEntry {
    CWindowUI* window;
    CControlUI* control;
    uint32_t id;
    uint32_t interval;
    uint64_t due;
    uint64_t seq;
};

struct AppState {
    std::mutex mutex;
    IBackendUI* backend = nullptr;
    std::thread::id uiThread;
    std::deque<std::function<void()>> tasks;
    std::vector<TimerEntry> timers;
    uint64_t seq = 0;
    std::vector<CWindowUI*> windows;
    std::vector<CWindowUI*> modals;
    std::function<void(const TNotifyUI&)> observer;
};

AppState& App() {
    static AppState s;
    return s;
}

}  // namespace

void CAppUI::SetBackend(IBackendUI* backend) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.backend = backend;
    s.uiThread = std::this_thread::get_id();
    if (!backend) {
        s.tasks.clear();
        s.timers.clear();
        s.modals.clear();
    }
}

IBackendUI* CAppUI::GetBackend() {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.backend;
}

bool CAppUI::IsUIThread() {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.backend == nullptr || s.uiThread == std::this_thread::get_id();
}

void CAppUI::Invoke(const std::function<void()>& fn) {
    if (IsUIThread()) {
        fn();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> future = done->get_future();
    Post([fn, done] {
        fn();
        done->set_value();
    });
    future.wait();
}

void CAppUI::Post(std::function<void()> fn) {
    IBackendUI* backend;
    {
        AppState& s = App();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.tasks.push_back(std::move(fn));
        backend = s.backend;
    }
    if (backend) backend->WakeUp();
}

bool CAppUI::HasPendingTasks() {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    return !s.tasks.empty();
}

uint64_t CAppUI::Now() {
    IBackendUI* backend = GetBackend();
    return backend ? backend->NowMs() : platform::TickCountMs();
}

int64_t CAppUI::ProcessPending() {
    AppState& s = App();
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        batch.swap(s.tasks);
    }
    for (auto& task : batch) {
        UIDispatchScope scope;
        task();
    }
    // Timers due now, each at most once per round, in due order (ties in the order they were set).
    const uint64_t now = Now();
    std::vector<std::pair<CWindowUI*, std::pair<CControlUI*, uint32_t>>> fired;
    for (;;) {
        TimerEntry t{};
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            auto best = s.timers.end();
            for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
                if (it->due > now) continue;
                bool alreadyFired = false;
                for (auto& f : fired)
                    if (f.first == it->window && f.second.first == it->control && f.second.second == it->id)
                        alreadyFired = true;
                if (alreadyFired) continue;
                if (best == s.timers.end() || it->due < best->due ||
                    (it->due == best->due && it->seq < best->seq))
                    best = it;
            }
            if (best == s.timers.end()) break;
            best->due = now + best->interval;
            t = *best;
            fired.push_back({t.window, {t.control, t.id}});
        }
        if (!IsWindowAlive(t.window)) continue;
        if (t.control && !CControlUI::IsAlive(t.control)) continue;
        UIDispatchScope scope;
        t.window->DeliverTimer(t.control, t.id);
    }
    UIFlushDeferredDeletes();
    for (CWindowUI* w : GetWindows())
        if (IsWindowAlive(w)) w->UpdateLayout();
    return NextTimerDue();
}

void CAppUI::RunLoop(const std::function<bool()>& done) {
    IBackendUI* backend = GetBackend();
    if (backend) backend->RunLoop(done);
}

void CAppUI::SetTimer(CWindowUI* window, CControlUI* control, uint32_t id, uint32_t elapseMs) {
    const uint64_t now = Now();
    IBackendUI* backend;
    {
        AppState& s = App();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                      [&](const TimerEntry& t) {
                                          return t.window == window && t.control == control && t.id == id;
                                      }),
                       s.timers.end());
        uint32_t interval = std::max<uint32_t>(1, elapseMs);
        s.timers.push_back(TimerEntry{window, control, id, interval, now + interval, ++s.seq});
        backend = s.backend;
    }
    if (backend) backend->WakeUp();
}

void CAppUI::KillTimer(CWindowUI* window, CControlUI* control, uint32_t id) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const TimerEntry& t) {
                                      return t.window == window && t.control == control && t.id == id;
                                  }),
                   s.timers.end());
}

void CAppUI::KillTimers(CWindowUI* window, CControlUI* control) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const TimerEntry& t) {
                                      return t.window == window &&
                                             (control == nullptr || t.control == control);
                                  }),
                   s.timers.end());
}

bool CAppUI::HasTimer(CWindowUI* window, CControlUI* control, uint32_t id) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto& t : s.timers)
        if (t.window == window && t.control == control && t.id == id) return true;
    return false;
}

int64_t CAppUI::NextTimerDue() {
    const uint64_t now = Now();
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    int64_t best = -1;
    for (auto& t : s.timers) {
        int64_t in = t.due > now ? static_cast<int64_t>(t.due - now) : 0;
        if (best < 0 || in < best) best = in;
    }
    return best;
}

std::vector<CWindowUI*> CAppUI::GetWindows() {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.windows;
}

bool CAppUI::IsWindowAlive(const CWindowUI* window) {
    if (!window) return false;
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    return std::find(s.windows.begin(), s.windows.end(), window) != s.windows.end();
}

CWindowUI* CAppUI::GetTopModal() {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.modals.empty() ? nullptr : s.modals.back();
}

void CAppUI::RegisterWindow(CWindowUI* window) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.windows.push_back(window);
}

void CAppUI::UnregisterWindow(CWindowUI* window) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.windows.erase(std::remove(s.windows.begin(), s.windows.end(), window), s.windows.end());
    s.modals.erase(std::remove(s.modals.begin(), s.modals.end(), window), s.modals.end());
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const TimerEntry& t) { return t.window == window; }),
                   s.timers.end());
}

void CAppUI::PushModal(CWindowUI* window) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.modals.push_back(window);
}

void CAppUI::PopModal(CWindowUI* window) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = std::find(s.modals.rbegin(), s.modals.rend(), window);
    if (it != s.modals.rend()) s.modals.erase(std::next(it).base());
}

void CAppUI::MarkDirty(CWindowUI* window) {
    if (window) window->NeedUpdate();
}

void CAppUI::SetNotifyObserver(std::function<void(const TNotifyUI&)> observer) {
    AppState& s = App();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.observer = std::move(observer);
}

void CAppUI::ObserveNotify(const TNotifyUI& msg) {
    std::function<void(const TNotifyUI&)> observer;
    {
        AppState& s = App();
        std::lock_guard<std::mutex> lock(s.mutex);
        observer = s.observer;
    }
    if (observer) observer(msg);
}
