// The backend interface (headless now, Qt on screen) and the application object that owns the UI
// thread: posted tasks, timers, the list of live windows and marshalling from other threads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "uikit/UIDefs.h"

class CWindowUI;
class CComboUI;
class IRenderUI;

// What a backend provides. Every call except RequestRepaint and WakeUp comes on the UI thread.
// The backend delivers input by calling the window's Input* entry points on the UI thread.
class IBackendUI {
public:
    virtual ~IBackendUI() = default;

    // ---- Top-level windows ----
    virtual void CreateNativeWindow(CWindowUI* window) = 0;
    virtual void DestroyNativeWindow(CWindowUI* window) = 0;
    virtual void ShowNativeWindow(CWindowUI* window, bool show, bool activate) = 0;
    // Screen rectangle of the whole window (device pixels).
    virtual void MoveNativeWindow(CWindowUI* window, const UIRect& screenRect) = 0;
    virtual void SetNativeTitle(CWindowUI* window, const std::wstring& title) = 0;
    // UISC_MINIMIZE, UISC_MAXIMIZE, UISC_RESTORE.
    virtual void SysCommand(CWindowUI* window, uintptr_t command) = 0;
    // Any thread: the window's model changed; the backend calls window->Paint(render) soon.
    virtual void RequestRepaint(CWindowUI* window) = 0;

    // ---- Event loop ----
    // Any thread: a task was posted; wake the loop.
    virtual void WakeUp() = 0;
    // Runs the loop on the calling (UI) thread until `done()` is true. Between native events it
    // calls CAppUI::ProcessPending() and waits until the next timer is due or WakeUp is called.
    virtual void RunLoop(const std::function<bool()>& done) = 0;
    // The time base of timers, in milliseconds (the headless backend may run a virtual clock).
    virtual uint64_t NowMs() = 0;

    // ---- Screen ----
    virtual int GetScreenDpi() = 0;  // logical DPI, 96 = 100 %
    virtual UIRect GetWorkArea() = 0;

    // ---- Native pop-ups and dialogs ----
    // Shows the combo's item list; later calls combo->OnDropDownClosed(index or -1) on the UI thread.
    virtual void ShowComboDropDown(CWindowUI* window, CComboUI* combo) = 0;
    // A focused edit may get a native text-input overlay; default: none.
    virtual void BeginTextInput(CWindowUI* /*window*/, CControlUI* /*edit*/) {}
    virtual void EndTextInput(CWindowUI* /*window*/, CControlUI* /*edit*/) {}
    // The open-file dialog (filter like "Audio (*.mp3 *.wav)"); false when cancelled.
    virtual bool ChooseFiles(CWindowUI* owner, const std::wstring& title, const std::wstring& filter,
                             bool multiple, std::vector<std::wstring>* files) = 0;
    // The folder picker; false when cancelled.
    virtual bool ChooseFolder(CWindowUI* owner, const std::wstring& title, std::wstring* folder) = 0;

    // ---- Native child windows (video surfaces of media hosts) ----
    // Returns a handle (an X11 window id on screen; any non-zero number headless), 0 on failure.
    virtual uintptr_t CreateChildWindow(CWindowUI* parent, const UIRect& rc, bool transparent) = 0;
    virtual bool IsChildWindow(uintptr_t child) = 0;
    virtual void MoveChildWindow(uintptr_t child, const UIRect& rc) = 0;
    virtual void ShowChildWindow(uintptr_t child, bool show) = 0;
    // The colour an opaque child window shows where nothing is drawn into it (black until set).
    virtual void SetChildWindowColor(uintptr_t child, uint32_t argb) {
        (void)child;
        (void)argb;
    }
    virtual void DestroyChildWindow(uintptr_t child) = 0;
    // The top-level window that owns a child window (nullptr when unknown).
    virtual CWindowUI* GetChildWindowParent(uintptr_t child) = 0;
};

// The application: one per process. The thread that calls SetBackend becomes the UI thread.
class CAppUI {
public:
    static void SetBackend(IBackendUI* backend);
    static IBackendUI* GetBackend();
    static bool IsUIThread();

    // Runs `fn` on the UI thread and returns when it has run (at once when called on the UI
    // thread). The caller must not hold UILock().
    static void Invoke(const std::function<void()>& fn);
    // Queues `fn` for the UI thread and returns at once (any thread).
    static void Post(std::function<void()> fn);
    // UI thread: runs the queued tasks and the due timers, lays out and repaints changed windows.
    // Returns the milliseconds until the next timer (-1: none).
    static int64_t ProcessPending();
    // True when tasks are queued.
    static bool HasPendingTasks();
    // Runs the backend's loop until `done()` (UI thread).
    static void RunLoop(const std::function<bool()>& done);
    static uint64_t Now();

    // Timers (UI thread delivery). A timer re-arms itself until killed. `control` may be null for
    // window timers (delivered as UIMSG_TIMER to HandleMessage).
    static void SetTimer(CWindowUI* window, CControlUI* control, uint32_t id, uint32_t elapseMs);
    static void KillTimer(CWindowUI* window, CControlUI* control, uint32_t id);
    static void KillTimers(CWindowUI* window, CControlUI* control);  // control null: all of the window
    static bool HasTimer(CWindowUI* window, CControlUI* control, uint32_t id);
    // Milliseconds until the next timer is due (-1: none).
    static int64_t NextTimerDue();

    // Live windows, in creation order.
    static std::vector<CWindowUI*> GetWindows();
    static bool IsWindowAlive(const CWindowUI* window);
    // The innermost window running a modal loop (nullptr when none).
    static CWindowUI* GetTopModal();

    // An observer that sees every notification before it is delivered (tests, logging).
    static void SetNotifyObserver(std::function<void(const TNotifyUI&)> observer);
    static void ObserveNotify(const TNotifyUI& msg);

    // Library internals.
    static void RegisterWindow(CWindowUI* window);
    static void UnregisterWindow(CWindowUI* window);
    static void PushModal(CWindowUI* window);
    static void PopModal(CWindowUI* window);
    static void MarkDirty(CWindowUI* window);
};
