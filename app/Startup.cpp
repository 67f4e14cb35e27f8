#include "app/Startup.h"

#include <atomic>
#include <filesystem>

#include "app/MainFrameWnd.h"
#include "engine/WorkThreadPool.h"
#include "uikit/UIlib.h"

CStartup::CStartup() = default;
CStartup::~CStartup() {
    Shutdown();
}

namespace {

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// "file:///a%20b" -> "/a b"; other text unchanged. Only local addresses are decoded.
std::string LocalPathOfArgument(const std::string& arg) {
    static const std::string kScheme = "file://";
    if (arg.rfind(kScheme, 0) != 0) return arg;
    std::string rest = arg.substr(kScheme.size());
    if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/') return arg;
    std::string out;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
            HexValue(rest[i + 2]) >= 0) {
            char decoded = static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
            if (decoded == '\0') return arg;  // a NUL cannot be part of a path
            out += decoded;
            i += 2;
        } else {
            out += rest[i];
        }
    }
    return out;
}

}  // namespace

bool CStartup::ShowRunningInstance(const std::vector<std::wstring>& files) {
    platform::InstanceRequest request{files.empty() ? "show" : "open", files};
    return platform::SendToRunningInstance(kMainWindowClass, request);
}

std::vector<std::wstring> CStartup::FilesFromArguments(int argc, const char* const* argv) {
    std::vector<std::wstring> files;
    for (int i = 1; i < argc && argv && argv[i]; ++i) {
        std::string arg = LocalPathOfArgument(argv[i]);
        if (arg.empty()) continue;
        std::wstring path = platform::FromUtf8(arg);
        if (!platform::PathExists(path)) continue;
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(arg), error);
        if (!error) path = platform::FromUtf8(absolute.lexically_normal().string());
        files.push_back(path);
    }
    return files;
}

bool CStartup::Claim(std::function<void()> onShowRequest, const std::vector<std::wstring>& files) {
    auto handler = [this, onShowRequest](const platform::InstanceRequest& request) {
        if (request.verb == "show" || request.verb == "open") {
            if (onShowRequest) onShowRequest();
            if (request.verb == "open") OpenFilesWhenReady(request.paths);
        } else if (request.verb == "state" && request.paths.size() == 1) {
            std::wstring reply = request.paths[0];
            CAppUI::Post([this, reply] { AnswerStateQuery(reply); });
        }
    };
    if (m_listener.Start(kMainWindowClass, handler)) return true;
    // Two starts at the same moment: the one that lost the race hands over to the winner. When
    // nobody answers (the socket could not be made at all) this one runs on alone.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (ShowRunningInstance(files)) return false;
        platform::SleepMs(50);
    }
    return true;
}

void CStartup::OpenFilesWhenReady(const std::vector<std::wstring>& files) {
    if (files.empty()) return;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pendingFiles.insert(m_pendingFiles.end(), files.begin(), files.end());
    }
    CAppUI::Post([this] { FlushPendingFiles(); });
}

void CStartup::FlushPendingFiles() {
    if (!m_window || !CAppUI::IsWindowAlive(m_window)) return;  // RunMainWindow flushes later
    std::vector<std::wstring> files;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        files.swap(m_pendingFiles);
    }
    m_window->OpenFiles(files);
}

void CStartup::AnswerStateQuery(const std::wstring& replyPath) {
    // Only a new file is written: the query never overwrites anything.
    if (replyPath.empty() || platform::PathExists(replyPath)) return;
    std::string text = "window=0\n";
    if (m_window && CAppUI::IsWindowAlive(m_window)) text = "window=1\n" + m_window->StateText();
    platform::WriteFileBytes(replyPath, text);
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
    CAppUI::Post([this] { FlushPendingFiles(); });
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
