// Every catalogue template run with the real ffmpeg on media made here, each output checked.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "common/Common.h"
#include "engine/AacBridge.h"
#include "engine/AudioProcess.h"
#include "platform/Platform.h"
#include "probe/MediaCache.h"
#include "support/TestSupport.h"

namespace {

using testsupport::ProbeChannels;
using testsupport::ProbeCodec;
using testsupport::ProbeDurationSeconds;
using testsupport::ProbeSampleRate;
using testsupport::ProbeStreamCount;

const bool kLocale = (platform::InitLocale(), true);

class RunnerE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        (void)kLocale;
        dir_ = std::make_unique<testsupport::TempDir>();
        // Inputs and outputs in folders whose names have blanks, quotes, "#" and CJK characters;
        // one input name starts with a dash.
        media_ = mediacache::Folder("runner-media-1/m \"q\" #1 中文");
        out_ = dir_->Path() + "o \"q\" #2 中文/";
        platform::CreateFolders(platform::FromUtf8(out_));
        using testsupport::MakeTone;
        auto make = [](const char* name, const std::function<bool(const std::string&)>& fn) {
            return !mediacache::File(media_, name, fn).empty();
        };
        ready_ =
            make("-tone.wav", [](const std::string& p) { return MakeTone(p, 4.0, 440, 44100, 2); }) &&
            make("tone.mp3", [](const std::string& p) { return MakeTone(p, 4.0, 440, 44100, 2); }) &&
            make("tone.ogg", [](const std::string& p) { return MakeTone(p, 3.0, 440, 44100, 2); }) &&
            make("tone.aac", [](const std::string& p) { return MakeTone(p, 3.0, 440, 44100, 2); }) &&
            make("noise.wav",
                 [](const std::string& p) { return testsupport::MakeNoise(p, 1.0, 0.2, 44100, 1); }) &&
            make("cover.mp3", [](const std::string& p) { return testsupport::MakeMp3WithCover(p, 3.0); }) &&
            make("clip.mp4", [](const std::string& p) { return testsupport::MakeVideo(p, 2.0, true); });
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
        if (!ready_) GTEST_SKIP() << "ffmpeg could not make the test media";
    }

    static std::wstring In(const std::string& name) { return platform::FromUtf8(media_ + name); }
    static std::string Out(const std::string& name) { return out_ + "out " + name; }
    static std::wstring WOut(const std::string& name) { return platform::FromUtf8(Out(name)); }
    static std::wstring Prog() { return platform::FromUtf8(out_ + "progress"); }

    // Runs the command; the run itself must start.
    static void Run(const ToolCommand& cmd) {
        ASSERT_TRUE(CAudioProcess::OnRunProcess(cmd)) << platform::ToUtf8(cmd.text);
    }

    static std::unique_ptr<testsupport::TempDir> dir_;
    static std::string media_;
    static std::string out_;
    static bool ready_;
};

std::unique_ptr<testsupport::TempDir> RunnerE2E::dir_;
std::string RunnerE2E::media_;
std::string RunnerE2E::out_;
bool RunnerE2E::ready_ = false;

TEST_F(RunnerE2E, CutTemplates) {
    // Cover input with a known bit rate: no picture stream, two seconds, the asked-for rate.
    int32_t bps = 0;
    CCommon::OnGetAudioRates(In("cover.mp3"), bps);
    ASSERT_GT(bps, 0);
    ASSERT_TRUE(CCommon::OnHasCover(In("cover.mp3")));
    bool decode = true;
    CmdTemplate t = CCommandCatalogue::SelectCut(In("cover.mp3"), true, bps, &decode);
    ASSERT_EQ(t, CmdTemplate::CutCoverBitrate);
    Run(CAudioProcess::OnMakeCommand(
        t, {In("cover.mp3"), L"00:00:00.500", L"00:00:02.000", 96000, WOut("ccb.mp3"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("ccb.mp3")), 2.0, 0.1);
    EXPECT_EQ(ProbeStreamCount(Out("ccb.mp3"), "v"), 0);
    EXPECT_EQ(ProbeCodec(Out("ccb.mp3")), "mp3");
    EXPECT_TRUE(platform::PathExists(Prog()));  // the tool wrote its progress where it was told

    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::CutCover, {In("cover.mp3"), L"00:00:01.000", L"00:00:01.500", WOut("cc.wav"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("cc.wav")), 1.5, 0.05);
    EXPECT_EQ(ProbeStreamCount(Out("cc.wav"), "v"), 0);

    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::CutPlain, {In("-tone.wav"), L"00:00:01.000", L"00:00:02.500", WOut("cp.wav"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("cp.wav")), 2.5, 0.02);
    EXPECT_EQ(ProbeChannels(Out("cp.wav")), 2);
    EXPECT_EQ(ProbeCodec(Out("cp.wav")), "pcm_s16le");

    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::CutBitrate,
        {In("tone.mp3"), L"00:00:00.000", L"00:00:03.000", 64000, WOut("cb.mp3"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("cb.mp3")), 3.0, 0.1);
    int32_t outRate = 0;
    CCommon::OnGetAudioRates(WOut("cb.mp3"), outRate);
    EXPECT_NEAR(outRate, 64000, 2000);

    // Extract from video: CutPlain, the output's extension picks the audio format.
    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::CutPlain, {In("clip.mp4"), L"00:00:00.000", L"00:00:01.000", WOut("clip.mp3"), Prog()}));
    EXPECT_EQ(ProbeCodec(Out("clip.mp3")), "mp3");
    EXPECT_EQ(ProbeStreamCount(Out("clip.mp3"), "v"), 0);
}

