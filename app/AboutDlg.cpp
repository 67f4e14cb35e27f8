#include "app/AboutDlg.h"

#if __has_include("app/Version.h")
#include "app/Version.h"
#define TW_ABOUT_HAS_VERSION_TEXT 1
#else
#include "platform/Platform.h"
#endif

std::wstring CAboutDlg::VersionLine() {
#ifdef TW_ABOUT_HAS_VERSION_TEXT
    return L"版本 " + TwVersionText();
#else
    return L"版本 " + platform::FromUtf8(TW_VERSION);
#endif
}

std::wstring CAboutDlg::LicenceText() {
    return L"本软件使用了以下开源组件：\n"
           L"FFmpeg（ffmpeg、ffprobe）— LGPL 2.1+ / GPL 2+\n"
           L"FAAD2 — GNU GPL 2+\n"
           L"MediaInfo（libmediainfo）— BSD 2-Clause\n"
           L"libvlc — GNU LGPL 2.1+\n"
           L"log4cplus — Apache 2.0 / BSD 2-Clause\n"
           L"KISS FFT — BSD 3-Clause\n"
           L"libsndfile — GNU LGPL 2.1+\n"
           L"libzip — BSD 3-Clause\n"
           L"pugixml — MIT\n"
           L"Qt 6 — GNU LGPL 3";
}

void CAboutDlg::InitWindow() {
    if (CControlUI* version = FindControl(L"version")) version->SetText(VersionLine());
    if (CControlUI* licences = FindControl(L"licences")) licences->SetText(LicenceText());
}

void CAboutDlg::Notify(TNotifyUI& msg) {
    if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"closebtn") Close(1);
}

int CAboutDlg::ShowAbout(CWindowUI* owner) {
    auto* dlg = new CAboutDlg;
    if (!dlg->Create(owner, kCaption, 0, 0, kWidth, kHeight)) {
        delete dlg;
        return 2;
    }
    dlg->CenterWindow();
    return dlg->ShowModal();  // the box has deleted itself when this returns
}
