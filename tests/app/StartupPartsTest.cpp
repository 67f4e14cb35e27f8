// Start-up pieces that need no window: the version text, the updater's command line and launch,
// and the single-instance channel (requests with paths, a second listener refused, a stale socket
// replaced).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/Updater.h"
#include "app/Version.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

TEST(VersionText, FourNumbersFromTheBuildVersion) {
    EXPECT_EQ(TwFormatVersion("1.0.60.126"), L"1.0.60.126");
    EXPECT_EQ(TwFormatVersion("0.1.0"), L"0.1.0.0");
    EXPECT_EQ(TwFormatVersion("2"), L"2.0.0.0");
    EXPECT_EQ(TwFormatVersion("1.2.3.4.5"), L"1.2.3.4");
    EXPECT_EQ(TwFormatVersion(""), L"");
    EXPECT_EQ(TwFormatVersion("v1"), L"");
    std::wstring own = TwVersionText();
    EXPECT_EQ(std::count(own.begin(), own.end(), L'.'), 3);
}

TEST(Updater, StartsTheUpdaterBesideTheProgramWithItsArguments) {
    testsupport::TempDir dir;
    EXPECT_EQ(UpdaterCommand(L"/opt/tw/"),
              (std::vector<std::string>{"/opt/tw/zxupdate", "-o=sonivert", "-e=tonewright",
                                        "-c=SoniverterWnd", "-m=1"}));
    // Missing: refused at once, and the retry is bounded.
    EXPECT_FALSE(LaunchUpdater(dir.WPath()));
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(LaunchUpdaterWithRetry(3, dir.WPath()), 3);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));

    // A stand-in updater that writes its arguments down.
    const std::string out = dir.File("args.txt");
    ASSERT_TRUE(platform::WriteFileBytes(
        dir.WFile(L"zxupdate"),
        "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + out + ".part' && mv '" + out + ".part' '" + out + "'\n"));
    ASSERT_EQ(chmod(dir.File("zxupdate").c_str(), 0755), 0);
    EXPECT_EQ(LaunchUpdaterWithRetry(3, dir.WPath()), 1);
    std::string args;
    for (int i = 0; i < 500 && !platform::ReadFileBytes(platform::FromUtf8(out), &args); ++i)
        platform::SleepMs(10);
    EXPECT_EQ(args, "-o=sonivert\n-e=tonewright\n-c=SoniverterWnd\n-m=1\n");
}

std::wstring UniqueKey(const char* name) {
    return L"TwTest" + platform::FromUtf8(name) + std::to_wstring(getpid());
}

TEST(SingleInstance, ASecondStartHandsItsRequestToTheFirst) {
    const std::wstring key = UniqueKey("Hand");
    EXPECT_FALSE(platform::SendToRunningInstance(key, {"show", {}}, 200));  // nobody there yet

    std::mutex mutex;
    std::vector<platform::InstanceRequest> got;
    platform::SingleInstanceListener first;
    ASSERT_TRUE(first.Start(key, [&](const platform::InstanceRequest& r) {
        std::lock_guard<std::mutex> lock(mutex);
        got.push_back(r);
    }));
    EXPECT_TRUE(first.IsListening());

    EXPECT_TRUE(platform::SendToRunningInstance(key, {"show", {}}));
    const std::vector<std::wstring> paths = {L"/tmp/a b/歌曲 \"#1\".mp3", L"-lead.wav"};
    EXPECT_TRUE(platform::SendToRunningInstance(key, {"open", paths}));
    {
        std::lock_guard<std::mutex> lock(mutex);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].verb, "show");
        EXPECT_TRUE(got[0].paths.empty());
        EXPECT_EQ(got[1].verb, "open");
        EXPECT_EQ(got[1].paths, paths);
    }

    // A second listener for the same key is refused while the first answers.
    platform::SingleInstanceListener second;
    EXPECT_FALSE(second.Start(key, nullptr));

    // After the first stops, its socket is gone and a new instance can take the key.
    first.Stop();
    EXPECT_FALSE(platform::PathExists(platform::SingleInstancePath(key)));
    EXPECT_FALSE(platform::SendToRunningInstance(key, {"show", {}}, 200));
    EXPECT_TRUE(second.Start(key, nullptr));
}

TEST(SingleInstance, ASocketLeftBehindByACrashIsReplaced) {
    const std::wstring key = UniqueKey("Stale");
    std::string path = platform::ToUtf8(platform::SingleInstancePath(key));
    ASSERT_FALSE(path.empty());
    // A bound socket that nobody listens on, left on disk as after a crash.
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    close(fd);
    ASSERT_TRUE(platform::PathExists(platform::FromUtf8(path)));

    EXPECT_FALSE(platform::SendToRunningInstance(key, {"show", {}}, 200));
    std::atomic<int> shows{0};
    platform::SingleInstanceListener listener;
    ASSERT_TRUE(listener.Start(key, [&](const platform::InstanceRequest&) { ++shows; }));
    EXPECT_TRUE(platform::SendToRunningInstance(key, {"show", {}}));
    EXPECT_EQ(shows.load(), 1);

    // A client that connects and never writes does not block the listener for good.
    int idle = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(connect(idle, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_TRUE(platform::SendToRunningInstance(key, {"show", {}}, 3000));
    close(idle);
    EXPECT_EQ(shows.load(), 2);
}

}  // namespace
