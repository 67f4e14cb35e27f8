// The program's rolling log. LogConfig writes the log4cplus properties file and configures the
// library from it; TW_LOG_INFO writes one INFO record with the caller's file, line and signature.
#pragma once

#include <functional>
#include <sstream>
#include <string>

namespace logging {

class LogConfig {
public:
    // With an explicit log path the folder of that path is created and used; otherwise both
    // paths derive from the program's path.
    explicit LogConfig(std::wstring explicitLogPath = L"");

    // Works out both paths, sets the process locale, writes the properties file and configures
    // log4cplus from it. Failures are ignored: logging then writes nothing.
    void Configure();
    // Deletes the properties file and shuts the loggers down; the log itself stays.
    void Shutdown();

    const std::wstring& LogPath() const { return logPath_; }
    const std::wstring& PropertiesPath() const { return propertiesPath_; }

    // Path rules, exposed for tests. `exePath` is the program's full path; `folder` the place
    // beside the program where the files go (with trailing "/"); `fallbackFolder` the folder for
    // paths that are not single-byte text.
    static void DerivePaths(const std::wstring& exePath, const std::wstring& folder,
                            const std::wstring& fallbackFolder, std::wstring* propertiesPath,
                            std::wstring* logPath);
    // The properties file's exact text for a given log path.
    static std::string PropertiesText(const std::wstring& logPath);
    // True when the UTF-8 form of the path has two consecutive bytes with the high bit set.
    static bool NeedsFallback(const std::wstring& path);

private:
    std::wstring explicitLogPath_;
    std::wstring logPath_;
    std::wstring propertiesPath_;
};

// One record as it is handed to the logger: the source file's base name, the line, the full
// signature of the function that wrote it and the message.
struct Record {
    std::string file;
    int line = 0;
    std::string function;
    std::wstring message;
};
// Receives a copy of every INFO record written while it is installed, whether or not a log file
// is configured (tests check where records come from). An empty function removes it.
void SetRecordHook(std::function<void(const Record&)> hook);

// Writes an INFO record to the root logger when INFO is enabled.
void WriteInfo(const char* sourceFile, int line, const char* function, const std::wstring& message);
bool InfoEnabled();
// The part of a compile-time source path after its last "/" or "\".
const char* BaseName(const char* sourceFile);

}  // namespace logging

// One log site, one line: TW_LOG_INFO(L">> IN " << name << L"...\n");
#define TW_LOG_INFO(streamExpr)                                                               \
    do {                                                                                      \
        if (::logging::InfoEnabled()) {                                                       \
            std::wostringstream tw_log_oss_;                                                  \
            tw_log_oss_ << streamExpr;                                                        \
            ::logging::WriteInfo(__FILE__, __LINE__, __PRETTY_FUNCTION__, tw_log_oss_.str()); \
        }                                                                                     \
    } while (0)
