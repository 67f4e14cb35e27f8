// The Qt 6 backend of the UI library: one Qt surface per window, painted from the control tree
// through CQtRenderUI and driving the window's input entry points; the event loop with the
// library's posted tasks and timers; native pop-ups, the open-file dialog, the folder picker,
// dropped files, native child windows for video and the display scale of the screen.
//
// This header has no Qt types, so the program's entry can create the backend without Qt
// headers. QtSurface.h gives Qt-level access for tests and the entry.
//
// Use on the thread that becomes the UI thread:
//   CQtBackendUI backend;              // creates the QApplication when there is none
//   CAppUI::SetBackend(&backend);
//   backend.InstallCommonHooks();      // CCommon's open-file dialog and folder picker
//   CSkinUI::LoadEmbedded();
//   CMainFrameWnd wnd; wnd.Create(nullptr, title); wnd.CenterWindow(); wnd.ShowModal();
//   CAppUI::SetBackend(nullptr);       // before the backend goes
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIBackend.h"

class CQtBackendUI : public IBackendUI {
public:
    // Creates the QApplication when the process has none (with Qt's own high-DPI scaling off:
    // the library scales by the screen's logical DPI itself). Without any display and without
    // QT_QPA_PLATFORM the offscreen platform is used instead of aborting.
    CQtBackendUI();
    ~CQtBackendUI() override;
    CQtBackendUI(const CQtBackendUI&) = delete;
    CQtBackendUI& operator=(const CQtBackendUI&) = delete;

    // ---- IBackendUI ----
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
    void BeginTextInput(CWindowUI* window, CControlUI* edit) override;
    void EndTextInput(CWindowUI* window, CControlUI* edit) override;
    bool ChooseFiles(CWindowUI* owner, const std::wstring& title, const std::wstring& filter, bool multiple,
                     std::vector<std::wstring>* files) override;
    bool ChooseFolder(CWindowUI* owner, const std::wstring& title, std::wstring* folder) override;
    uintptr_t CreateChildWindow(CWindowUI* parent, const UIRect& rc, bool transparent) override;
    bool IsChildWindow(uintptr_t child) override;
    void MoveChildWindow(uintptr_t child, const UIRect& rc) override;
    void ShowChildWindow(uintptr_t child, bool show) override;
    void SetChildWindowColor(uintptr_t child, uint32_t argb) override;
    void DestroyChildWindow(uintptr_t child) override;
    CWindowUI* GetChildWindowParent(uintptr_t child) override;

    // ---- Services of the Qt backend ----
    // Lets CCommon::OnOpenMediaFiles and CCommon::OnBrowseFolder show this backend's dialogs
    // (owner: the CWindowUI* passed as the owner, or none).
    void InstallCommonHooks();
    // Restores, raises and activates a window (any thread): what a second instance asks for.
    void BringToFront(CWindowUI* window);
    // The window icon from an image of the skin (false when it is missing or not an image).
    bool SetWindowIcon(CWindowUI* window, const std::wstring& skinImage);
    // Renders a window as it is on screen into a PNG file (false for a zero-size window or an
    // unwritable path). UI thread.
    bool SaveWindowImage(CWindowUI* window, const std::wstring& pngPath);
    // Pretends the screen's logical DPI changed to `dpi` (0 = back to the real one): every
    // window gets the display-scale change as if the screen had sent it.
    void SetScreenDpiOverride(int dpi);
    // Runs the library's queued tasks and due timers and repaints changed windows now.
    void Pump();

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};
