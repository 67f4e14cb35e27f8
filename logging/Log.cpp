#include "logging/Log.h"

#include <log4cplus/configurator.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <atomic>
#include <clocale>
#include <locale>
#include <memory>
#include <mutex>

#include "platform/Platform.h"

namespace logging {
namespace {

std::mutex g_initMutex;
std::unique_ptr<log4cplus::Initializer> g_initializer;
std::atomic<bool> g_ready{false};
std::mutex g_hookMutex;
std::function<void(const Record&)> g_hook;
std::atomic<bool> g_hooked{false};

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// File name without its last extension (a "." in a folder name does not count).
std::wstring StemOfName(const std::wstring& path) {
    std::wstring name = path.substr(FolderOf(path).size());
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

}  // namespace

LogConfig::LogConfig(std::wstring explicitLogPath) : explicitLogPath_(std::move(explicitLogPath)) {}

bool LogConfig::NeedsFallback(const std::wstring& path) {
    std::string bytes = platform::ToUtf8(path);
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if ((static_cast<unsigned char>(bytes[i]) & 0x80) &&
            (static_cast<unsigned char>(bytes[i + 1]) & 0x80))
            return true;
    }
    return false;
}

void LogConfig::DerivePaths(const std::wstring& exePath, const std::wstring& folder,
                            const std::wstring& fallbackFolder, std::wstring* propertiesPath,
                            std::wstring* logPath) {
    // Stem: the file name up to and including its last "."; a name without one (as programs
    // are named here) gets the "." added, so the files still read "<name>.log".
    std::wstring name = exePath.substr(FolderOf(exePath).size());
    size_t dot = name.rfind(L'.');
    std::wstring stem = folder + (dot == std::wstring::npos ? name + L"." : name.substr(0, dot + 1));
    std::wstring props = stem + L"properties";
    std::wstring log = stem + L"log";
    if (NeedsFallback(props)) props = fallbackFolder + StemOfName(props) + L".properties";
    if (NeedsFallback(log)) log = fallbackFolder + StemOfName(log) + L".log";
    if (propertiesPath) *propertiesPath = props;
    if (logPath) *logPath = log;
}

std::string LogConfig::PropertiesText(const std::wstring& logPath) {
    std::string text;
    text += "log4cplus.rootLogger=DEBUG,ALL_MSGS\n\n";
    text += "log4cplus.appender.ALL_MSGS=log4cplus::RollingFileAppender\n";
    text += "log4cplus.appender.ALL_MSGS.Schedule=DAILY\n";
    text += "log4cplus.appender.ALL_MSGS.MaxFileSize=1MB\n";
    text += "log4cplus.appender.ALL_MSGS.MaxBackupIndex=10\n";
    text += "log4cplus.appender.ALL_MSGS.CreateDirs=true\n";
    text += "log4cplus.appender.ALL_MSGS.Locale=C.UTF-8\n";
    text += "log4cplus.appender.ALL_MSGS.File=" + platform::ToUtf8(logPath) + "\n";
    text += "log4cplus.appender.ALL_MSGS.layout=log4cplus::PatternLayout\n";
    text +=
        "log4cplus.appender.ALL_MSGS.layout.ConversionPattern=%D:%d{%Y-%m-%d %H:%M:%S,%q} [%-4t] %-5p "
        "%-6c{2} - "
        "%m {%-4l}%n\n";
    return text;
}

void LogConfig::Configure() {
    const std::wstring fallback = platform::UserStateFolder() + L"log/";
    if (!explicitLogPath_.empty()) {
        logPath_ = explicitLogPath_;
        if (NeedsFallback(logPath_)) logPath_ = fallback + StemOfName(logPath_) + L".log";
        platform::CreateFolders(FolderOf(logPath_));
        std::wstring ignoredLog;
        DerivePaths(platform::ExePath(), platform::BesideProgramOr(platform::UserStateFolder()), fallback,
                    &propertiesPath_, &ignoredLog);
    } else {
        DerivePaths(platform::ExePath(), platform::BesideProgramOr(platform::UserStateFolder()), fallback,
                    &propertiesPath_, &logPath_);
    }
    if (NeedsFallback(propertiesPath_) || propertiesPath_.rfind(fallback, 0) == 0 ||
        logPath_.rfind(fallback, 0) == 0)
        platform::CreateFolders(fallback, 0700);

    try {
        std::locale::global(std::locale("C.UTF-8"));
    } catch (...) {
        // An unknown locale leaves the current one in place.
    }
    if (!platform::WriteFileBytes(propertiesPath_, PropertiesText(logPath_))) return;

    std::lock_guard<std::mutex> lock(g_initMutex);
    if (!g_initializer) g_initializer = std::make_unique<log4cplus::Initializer>();
    try {
        log4cplus::PropertyConfigurator::doConfigure(platform::ToUtf8(propertiesPath_),
                                                     log4cplus::Logger::getDefaultHierarchy(), 0);
        g_ready = true;
    } catch (...) {
        // Configuration failures leave logging silent.
    }
}

void LogConfig::Shutdown() {
    if (!propertiesPath_.empty()) platform::DeleteFilePath(propertiesPath_);
    std::lock_guard<std::mutex> lock(g_initMutex);
    if (g_initializer) {
        g_ready = false;
        log4cplus::Logger::shutdown();
        g_initializer.reset();
    }
}

const char* BaseName(const char* sourceFile) {
    const char* base = sourceFile;
    for (const char* p = sourceFile; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

void SetRecordHook(std::function<void(const Record&)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
    g_hooked = static_cast<bool>(g_hook);
}

bool InfoEnabled() {
    if (g_hooked) return true;
    if (!g_ready) return false;
    return log4cplus::Logger::getRoot().isEnabledFor(log4cplus::INFO_LOG_LEVEL);
}

void WriteInfo(const char* sourceFile, int line, const char* function, const std::wstring& message) {
    if (g_hooked) {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        if (g_hook) g_hook(Record{BaseName(sourceFile), line, function ? function : "", message});
    }
    if (!g_ready) return;
    log4cplus::Logger root = log4cplus::Logger::getRoot();
    if (!root.isEnabledFor(log4cplus::INFO_LOG_LEVEL)) return;
    log4cplus::tostringstream& oss = log4cplus::detail::get_macro_body_oss();
    oss << platform::ToUtf8(message);
    log4cplus::detail::macro_forced_log(root, log4cplus::INFO_LOG_LEVEL, oss.str(), BaseName(sourceFile),
                                        line, function);
}

}  // namespace logging