TEST_F(RunnerE2E, AacInputIsDecodedBeforeTheCut) {
    bool decode = false;
    CmdTemplate t =
        CCommandCatalogue::SelectCut(In("tone.aac"), CCommon::OnHasCover(In("tone.aac")), 0, &decode);
    ASSERT_EQ(t, CmdTemplate::CutPlain);
    ASSERT_TRUE(decode);
    std::wstring wav = WOut("aac decoded.wav");
    OnDecoderAAC(In("tone.aac").c_str(), wav.c_str());
    ASSERT_TRUE(platform::PathExists(wav));
    Run(CAudioProcess::OnMakeCommand(t,
                                     {wav, L"00:00:00.500", L"00:00:02.000", WOut("aac cut.mp3"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("aac cut.mp3")), 2.0, 0.1);
    EXPECT_EQ(ProbeCodec(Out("aac cut.mp3")), "mp3");
    // Format conversion of an ADTS input goes straight to the tool first.
    Run(CAudioProcess::OnMakeCommand(CmdTemplate::Convert, {In("tone.aac"), L"00:00:00.000", L"00:00:03.000",
                                                            L"-ac 1", WOut("aac.flac"), Prog()}));
    EXPECT_EQ(ProbeCodec(Out("aac.flac")), "flac");
    EXPECT_EQ(ProbeChannels(Out("aac.flac")), 1);
    EXPECT_NEAR(ProbeDurationSeconds(Out("aac.flac")), 3.0, 0.1);
}

TEST_F(RunnerE2E, ConvertTemplates) {
    std::wstring ogg =
        CCommandCatalogue::BuildFormatArgs(L"格式：OGG", L"质量：128kb/s", 1, L"", In("-tone.wav"), false);
    Run(CAudioProcess::OnMakeCommand(CmdTemplate::Convert, {In("-tone.wav"), L"00:00:00.000", L"00:00:02.000",
                                                            ogg, WOut("c.ogg"), Prog()}));
    EXPECT_EQ(ProbeCodec(Out("c.ogg")), "vorbis");
    EXPECT_EQ(ProbeChannels(Out("c.ogg")), 1);
    EXPECT_NEAR(ProbeDurationSeconds(Out("c.ogg")), 2.0, 0.05);

    std::wstring wav =
        CCommandCatalogue::BuildFormatArgs(L"格式：WAV", L"质量：", 1, L"pcm_s24le", In("tone.mp3"), false);
    Run(CAudioProcess::OnMakeCommand(CmdTemplate::Convert, {In("tone.mp3"), L"00:00:00.000", L"00:00:01.000",
                                                            wav, WOut("c.wav"), Prog()}));
    EXPECT_EQ(ProbeCodec(Out("c.wav")), "pcm_s24le");
    EXPECT_EQ(ProbeChannels(Out("c.wav")), 1);

    // Rule 7: an MP3 with a cover converted to MP3 loses the picture; ".MP3" selects ConvertMp3.
    bool cover = CCommon::OnHasCover(In("cover.mp3"));
    ASSERT_TRUE(cover);
    std::wstring mp3 =
        CCommandCatalogue::BuildFormatArgs(L"格式：MP3", L"质量：128kb/s", 2, L"", In("cover.mp3"), cover);
    EXPECT_EQ(mp3, L"-ac 2 -ab 128k -vn ");
    CmdTemplate t = CCommandCatalogue::SelectConvert(WOut("c.MP3"));
    ASSERT_EQ(t, CmdTemplate::ConvertMp3);
    Run(CAudioProcess::OnMakeCommand(
        t, {In("cover.mp3"), L"00:00:00.000", L"00:00:02.000", mp3, WOut("c.MP3"), Prog()}));
    EXPECT_EQ(ProbeCodec(Out("c.MP3")), "mp3");
    EXPECT_EQ(ProbeStreamCount(Out("c.MP3"), "v"), 0);

    // flac gets no options at all.
    std::wstring flac = CCommandCatalogue::BuildFormatArgs(L"格式：FLAC", L"质量：128kb/s", 1, L"pcm_s16le",
                                                           In("tone.ogg"), false);
    EXPECT_EQ(flac, L"");
    Run(CAudioProcess::OnMakeCommand(CmdTemplate::ConvertBare, {In("tone.ogg"), flac, WOut("c.flac")}));
    EXPECT_EQ(ProbeCodec(Out("c.flac")), "flac");
    EXPECT_EQ(ProbeChannels(Out("c.flac")), 2);
    EXPECT_NEAR(ProbeDurationSeconds(Out("c.flac")), 3.0, 0.1);
}

TEST_F(RunnerE2E, SpeedAndVolume) {
    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::Speed,
        {In("-tone.wav"), CCommandCatalogue::BuildSpeedFilter(L"2.0倍"), WOut("s.wav"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("s.wav")), 2.0, 0.05);

    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::VolumeCover,
        {In("cover.mp3"), CCommandCatalogue::BuildVolumeFilter(L"0.5倍"), WOut("vc.mp3"), Prog()}));
    EXPECT_EQ(ProbeStreamCount(Out("vc.mp3"), "v"), 0);
    EXPECT_NEAR(ProbeDurationSeconds(Out("vc.mp3")), 3.0, 0.1);

    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::Volume,
        {In("-tone.wav"), CCommandCatalogue::BuildVolumeFilter(L"1.5倍"), WOut("v.wav"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("v.wav")), 4.0, 0.05);
    EXPECT_EQ(ProbeChannels(Out("v.wav")), 2);
}

