// The headless backend: no screen, its own event loop on the thread that runs it, a clock that is
// either real or virtual, and a renderer that records draw calls. CTestDriverUI drives windows
// the way a user would: clicks, typing, keys, sliders, combos, drops, modal answers and time.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "uikit/UIBackend.h"
#include "uikit/UIRender.h"
#include "uikit/UIWindow.h"

// Records every draw call as one line of text ("fill 0,0,10,10 #FF000000", "text ...").
class CRecordingRenderUI : public IRenderUI {
public:
    void FillRect(const UIRect& rc, uint32_t argb) override;
    void DrawRect(const UIRect& rc, int width, uint32_t argb) override;
    void DrawRoundRect(const UIRect& rc, int width, int rx, int ry, uint32_t argb) override;
    void FillRoundRect(const UIRect& rc, int rx, int ry, uint32_t argb) override;
    void DrawLine(UIPoint from, UIPoint to, int width, uint32_t argb) override;
    bool DrawImage(const std::shared_ptr<TImageDataUI>& image, const UIRect& dest, const UIRect& source,
                   const UIRect& corner, uint8_t fade, bool hole, bool xtiled, bool ytiled,
                   int frame) override;
    void DrawText(const std::wstring& text, const UIRect& rc, const TFontUI& font, uint32_t argb,
                  uint32_t style, int scalePercent) override;
    UISize MeasureText(const std::wstring& text, const TFontUI& font, int scalePercent) override;
    void PushClip(const UIRect& rc) override;
    void PopClip() override;

    const std::vector<std::wstring>& Calls() const { return m_calls; }
    void Clear() { m_calls.clear(); }

private:
    std::vector<std::wstring> m_calls;
    std::vector<UIRect> m_clips;
};

class CHeadlessBackendUI : public IBackendUI {
public:
    // `virtualClock`: time moves only by AdvanceTime, or, when the loop has nothing else to do
    // and `autoAdvance` is on, jumps to the next timer. Otherwise the real monotonic clock.
    explicit CHeadlessBackendUI(bool virtualClock = true);
    ~CHeadlessBackendUI() override;

    void CreateNativeWindow(CWindowUI* window) override;
    void DestroyNativeWindow(CWindowUI* window) override;
    void ShowNativeWindow(CWindowUI* window, bool show, bool activate) override;
    void MoveNativeWindow(CWindowUI* window, const UIRect& screenRect) override;
    void SetNativeTitle(CWindowUI* window, const std::wstring& title) override;
    void SysCommand(CWindowUI* window, uintptr_t command) override;
    void RequestRepaint(CWindowUI* window) override;
    void WakeUp() override;
    void RunLoop(const std::function<bool()>& done) override;
    uint64_t NowMs() override;
    int GetScreenDpi() override;
    UIRect GetWorkArea() override;
    void ShowComboDropDown(CWindowUI* window, CComboUI* combo) override;
    bool ChooseFiles(CWindowUI* owner, const std::wstring& title, const std::wstring& filter, bool multiple,
                     std::vector<std::wstring>* files) override;
    bool ChooseFolder(CWindowUI* owner, const std::wstring& title, std::wstring* folder) override;
    uintptr_t CreateChildWindow(CWindowUI* parent, const UIRect& rc, bool transparent) override;
    bool IsChildWindow(uintptr_t child) override;
    void MoveChildWindow(uintptr_t child, const UIRect& rc) override;
    void ShowChildWindow(uintptr_t child, bool show) override;
    void DestroyChildWindow(uintptr_t child) override;
    CWindowUI* GetChildWindowParent(uintptr_t child) override;

