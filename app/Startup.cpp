#include "app/Startup.h"

#include <atomic>

#include "app/MainFrameWnd.h"
#include "engine/WorkThreadPool.h"
#include "uikit/UIlib.h"

CStartup::CStartup() = default;
CStartup::~CStartup() {
    Shutdown();
}

bool CStartup::ShowRunningInstance() {
    return platform::SendToRunningInstance(kMainWindowClass, platform::InstanceRequest{"show", {}});
}

bool CStartup::Claim(std::function<void()> onShowRequest) {
    auto handler = [onShowRequest](const platform::InstanceRequest& request) {
        if (request.verb == "show" && onShowRequest) onShowRequest();
    };
    if (m_listener.Start(kMainWindowClass, handler)) return true;
    // Two starts at the same moment: the one that lost the race hands over to the winner. When
    // nobody answers (the socket could not be made at all) this one runs on alone.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (ShowRunningInstance()) return false;
        platform::SleepMs(50);
    }
    return true;
}

std::wstring CStartup::ConfigureLogging() {
    m_log = std::make_unique<logging::LogConfig>();
    m_log->Configure();
    m_logPath = m_log->LogPath();
    return m_logPath;
}

int CStartup::RunMainWindow(const std::function<void(CMainFrameWnd&)>& decorate) {
    auto* wnd = new CMainFrameWnd(m_logPath);
    if (!wnd->Create(nullptr, kMainWindowTitle, 0, 0, kWindowWidth, kWindowHeight)) {
        delete wnd;
        return 0;
    }
    m_window = wnd;
    if (decorate) decorate(*wnd);
    wnd->CenterWindow();
    wnd->ShowModal();
    m_window = nullptr;
    delete wnd;
    return 0;
}

void CStartup::Shutdown() {
    CSingletonWorkThreadPool::Instance().Stop();
    CSingletonMergeWorkThreadPool::Instance().Stop();
    m_listener.Stop();
    if (m_log) {
        m_log->Shutdown();
        m_log.reset();
    }
}