TEST_F(RunnerE2E, NoiseRemovalConversions) {
    for (CmdTemplate t : {CmdTemplate::ToSpeech16k, CmdTemplate::ToSpeech16kQuiet}) {
        SCOPED_TRACE(CCommandCatalogue::Name(t));
        std::string out = std::string("speech ") + platform::ToUtf8(CCommandCatalogue::Name(t)) + ".wav";
        std::vector<CmdValue> v = {In("tone.mp3"), WOut(out)};
        if (t == CmdTemplate::ToSpeech16k) v.push_back(Prog());
        Run(CAudioProcess::OnMakeCommand(t, v));
        EXPECT_EQ(ProbeSampleRate(Out(out)), 16000);
        EXPECT_EQ(ProbeChannels(Out(out)), 1);
        EXPECT_EQ(ProbeCodec(Out(out)), "pcm_s16le");
    }
    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::PieceToSpeech16k,
        {In("-tone.wav"), L"00:00:01.000", L"00:00:01.000", WOut("piece.wav"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("piece.wav")), 1.0, 0.01);
    EXPECT_EQ(ProbeSampleRate(Out("piece.wav")), 16000);

    for (CmdTemplate t : {CmdTemplate::DenoisedToMp3, CmdTemplate::DenoisedToMp3Wav}) {
        SCOPED_TRACE(CCommandCatalogue::Name(t));
        std::string out = std::string("clean ") + platform::ToUtf8(CCommandCatalogue::Name(t)) + ".mp3";
        Run(CAudioProcess::OnMakeCommand(t, {WOut("piece.wav"), WOut(out), Prog()}));
        EXPECT_EQ(ProbeCodec(Out(out)), "mp3");
        EXPECT_EQ(ProbeChannels(Out(out)), 2);
        EXPECT_EQ(ProbeSampleRate(Out(out)), 48000);
    }
}

