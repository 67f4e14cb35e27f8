// The window base class: a native top-level window of the backend holding one control tree
// built from a layout of the skin. It routes input to controls (hit test, hot/pushed/focus
// state), delivers notifications to Notify, runs posted messages and timers through
// HandleMessage and runs modal loops. Create, ShowModal and Close may be called from any thread;
// they are carried out on the UI thread and the caller waits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIBuilder.h"
#include "uikit/UIControl.h"
#include "uikit/UIDefs.h"

class IRenderUI;

// The display scale of a window: DPI 96 = 100 %. Logical lengths of layouts are multiplied by
// the scale; device values are divided back.
class CDisplayScaleUI {
public:
    int GetDPI() const;
    void SetDPI(int dpi);
    int GetScale() const;  // percent
    void SetScale(int percent);
    int Scale(int logical) const;
    int ScaleBack(int device) const;
    UIRect Scale(const UIRect& rc) const;
    UIRect ScaleBack(const UIRect& rc) const;
    UISize Scale(UISize sz) const;

private:
    int m_dpi = 96;
};

class CWindowUI : public INotifyUI, public IBuilderCallbackUI {
public:
    CWindowUI();
    ~CWindowUI() override;
    CWindowUI(const CWindowUI&) = delete;
    CWindowUI& operator=(const CWindowUI&) = delete;

