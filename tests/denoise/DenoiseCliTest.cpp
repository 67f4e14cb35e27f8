// tonewright-cli denoise as a user runs it: interrupted runs leave nothing behind, and each cause of
// failure gets a message of its own that names the file concerned.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

void PutLe(std::string* bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 16-bit PCM WAV of a tone over a little noise, or just a header with the claims given.
std::string Pcm16Wav(uint32_t channels, uint32_t rate, size_t values) {
    std::string data;
    data.reserve(values * 2);
    uint32_t state = 99;
    for (size_t i = 0; i < values; ++i) {
        state = state * 1664525u + 1013904223u;
        const double v = 0.3 * std::sin(0.05 * double(i)) + (double(state >> 16) / 65536.0 - 0.5) * 0.02;
        PutLe(&data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0))), 2);
    }
    std::string b = "RIFF";
    PutLe(&b, 36 + data.size(), 4);
    b += "WAVEfmt ";
    PutLe(&b, 16, 4);
    PutLe(&b, 1, 2);
    PutLe(&b, channels, 2);
    PutLe(&b, rate, 4);
    PutLe(&b, uint64_t(rate) * channels * 2, 4);
    PutLe(&b, channels * 2, 2);
    PutLe(&b, 16, 2);
    b += "data";
    PutLe(&b, data.size(), 4);
    return b + data;
}

struct CliRun {
    int code = -1;    // exit status, or -1 when killed
    int signal = 0;   // the signal that ended it
    std::string err;  // standard error
};

// Starts "tonewright-cli denoise ARGS" with standard error in `errPath` and files limited to
// `fileLimit` bytes (0: no limit).
pid_t Start(const std::vector<std::string>& args, const std::string& errPath, rlim_t fileLimit) {
    std::vector<std::string> argv = {TW_CLI_PATH, "denoise"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) ::dup2(fd, 2);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, 1);
        if (fileLimit > 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(cargv[0], cargv.data());
        _exit(127);
    }
    return child;
}

CliRun Finish(pid_t child, const std::string& errPath) {
    CliRun r;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child) {
        if (WIFEXITED(status)) r.code = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    }
    platform::ReadFileBytes(platform::FromUtf8(errPath), &r.err);
    return r;
}

CliRun Denoise(const TempDir& dir, const std::vector<std::string>& args, rlim_t fileLimit = 0) {
    const std::string errPath = dir.File("stderr.txt");
    return Finish(Start(args, errPath, fileLimit), errPath);
}

std::vector<std::string> PartFiles(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".part") != std::string::npos) found.push_back(name);
    }
    return found;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(DenoiseCli, AnInterruptedRunLeavesNoFileAndTheRerunWorks) {
    TempDir dir;
    const std::string in = dir.File("long input.wav"), out = dir.File("out put.wav");
    // Four minutes at 48 kHz: long enough that the output is still being written when the signal comes.
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(in), Pcm16Wav(1, 48000, 48000 * 240)));
    for (int signalNumber : {SIGINT, SIGTERM}) {
        const std::string errPath = dir.File("stderr.txt");
        const pid_t child = Start({in, out, "1"}, errPath, 0);
        ASSERT_GT(child, 0);
        // The temporary file appears once the noise estimate is done and the output is started.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (PartFiles(dir.Path()).empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_FALSE(PartFiles(dir.Path()).empty());
        ::kill(child, signalNumber);
        const CliRun run = Finish(child, errPath);
        EXPECT_EQ(run.signal, signalNumber);
        EXPECT_EQ(PartFiles(dir.Path()), std::vector<std::string>{});
        EXPECT_FALSE(platform::PathExists(platform::FromUtf8(out)));
    }
    const CliRun rerun = Denoise(dir, {in, out, "1"});
    EXPECT_EQ(rerun.code, 0) << rerun.err;
    EXPECT_EQ(platform::FileSize(platform::FromUtf8(out)), 58 + 4 * int64_t(48000) * 240);
}

TEST(DenoiseCli, EachCauseOfFailureHasItsOwnMessage) {
    TempDir dir;
    const std::string in = dir.File("in.wav");
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(in), Pcm16Wav(1, 16000, 16000 * 3)));

    // A full disk (here: the file size limit) is the output's problem, not the input's.
    const CliRun full = Denoise(dir, {in, dir.File("full.wav")}, 60000);
    EXPECT_EQ(full.code, 1);
    EXPECT_TRUE(Contains(full.err, "no space left for the output")) << full.err;
    EXPECT_TRUE(Contains(full.err, dir.File("full.wav"))) << full.err;
    EXPECT_FALSE(Contains(full.err, "input")) << full.err;
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"full.wav")));
    EXPECT_EQ(PartFiles(dir.Path()), std::vector<std::string>{});

    // A link to nothing at the output name.
    ASSERT_EQ(::symlink(dir.File("gone/x.wav").c_str(), dir.File("link.wav").c_str()), 0);
    const CliRun dangling = Denoise(dir, {in, dir.File("link.wav")});
    EXPECT_EQ(dangling.code, 1);
    EXPECT_TRUE(Contains(dangling.err, "symbolic link")) << dangling.err;

    // A folder that is not there.
    const CliRun folder = Denoise(dir, {in, dir.File("none/out.wav")});
    EXPECT_EQ(folder.code, 1);
    EXPECT_TRUE(Contains(folder.err, "folder")) << folder.err;
    EXPECT_TRUE(Contains(folder.err, "none/out.wav")) << folder.err;

    // Headers no real file has, and text that is no audio at all.
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"absurd.wav"), Pcm16Wav(1, 9999100, 107)));
    const CliRun absurd = Denoise(dir, {dir.File("absurd.wav"), dir.File("a.wav")});
    EXPECT_EQ(absurd.code, 1);
    EXPECT_TRUE(Contains(absurd.err, "9999100 Hz")) << absurd.err;
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"text.wav"), "plain words, no sound\n"));
    const CliRun text = Denoise(dir, {dir.File("text.wav"), dir.File("t.wav")});
    EXPECT_EQ(text.code, 1);
    EXPECT_TRUE(Contains(text.err, "is not WAV, MP3")) << text.err;
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"a.wav")));
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"t.wav")));
}
