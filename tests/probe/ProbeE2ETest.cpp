// The media probe on media made here with ffmpeg: MediaInfo through its run-time binding, ffprobe
// through a pipe, the ADTS scan, the chains, and the probe command of tonewright-cli.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "platform/Platform.h"
#include "probe/MediaCache.h"
#include "support/TestSupport.h"

namespace {

const bool kLocale = (platform::InitLocale(), true);

// Makes every MediaInfo query answer as if the library were absent while it lives.
class MediaInfoAbsent {
public:
    MediaInfoAbsent() { CCommon::SetMediaInfoLibrary(L"libtw-no-such-mediainfo.so.0"); }
    ~MediaInfoAbsent() { CCommon::SetMediaInfoLibrary(L""); }
};

std::atomic<int> g_hookCalls{0};
double CountingAacHook(const wchar_t*, int* kbps) {
    ++g_hookCalls;
    *kbps = 77;
    return 12.3456;
}

class ProbeE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        (void)kLocale;
        dir_ = std::make_unique<testsupport::TempDir>();
        media_ = mediacache::Folder("probe-media-1");
        using testsupport::MakeTone;
        auto make = [](const char* name, const std::function<bool(const std::string&)>& fn) {
            return !mediacache::File(media_, name, fn).empty();
        };
        ready_ =
            make("tone.mp3", [](const std::string& p) { return MakeTone(p, 2.0); }) &&
            make("tone.wav", [](const std::string& p) { return MakeTone(p, 3.0); }) &&
            make("tone.aac", [](const std::string& p) { return MakeTone(p, 3.0); }) &&
            make("cover.mp3", [](const std::string& p) { return testsupport::MakeMp3WithCover(p, 1.0); }) &&
            make("say \"hi\" 你好 #1.mp3", [](const std::string& p) { return MakeTone(p, 1.5); }) &&
            make("upper.AAC", [](const std::string& p) {
                std::string bytes;
                return platform::ReadFileBytes(platform::FromUtf8(media_ + "tone.aac"), &bytes) &&
                       platform::WriteFileBytes(platform::FromUtf8(p), bytes);
            });
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void SetUp() override {
        if (!ready_) GTEST_SKIP() << "ffmpeg could not make the test media";
        CCommon::SetAacLengthHook(nullptr);
    }
    void TearDown() override { CCommon::SetAacLengthHook(nullptr); }

    // A shared input, and a file of this process.
    static std::wstring P(const std::string& name) { return platform::FromUtf8(media_ + name); }
    static std::wstring W(const std::string& name) { return platform::FromUtf8(dir_->Path() + name); }

    static std::unique_ptr<testsupport::TempDir> dir_;
    static std::string media_;
    static bool ready_;
};

std::unique_ptr<testsupport::TempDir> ProbeE2E::dir_;
std::string ProbeE2E::media_;
bool ProbeE2E::ready_ = false;

TEST_F(ProbeE2E, MediaInfoQueries) {
    ASSERT_TRUE(CCommon::OnBindMediaInfo());
    MediaFacts f;
    uint64_t raw = 0;
    CCommon::OnGetMediaFileInfo(P("tone.mp3"), f, &raw);
    EXPECT_EQ(f.fileName, L"tone");  // the library's "FileName" is the name without extension
    EXPECT_EQ(raw, CCommon::OnGetFileSize(P("tone.mp3")));
    EXPECT_NEAR(f.durationMs, 2000, 100);
    EXPECT_NEAR(f.bitRate, 128000, 8000);
    EXPECT_EQ(platform::ToLower(CCommon::OnGetAudioFormat(P("tone.mp3"))), L"mpeg audio");
    EXPECT_NE(CCommon::OnGetEncodedLibrary(P("tone.mp3")).find(L"LAME"), std::wstring::npos);
    int32_t bps = 0;
    EXPECT_EQ(CCommon::OnGetAudioRates(P("tone.wav"), bps), 44100);
    EXPECT_NEAR(bps, 1411200, 2000);  // overall, container included
    EXPECT_TRUE(CCommon::OnHasCover(P("cover.mp3")));
    EXPECT_FALSE(CCommon::OnHasCover(P("tone.mp3")));
    EXPECT_NE(platform::ToLower(CCommon::OnGetAudioFormat(P("tone.aac"))).find(L"aac"), std::wstring::npos);
    // A file the library cannot open answers empty text and zeros.
    CCommon::OnGetMediaFileInfo(P("missing.mp3"), f, &raw);
    EXPECT_EQ(f.fileName, L"");
    EXPECT_EQ(f.durationMs, 0u);
    EXPECT_EQ(raw, 0u);
    EXPECT_FALSE(CCommon::OnHasCover(P("missing.mp3")));
}

