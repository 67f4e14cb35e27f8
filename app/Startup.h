// The program's start and end around the main window, without Qt: the single-instance rule,
// logging, the main window's creation and modal loop, and the teardown in a fixed order. The
// entry (Main.cpp) adds only what needs the Qt backend (the window icon, showing the window when
// a second start asks for it).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "logging/Log.h"
#include "platform/Platform.h"

class CMainFrameWnd;

class CStartup {
public:
    static constexpr int kWindowWidth = 900;
    static constexpr int kWindowHeight = 590;

    CStartup();
    ~CStartup();
    CStartup(const CStartup&) = delete;
    CStartup& operator=(const CStartup&) = delete;

    // Asks an instance already running for this user to show its window; true when one did (this
    // process then ends with status 0 and touches no log).
    static bool ShowRunningInstance();

    // Becomes the running instance: listens for later starts. `onShowRequest` runs on the
    // listener's thread when one asks. False when another instance took the channel first (it
    // has then been asked to show its window).
    bool Claim(std::function<void()> onShowRequest);

    // Writes the logging configuration and configures the library; returns the log file path.
    std::wstring ConfigureLogging();

    // Creates the main window (no owner, the product title, 900 x 590), lets `decorate` set what
    // the backend offers (the icon), centres it, runs it modally and deletes it. The window is
    // reachable through MainWindow() while the loop runs. Returns 0.
    int RunMainWindow(const std::function<void(CMainFrameWnd&)>& decorate);
    CMainFrameWnd* MainWindow() const { return m_window; }

    // Stops the pool (when the window did not), stops listening, deletes the logging properties
    // file and shuts logging down.
    void Shutdown();

private:
    platform::SingleInstanceListener m_listener;
    std::unique_ptr<logging::LogConfig> m_log;
    std::wstring m_logPath;
    CMainFrameWnd* m_window = nullptr;
};
