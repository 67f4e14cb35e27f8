// The rights notice ("copyright.xml"): a file format that may not be converted. Mode 0 names the
// rights as the reason; mode 1 says only that the format is not supported. Result 1 for "btn_ok",
// 2 for "closebtn" and the title bar's close.
#pragma once

#include <string>

#include "ui/DialogDpi.h"
#include "uikit/UIWindow.h"

class CCopyRightWnd : public CWindowUI {
public:
    static constexpr wchar_t kCaption[] = L"版权对话框";
    static constexpr int kWidth = 480, kHeight = 200;

    explicit CCopyRightWnd(int mode = 0) : m_mode(mode) {}

    // Creates the notice owned by `owner`, centred, and runs it modally; returns the result.
    static int ShowNotice(CWindowUI* owner, int mode);

    std::wstring GetWindowClassName() const override { return L"CopyRightWnd"; }
    std::wstring GetSkinFile() override { return L"copyright.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;

private:
    int m_mode;
    CDialogDpi m_dpi{this};
};