    // ---- What a window class provides ----
    virtual std::wstring GetWindowClassName() const;
    // The layout file in the skin ("main.xml"); empty for windows whose tree is set directly.
    virtual std::wstring GetSkinFile();
    // After the tree is built and attached (before "windowinit").
    virtual void InitWindow() {}
    void Notify(TNotifyUI& msg) override;
    // Every message first comes here; set handled to stop the library's own handling.
    virtual intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled);
    // After the native window is gone (a window may delete itself here).
    virtual void OnFinalMessage() {}
    // Custom tags of the layout (IBuilderCallbackUI).
    CControlUI* CreateControl(const std::wstring& tag) override;

    // ---- Life ----
    // Builds the layout, creates the native window (hidden) with the given client size (logical;
    // 0 = the layout's "size"), runs InitWindow and sends "windowinit". Any thread.
    bool Create(CWindowUI* owner, const std::wstring& title, int x = 0, int y = 0, int cx = 0, int cy = 0);
    // Uses a control tree instead of the skin file (the window owns it). Call before Create.
    void SetRoot(CControlUI* root);
    bool IsCreated() const;
    void ShowWindow(bool show = true, bool activate = true);
    bool IsWindowVisible() const;
    void CenterWindow();  // on the owner, else on the work area
    // Ends the window with a result: a modal loop returns it. Any thread; the destruction runs on
    // the UI thread after the current dispatch.
    void Close(int result = 0);
    // Shows the window and runs a modal loop until Close; returns the result. From a thread other
    // than the UI thread the loop runs on the UI thread and this thread waits.
    int ShowModal();
    bool IsModal() const;
    bool IsClosing() const;
    int GetResult() const;
    CWindowUI* GetOwner() const;
    std::wstring GetTitle() const;
    void SetTitle(const std::wstring& title);

    // ---- Messages and timers ----
    // Queues a message for HandleMessage on the UI thread (any thread). A message for a window
    // that is gone by then is dropped.
    void PostMessage(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    // As PostMessage, with a text that stays alive during the handling: wParam points to it.
    void PostMessageWithText(uint32_t msg, const std::wstring& text, intptr_t lParam = 0);
    // Calls HandleMessage on the UI thread and returns its result (waits when called elsewhere).
    intptr_t SendMessage(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    bool SetTimer(uint32_t id, uint32_t elapseMs);
    void KillTimer(uint32_t id);

    // ---- Tree ----
    CControlUI* GetRoot() const;
    CControlUI* FindControl(const std::wstring& name) const;
    CControlUI* FindControl(UIPoint clientPt) const;  // hit test (device pixels)
    template <class T>
    T* FindControlAs(const std::wstring& name) const {
        return dynamic_cast<T*>(FindControl(name));
    }
    CControlUI* GetFocus() const;
    void SetFocus(CControlUI* control);  // nullptr clears it
    CControlUI* GetHot() const;
    CControlUI* GetPushed() const;
    // Options of one group in this window.
    std::vector<CControlUI*> GetOptionGroup(const std::wstring& group) const;

    // ---- Geometry and scale ----
    CDisplayScaleUI& GetDPI();
    const CDisplayScaleUI& GetDPI() const;
    // Applies a new DPI: scales the window size and lays out again.
    void ApplyDPI(int dpi);
    UISize GetInitSize() const;  // logical client size from the layout ("size")
    void SetInitSize(UISize sz);
    UIRect GetCaptionRect() const;  // logical ("caption")
    void SetCaptionRect(const UIRect& rc);
    UISize GetMinSize() const;
    void SetMinSize(UISize sz);
    // Client size in device pixels.
    UISize GetClientSize() const;
    // Screen rectangle of the window (device pixels).
    UIRect GetWindowRect() const;
    void MoveWindow(const UIRect& screenRect);  // also resizes the client area
    // Resizes the client area (device pixels).
    void ResizeClient(int cx, int cy);
    UIPoint ClientToScreen(UIPoint pt) const;
    UIPoint ScreenToClient(UIPoint pt) const;

    // ---- Fonts and window attributes of the layout ----
    int AddFont(const TFontUI& font, bool isDefault);
    TFontUI GetFont(int index) const;  // -1 or unknown: the default font
    TFontUI GetDefaultFont() const;
    void SetWindowAttribute(const std::wstring& name, const std::wstring& value);
    uint32_t GetDefaultTextColor() const;

    // ---- Layout, painting, change signal ----
    void NeedUpdate();    // relayout before the next paint or hit test
    void Invalidate();    // repaint; tells the backend (any thread, coalesced)
    void UpdateLayout();  // lays out now when needed (any thread)
    bool IsLayoutNeeded() const;
    // Paints the whole tree through a renderer (UI thread; the backend calls it).
    void Paint(IRenderUI& render);
    // The backend acknowledges a repaint request (true when one was pending).
    bool TakeRepaintRequest();

    // ---- Input entry points (UI thread; called by the backend and the test driver) ----
    void InputMouseMove(UIPoint pt, uintptr_t keyState = 0);
    void InputMouseDown(UIPoint pt, bool right = false, uintptr_t keyState = 0);
    void InputMouseUp(UIPoint pt, bool right = false, uintptr_t keyState = 0);
    void InputDoubleClick(UIPoint pt);
    void InputMouseWheel(UIPoint pt, int delta);  // +120 per notch up
    void InputMouseLeave();
    void InputKeyDown(uint32_t key);
    void InputChar(wchar_t ch);
    void InputFocus(bool focused);  // the native window gained or lost the focus
    void InputDropFiles(const std::vector<std::wstring>& paths, UIPoint pt = {});
    void InputResize(int cx, int cy);  // new client size (device pixels)
    void InputMoved(UIPoint screenTopLeft);
    void InputDpiChanged(int dpi, const UIRect& suggested);
    void InputCloseRequest();  // the title bar's close button

    // True while a modal window other than this one (or one of its owners) runs: the user's
    // clicks, keys and drops on this window are then ignored, as on a disabled window.
    bool IsInputBlocked() const;

    // ---- Native handles ----
    void SetNativeHandle(uintptr_t handle);
    uintptr_t GetNativeHandle() const;

    // Library internals.
    void DispatchNotify(TNotifyUI& msg);
    void SendNotifyFrom(CControlUI* control, const std::wstring& type, uintptr_t wParam, intptr_t lParam,
                        bool async);
    void ControlRemoved(CControlUI* control);  // clears hot/pushed/focus pointing into it
    void DeferDelete(CControlUI* control);
    void FlushDeferredDeletes();
    void DeliverTimer(CControlUI* control, uint32_t id);
    intptr_t DispatchMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);

protected:
    // The library's default handling of a message (close, system commands, DPI change).
    virtual intptr_t DefaultHandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);

private:
    bool CreateOnUIThread(CWindowUI* owner, const std::wstring& title, int x, int y, int cx, int cy);
    int RunModalOnUIThread();
    void DestroyOnUIThread();
    void SetHot(CControlUI* control, UIPoint pt);
    bool DispatchEvent(CControlUI* control, TEventUI& event);

    struct Impl;
    std::unique_ptr<Impl> m;
};
