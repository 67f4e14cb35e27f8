// The program's message box ("message.xml"). The mode chosen at construction shows one panel:
//   1 unsupported file ("btn_ok"), 3 exit confirmation ("btn_ok", "btn_cancel"), 5 free message
//   with the caller's title and text ("btn_ok", "btn_cancel"), 6 finished notice with the caller's
//   title and the buttons "btn_opendir" (show the target in the file manager, then close) and
//   "btn_openfile" (open the target; the box stays open).
// Results: 1 for "btn_ok", "btn_go", "btn_go_on", "btn_opendir"; 2 for "btn_cancel",
// "MsgBoxClose", "closebtn" and the title bar's close.
#pragma once

#include <functional>
#include <string>

#include "ui/DialogDpi.h"
#include "uikit/UIWindow.h"

class CMsgWnd : public CWindowUI {
public:
    enum Mode { kUnknownFile = 1, kExit = 3, kOtherMsg = 5, kFinishMsg = 6 };
    // The caption and size the box is created with.
    static constexpr wchar_t kCaption[] = L"消息对话框";
    static constexpr int kWidth = 360, kHeight = 180;

    explicit CMsgWnd(int mode);

    void SetTitleTips(const std::wstring& text) { m_titleTips = text; }
    void SetMsgText(const std::wstring& text) { m_msgText = text; }
    void SetTargetPath(const std::wstring& path) { m_targetPath = path; }
    int GetMode() const { return m_mode; }

    // What the finished-notice buttons do with the target path. By default the file manager shows
    // the file selected, and the desktop opens the file; tests put recorders here.
    using DesktopAction = std::function<bool(const std::wstring&)>;
    void SetDesktopActions(DesktopAction showInFolder, DesktopAction openFile);

    // Creates the box owned by `owner` (may be null), centred, and runs it modally; returns the result.
    static int ShowMessage(CWindowUI* owner, int mode, const std::wstring& titleTips = L"",
                           const std::wstring& msgText = L"", const std::wstring& targetPath = L"");

    std::wstring GetWindowClassName() const override { return L"MsgWnd"; }
    std::wstring GetSkinFile() override { return L"message.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;

private:
    // The panel of a mode ("VerUnKnowFile", ...), empty for an unknown mode.
    static const wchar_t* PanelName(int mode);
    void SetPanelText(CControlUI* panel, const std::wstring& name, const std::wstring& text);

    int m_mode;
    std::wstring m_titleTips, m_msgText, m_targetPath;
    DesktopAction m_showInFolder, m_openFile;
    CDialogDpi m_dpi{this};
};