TEST_F(ProbeE2E, ListRowChainOnQuotesAndChineseName) {
    MediaFacts f;
    CCommon::ProbeForListRow(P("say \"hi\" 你好 #1.mp3"), f);
    EXPECT_EQ(f.fileName, L"say \"hi\" 你好 #1");
    EXPECT_GT(f.fileSize, 0u);
    EXPECT_NEAR(f.durationMs, 1500, 100);
    EXPECT_GT(f.bitRate, 0);
}

TEST_F(ProbeE2E, SizeZeroAsksMediaInfoTwice) {
    std::wstring empty = W("empty.mp3");
    ASSERT_TRUE(platform::WriteFileBytes(empty, ""));
    CCommon::SetToolPathOverride(L"ffprobe", L"/nonexistent/ffprobe");  // keep the chain to MediaInfo
    MediaFacts f;
    int before = CCommon::OnGetMediaInfoOpenCount();
    CCommon::ProbeForListRow(empty, f);
    EXPECT_EQ(CCommon::OnGetMediaInfoOpenCount() - before, 2);
    before = CCommon::OnGetMediaInfoOpenCount();
    CCommon::ProbeForListRow(P("tone.mp3"), f);
    EXPECT_EQ(CCommon::OnGetMediaInfoOpenCount() - before, 1);
    CCommon::SetToolPathOverride(L"ffprobe", L"");
    EXPECT_EQ(f.fileSize, CCommon::OnGetFileSize(P("tone.mp3")));
}

TEST_F(ProbeE2E, BindingNeedsEveryEntryPointAndIsRetried) {
    ASSERT_TRUE(CCommon::OnBindMediaInfo());
    int count = CCommon::OnGetMediaInfoBindCount();
    EXPECT_TRUE(CCommon::OnBindMediaInfo());  // kept: not bound again
    EXPECT_EQ(CCommon::OnGetMediaInfoBindCount(), count);
    CCommon::SetMediaInfoLibrary(L"libm.so.6");  // loads, but has none of the entry points
    EXPECT_FALSE(CCommon::OnBindMediaInfo());
    EXPECT_EQ(CCommon::OnGetAudioFormat(P("tone.mp3")), L"");
    EXPECT_EQ(CCommon::OnGetMediaInfoBindCount(), count);
    CCommon::SetMediaInfoLibrary(L"");
    EXPECT_EQ(CCommon::OnGetAudioFormat(P("tone.mp3")), L"MPEG Audio");  // the next query binds again
    EXPECT_EQ(CCommon::OnGetMediaInfoBindCount(), count + 1);
}

TEST_F(ProbeE2E, WithoutMediaInfoTheChainFallsBackToFfprobe) {
    MediaInfoAbsent absent;
    EXPECT_FALSE(CCommon::OnBindMediaInfo());
    int32_t bps = 5;
    EXPECT_EQ(CCommon::OnGetAudioRates(P("tone.wav"), bps), 0);
    EXPECT_EQ(bps, 0);
    EXPECT_FALSE(CCommon::OnHasCover(P("cover.mp3")));
    MediaFacts f;
    CCommon::ProbeForListRow(P("tone.wav"), f);
    EXPECT_EQ(f.fileName, L"");
    EXPECT_EQ(f.fileSize, CCommon::OnGetFileSize(P("tone.wav")));
    EXPECT_NEAR(f.durationMs, 3000, 20);
    EXPECT_EQ(f.bitRate, 1411000);  // ffprobe's "1411 kb/s"
}

TEST_F(ProbeE2E, AacStepTakesTheExactExtensionOrTheFormat) {
    MediaInfoAbsent absent;  // no duration and no format from the library
    CCommon::SetAacLengthHook(&CountingAacHook);
    g_hookCalls = 0;
    MediaFacts f;
    CCommon::ProbeForListRow(P("tone.aac"), f);
    EXPECT_EQ(g_hookCalls.load(), 1);
    EXPECT_EQ(f.durationMs, 12345u);
    EXPECT_EQ(f.bitRate, 77000);
    // ".AAC" is not the direct path, and without MediaInfo there is no format to test: ffprobe.
    MediaFacts g;
    CCommon::ProbeForListRow(P("upper.AAC"), g);
    EXPECT_EQ(g_hookCalls.load(), 1);
    EXPECT_NEAR(g.durationMs, 3000, 100);
}

