// The installed program: `cmake --install` into a temporary prefix gives the tree a desktop
// needs (entry, icons, AppStream metadata, manual page) and passes the freedesktop validators;
// the installed programs run without their build tree; scripts/package.sh makes a .deb with its
// run-time dependencies; and the desktop entry's command line hands two files to the running
// window, which shows them as two rows of the format page.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/Platform.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

const std::string kAppId = TW_APP_ID;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

struct Result {
    bool started = false;
    int code = -1;
    std::string output;
};

Result RunTool(const std::vector<std::string>& argv, uint32_t timeoutMs = 120000) {
    Result r;
    bool timedOut = false;
    r.started = platform::RunProcessCaptureFor(argv, &r.output, &r.code, timeoutMs, &timedOut);
    if (timedOut) r.code = -2;
    return r;
}

// Width and height from a PNG's header chunk (0 when the file is no PNG).
std::pair<int, int> PngSize(const std::string& path) {
    std::string bytes = ReadText(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) |
               (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

// Names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Sets an environment variable for the rest of a test and puts the old value back afterwards.
class EnvGuard {
public:
    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name.c_str(), value.c_str(), 1);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class PackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefixDir = new testsupport::TempDir();
        prefix = prefixDir->Path() + "usr";
        const char* build = std::getenv("TW_BUILD_DIR");
        ASSERT_NE(build, nullptr);
        Result r = RunTool({TW_CMAKE, "--install", build, "--prefix", prefix});
        ASSERT_EQ(r.code, 0) << r.output;
    }
    static void TearDownTestSuite() {
        delete prefixDir;
        prefixDir = nullptr;
    }
    static std::string Installed(const std::string& relative) { return prefix + "/" + relative; }

    static testsupport::TempDir* prefixDir;
    static std::string prefix;
};
testsupport::TempDir* PackageTest::prefixDir = nullptr;
std::string PackageTest::prefix;

TEST_F(PackageTest, InstallTreeHoldsTheDesktopFilesAndPassesTheValidators) {
    const std::string desktop = Installed("share/applications/" + kAppId + ".desktop");
    const std::string metainfo = Installed("share/metainfo/" + kAppId + ".metainfo.xml");
    const std::string man = Installed("share/man/man1/tonewright-cli.1");
    for (const std::string& file : {Installed("bin/tonewright"), Installed("bin/tonewright-cli")}) {
        EXPECT_EQ(access(file.c_str(), X_OK), 0) << file;
    }
    ASSERT_TRUE(IsFile(desktop));
    ASSERT_TRUE(IsFile(metainfo));
    ASSERT_TRUE(IsFile(man));
    // Nothing beside the programs: the skin is embedded and the tools come from PATH.
    EXPECT_FALSE(platform::PathExists(platform::FromUtf8(Installed("bin/Core"))));

    Result v = RunTool({"desktop-file-validate", desktop});
    EXPECT_EQ(v.code, 0) << v.output;
    EXPECT_EQ(v.output, "") << "warnings of desktop-file-validate";
    Result a = RunTool({"appstreamcli", "validate", "--no-net", metainfo});
    EXPECT_EQ(a.code, 0) << a.output;

    const std::string entry = ReadText(desktop);
    for (const std::string& line :
         std::vector<std::string>{"Name=Tonewright\n", "Exec=tonewright %F\n", "Icon=" + kAppId + "\n",
                                  "Categories=AudioVideo;Audio;\n"}) {
        EXPECT_NE(entry.find("\n" + line), std::string::npos) << line;
    }
    EXPECT_NE(entry.find("\nName[zh_CN]="), std::string::npos);
    for (const char* mime : {"audio/mpeg;", "audio/x-wav;", "audio/flac;", "audio/x-ape;", "video/mp4;",
                             "video/x-matroska;", "video/x-msvideo;"}) {
        EXPECT_NE(entry.find(mime), std::string::npos) << mime;
    }

    const std::string meta = ReadText(metainfo);
    EXPECT_NE(meta.find("<id>" + kAppId + "</id>"), std::string::npos);
    EXPECT_NE(meta.find(">" + kAppId + ".desktop</launchable>"), std::string::npos);
    EXPECT_NE(meta.find("<release version=\"" TW_VERSION "\""), std::string::npos);
    EXPECT_NE(meta.find("<caption>"), std::string::npos);

    // The icon: the skin's own source as the scalable one, and PNGs at their sizes.
    EXPECT_EQ(ReadText(Installed("share/icons/hicolor/scalable/apps/" + kAppId + ".svg")),
              ReadText(std::string(TW_SOURCE_DIR) + "/skin/src/art/logo.svg"));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        std::string dim = std::to_string(size) + "x" + std::to_string(size);
        EXPECT_EQ(PngSize(Installed("share/icons/hicolor/" + dim + "/apps/" + kAppId + ".png")),
                  std::make_pair(size, size))
            << dim;
    }

    // The manual page lists every command of the program's own help.
    const std::string page = ReadText(man);
    EXPECT_EQ(page.rfind(".TH TONEWRIGHT-CLI 1", 0), 0u);
    Result help = RunTool({Installed("bin/tonewright-cli"), "--help"});
    ASSERT_EQ(help.code, 0);
    std::istringstream lines(help.output.substr(help.output.find("commands:")));
    std::string line;
    std::getline(lines, line);
    int commands = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name;
        if (!(words >> name)) continue;
        ++commands;
        std::string roff;  // roff writes a hyphen as "\-"
        for (char ch : name) roff += ch == '-' ? std::string("\\-") : std::string(1, ch);
        EXPECT_NE(page.find("\n  " + roff + " "), std::string::npos) << roff;
    }
    EXPECT_GE(commands, 10);
}

