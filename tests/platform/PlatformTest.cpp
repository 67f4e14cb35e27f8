#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "platform/Platform.h"
#include "support/TestSupport.h"

using platform::FromUtf8;
using platform::ToUtf8;

TEST(Text, Utf8RoundTripKeepsChineseAndAstralCharacters) {
    std::wstring text = L"音频 \"a#b\" -x \U0001F3B5";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(L"音"), "\xE9\x9F\xB3");
}

TEST(Text, InvalidBytesBecomeReplacementCharacters) {
    // A lone continuation byte and a truncated sequence must not swallow the following text.
    EXPECT_EQ(FromUtf8("a\x80z"), L"a\uFFFDz");
    EXPECT_EQ(FromUtf8("a\xE9\x9F"), L"a\uFFFD\uFFFD");
    EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");  // overlong "/"
}

TEST(Text, CaseMappingWorksOnCharacters) {
    platform::InitLocale();
    EXPECT_EQ(platform::ToLower(L"A.MP3"), L"a.mp3");
    EXPECT_EQ(platform::ToUpper(L"wav"), L"WAV");
}

TEST(Process, EmptyOrMissingProgramIsNotStarted) {
    int code = 77;
    EXPECT_FALSE(platform::RunProcess({}, &code));
    EXPECT_FALSE(platform::RunProcess({"/nonexistent/tool"}, &code));
    EXPECT_FALSE(platform::RunProcess({"no-such-tool-on-path-xyz"}, &code));
    EXPECT_EQ(code, 77);
    std::string out = "stale";
    EXPECT_FALSE(platform::RunProcessCapture({"/nonexistent/tool"}, &out));
    EXPECT_TRUE(out.empty());
}

TEST(Process, ReportsExitStatusAndWaits) {
    testsupport::TempDir dir;
    int code = -1;
    ASSERT_TRUE(platform::RunProcess({"sh", "-c", "echo done > \"$0\"; exit 3", dir.File("marker")}, &code));
    EXPECT_EQ(code, 3);
    // The caller only returns after the child has finished its work.
    EXPECT_TRUE(platform::IsRegularFile(dir.WFile(L"marker")));
}

TEST(Process, ArgumentsReachTheChildIntact) {
    const std::vector<std::string> awkward = {"a b",      "\"quoted\"", "#hash", "-leading",
                                              "音频.mp3", "",           "x'y"};
    std::vector<std::string> argv = {"printf", "[%s]"};
    argv.insert(argv.end(), awkward.begin(), awkward.end());
    std::string out;
    int code = -1;
    ASSERT_TRUE(platform::RunProcessCapture(argv, &out, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "[a b][\"quoted\"][#hash][-leading][音频.mp3][][x'y]");
}

TEST(Process, LongCommandLinesAreNotCut) {
    std::string longArg(5000, 'x');
    std::string out;
    ASSERT_TRUE(platform::RunProcessCapture({"printf", "%s", longArg}, &out));
    EXPECT_EQ(out.size(), 5000u);
}

TEST(Process, CaptureMergesStderrAndStandardInputIsEmpty) {
    std::string out;
    ASSERT_TRUE(platform::RunProcessCapture({"sh", "-c", "echo out; echo err 1>&2; cat; echo end"}, &out));
    EXPECT_NE(out.find("out\n"), std::string::npos);
    EXPECT_NE(out.find("err\n"), std::string::npos);
    EXPECT_NE(out.find("end\n"), std::string::npos);  // "cat" saw end of input at once
}

namespace {

// The one-letter state of a process ("R", "S", "Z", ...), or "" when it is gone.
std::string ProcessState(const std::string& pid) {
    std::string stat;
    if (!platform::ReadFileBytes(FromUtf8("/proc/" + pid + "/stat"), &stat)) return "";
    const size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? "" : stat.substr(close + 2, 1);
}

// The state of a killed process once it has died ("" gone, "Z" or "X"), or the state it still
// has after two seconds. A killed process may be scheduled once more before it dies.
std::string StateAfterKill(const std::string& pid) {
    std::string state = ProcessState(pid);
    for (int i = 0; i < 200 && !state.empty() && state != "Z" && state != "X"; ++i) {
        platform::SleepMs(10);
        state = ProcessState(pid);
    }
    return state;
}

}  // namespace

TEST(Process, CaptureReturnsWhenAGrandchildKeepsThePipeOpen) {
    // The background sleep inherits the pipe; the capture must still return after the shell exits.
    // The shell names the sleep first, so the test can end it afterwards.
    std::string out;
    int code = -1;
    ASSERT_TRUE(
        platform::RunProcessCapture({"sh", "-c", "sleep 20 & echo $!; echo parent-done"}, &out, &code, 100));
    const std::string grandchild = out.substr(0, out.find('\n'));
    ASSERT_FALSE(grandchild.empty()) << out;
    ASSERT_EQ(grandchild.find_first_not_of("0123456789"), std::string::npos) << out;
    // The sleep still holds the pipe when the capture has returned: that is the case proven here.
    std::string cmdline;
    const bool alive = platform::ReadFileBytes(FromUtf8("/proc/" + grandchild + "/cmdline"), &cmdline) &&
                       cmdline.rfind("sleep", 0) == 0 && ProcessState(grandchild) != "Z";
    // The sleep is ours (checked by its command line): end it rather than leave it behind.
    if (alive) ::kill(std::stoi(grandchild), SIGKILL);
    EXPECT_TRUE(alive) << "the grandchild was already gone";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, grandchild + "\nparent-done\n");
    const std::string state = StateAfterKill(grandchild);
    EXPECT_TRUE(state.empty() || state == "Z" || state == "X") << state;
}