TEST_F(ProbeE2E, AacStepUsesTheDecoderBridgeWhenInstalled) {
    MediaInfoAbsent absent;
    CCommon::SetToolPathOverride(L"ffprobe", L"/nonexistent/ffprobe");
    MediaFacts f;
    CCommon::ProbeForListRow(P("tone.aac"), f);
    EXPECT_EQ(f.durationMs, 0u);  // no bridge yet and no ffprobe: unknown
    CAudioProcess::OnInstallProbeHooks();
    CCommon::ProbeForListRow(P("tone.aac"), f);
    CCommon::SetToolPathOverride(L"ffprobe", L"");
    EXPECT_NEAR(f.durationMs, 3000, 100);
    EXPECT_GT(f.bitRate, 0);
}

TEST_F(ProbeE2E, BackgroundMusicChainScansAdts) {
    MediaInfoAbsent absent;
    CCommon::SetToolPathOverride(L"ffprobe", L"/nonexistent/ffprobe");
    MediaFacts f;
    CCommon::ProbeForBackgroundMusic(P("tone.aac"), f);
    EXPECT_EQ(f.durationMs, 3000u);  // whole seconds
    EXPECT_GT(f.bitRate, 0);
    EXPECT_EQ(f.fileSize, CCommon::OnGetFileSize(P("tone.aac")));
    MediaFacts g;
    CCommon::ProbeForBackgroundMusic(P("tone.mp3"), g);  // no tool run in this chain
    EXPECT_EQ(g.durationMs, 0u);
    CCommon::SetToolPathOverride(L"ffprobe", L"");
    // With MediaInfo the library's own duration is used.
    CCommon::SetMediaInfoLibrary(L"");
    MediaFacts h;
    CCommon::ProbeForBackgroundMusic(P("tone.mp3"), h);
    EXPECT_NEAR(h.durationMs, 2000, 100);
    int32_t bps = 0;
    EXPECT_EQ(CCommon::OnParseAdtsLength(P("tone.aac"), bps), 3000u);
    EXPECT_NEAR(bps, 128000, 40000);
}

TEST_F(ProbeE2E, FfprobeDirectlyAndWhenMissing) {
    uint32_t ms = 0;
    int32_t bps = 0;
    CCommon::OnProbeWithTool(P("say \"hi\" 你好 #1.mp3"), ms, bps);
    EXPECT_NEAR(ms, 1500, 100);
    EXPECT_NEAR(bps, 128000, 10000);
    CCommon::SetToolPathOverride(L"ffprobe", L"/nonexistent/ffprobe");
    ms = 7;
    bps = 9;
    CCommon::OnProbeWithTool(P("tone.mp3"), ms, bps);
    CCommon::SetToolPathOverride(L"ffprobe", L"");
    EXPECT_EQ(ms, 7u);
    EXPECT_EQ(bps, 9);
}

TEST_F(ProbeE2E, ToolThatKeepsItsOutputOpenDoesNotHangTheProbe) {
    // A stand-in probe tool that answers, then leaves a child holding the pipe for ten minutes.
    std::string script = dir_->Path() + "fake-probe.sh";
    std::string pidFile = dir_->Path() + "holder.pid";
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(script),
                                         "#!/bin/sh\n"
                                         "echo '  Duration: 00:00:07.50, start: 0.000000, bitrate: 99 kb/s'\n"
                                         "sleep 600 &\n"
                                         "echo $! > '" +
                                             pidFile + "'\nexit 0\n"));
    ::chmod(script.c_str(), 0755);
    CCommon::SetToolPathOverride(L"ffprobe", platform::FromUtf8(script));
    uint32_t ms = 0;
    int32_t bps = 0;
    CCommon::OnProbeWithTool(P("tone.mp3"), ms, bps);
    CCommon::SetToolPathOverride(L"ffprobe", L"");
    std::string pid;
    if (platform::ReadFileBytes(platform::FromUtf8(pidFile), &pid) && std::atoi(pid.c_str()) > 0) {
        ::kill(std::atoi(pid.c_str()), SIGTERM);  // the holder this test started
    }
    EXPECT_EQ(ms, 7500u);
    EXPECT_EQ(bps, 99000);
}