    // ---- Test controls ----
    void SetScreenDpi(int dpi);
    void SetWorkArea(const UIRect& rc);
    bool IsVirtualClock() const { return m_virtualClock; }
    void SetAutoAdvance(bool on);
    // Moves the virtual clock forward, firing due timers in order as it goes.
    void AdvanceTime(uint64_t ms);
    // The next answers of the file dialog / folder picker (an empty list = cancel).
    void QueueFileChoice(std::vector<std::wstring> files);
    void QueueFolderChoice(std::wstring folder);
    // Called when a modal loop on the UI thread has nothing left to do; returns true when it did
    // something (answered the modal window).
    void SetIdleHook(std::function<bool()> hook);
    // Runs queued tasks and due timers until nothing is left (UI thread).
    void Pump();
    // Waits (real time) until a task is posted or `ms` passed (-1: no limit); true when woken.
    bool WaitForWake(int ms);
    // Closes the open combo drop-down as if the user picked `index` (-1: dismissed).
    bool CloseDropDown(int index);
    // Native state as the backend sees it.
    bool IsShown(const CWindowUI* window) const;
    UIRect GetNativeRect(const CWindowUI* window) const;
    std::wstring GetNativeTitle(const CWindowUI* window) const;
    int RepaintRequests(const CWindowUI* window) const;
    CComboUI* GetOpenDropDown() const;
    UIRect GetChildRect(uintptr_t child) const;
    bool IsChildShown(uintptr_t child) const;
    // Paints a window into a recording renderer and returns the calls.
    std::vector<std::wstring> PaintWindow(CWindowUI* window);

private:
    struct NativeWindow {
        bool shown = false;
        UIRect rect;
        std::wstring title;
        int repaints = 0;
    };
    struct ChildWindow {
        CWindowUI* parent = nullptr;
        UIRect rect;
        bool shown = true;
    };
    bool m_virtualClock;
    bool m_autoAdvance = true;
    uint64_t m_virtualNow = 0;
    int m_dpi = 96;
    UIRect m_workArea{0, 0, 1920, 1040};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    std::map<const CWindowUI*, NativeWindow> m_windows;
    std::map<uintptr_t, ChildWindow> m_children;
    uintptr_t m_nextChild = 0x1000;
    CComboUI* m_openDropDown = nullptr;
    std::deque<std::vector<std::wstring>> m_fileChoices;
    std::deque<std::wstring> m_folderChoices;
    std::function<bool()> m_idleHook;
};

// Drives windows like a user. Every action runs on the UI thread (the caller's thread must be
// the UI thread), goes through the window's input entry points and pumps the loop afterwards.
// Actions return false when the control is missing, hidden or disabled.
class CTestDriverUI {
public:
    explicit CTestDriverUI(CHeadlessBackendUI& backend);
    ~CTestDriverUI();

    // Runs everything queued and due now.
    void Pump();
    // Pumps until `pred()` holds, waiting for other threads' posts (real time, at most timeoutMs).
    bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
    void AdvanceTime(uint64_t ms);

    bool Click(CWindowUI* window, const std::wstring& name);
    bool DoubleClick(CWindowUI* window, const std::wstring& name);
    bool ClickAt(CWindowUI* window, UIPoint pt);
    bool MouseMove(CWindowUI* window, UIPoint pt, bool leftDown = false);
    bool MouseDown(CWindowUI* window, UIPoint pt);
    bool MouseUp(CWindowUI* window, UIPoint pt);
    bool Wheel(CWindowUI* window, const std::wstring& name, int notches);
    bool SelectOption(CWindowUI* window, const std::wstring& name);  // a click on an unselected option
    bool SelectTab(CWindowUI* window, const std::wstring& tabName, int index);
    // Focuses the edit (by a click), selects all its text when `replace`, and types each character.
    bool Type(CWindowUI* window, const std::wstring& editName, const std::wstring& text, bool replace = true);
    bool PressKey(CWindowUI* window, uint32_t key);
    // Drags the slider's thumb to a value: "movevaluechanged" while moving, "valuechanged" on release.
    bool MoveSlider(CWindowUI* window, const std::wstring& name, int value);
    // Opens the combo and picks item `index`.
    bool PickComboItem(CWindowUI* window, const std::wstring& name, int index);
    bool Drop(CWindowUI* window, const std::vector<std::wstring>& paths);
    // Clicks the list's element number `index`.
    bool ClickListItem(CWindowUI* window, const std::wstring& listName, int index);

    // The next modal loop that goes idle is answered by clicking `buttonName` in its window (or
    // by `answer`, which gets the modal window).
    void AnswerNextModal(const std::wstring& buttonName);
    void AnswerNextModal(std::function<void(CWindowUI*)> answer);
    int PendingAnswers() const;

    // Notifications seen by any window while this driver lives: "type:name" in order.
    const std::vector<std::wstring>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }
    void Record(const TNotifyUI& msg);

private:
    bool ControlCenter(CWindowUI* window, const std::wstring& name, CControlUI** control, UIPoint* pt);
    CHeadlessBackendUI& m_backend;
    std::deque<std::function<void(CWindowUI*)>> m_answers;
    std::vector<std::wstring> m_log;
};

// The driver that currently records notifications (set by CTestDriverUI), or nullptr.
CTestDriverUI* UICurrentTestDriver();
