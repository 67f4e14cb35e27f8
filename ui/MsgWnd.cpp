#include "ui/MsgWnd.h"

#include "platform/Platform.h"
#include "uikit/UIContainer.h"

namespace {
// The product's display name, shown in the exit confirmation.
constexpr wchar_t kProductName[] = L"Tonewright";
}  // namespace

CMsgWnd::CMsgWnd(int mode)
    : m_mode(mode), m_showInFolder(platform::ShowInFileManager), m_openFile(platform::OpenInDesktop) {}

void CMsgWnd::SetDesktopActions(DesktopAction showInFolder, DesktopAction openFile) {
    m_showInFolder = std::move(showInFolder);
    m_openFile = std::move(openFile);
}

const wchar_t* CMsgWnd::PanelName(int mode) {
    switch (mode) {
        case kUnknownFile:
            return L"VerUnKnowFile";
        case kExit:
            return L"VerExit";
        case kOtherMsg:
            return L"VerOtherMsg";
        case kFinishMsg:
            return L"VerFinishMsg";
        default:
            return L"";
    }
}

void CMsgWnd::SetPanelText(CControlUI* panel, const std::wstring& name, const std::wstring& text) {
    // Every panel has its own "titleTips" and "msg_text": look inside the shown panel only.
    if (auto* container = dynamic_cast<CContainerUI*>(panel))
        if (CControlUI* control = container->FindSubControl(name)) control->SetText(text);
}

void CMsgWnd::InitWindow() {
    CControlUI* panel = FindControl(PanelName(m_mode));
    if (panel) {
        panel->SetVisible(true);
        switch (m_mode) {
            case kExit:
                SetPanelText(panel, L"titleTips", std::wstring(L"您确定退出") + kProductName + L"吗？");
                if (CControlUI* title = FindControl(L"title")) title->SetText(kProductName);
                break;
            case kOtherMsg:
                SetPanelText(panel, L"titleTips", m_titleTips);
                SetPanelText(panel, L"msg_text", m_msgText);
                break;
            case kFinishMsg:
                SetPanelText(panel, L"titleTips", m_titleTips);
                break;
            default:
                break;
        }
    }
    m_dpi.ApplyScreenDpi();
}

void CMsgWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != L"click" || !msg.pSender) return;
    const std::wstring name = msg.pSender->GetName();
    if (name == L"btn_ok" || name == L"btn_go" || name == L"btn_go_on") {
        Close(1);
    } else if (name == L"btn_cancel" || name == L"MsgBoxClose" || name == L"closebtn") {
        Close(2);
    } else if (name == L"btn_opendir") {
        Close(1);
        if (!m_targetPath.empty() && m_showInFolder) m_showInFolder(m_targetPath);
    } else if (name == L"btn_openfile") {
        if (!m_targetPath.empty() && m_openFile) m_openFile(m_targetPath);
    }
}

intptr_t CMsgWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    intptr_t result = m_dpi.HandleMessage(msg, wParam, lParam, handled);
    if (handled) return result;
    return CWindowUI::HandleMessage(msg, wParam, lParam, handled);
}

int CMsgWnd::ShowMessage(CWindowUI* owner, int mode, const std::wstring& titleTips,
                         const std::wstring& msgText, const std::wstring& targetPath) {
    CMsgWnd box(mode);
    box.SetTitleTips(titleTips);
    box.SetMsgText(msgText);
    box.SetTargetPath(targetPath);
    if (!box.Create(owner, kCaption, 0, 0, kWidth, kHeight)) return 2;
    box.CenterWindow();
    return box.ShowModal();
}