TEST(Process, ChildrenInheritNoDescriptorBeyondTheStandardThree) {
    // Files the program holds open without close-on-exec - as a stream library may - must not
    // reach a tool: a held-open list or log would otherwise stay open in every child.
    testsupport::TempDir dir;
    const std::string held = dir.Path() + "held-open-list.txt";
    const int fd = ::open(held.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    std::string out;
    ASSERT_TRUE(platform::RunProcessCapture({"ls", "-l", "/proc/self/fd/"}, &out));
    EXPECT_EQ(out.find("held-open-list"), std::string::npos) << out;
    // The same for a run whose output is discarded: the child writes its view to a file.
    const std::string view = dir.Path() + "view.txt";
    int code = -1;
    ASSERT_TRUE(platform::RunProcess({"sh", "-c", "ls -l /proc/self/fd/ > \"$0\"", view}, &code));
    EXPECT_EQ(code, 0);
    std::string seen;
    ASSERT_TRUE(platform::ReadFileBytes(FromUtf8(view), &seen));
    EXPECT_NE(seen.find("view.txt"), std::string::npos) << "the listing itself is there";
    EXPECT_EQ(seen.find("held-open-list"), std::string::npos) << seen;
    ::close(fd);
}

TEST(Process, CaptureWithATimeLimitKillsTheWholeGroup) {
    // The shell starts a grandchild and both would run for half a minute.
    std::string out;
    bool timedOut = false;
    int code = -1;
    ASSERT_TRUE(platform::RunProcessCaptureFor({"sh", "-c", "sleep 30 & echo $!; sleep 30"}, &out, &code, 300,
                                               &timedOut));
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(code, 128 + 9);
    const std::string grandchild = out.substr(0, out.find('\n'));
    ASSERT_FALSE(grandchild.empty());
    // Gone, or only a zombie waiting for its new parent: it does not run on.
    const std::string state = StateAfterKill(grandchild);
    EXPECT_TRUE(state.empty() || state == "Z" || state == "X") << state;
    // A quick child is not affected by the limit.
    ASSERT_TRUE(platform::RunProcessCaptureFor({"echo", "ok"}, &out, &code, 5000, &timedOut));
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(out, "ok\n");
}

TEST(Files, CopyNeverOverwritesAndDeleteIsIdempotent) {
    testsupport::TempDir dir;
    std::wstring a = dir.WFile(L"源 a.txt"), b = dir.WFile(L"b.txt");
    ASSERT_TRUE(platform::WriteFileBytes(a, "source"));
    ASSERT_TRUE(platform::WriteFileBytes(b, "keep me"));
    EXPECT_FALSE(platform::CopyFileNoOverwrite(a, b));
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(b, &bytes));
    EXPECT_EQ(bytes, "keep me");
    std::wstring c = dir.WFile(L"c.txt");
    ASSERT_TRUE(platform::CopyFileNoOverwrite(a, c));
    ASSERT_TRUE(platform::ReadFileBytes(c, &bytes));
    EXPECT_EQ(bytes, "source");
    EXPECT_EQ(platform::FileSize(c), 6);
    EXPECT_FALSE(platform::CopyFileNoOverwrite(dir.WFile(L"missing"), dir.WFile(L"d.txt")));
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"d.txt")));
    EXPECT_TRUE(platform::DeleteFilePath(c));
    EXPECT_TRUE(platform::DeleteFilePath(c));
    EXPECT_EQ(platform::FileSize(c), -1);
    EXPECT_FALSE(platform::RenameNoOverwrite(a, b));
    EXPECT_TRUE(platform::RenameNoOverwrite(a, c));
    EXPECT_FALSE(platform::PathExists(a));
}

TEST(Files, ListFolderIsSortedAndMarksFolders) {
    testsupport::TempDir dir;
    ASSERT_TRUE(platform::CreateFolders(dir.WFile(L"z/deep/er")));
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"b.wav"), "x"));
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"a.mp3"), "x"));
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(dir.WPath(), &entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, L"a.mp3");
    EXPECT_FALSE(entries[0].isFolder);
    EXPECT_EQ(entries[2].name, L"z");
    EXPECT_TRUE(entries[2].isFolder);
    EXPECT_FALSE(platform::ListFolder(dir.WFile(L"nope"), &entries));
    EXPECT_TRUE(entries.empty());
}

