// The about box ("about.xml"): logo, product name, version line and the licences of the libraries
// the program uses. Owned by the main window and shown modally; "closebtn" closes it with 1. The
// object deletes itself when its window is gone, so create it with new.
#pragma once

#include <string>

#include "uikit/UIWindow.h"

class CAboutDlg : public CWindowUI {
public:
    static constexpr wchar_t kCaption[] = L"关于我们";
    static constexpr int kWidth = 350, kHeight = 320;

    // Opens the box owned by `owner`, centred, and runs it modally; returns the result.
    static int ShowAbout(CWindowUI* owner);

    // The version line and the licence text the box shows.
    static std::wstring VersionLine();
    static std::wstring LicenceText();

    std::wstring GetWindowClassName() const override { return L"AboutUs"; }
    std::wstring GetSkinFile() override { return L"about.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage() override { delete this; }
};
