// The program's start and end around the main window, without Qt: the single-instance rule,
// logging, the main window's creation and modal loop, and the teardown in a fixed order. The
// entry (Main.cpp) adds only what needs the Qt backend (the window icon, showing the window when
// a second start asks for it).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

    // Asks an instance already running for this user to show its window and, when `files` are
    // given, to add them (verb "open"); true when one did (this process then ends with status 0
    // and touches no log).
    static bool ShowRunningInstance(const std::vector<std::wstring>& files = {});

    // The files among the program's arguments: each argument that names an existing file or
    // folder ("file://" addresses decoded), made absolute against the current folder; anything
    // else (toolkit options) is passed over.
    static std::vector<std::wstring> FilesFromArguments(int argc, const char* const* argv);

    // Becomes the running instance: listens for later starts. `onShowRequest` runs on the
    // listener's thread when one asks; files a later start hands over are added to the main
    // window (OpenFiles) on the UI thread. The verb "state" with one path writes the window's
    // StateText into that path when no file is there yet (a check for scripts and tests). False
    // when another instance took the channel first (it has then been given `files`).
    bool Claim(std::function<void()> onShowRequest, const std::vector<std::wstring>& files = {});

    // Files to add once the main window runs (the program's own command line).
    void OpenFilesWhenReady(const std::vector<std::wstring>& files);

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
    // Hands files waiting for the window to it (UI thread); they wait while there is none.
    void FlushPendingFiles();
    void AnswerStateQuery(const std::wstring& replyPath);

    platform::SingleInstanceListener m_listener;
    std::mutex m_pendingMutex;
    std::vector<std::wstring> m_pendingFiles;
    std::unique_ptr<logging::LogConfig> m_log;
    std::wstring m_logPath;
    CMainFrameWnd* m_window = nullptr;
};