TEST_F(RunnerE2E, BackgroundMusicKeepsTheMainInputsLength) {
    // Music (1 s) shorter than the main input (4 s): looped or once, the mix lasts 4 s.
    struct Case {
        bool loop;
        bool cover;
        const char* main;
        double seconds;
    };
    for (const Case& c : {Case{true, false, "-tone.wav", 4.0}, Case{false, false, "-tone.wav", 4.0},
                          Case{true, true, "cover.mp3", 3.0}, Case{false, true, "cover.mp3", 3.0}}) {
        CmdTemplate t = CCommandCatalogue::SelectBackgroundMusic(c.loop, c.cover);
        SCOPED_TRACE(CCommandCatalogue::Name(t));
        std::string out = std::string("bgm ") + platform::ToUtf8(CCommandCatalogue::Name(t)) + ".mp3";
        MediaFacts facts;
        CCommon::ProbeForListRow(In(c.main), facts);
        ASSERT_GT(facts.durationMs, 0u);
        Run(CAudioProcess::OnMakeCommand(
            t, {In(c.main), In("noise.wav"), CCommon::FormatTimeCode(facts.durationMs), WOut(out), Prog()}));
        EXPECT_NEAR(ProbeDurationSeconds(Out(out)), c.seconds, 0.15);
        EXPECT_EQ(ProbeStreamCount(Out(out), "v"), 0);
        EXPECT_EQ(ProbeStreamCount(Out(out), "a"), 1);
    }
}

TEST_F(RunnerE2E, ConcatThenMergeToMp3) {
    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::CutPlain, {In("-tone.wav"), L"00:00:00.000", L"00:00:01.000", WOut("p1.wav"), Prog()}));
    Run(CAudioProcess::OnMakeCommand(
        CmdTemplate::CutPlain, {In("-tone.wav"), L"00:00:01.000", L"00:00:02.000", WOut("p2.wav"), Prog()}));
    std::string list = "file '" + Out("p1.wav") + "'\nfile '" + Out("p2.wav") + "'\n";
    std::wstring listPath = platform::FromUtf8(out_ + "list.txt");
    ASSERT_TRUE(platform::WriteFileBytes(listPath, list));
    Run(CAudioProcess::OnMakeCommand(CmdTemplate::Concat, {listPath, WOut("joined.wav"), Prog()}));
    EXPECT_NEAR(ProbeDurationSeconds(Out("joined.wav")), 3.0, 0.02);

    int sr = 0;
    int kbps = 0;
    CCommandCatalogue::MergeRates(WOut("joined.wav"), &sr, &kbps);
    EXPECT_EQ(sr, 44100);
    EXPECT_EQ(kbps, 1411);  // 16-bit stereo PCM: 1,411,200 bit/s
    Run(CAudioProcess::OnMakeCommand(CmdTemplate::MergeToMp3,
                                     {WOut("joined.wav"), sr, 192, WOut("merged.mp3"), Prog()}));
    EXPECT_EQ(ProbeCodec(Out("merged.mp3")), "mp3");
    EXPECT_EQ(ProbeSampleRate(Out("merged.mp3")), 44100);
    EXPECT_EQ(ProbeChannels(Out("merged.mp3")), 2);
    EXPECT_NEAR(ProbeDurationSeconds(Out("merged.mp3")), 3.0, 0.1);
}

TEST_F(RunnerE2E, RunsFromFiveThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> started{0};
    for (int i = 0; i < 5; ++i) {
        threads.emplace_back([i, &started] {
            ToolCommand cmd = CAudioProcess::OnMakeCommand(
                CmdTemplate::ToSpeech16kQuiet,
                {In("tone.mp3"), WOut("parallel " + std::to_string(i) + ".wav")});
            if (CAudioProcess::OnRunProcess(cmd)) ++started;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(started.load(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ProbeSampleRate(Out("parallel " + std::to_string(i) + ".wav")), 16000) << i;
    }
}

TEST_F(RunnerE2E, FailingToolRunStillReturnsTrueAndLeavesNoOutput) {
    // The tool starts but cannot read its input: the run itself succeeds, the output is missing.
    ToolCommand cmd = CAudioProcess::OnMakeCommand(CmdTemplate::ToSpeech16kQuiet,
                                                   {In("does not exist.mp3"), WOut("never.wav")});
    EXPECT_TRUE(CAudioProcess::OnRunProcess(cmd));
    EXPECT_FALSE(platform::PathExists(WOut("never.wav")));
}

}  // namespace
