#include <gtest/gtest.h>

#include <thread>

#include "logging/Log.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using logging::LogConfig;

namespace {
struct Paths {
    std::wstring properties, log;
};
Paths Derive(const std::wstring& exe, const std::wstring& folder) {
    Paths p;
    LogConfig::DerivePaths(exe, folder, L"/state/log/", &p.properties, &p.log);
    return p;
}
}  // namespace

TEST(LogPaths, StemComesFromTheFileName) {
    Paths p = Derive(L"/opt/tw/Soniverter.bin", L"/opt/tw/");
    EXPECT_EQ(p.properties, L"/opt/tw/Soniverter.properties");
    EXPECT_EQ(p.log, L"/opt/tw/Soniverter.log");
    // No "." in the name: the whole name and a "." make the stem.
    p = Derive(L"/opt/tw/Soniverter", L"/opt/tw/");
    EXPECT_EQ(p.properties, L"/opt/tw/Soniverter.properties");
    EXPECT_EQ(p.log, L"/opt/tw/Soniverter.log");
    // A dotted folder must not cut the stem.
    p = Derive(L"/home/u/.local/bin/Soniverter", L"/home/u/.local/bin/");
    EXPECT_EQ(p.log, L"/home/u/.local/bin/Soniverter.log");
    // The files go to the folder chosen for them, named after the program.
    p = Derive(L"/usr/bin/Soniverter.x", L"/home/u/.local/state/tonewright/");
    EXPECT_EQ(p.log, L"/home/u/.local/state/tonewright/Soniverter.log");
}

TEST(LogPaths, MultiByteFoldersUseTheFallbackFolder) {
    EXPECT_TRUE(LogConfig::NeedsFallback(L"/opt/音频/a"));
    EXPECT_FALSE(LogConfig::NeedsFallback(L"/opt/plain folder/a"));
    Paths p = Derive(L"/opt/音频/Soniverter.bin", L"/opt/音频/");
    EXPECT_EQ(p.properties, L"/state/log/Soniverter.properties");
    EXPECT_EQ(p.log, L"/state/log/Soniverter.log");
    p = Derive(L"/opt/音频/Soniverter", L"/opt/音频/");
    EXPECT_EQ(p.log, L"/state/log/Soniverter.log");
}

TEST(LogPaths, PropertiesFileContent) {
    const std::string expected =
        "log4cplus.rootLogger=DEBUG,ALL_MSGS\n"
        "\n"
        "log4cplus.appender.ALL_MSGS=log4cplus::RollingFileAppender\n"
        "log4cplus.appender.ALL_MSGS.Schedule=DAILY\n"
        "log4cplus.appender.ALL_MSGS.MaxFileSize=1MB\n"
        "log4cplus.appender.ALL_MSGS.MaxBackupIndex=10\n"
        "log4cplus.appender.ALL_MSGS.CreateDirs=true\n"
        "log4cplus.appender.ALL_MSGS.Locale=C.UTF-8\n"
        "log4cplus.appender.ALL_MSGS.File=/var/x/Soniverter.log\n"
        "log4cplus.appender.ALL_MSGS.layout=log4cplus::PatternLayout\n"
        "log4cplus.appender.ALL_MSGS.layout.ConversionPattern=%D:%d{%Y-%m-%d %H:%M:%S,%q} [%-4t] %-5p "
        "%-6c{2} - %m "
        "{%-4l}%n\n";
    EXPECT_EQ(LogConfig::PropertiesText(L"/var/x/Soniverter.log"), expected);
    EXPECT_STREQ(logging::BaseName("/src/engine/AudioProcess.cpp"), "AudioProcess.cpp");
    EXPECT_STREQ(logging::BaseName("C:\\src\\Common.cpp"), "Common.cpp");
}

TEST(LogRun, RecordsFromManyThreadsThenShutdownKeepsOnlyTheLog) {
    testsupport::TempDir dir;
    std::wstring logPath = dir.WFile(L"sub folder/run.log");
    LogConfig config(logPath);
    EXPECT_FALSE(logging::InfoEnabled());
    TW_LOG_INFO(L"before configure");  // silently dropped
    config.Configure();
    EXPECT_EQ(config.LogPath(), logPath);
    ASSERT_TRUE(platform::IsRegularFile(config.PropertiesPath()));
    ASSERT_TRUE(logging::InfoEnabled());

    constexpr int kThreads = 6, kRecords = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i) TW_LOG_INFO(L">> CmdLine : 音频 " << t << L"/" << i);
        });
    }
    for (auto& th : threads) th.join();
    TW_LOG_INFO(L">> IN " << L"OnAsyncCutAudio" << L"...\n");
    config.Shutdown();

    EXPECT_FALSE(platform::PathExists(config.PropertiesPath()));
    std::string text;
    ASSERT_TRUE(platform::ReadFileBytes(logPath, &text));
    size_t records = 0;
    for (size_t pos = 0; (pos = text.find(">> CmdLine : 音频 ", pos)) != std::string::npos; ++pos) ++records;
    EXPECT_EQ(records, static_cast<size_t>(kThreads * kRecords));
    EXPECT_EQ(text.find("before configure"), std::string::npos);
    EXPECT_NE(text.find(" INFO "), std::string::npos);
    EXPECT_NE(text.find("{LogTest.cpp:"), std::string::npos);  // base name and line of the call site
    EXPECT_NE(text.find(">> IN OnAsyncCutAudio...\n"), std::string::npos);
    EXPECT_FALSE(logging::InfoEnabled());
}