TEST_F(ProbeE2E, PipesAndDevicesAreNeverHandedToTheProbes) {
    // A pipe without a writer and an endless device: opening or reading either would block the
    // media library or the probe tool for ever. Every probe returns at once with nothing found.
    const std::string fifo = dir_->Path() + "no-writer.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::wstring& path : {platform::FromUtf8(fifo), std::wstring(L"/dev/zero")}) {
        MediaFacts facts;
        CCommon::ProbeForListRow(path, facts);
        EXPECT_EQ(facts.durationMs, 0u) << platform::ToUtf8(path);
        EXPECT_EQ(CCommon::OnGetAudioFormat(path), L"") << platform::ToUtf8(path);
        EXPECT_FALSE(CCommon::OnHasCover(path)) << platform::ToUtf8(path);
        uint32_t ms = 0;
        int32_t bps = 0;
        CCommon::OnProbeWithTool(path, ms, bps);
        EXPECT_EQ(ms, 0u) << platform::ToUtf8(path);
    }
}

// ---- tonewright-cli probe ---------------------------------------------------------------------------

struct CliResult {
    bool started = false;
    int code = -1;
    std::string output;
};

CliResult RunCli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TW_CLI_PATH, "probe"};
    argv.insert(argv.end(), args.begin(), args.end());
    CliResult r;
    r.started = platform::RunProcessCapture(argv, &r.output, &r.code);
    return r;
}

TEST_F(ProbeE2E, CliPrintsOneJsonObjectPerFile) {
    std::string named = media_ + "say \"hi\" 你好 #1.mp3";
    CliResult r = RunCli({media_ + "cover.mp3", named});
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.code, 0);
    size_t firstEnd = r.output.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    std::string first = r.output.substr(0, firstEnd);
    std::string second = r.output.substr(firstEnd + 1);
    EXPECT_EQ(first.rfind("{\"path\":\"" + media_ + "cover.mp3\",\"fileName\":\"cover\",\"fileSize\":", 0),
              0u)
        << first;
    EXPECT_NE(first.find("\"audioFormat\":\"MPEG Audio\",\"sampleRate\":44100,"), std::string::npos) << first;
    EXPECT_NE(first.find(",\"hasCover\":true}"), std::string::npos) << first;
    EXPECT_NE(second.find("say \\\"hi\\\" 你好 #1.mp3\""), std::string::npos) << second;
    EXPECT_NE(second.find("\"hasCover\":false}\n"), std::string::npos) << second;
    EXPECT_EQ(second.find("\"durationMs\":0,"), std::string::npos) << second;
}

TEST_F(ProbeE2E, CliGivesZerosForMissingFilesAndFailsAtTheEnd) {
    CliResult r = RunCli({media_ + "missing.mp3", media_ + "tone.wav"});
    ASSERT_TRUE(r.started);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(
        r.output.find("{\"path\":\"" + media_ +
                      "missing.mp3\",\"fileName\":\"\",\"fileSize\":0,\"durationMs\":0,\"bitRate\":0,"
                      "\"audioFormat\":\"\",\"sampleRate\":0,\"encodedLibrary\":\"\",\"hasCover\":false}\n"),
        std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("input file not found: " + media_ + "missing.mp3\n"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("\"sampleRate\":44100"), std::string::npos);  // the second file was still probed
    // A name that is not valid UTF-8 is reported as unreadable, not probed under another name.
    std::string badName = dir_->Path() + "bad\xff.mp3";
    ASSERT_TRUE(platform::CopyFileNoOverwrite(P("tone.mp3"), platform::FromUtf8(dir_->Path() + "bad")));
    ASSERT_EQ(std::rename((dir_->Path() + "bad").c_str(), badName.c_str()), 0);
    CliResult bad = RunCli({badName});
    EXPECT_NE(bad.code, 0);
    EXPECT_NE(bad.output.find("\"durationMs\":0,"), std::string::npos) << bad.output;
    EXPECT_NE(bad.output.find("not valid UTF-8"), std::string::npos) << bad.output;
    CliResult none = RunCli({});
    EXPECT_EQ(none.code, 2);
    EXPECT_EQ(none.output.find('{'), std::string::npos);
}

}  // namespace
