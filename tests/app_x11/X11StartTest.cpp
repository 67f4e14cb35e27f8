// The program itself on a virtual X server: its window titled "Tonewright" appears, a second start
// asks the first to show its window and ends with status 0 (one window stays), and the close
// button with a confirmed exit ends the process with status 0 and removes the logging properties
// file. The program is copied into a private folder so that its log files land there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

pid_t Spawn(const std::vector<std::string>& argv) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child to end; its exit status, or -1 when it still runs after timeoutMs.
int WaitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        platform::SleepMs(20);
    }
    return -1;
}

std::string Xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {platform::FindExecutable("xdotool")};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    platform::RunProcessCapture(argv, &out, nullptr, 50);
    return out;
}

std::vector<std::string> Windows(const std::string& title) {
    std::istringstream in(Xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}));
    std::vector<std::string> ids;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) ids.push_back(line);
    return ids;
}

bool WaitForWindows(const std::string& title, size_t count, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        if (Windows(title).size() == count) return true;
        platform::SleepMs(100);
    }
    return false;
}

// Top-left corner of a window on the screen.
bool WindowOrigin(const std::string& id, int* x, int* y) {
    std::string out = Xdotool({"getwindowgeometry", "--shell", id});
    size_t px = out.find("X="), py = out.find("Y=");
    if (px == std::string::npos || py == std::string::npos) return false;
    *x = std::atoi(out.c_str() + px + 2);
    *y = std::atoi(out.c_str() + py + 2);
    return true;
}

void ClickAt(int x, int y) {
    Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y)});
    Xdotool({"click", "1"});
}

TEST(ProgramOnX11, WindowAppearsSecondStartHandsOverAndCloseEndsCleanly) {
    const std::string xvfb = platform::FindExecutable("Xvfb");
    if (xvfb.empty() || platform::FindExecutable("xdotool").empty())
        GTEST_SKIP() << "Xvfb or xdotool missing";

    testsupport::TempDir dir;
    const std::string program = dir.File("tonewright");
    ASSERT_TRUE(
        platform::CopyFileNoOverwrite(platform::FromUtf8(TW_PROGRAM_PATH), platform::FromUtf8(program)));
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    const std::string runtime = dir.File("run");
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);

    const int display = 70 + static_cast<int>(getpid() % 200);
    pid_t server =
        Spawn({xvfb, ":" + std::to_string(display), "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    ASSERT_GT(server, 0);
    const std::wstring socket = L"/tmp/.X11-unix/X" + std::to_wstring(display);
    for (int i = 0; i < 100 && !platform::PathExists(socket); ++i) platform::SleepMs(50);
    ASSERT_TRUE(platform::PathExists(socket));
    setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    pid_t first = Spawn({program});
    ASSERT_GT(first, 0);
    EXPECT_TRUE(WaitForWindows("Tonewright", 1, 15000));

    // A second start hands over and ends at once; one window stays.
    uint64_t begin = platform::TickCountMs();
    pid_t second = Spawn({program});
    EXPECT_EQ(WaitExit(second, 3000), 0);
    EXPECT_LT(platform::TickCountMs() - begin, 2500u);
    EXPECT_EQ(Windows("Tonewright").size(), 1u);
    EXPECT_EQ(WaitExit(first, 0), -1);  // the first still runs

    // The close button, then the confirmation's OK button.
    std::vector<std::string> ids = Windows("Tonewright");
    ASSERT_EQ(ids.size(), 1u);
    int x = 0, y = 0;
    ASSERT_TRUE(WindowOrigin(ids[0], &x, &y));
    ClickAt(x + 880, y + 20);
    ASSERT_TRUE(WaitForWindows("消息对话框", 1, 5000));
    int dx = 0, dy = 0;
    ASSERT_TRUE(WindowOrigin(Windows("消息对话框")[0], &dx, &dy));
    ClickAt(dx + 300, dy + 147);
    int status = WaitExit(first, 10000);
    if (status == -1) kill(first, SIGKILL);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"tonewright.properties")));
    EXPECT_TRUE(platform::PathExists(dir.WFile(L"tonewright.log")));

    kill(server, SIGTERM);
    WaitExit(server, 5000);
}

}  // namespace
