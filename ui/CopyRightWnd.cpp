#include "ui/CopyRightWnd.h"

void CCopyRightWnd::InitWindow() {
    if (m_mode == 1)
        if (CControlUI* tips = FindControl(L"labeltips")) tips->SetText(L"抱歉，暂不支持此格式的文件转换！");
    m_dpi.ApplyScreenDpi();
}

void CCopyRightWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != L"click" || !msg.pSender) return;
    const std::wstring name = msg.pSender->GetName();
    if (name == L"btn_ok")
        Close(1);
    else if (name == L"closebtn")
        Close(2);
}

intptr_t CCopyRightWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    intptr_t result = m_dpi.HandleMessage(msg, wParam, lParam, handled);
    if (handled) return result;
    return CWindowUI::HandleMessage(msg, wParam, lParam, handled);
}

int CCopyRightWnd::ShowNotice(CWindowUI* owner, int mode) {
    CCopyRightWnd notice(mode);
    if (!notice.Create(owner, kCaption, 0, 0, kWidth, kHeight)) return 2;
    notice.CenterWindow();
    return notice.ShowModal();
}