TEST_F(PackageTest, InstalledCliFindsTheToolsOnPathAndConverts) {
    testsupport::TempDir work;
    ASSERT_TRUE(testsupport::MakeTone(work.File("in put #1.wav"), 1.0));
    EnvGuard env;
    env.Set("XDG_CONFIG_HOME", work.File("config"));
    env.Set("XDG_STATE_HOME", work.File("state"));

    Result version = RunTool({Installed("bin/tonewright-cli"), "--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_NE(version.output.find(TW_VERSION), std::string::npos) << version.output;

    // No "Core" folder beside the installed program: ffmpeg comes from PATH.
    Result convert = RunTool({Installed("bin/tonewright-cli"), "convert", "--to", "mp3", "--out",
                              work.File("out"), work.File("in put #1.wav")});
    EXPECT_EQ(convert.code, 0) << convert.output;
    // "ok", the input and the output, tab-separated.
    size_t tab = convert.output.rfind('\t');
    ASSERT_EQ(convert.output.rfind("ok\t", 0), 0u) << convert.output;
    std::string output = convert.output.substr(tab + 1);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    EXPECT_EQ(output.rfind(work.File("out/in put #1"), 0), 0u) << output;
    EXPECT_EQ(testsupport::ProbeCodec(output), "mp3");
}

TEST_F(PackageTest, PackageScriptBuildsADebWithTheRunTimeDependencies) {
    const char* build = std::getenv("TW_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    EnvGuard env;
    env.Set("TW_SKIP_SETUP", "1");
    env.Set("TW_PACKAGE_NO_BUILD", "1");  // the test's dependencies built the programs
    Result made = RunTool({"bash", std::string(TW_SOURCE_DIR) + "/scripts/package.sh", build}, 120000);
    ASSERT_EQ(made.code, 0) << made.output;
    const std::string deb = std::string(build) + "/tonewright_" TW_VERSION "_amd64.deb";
    ASSERT_TRUE(IsFile(deb)) << made.output;

    Result info = RunTool({"dpkg-deb", "--info", deb});
    ASSERT_EQ(info.code, 0) << info.output;
    EXPECT_NE(info.output.find("Package: tonewright\n"), std::string::npos);
    EXPECT_NE(info.output.find("Version: " TW_VERSION "\n"), std::string::npos);
    size_t depends = info.output.find("Depends:");
    ASSERT_NE(depends, std::string::npos);
    std::string deps = info.output.substr(depends, info.output.find('\n', depends) - depends);
    for (const char* name :
         {"ffmpeg", "libvlc5", "vlc-plugin-base", "libmediainfo0v5", "libfaad2", "liblog4cplus", "libkissfft",
          "libsndfile1", "libzip4", "libpugixml1v5", "libqt6widgets6", "qt6-qpa-plugins"}) {
        EXPECT_NE(deps.find(name), std::string::npos) << name << " in " << deps;
    }

    Result contents = RunTool({"dpkg-deb", "--contents", deb});
    ASSERT_EQ(contents.code, 0);
    for (const std::string& file : std::vector<std::string>{
             "./usr/bin/tonewright\n", "./usr/bin/tonewright-cli\n",
             "./usr/share/applications/" + kAppId + ".desktop\n",
             "./usr/share/metainfo/" + kAppId + ".metainfo.xml\n", "./usr/share/man/man1/tonewright-cli.1",
             "./usr/share/icons/hicolor/16x16/apps/" + kAppId + ".png\n",
             "./usr/share/icons/hicolor/256x256/apps/" + kAppId + ".png\n",
             "./usr/share/icons/hicolor/scalable/apps/" + kAppId + ".svg\n"}) {
        EXPECT_NE(contents.output.find(file), std::string::npos) << file;
    }
    EXPECT_EQ(contents.output.find(".dll"), std::string::npos) << "the shell extension ships separately";

    // In CI (a throw-away machine, as root) the package is installed for real.
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true" && geteuid() == 0) {
        Result install = RunTool({"apt-get", "install", "-y", deb}, 280000);
        ASSERT_EQ(install.code, 0) << install.output;
        Result run = RunTool({"/usr/bin/tonewright-cli", "--version"});
        EXPECT_EQ(run.code, 0);
        EXPECT_NE(run.output.find(TW_VERSION), std::string::npos) << run.output;
    }
}

// The running window, queried over the single-instance channel: "state" with a path to a new file
// that the window fills with its state lines.
std::string QueryState(const std::string& folder, int n) {
    std::string reply = folder + "state-" + std::to_string(n);
    if (!platform::SendToRunningInstance(L"SoniverterWnd", {"state", {platform::FromUtf8(reply)}})) return "";
    for (int i = 0; i < 100 && !IsFile(reply); ++i) platform::SleepMs(20);
    return ReadText(reply);
}

TEST_F(PackageTest, DesktopEntryOpensTwoFilesInTheRunningInstance) {
    testsupport::TempDir work;
    const std::string first = work.File("first.wav");
    const std::string second = work.File("b #音 -x.mp3");
    ASSERT_TRUE(testsupport::MakeTone(first, 1.0));
    ASSERT_TRUE(testsupport::MakeTone(second, 1.0));
    const std::string run = work.File("run/");
    ASSERT_EQ(mkdir(run.c_str(), 0700), 0);

    EnvGuard env;
    env.Set("XDG_RUNTIME_DIR", run);  // a channel of this test's own
    env.Set("XDG_CONFIG_HOME", work.File("config"));
    env.Set("XDG_STATE_HOME", work.File("state"));
    env.Set("XDG_CACHE_HOME", work.File("cache"));
    env.Set("QT_QPA_PLATFORM", "offscreen");
    env.Set("PATH", Installed("bin") + ":" + std::getenv("PATH"));

    // The first instance, started without files.
    const std::string program = Installed("bin/tonewright");
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    struct Stop {
        pid_t pid;
        ~Stop() {
            kill(pid, SIGTERM);
            for (int i = 0; i < 100; ++i) {
                if (waitpid(pid, nullptr, WNOHANG) == pid) return;
                platform::SleepMs(20);
            }
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } stop{pid};

    int queries = 0;
    std::string state;
    for (int i = 0; i < 300 && state.rfind("window=1\n", 0) != 0; ++i) {
        state = QueryState(work.Path(), queries++);
        if (state.empty()) platform::SleepMs(100);
    }
    ASSERT_EQ(state.rfind("window=1\nview=home\n", 0), 0u) << state;
    EXPECT_NE(state.find("\nrows=0\n"), std::string::npos) << state;

    // The desktop entry's command line with the two files, as a file manager runs it.
    std::string entry = ReadText(Installed("share/applications/" + kAppId + ".desktop"));
    size_t at = entry.find("\nExec=");
    ASSERT_NE(at, std::string::npos);
    std::istringstream exec(entry.substr(at + 6, entry.find('\n', at + 1) - at - 6));
    std::vector<std::string> command;
    for (std::string word; exec >> word;) {
        if (word == "%F") {
            command.push_back(first);
            command.push_back(second);
        } else {
            command.push_back(word);
        }
    }
    ASSERT_EQ(command.size(), 3u);
    Result opened = RunTool(command, 30000);
    EXPECT_EQ(opened.code, 0) << opened.output;  // handed over, not a second window
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the first instance still runs";

    for (int i = 0; i < 300 && state.find("rows=2\npending=0\n") == std::string::npos; ++i) {
        platform::SleepMs(50);
        state = QueryState(work.Path(), queries++);
    }
    EXPECT_EQ(state, "window=1\nview=tool\npage=1\nrows=2\npending=0\n");

    // The install folder stays as installed (even for root, who could write there): the log and
    // its configuration live in the user's state folder.
    EXPECT_EQ(FolderNames(Installed("bin")), (std::vector<std::string>{"tonewright", "tonewright-cli"}));
    EXPECT_FALSE(FolderNames(work.File("state/tonewright")).empty());

    // The query writes only new files: an existing one is left as it was.
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(work.File("keep")), "mine"));
    ASSERT_TRUE(platform::SendToRunningInstance(L"SoniverterWnd",
                                                {"state", {platform::FromUtf8(work.File("keep"))}}));
    EXPECT_EQ(QueryState(work.Path(), queries++).substr(0, 9), "window=1\n");  // after the one above
    EXPECT_EQ(ReadText(work.File("keep")), "mine");
}

}  // namespace