TEST(Folders, ProgramAndUserFolders) {
    std::wstring exe = platform::ExePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(platform::ExeFolder(), exe.substr(0, exe.rfind(L'/') + 1));
    EXPECT_TRUE(platform::IsRegularFile(exe));

    testsupport::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    setenv("XDG_STATE_HOME", (dir.Path() + "state").c_str(), 1);
    EXPECT_EQ(platform::UserConfigFolder(), dir.WPath() + L"tonewright/");
    EXPECT_EQ(platform::UserStateFolder(), dir.WPath() + L"state/tonewright/");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(platform::UserConfigFolder(), L"/home/someone/.config/tonewright/");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_STATE_HOME");
}

TEST(Folders, WritableCheckAndFolderCreation) {
    testsupport::TempDir dir;
    std::wstring nested = dir.WFile(L"一/二/三/");
    EXPECT_TRUE(platform::CreateFolders(nested, 0700));
    EXPECT_TRUE(platform::IsFolder(nested));
    EXPECT_TRUE(platform::IsFolderWritable(nested));
    struct stat st {};
    ASSERT_EQ(::stat(ToUtf8(nested).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(platform::IsFolderWritable(dir.WFile(L"missing/")));
    // A file in the way makes folder creation fail instead of pretending.
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"file"), "x"));
    EXPECT_FALSE(platform::CreateFolders(dir.WFile(L"file/sub")));
}

TEST(Time, TickCountIsMonotonic) {
    uint64_t a = platform::TickCountMs();
    platform::SleepMs(2);
    uint64_t b = platform::TickCountMs();
    EXPECT_GE(b, a + 1);
    platform::LocalTime t = platform::NowLocal();
    EXPECT_GE(t.year, 2024);
    EXPECT_LT(t.millisecond, 1000);
}

namespace {
// Puts stand-in "dbus-send" and "xdg-open" programs first on PATH; each appends its arguments to
// a record file so the test sees exactly what the desktop would have been asked.
class DesktopStandIns {
public:
    explicit DesktopStandIns(int dbusExit) {
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        record_ = dir_.File("calls.txt");
        Script("dbus-send", "echo \"dbus $*\" >> '" + record_ + "'; exit " + std::to_string(dbusExit));
        Script("xdg-open", "echo \"open $*\" >> '" + record_ + "'");
        setenv("PATH", (dir_.Path() + ":" + oldPath_).c_str(), 1);
    }
    ~DesktopStandIns() { setenv("PATH", oldPath_.c_str(), 1); }
    // Waits (bounded) until the record holds `lines` lines; detached children finish on their own.
    std::string Record(size_t lines) const {
        std::string text;
        for (int i = 0; i < 500; ++i) {
            platform::ReadFileBytes(FromUtf8(record_), &text);
            if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
            platform::SleepMs(10);
        }
        return text;
    }
    testsupport::TempDir dir_;

private:
    void Script(const std::string& name, const std::string& body) {
        std::wstring path = dir_.WFile(FromUtf8(name));
        platform::WriteFileBytes(path, "#!/bin/sh\n" + body + "\n");
        chmod(ToUtf8(path).c_str(), 0755);
    }
    std::string oldPath_, record_;
};
}  // namespace

TEST(Desktop, ShowsTheFileThroughTheFileManagerInterface) {
    DesktopStandIns standIns(0);
    std::wstring file = standIns.dir_.WFile(L"my song, 1.mp3");
    ASSERT_TRUE(platform::WriteFileBytes(file, "x"));
    EXPECT_TRUE(platform::ShowInFileManager(file));
    std::string record = standIns.Record(1);
    EXPECT_NE(record.find("org.freedesktop.FileManager1.ShowItems"), std::string::npos);
    EXPECT_NE(record.find("my%20song%2C%201.mp3"), std::string::npos);  // a comma would split the array
    EXPECT_EQ(record.find("open "), std::string::npos);
}

TEST(Desktop, FallsBackToOpeningTheFolderAndRefusesMissingPaths) {
    DesktopStandIns standIns(1);
    std::wstring file = standIns.dir_.WFile(L"音频.mp3");
    ASSERT_TRUE(platform::WriteFileBytes(file, "x"));
    EXPECT_TRUE(platform::ShowInFileManager(file));
    std::string record = standIns.Record(2);
    EXPECT_NE(record.find("open " + standIns.dir_.Path() + "\n"), std::string::npos);
    EXPECT_FALSE(platform::OpenInDesktop(standIns.dir_.WFile(L"missing.mp3")));
    EXPECT_FALSE(platform::ShowInFileManager(L""));
}
