// Skin names and texts that several files of the main window share (the window's member
// definitions are spread over app/MainFrame*.cpp by concern).
#pragma once

#include <cstdint>

namespace mainframe {

// Side-bar options of the tool pages, in page order.
inline constexpr const wchar_t* kSideOptions[8] = {
    L"opt_audiocut",   L"opt_audioformat", L"opt_audiomerge",     L"opt_audioextract",
    L"opt_audiospeed", L"opt_audiovolume", L"opt_audinoiseclear", L"opt_audinaddbgm"};
// Options of the cut methods, in method order.
inline constexpr const wchar_t* kCutMethodOptions[3] = {L"opt_audioManual", L"opt_audioAverage",
                                                        L"opt_audiotimelen"};

// Timer that follows rows still being added (probing runs off the UI thread).
inline constexpr uint32_t kTimerRowsArriving = 10;
inline constexpr uint32_t kRowsArrivingMs = 150;

// The question before the window closes (close button and the window manager's close).
inline constexpr const wchar_t* kExitQuestion = L"确定要退出吗？正在处理的文件将不会完成。";

}  // namespace mainframe
