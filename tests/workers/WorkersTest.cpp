// The operation workers end to end: real ffmpeg, MediaInfo, FAAD2 and the denoiser on media the
// tests generate, rows built from the test skin's row layouts, the ticker on a fast time base.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/WorkThreadPool.h"
#include "engine/WorkerSupport.h"
#include "logging/Log.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

using testsupport::TempDir;

namespace {

constexpr uint32_t kFailed = 0xFFF1707A;
constexpr uint32_t kBarNormal = 0xFF7ED321;
constexpr uint32_t kLabelNormal = 0xFF333333;

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(folder, &entries);
    std::vector<std::wstring> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
}

std::string U8(const std::wstring& s) {
    return platform::ToUtf8(s);
}

class WorkersTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Only real work is timed: the ticker's 100 ms and 50 ms steps do not wait.
        CProgressTicker::SetSleepFunction([](uint32_t) {});
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        ASSERT_FALSE(testsupport::FfmpegPath().empty()) << "ffmpeg is needed for these tests";
    }
    static void TearDownTestSuite() { CProgressTicker::SetSleepFunction(nullptr); }

    void SetUp() override {
        // Rows live on the headless backend, as in the program without a screen.
        backend_ = std::make_unique<CHeadlessBackendUI>(true);
        CAppUI::SetBackend(backend_.get());
        // Temporary folders of the workers go below this test's own folder.
        ::setenv("XDG_CACHE_HOME", (dir_.Path() + "cache").c_str(), 1);
        platform::CreateFolders(dir_.WFile(L"tmp"));
        ::setenv("TMPDIR", (dir_.Path() + "tmp").c_str(), 1);
        platform::CreateFolders(dir_.WFile(L"in"));
        platform::CreateFolders(dir_.WFile(L"out"));
    }
    void TearDown() override {
        CCommon::SetToolPathOverride(L"ffmpeg", L"");
        SegmentLength = 900000;
        rows_.clear();
        CAppUI::SetBackend(nullptr);
        backend_.reset();
    }

    std::wstring In(const std::wstring& name) const { return dir_.WFile(L"in/" + name); }
    std::wstring Out(const std::wstring& name) const { return dir_.WFile(L"out/" + name); }
    std::wstring MergeTemp() const { return dir_.WFile(L"cache/ZXSonivert/"); }
    std::wstring SystemTemp() const { return dir_.WFile(L"tmp/"); }

    CContainerUI* Row(const std::wstring& layout) {
        CBuilderUI builder;
        CControlUI* root = builder.Create(layout);
        EXPECT_NE(root, nullptr) << U8(builder.GetLastError());
        rows_.emplace_back(root);
        return dynamic_cast<CContainerUI*>(root);
    }
    template <class T = CControlUI>
    static T* Child(CContainerUI* row, const std::wstring& name) {
        return dynamic_cast<T*>(row->FindSubControl(name));
    }

    // A job for a worker that animates the row's "progress" bar and "ProgressValue" label.
    _tagAsyncParam ProgressJob(CContainerUI* row, const std::wstring& input, const std::wstring& output,
                               const std::wstring& progressName, const std::wstring& extra) const {
        _tagAsyncParam job;
        job.input = input;
        job.output = output;
        job.progressPath = Out(progressName);
        job.extra = extra;
        job.controlA = Child(row, L"progress");
        job.controlB = Child(row, L"ProgressValue");
        return job;
    }

    // Runs one job on a pool of two threads and waits for its counter.
    static void RunOnPool(int (*worker)(void*), const _tagAsyncParam& job) {
        CWorkThreadPoolImpl pool;
        pool.StartWith(2, 2);
        std::atomic<int> done{0};
        pool.Submit(std::make_unique<_tagAsyncParam>(job), worker, &done);
        while (done.load() < 1) std::this_thread::yield();
        pool.Stop();
    }

    TempDir dir_;
    std::unique_ptr<CHeadlessBackendUI> backend_;
    std::vector<std::unique_ptr<CControlUI>> rows_;
};

// ---- Format conversion ------------------------------------------------------------------------------

TEST_F(WorkersTest, FormatConvertsWavToMp3AndShowsSizeAndOpenButton) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 2.0));
    const int64_t inputSize = platform::FileSize(In(L"tone.wav"));
    CContainerUI* row = Row(L"listitemformat.xml");
    auto* button = Child(row, L"formatconvertaudio");
    button->SetEnabled(false);
    button->SetText(L"转换中");

    _tagAsyncParam job;
    job.input = In(L"tone.wav");
    job.output = Out(L"tone_1.mp3");
    job.progressPath = Out(L"123456");
    job.start = L"00:00:00.000";
    job.length = L"00:00:02.000";
    job.extra = L"-ab 128k";
    job.controlA = Child(row, L"outfilesize");
    job.controlB = button;
    RunOnPool(&CAudioProcess::OnAsyncFormatAudio, job);

    EXPECT_EQ(testsupport::ProbeCodec(U8(job.output)), "mp3");
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(job.output)), 2.0, 0.1);
    std::wstring sizeText;
    CCommon::OnFormatFileSize(CCommon::OnGetFileSize(job.output), sizeText);
    EXPECT_EQ(Child(row, L"outfilesize")->GetText(), L"大小：" + sizeText);
    EXPECT_TRUE(button->IsEnabled());
    EXPECT_EQ(button->GetText(), L"转换");
    EXPECT_FALSE(button->IsOwnVisible());
    EXPECT_TRUE(Child(row, L"btn_openfile")->IsOwnVisible());
    EXPECT_FALSE(platform::PathExists(job.progressPath)) << "the progress file is deleted";
    EXPECT_EQ(platform::FileSize(job.input), inputSize) << "the input stays as it was";
}

TEST_F(WorkersTest, FormatOfUnreadableInputRetriesOnceAndShowsZeroSize) {
    ASSERT_TRUE(platform::WriteFileBytes(In(L"broken.wav"), "this is not audio"));
    CContainerUI* row = Row(L"listitemformat.xml");
    _tagAsyncParam job;
    job.input = In(L"broken.wav");
    job.output = Out(L"broken_1.mp3");
    job.progressPath = Out(L"77");
    job.start = L"00:00:00.000";
    job.length = L"00:00:01.000";
    job.extra = L"-ab 128k";
    job.controlA = Child(row, L"outfilesize");
    job.controlB = Child(row, L"formatconvertaudio");
    CAudioProcess::OnAsyncFormatAudio(&job);

    EXPECT_EQ(Child(row, L"outfilesize")->GetText(), L"失败") << "a missing output is no size";
    EXPECT_EQ(Child(row, L"outfilesize")->GetTextColor(), kFailed);
    EXPECT_FALSE(Child(row, L"btn_openfile")->IsOwnVisible()) << "there is nothing to open";
    EXPECT_TRUE(Child(row, L"formatconvertaudio")->IsEnabled()) << "the row can be converted again";
    EXPECT_TRUE(FilesIn(SystemTemp()).empty()) << "the retry's temporary copy is deleted";
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(job.input, &bytes));
    EXPECT_EQ(bytes, "this is not audio");
}

TEST_F(WorkersTest, FormatWithoutTemporaryFolderLeavesTheRowAlone) {
    ASSERT_TRUE(platform::WriteFileBytes(In(L"broken.wav"), "xx"));
    ::setenv("TMPDIR", (U8(dir_.WPath()) + "no-such-folder").c_str(), 1);
    CContainerUI* row = Row(L"listitemformat.xml");
    _tagAsyncParam job;
    job.input = In(L"broken.wav");
    job.output = Out(L"broken_1.mp3");
    job.progressPath = Out(L"78");
    job.start = L"00:00:00.000";
    job.length = L"00:00:01.000";
    job.controlA = Child(row, L"outfilesize");
    job.controlB = Child(row, L"formatconvertaudio");
    CAudioProcess::OnAsyncFormatAudio(&job);
    EXPECT_EQ(Child(row, L"outfilesize")->GetText(), L"大小：");
    EXPECT_FALSE(Child(row, L"btn_openfile")->IsOwnVisible());
}

TEST_F(WorkersTest, FormatOfAacToWavDecodesDirectlyWhenTheToolFails) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"song.aac")), 1.0));
    _tagAsyncParam job;
    job.input = In(L"song.aac");
    job.output = Out(L"song_1.wav");
    job.progressPath = Out(L"79");
    job.start = L"00:00:00.000";
    job.length = L"00:00:01.000";
    job.extra = L"-no_such_option 1";  // the tool refuses the command
    CAudioProcess::OnAsyncFormatAudio(&job);
    EXPECT_EQ(testsupport::ProbeCodec(U8(job.output)), "pcm_s16le");
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(job.output)), 1.0, 0.1);
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{L"song.aac"});
}

TEST_F(WorkersTest, FormatOfAacToMp3GoesThroughAWavBesideTheSourceAndRemovesIt) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"song.aac")), 1.0));
    CContainerUI* row = Row(L"listitemformat.xml");
    _tagAsyncParam job;
    job.input = In(L"song.aac");
    job.output = Out(L"song_1.mp3");
    job.progressPath = Out(L"80");
    job.start = L"00:00:00.000";
    job.length = L"00:00:01.000";
    job.extra = L"-no_such_option 1";
    job.controlA = Child(row, L"outfilesize");
    CAudioProcess::OnAsyncFormatAudio(&job);
    EXPECT_FALSE(platform::PathExists(job.output));
    EXPECT_EQ(Child(row, L"outfilesize")->GetText(), L"失败");
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{L"song.aac"}) << "the decoded WAV is removed";
}

TEST_F(WorkersTest, SingleFormatSetsOnlyTheSizeLabel) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"a b#'x.flac")), 1.0));
    CContainerUI* row = Row(L"listitemformat.xml");
    auto* button = Child(row, L"formatconvertaudio");
    button->SetText(L"转换中");
    CAudioProcess::OnSingleFormatAudio(In(L"a b#'x.flac"), Out(L"-lead.ogg"), Out(L"81"), L"00:00:00.000",
                                       L"00:00:01.000", L" -acodec libvorbis", Child(row, L"outfilesize"));
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"-lead.ogg"))), "vorbis");
    EXPECT_NE(Child(row, L"outfilesize")->GetText().find(L"大小："), std::wstring::npos);
    EXPECT_NE(Child(row, L"outfilesize")->GetText(), L"大小：0.0KB");
    EXPECT_EQ(button->GetText(), L"转换中") << "the single-row action changes its button itself";
}

TEST_F(WorkersTest, MakeUniqueNameNumbersInParentheses) {
    std::wstring path = Out(L"x.wav");
    EXPECT_FALSE(CAudioProcess::OnMakeUniqueName(path, true));
    EXPECT_EQ(path, Out(L"x.wav"));
    ASSERT_TRUE(platform::WriteFileBytes(path, "1"));
    EXPECT_TRUE(CAudioProcess::OnMakeUniqueName(path, false));
    EXPECT_EQ(path, Out(L"x.wav"));
    ASSERT_TRUE(platform::WriteFileBytes(Out(L"x(1).wav"), "1"));
    EXPECT_FALSE(CAudioProcess::OnMakeUniqueName(path, true));
    EXPECT_EQ(path, Out(L"x(2).wav"));
}

// ---- Cut and extract ----------------------------------------------------------------------------------

TEST_F(WorkersTest, CutAndExtractKeepTheRangeAndLabelTheRowCut) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.mp3")), 3.0));
    ASSERT_TRUE(testsupport::MakeVideo(U8(In(L"clip.mp4")), 2.0));
    CContainerUI* cutRow = Row(L"listitemcutout.xml");
    CContainerUI* extractRow = Row(L"listitemcutout.xml");

    _tagAsyncParam cut;
    cut.input = In(L"tone.mp3");
    cut.output = Out(L"part.mp3");
    cut.progressPath = Out(L"90");
    cut.start = L"00:00:01.000";
    cut.length = L"00:00:01.500";
    cut.controlA = Child(cutRow, L"filesize");
    _tagAsyncParam extract;
    extract.input = In(L"clip.mp4");
    extract.output = Out(L"clip.mp3");
    extract.progressPath = Out(L"91");
    extract.start = L"00:00:00.000";
    extract.length = L"00:00:02.000";
    extract.controlA = Child(extractRow, L"filesize");

    CAudioProcess::OnAsyncCutAudio(&cut);
    CAudioProcess::OnAsyncExtractAudio(&extract);

    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(cut.output)), 1.5, 0.1);
    EXPECT_EQ(testsupport::ProbeStreamCount(U8(extract.output), "v"), 0);
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(extract.output)), 2.0, 0.15);
    for (CContainerUI* row : {cutRow, extractRow}) {
        EXPECT_EQ(Child(row, L"filesize")->GetText(), L"已剪切");
        EXPECT_EQ(Child(row, L"filesize")->GetTextColor(), 0xFF347AEBu);
    }
    EXPECT_FALSE(platform::PathExists(cut.progressPath));
    EXPECT_FALSE(platform::PathExists(extract.progressPath));
}

TEST_F(WorkersTest, CutOfAacDecodesFirstAndRemovesTheWav) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"song.aac")), 2.0));
    _tagAsyncParam cut;
    cut.input = In(L"song.aac");
    cut.output = Out(L"song.wav");
    cut.progressPath = Out(L"92");
    cut.start = L"00:00:00.500";
    cut.length = L"00:00:01.000";
    CAudioProcess::OnAsyncCutAudio(&cut);
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(cut.output)), 1.0, 0.1);
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{L"song.aac"});
}

TEST_F(WorkersTest, WorkersLogEntryCommandAndExit) {
    ASSERT_TRUE(testsupport::MakeVideo(U8(In(L"clip.mkv")), 1.0));
    logging::LogConfig config(dir_.WFile(L"log/run.log"));
    config.Configure();
    _tagAsyncParam job;
    job.input = In(L"clip.mkv");
    job.output = Out(L"clip.wav");
    job.progressPath = Out(L"93");
    job.start = L"00:00:00.000";
    job.length = L"00:00:01.000";
    CAudioProcess::OnAsyncExtractAudio(&job);
    config.Shutdown();

    std::string log;
    ASSERT_TRUE(platform::ReadFileBytes(dir_.WFile(L"log/run.log"), &log));
    const size_t in = log.find(">> IN OnAsyncExtractAudio...\n");
    const size_t cmd =
        log.find(">> CmdLine : \"" + testsupport::FfmpegPath() + "\" -i \"" + U8(job.input) + "\"");
    const size_t out = log.find(">> OUT OnAsyncExtractAudio...\n");
    ASSERT_NE(in, std::string::npos);
    ASSERT_NE(cmd, std::string::npos);
    ASSERT_NE(out, std::string::npos);
    EXPECT_LT(in, cmd);
    EXPECT_LT(cmd, out);
    EXPECT_NE(log.find("{AudioProcess.cpp:"), std::string::npos) << "records name the AudioProcess source";
    EXPECT_TRUE(platform::IsRegularFile(job.output));
}

TEST_F(WorkersTest, CoverPicturesAreNotCarriedIntoCutOrVolumeOutputs) {
    ASSERT_TRUE(testsupport::MakeMp3WithCover(U8(In(L"cover.mp3")), 2.0));
    ASSERT_EQ(testsupport::ProbeStreamCount(U8(In(L"cover.mp3")), "v"), 1);
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam cut;
    cut.input = In(L"cover.mp3");
    cut.output = Out(L"cut.mp3");
    cut.progressPath = Out(L"94");
    cut.start = L"00:00:00.500";
    cut.length = L"00:00:01.000";
    _tagAsyncParam volume = ProgressJob(row, In(L"cover.mp3"), Out(L"loud.mp3"), L"95", L"volume=1.5");
    CAudioProcess::OnAsyncCutAudio(&cut);
    CAudioProcess::OnAsyncVolumeAudio(&volume);
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(cut.output)), 1.0, 0.1);
    EXPECT_EQ(testsupport::ProbeStreamCount(U8(cut.output), "v"), 0);
    EXPECT_EQ(testsupport::ProbeStreamCount(U8(volume.output), "v"), 0);
    EXPECT_EQ(testsupport::ProbeStreamCount(U8(volume.output), "a"), 1);
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
}

// ---- Speed, volume, background music ---------------------------------------------------------------

TEST_F(WorkersTest, SpeedAndVolumeAnimateToHundredWithNormalColours) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 2.0));
    CContainerUI* speedRow = Row(L"listitemprogress.xml");
    CContainerUI* volumeRow = Row(L"listitemprogress.xml");
    // A row reused after a failure starts with normal colours again.
    Child<CProgressUI>(speedRow, L"progress")->SetForeColor(kFailed);
    Child(speedRow, L"ProgressValue")->SetTextColor(kFailed);

    _tagAsyncParam speed;
    speed.input = In(L"tone.wav");
    speed.output = Out(L"fast.wav");
    speed.progressPath = Out(L"100");
    speed.extra = L"atempo=2.0";
    speed.controlA = Child(speedRow, L"progress");
    speed.controlB = Child(speedRow, L"ProgressValue");
    _tagAsyncParam volume = speed;
    volume.output = Out(L"quiet.wav");
    volume.progressPath = Out(L"101");
    volume.extra = L"volume=0.5";
    volume.controlA = Child(volumeRow, L"progress");
    volume.controlB = Child(volumeRow, L"ProgressValue");

    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    std::atomic<int> done{0};
    pool.Submit(std::make_unique<_tagAsyncParam>(speed), &CAudioProcess::OnAsyncSpeedAudio, &done);
    pool.Submit(std::make_unique<_tagAsyncParam>(volume), &CAudioProcess::OnAsyncVolumeAudio, &done);
    while (done.load() < 2) std::this_thread::yield();
    pool.Stop();

    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(speed.output)), 1.0, 0.1);
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(volume.output)), 2.0, 0.1);
    for (CContainerUI* row : {speedRow, volumeRow}) {
        EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetValue(), 100);
        EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetForeColor(), kBarNormal);
        EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
        EXPECT_EQ(Child(row, L"ProgressValue")->GetTextColor(), kLabelNormal);
    }
}

TEST_F(WorkersTest, MissingToolTurnsTheRowRedWithFailed) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    CCommon::SetToolPathOverride(L"ffmpeg", dir_.WFile(L"no/ffmpeg"));
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam job = ProgressJob(row, In(L"tone.wav"), Out(L"fast.wav"), L"102", L"atempo=1.25");
    CAudioProcess::OnAsyncSpeedAudio(&job);
    EXPECT_FALSE(platform::PathExists(job.output));
    EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetValue(), 100);
    EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetForeColor(), kFailed);
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"失败");
    EXPECT_EQ(Child(row, L"ProgressValue")->GetTextColor(), kFailed);
    EXPECT_TRUE(platform::IsRegularFile(job.input));
}

TEST_F(WorkersTest, NeitherTheInputNorAUserFileNamedLikeTheProgressFileIsTouched) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    std::string original;
    ASSERT_TRUE(platform::ReadFileBytes(In(L"tone.wav"), &original));
    ASSERT_TRUE(platform::WriteFileBytes(Out(L"1234"), "the user's own file"));

    // Output named like the input: nothing is written, the row shows the failure.
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam speed =
        ProgressJob(row, In(L"tone.wav"), dir_.WFile(L"in/../in/tone.wav"), L"105", L"atempo=2.0");
    CAudioProcess::OnAsyncSpeedAudio(&speed);
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"失败");

    // A progress path that names an existing file is replaced by one of the job's own.
    _tagAsyncParam format;
    format.input = In(L"tone.wav");
    format.output = Out(L"tone_1.flac");
    format.progressPath = Out(L"1234");
    format.start = L"00:00:00.000";
    format.length = L"00:00:01.000";
    CAudioProcess::OnAsyncFormatAudio(&format);
    EXPECT_EQ(testsupport::ProbeCodec(U8(format.output)), "flac");

    std::string now;
    ASSERT_TRUE(platform::ReadFileBytes(In(L"tone.wav"), &now));
    EXPECT_TRUE(now == original) << "the input is unchanged";
    ASSERT_TRUE(platform::ReadFileBytes(Out(L"1234"), &now));
    EXPECT_EQ(now, "the user's own file");
    EXPECT_EQ(FilesIn(Out(L"")), (std::vector<std::wstring>{L"1234", L"tone_1.flac"}));
}

TEST_F(WorkersTest, BackgroundMusicReadsTheRowAndKeepsTheMainLength) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"voice.wav")), 3.0, 300));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"music.mp3")), 1.0, 800));
    for (bool loop : {true, false}) {
        CContainerUI* row = Row(L"listitemaddbgm.xml");
        Child(row, L"btn_itemaddbgm")->SetUserData(In(L"music.mp3"));
        Child(row, L"filetime")->SetTag(3000);
        Child<COptionUI>(row, L"OpitemLoop")->Selected(loop, false);
        _tagAsyncParam job;
        job.input = In(L"voice.wav");
        job.output = Out(loop ? L"voice_loop.wav" : L"voice_once.wav");
        job.progressPath = Out(L"103");
        job.controlA = row;
        CAudioProcess::OnAsyncComplexAudio(&job);
        EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(job.output)), 3.0, 0.1) << "loop " << loop;
        EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
        EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetValue(), 100);
    }
}

TEST_F(WorkersTest, BackgroundMusicWithoutMusicFileFailsVisibly) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"voice.wav")), 1.0));
    CContainerUI* row = Row(L"listitemaddbgm.xml");
    Child(row, L"filetime")->SetTag(1000);
    _tagAsyncParam job;
    job.input = In(L"voice.wav");
    job.output = Out(L"voice_1.wav");
    job.progressPath = Out(L"104");
    job.controlA = row;
    CAudioProcess::OnAsyncComplexAudio(&job);
    EXPECT_FALSE(platform::PathExists(job.output));
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"失败");
}

// ---- Noise removal --------------------------------------------------------------------------------------

struct NoiseCase {
    const wchar_t* input;
    const wchar_t* outputKind;
};

class NoiseTest : public WorkersTest, public ::testing::WithParamInterface<NoiseCase> {};

TEST_P(NoiseTest, ShortInputGivesTheChosenOutputAndLeavesNoTemporaryFiles) {
    const NoiseCase c = GetParam();
    ASSERT_TRUE(testsupport::MakeNoise(U8(In(c.input)), 1.5, 0.2, 44100, 2));
    CContainerUI* row = Row(L"listitemprogress.xml");
    Child(row, L"ProgressValue")->SetTag(1);  // noise level
    _tagAsyncParam job =
        ProgressJob(row, In(c.input), Out(std::wstring(L"clean.") + c.outputKind), L"200", c.outputKind);
    RunOnPool(&CAudioProcess::OnAsyncNoiseAudio, job);

    ASSERT_TRUE(platform::IsRegularFile(job.output));
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(job.output)), 1.5, 0.15);
    if (std::wstring(c.outputKind) == L"wav") {
        EXPECT_EQ(testsupport::ProbeSampleRate(U8(job.output)), 16000);
        EXPECT_EQ(testsupport::ProbeChannels(U8(job.output)), 1);
    } else {
        EXPECT_EQ(testsupport::ProbeCodec(U8(job.output)), "mp3");
        EXPECT_EQ(testsupport::ProbeSampleRate(U8(job.output)), 48000);
        EXPECT_EQ(testsupport::ProbeChannels(U8(job.output)), 2);
    }
    EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetValue(), 100);
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
    EXPECT_EQ(Child(row, L"ProgressValue")->GetTextColor(), kLabelNormal);
    EXPECT_TRUE(FilesIn(MergeTemp()).empty());
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{c.input}) << "nothing is left beside the input";
    EXPECT_EQ(FilesIn(Out(L"")), std::vector<std::wstring>{std::wstring(L"clean.") + c.outputKind});
}

TEST_P(NoiseTest, LongInputIsCutIntoPiecesAndJoined) {
    const NoiseCase c = GetParam();
    SegmentLength = 1000;  // pieces of one second: 2.5 s make three pieces
    ASSERT_TRUE(testsupport::MakeNoise(U8(In(c.input)), 2.5, 0.2, 44100, 1));
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam job =
        ProgressJob(row, In(c.input), Out(std::wstring(L"long.") + c.outputKind), L"201", c.outputKind);
    CAudioProcess::OnAsyncNoiseAudio(&job);

    ASSERT_TRUE(platform::IsRegularFile(job.output));
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(job.output)), 2.5, 0.15);
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
    EXPECT_TRUE(FilesIn(MergeTemp()).empty()) << "pieces, clean pieces, list and joined file are deleted";
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{c.input});
}

INSTANTIATE_TEST_SUITE_P(Inputs, NoiseTest,
                         ::testing::Values(NoiseCase{L"speech.wav", L"wav"}, NoiseCase{L"speech.wav", L"mp3"},
                                           NoiseCase{L"speech.mp3", L"wav"},
                                           NoiseCase{L"speech.mp3", L"mp3"}),
                         [](const ::testing::TestParamInfo<NoiseCase>& info) {
                             std::string in = U8(info.param.input);
                             return in.substr(in.find('.') + 1) + "_to_" + U8(info.param.outputKind);
                         });

TEST_F(WorkersTest, NoiseOneMillisecondOverTheSegmentMakesATinyLastPiece) {
    // The same split as 900,001 ms against 900,000: one full piece and one of 1 ms (16 samples).
    SegmentLength = 1000;
    ASSERT_TRUE(testsupport::MakeNoise(U8(In(L"speech.wav")), 1.001, 0.2, 16000, 1));
    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(In(L"speech.wav"), facts);
    ASSERT_EQ(facts.durationMs, 1001u);
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam job =
        ProgressJob(row, In(L"speech.wav"), Out(L"tiny.wav"), L"203", L"WAV");  // compared lower-cased
    CAudioProcess::OnAsyncNoiseAudio(&job);
    ASSERT_TRUE(platform::IsRegularFile(job.output));
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(job.output)), 1.0, 0.05);
    EXPECT_EQ(testsupport::ProbeSampleRate(U8(job.output)), 16000);
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
    EXPECT_TRUE(FilesIn(MergeTemp()).empty());
}

TEST_F(WorkersTest, NoiseOfUnreadableInputFailsVisibly) {
    ASSERT_TRUE(platform::WriteFileBytes(In(L"bad.mp3"), "not audio at all"));
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam job = ProgressJob(row, In(L"bad.mp3"), Out(L"bad_1.mp3"), L"202", L"mp3");
    CAudioProcess::OnAsyncNoiseAudio(&job);
    EXPECT_FALSE(platform::PathExists(job.output));
    EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"失败");
    EXPECT_EQ(Child<CProgressUI>(row, L"progress")->GetForeColor(), kFailed);
    EXPECT_TRUE(FilesIn(MergeTemp()).empty());
}

// ---- Merge ------------------------------------------------------------------------------------------------

TEST_F(WorkersTest, MergeOfThreeSourcesCopiesTheLameMp3AndSumsTheDurations) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"one.mp3")), 1.0, 440));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"two.wav")), 2.0, 660));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"three.ogg")), 3.0, 880));
    // Rows as the merge page holds them (the length tag is the probed duration until the user
    // picks a range): the third keeps only 1.5 s from 0.5 s on.
    MediaFacts mp3;
    CCommon::OnGetMediaFileInfo(In(L"one.mp3"), mp3);
    ASSERT_GT(mp3.durationMs, 0u);
    std::vector<MergeSource> sources;
    const std::vector<std::pair<std::wstring, std::pair<std::wstring, uint32_t>>> rows = {
        {In(L"one.mp3"), {L"", mp3.durationMs}},
        {In(L"two.wav"), {L"", 2000}},
        {In(L"three.ogg"), {L"00:00:00.500", 1500}}};
    for (const auto& [path, range] : rows) {
        CContainerUI* row = Row(L"listitemmerge.xml");
        row->SetUserData(path);
        Child(row, L"filetime")->SetUserData(range.first);
        Child(row, L"filetime")->SetTag(range.second);
        sources.push_back(CAudioProcess::OnReadMergeRow(row));
    }
    EXPECT_EQ(sources[0].start, L"00:00:00.000");
    EXPECT_EQ(sources[2].start, L"00:00:00.500");
    EXPECT_EQ(sources[2].length, L"00:00:01.500");

    CWorkThreadPoolImpl pool;
    pool.StartWith(5, 2);
    int copied = -1;
    const std::wstring output = CAudioProcess::OnRunMergeBatch(sources, Out(L""), pool, &copied);
    pool.Stop();

    EXPECT_EQ(copied, 1) << "only the LAME MP3 is copied";
    EXPECT_EQ(output.rfind(Out(L"合成文件-"), 0), 0u);
    EXPECT_EQ(output.substr(output.size() - 4), L".mp3");
    ASSERT_TRUE(platform::IsRegularFile(output));
    EXPECT_EQ(testsupport::ProbeCodec(U8(output)), "mp3");
    EXPECT_EQ(testsupport::ProbeChannels(U8(output)), 2);
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(output)), mp3.durationMs / 1000.0 + 3.5, 0.15);
    EXPECT_TRUE(FilesIn(MergeTemp()).empty()) << "pieces and list are deleted";
    EXPECT_EQ(FilesIn(Out(L"")).size(), 1u) << "only the merged file is left in the output folder";
}

TEST_F(WorkersTest, MergeOfALameMp3WithAChosenRangeCutsIt) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"one.mp3")), 2.0));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"two.mp3")), 1.0));
    MediaFacts two;
    CCommon::OnGetMediaFileInfo(In(L"two.mp3"), two);
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    int copied = -1;
    const std::wstring output =
        CAudioProcess::OnRunMergeBatch({{In(L"one.mp3"), L"00:00:00.000", L"00:00:01.000"},
                                        {In(L"two.mp3"), L"", CCommon::FormatTimeCode(two.durationMs)}},
                                       Out(L""), pool, &copied);
    pool.Stop();
    EXPECT_EQ(copied, 1) << "the first keeps only its first second, so it is cut; the second is copied";
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(output)), 1.0 + two.durationMs / 1000.0, 0.15);
}

TEST_F(WorkersTest, MergeJoinsWhenFoldersHaveBlanksQuotesAndWideCharacters) {
    const std::string cache = dir_.Path() + "cache dir's #1";
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::wstring outFolder = dir_.WFile(L"输出 'x'/");
    ASSERT_TRUE(platform::CreateFolders(outFolder));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"a.wav")), 1.0));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"b.ogg")), 1.0));
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    const std::wstring output = CAudioProcess::OnRunMergeBatch(
        {{In(L"a.wav"), L"", L"00:00:01.000"}, {In(L"b.ogg"), L"", L"00:00:01.000"}}, outFolder, pool);
    pool.Stop();
    EXPECT_EQ(output.rfind(outFolder + L"合成文件-", 0), 0u);
    ASSERT_TRUE(platform::IsRegularFile(output));
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(output)), 2.0, 0.2);
    EXPECT_TRUE(FilesIn(platform::FromUtf8(cache) + L"/ZXSonivert/").empty());
}

TEST_F(WorkersTest, MergePieceWithoutMeasurableDurationTakesTheWavRoute) {
    // Without MediaInfo every first piece reads as empty, so each takes the second route; the
    // merged file still comes out with every source in its place.
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"a.wav")), 1.0));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"b.flac")), 1.0));
    CCommon::SetMediaInfoLibrary(L"libtw-missing.so");
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    const std::wstring output = CAudioProcess::OnRunMergeBatch(
        {{In(L"a.wav"), L"00:00:00.000", L"00:00:01.000"}, {In(L"b.flac"), L"00:00:00.000", L"00:00:01.000"}},
        Out(L""), pool);
    pool.Stop();
    CCommon::SetMediaInfoLibrary(L"libmediainfo.so.0");
    ASSERT_TRUE(platform::IsRegularFile(output));
    EXPECT_NEAR(testsupport::ProbeDurationSeconds(U8(output)), 2.0, 0.2);
    EXPECT_TRUE(FilesIn(MergeTemp()).empty());
}

// ---- Outcomes that must never read as success, records and temporary names --------------------------

// Collects the records written while it lives.
class RecordTap {
public:
    RecordTap() {
        logging::SetRecordHook([this](const logging::Record& r) {
            std::lock_guard<std::mutex> lock(mutex_);
            records.push_back(r);
            if (onRecord) onRecord(r);
        });
    }
    ~RecordTap() { logging::SetRecordHook(nullptr); }
    std::vector<logging::Record> records;
    std::function<void(const logging::Record&)> onRecord;

private:
    std::mutex mutex_;
};

// The last double-quoted part of a command line.
std::wstring LastQuoted(const std::wstring& text) {
    const size_t close = text.rfind(L'"');
    const size_t open = close == std::wstring::npos ? close : text.rfind(L'"', close - 1);
    return open == std::wstring::npos ? std::wstring() : text.substr(open + 1, close - open - 1);
}

TEST_F(WorkersTest, CutAndExtractWithoutOutputShowFailedInRed) {
    ASSERT_TRUE(platform::WriteFileBytes(In(L"broken.mp3"), "not audio"));
    ASSERT_TRUE(testsupport::MakeVideo(U8(In(L"clip.mp4")), 1.0, false));  // a video without sound
    CContainerUI* cutRow = Row(L"listitemcutout.xml");
    CContainerUI* extractRow = Row(L"listitemcutout.xml");
    _tagAsyncParam cut;
    cut.input = In(L"broken.mp3");
    cut.output = Out(L"part.mp3");
    cut.progressPath = Out(L"300");
    cut.start = L"00:00:00.000";
    cut.length = L"00:00:01.000";
    cut.controlA = Child(cutRow, L"filesize");
    _tagAsyncParam extract = cut;
    extract.input = In(L"clip.mp4");
    extract.output = Out(L"clip.mp3");
    extract.progressPath = Out(L"301");
    extract.controlA = Child(extractRow, L"filesize");
    CAudioProcess::OnAsyncCutAudio(&cut);
    CAudioProcess::OnAsyncExtractAudio(&extract);
    for (CContainerUI* row : {cutRow, extractRow}) {
        EXPECT_EQ(Child(row, L"filesize")->GetText(), L"失败");
        EXPECT_EQ(Child(row, L"filesize")->GetTextColor(), kFailed);
    }
    EXPECT_LE(CCommon::OnGetFileSize(extract.output), 0u);
}

TEST_F(WorkersTest, FormatRetryMakesItsTemporaryCopyAndRemovesIt) {
    // The first run fails on its start time while the bare copy (which has none) succeeds, so the
    // retry really works from a copy in the temporary folder.
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    CContainerUI* row = Row(L"listitemformat.xml");
    _tagAsyncParam job;
    job.input = In(L"tone.wav");
    job.output = Out(L"tone_1.mp3");
    job.progressPath = Out(L"302");
    job.start = L"not-a-time";
    job.length = L"00:00:01.000";
    job.extra = L"-ab 128k";
    job.controlA = Child(row, L"outfilesize");
    job.controlB = Child(row, L"formatconvertaudio");
    std::vector<std::wstring> commands;
    bool copySeenBeforeRetry = false;
    {
        RecordTap tap;
        tap.onRecord = [&](const logging::Record& r) {
            if (r.message.rfind(L">> CmdLine : ", 0) != 0) return;
            commands.push_back(r.message);
            // The retry is the third command: its input is the copy, which must exist by now.
            if (commands.size() == 3) {
                const std::wstring copy = LastQuoted(commands[1].substr(0, commands[1].size() - 1));
                copySeenBeforeRetry = copy.rfind(SystemTemp(), 0) == 0 && platform::IsRegularFile(copy) &&
                                      platform::FileSize(copy) > 1000 &&
                                      r.message.find(L"-i \"" + copy + L"\"") != std::wstring::npos;
            }
        };
        CAudioProcess::OnAsyncFormatAudio(&job);
    }
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_NE(commands[1].find(L" -i \"" + job.input + L"\" -ab 128k \"" + SystemTemp() + L"tone.wav\""),
              std::wstring::npos)
        << U8(commands[1]);
    EXPECT_TRUE(copySeenBeforeRetry);
    EXPECT_TRUE(FilesIn(SystemTemp()).empty()) << "the copy is deleted";
    EXPECT_EQ(Child(row, L"outfilesize")->GetText(), L"失败");
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{L"tone.wav"});
}

TEST_F(WorkersTest, EveryWorkerRecordIsLocatedInTheWorkerItself) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.mp3")), 2.5));
    SegmentLength = 1000;  // the piece path, whose records come from helpers
    CContainerUI* row = Row(L"listitemprogress.xml");
    _tagAsyncParam noise = ProgressJob(row, In(L"tone.mp3"), Out(L"clean.mp3"), L"303", L"mp3");
    _tagAsyncParam cut;
    cut.input = In(L"tone.mp3");
    cut.output = Out(L"cut.mp3");
    cut.progressPath = Out(L"304");
    cut.start = L"00:00:00.000";
    cut.length = L"00:00:01.000";
    _tagAsyncParam onItself = cut;
    onItself.output = cut.input;  // refused, and that is logged from the worker too
    RecordTap tap;
    CAudioProcess::OnAsyncNoiseAudio(&noise);
    CAudioProcess::OnAsyncCutAudio(&cut);
    CAudioProcess::OnAsyncCutAudio(&onItself);
    logging::SetRecordHook(nullptr);

    const std::string noiseSig = "static int CAudioProcess::OnAsyncNoiseAudio(void*)";
    const std::string cutSig = "static int CAudioProcess::OnAsyncCutAudio(void*)";
    std::map<std::string, int> prefixes;
    for (const auto& r : tap.records) {
        EXPECT_NE(r.file, "WorkerSupport.cpp") << U8(r.message);
        if (r.file != "AudioProcess.cpp") continue;  // the probe's and denoiser's own records
        EXPECT_TRUE(r.function == noiseSig || r.function == cutSig) << r.function << " " << U8(r.message);
        for (const char* prefix : {">> IN ", ">> OUT ", ">> CmdLine : ", "szCmdLine : ", "Linker : ",
                                   "Finish Noise : ", ">> 超过30s", "output is the input"}) {
            if (U8(r.message).rfind(prefix, 0) == 0) ++prefixes[r.function + "|" + prefix];
        }
    }
    EXPECT_EQ(prefixes[noiseSig + "|>> IN "], 1);
    EXPECT_EQ(prefixes[noiseSig + "|>> OUT "], 1);
    EXPECT_EQ(prefixes[noiseSig + "|szCmdLine : "], 3);
    EXPECT_EQ(prefixes[noiseSig + "|>> CmdLine : "], 2) << "speech copy and join";
    EXPECT_EQ(prefixes[noiseSig + "|Linker : "], 1);
    EXPECT_EQ(prefixes[noiseSig + "|Finish Noise : "], 1);
    EXPECT_EQ(prefixes[noiseSig + "|>> 超过30s"], 1);
    EXPECT_EQ(prefixes[cutSig + "|>> IN "], 2);
    EXPECT_EQ(prefixes[cutSig + "|>> CmdLine : "], 2);
    EXPECT_EQ(prefixes[cutSig + "|>> OUT "], 2);
    EXPECT_EQ(prefixes[cutSig + "|output is the input"], 1);
    EXPECT_TRUE(platform::IsRegularFile(noise.output));
}

TEST_F(WorkersTest, MergeJoinLogsNoEntryOrExitRecords) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"a.wav")), 1.0));
    RecordTap tap;
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    const std::wstring output =
        CAudioProcess::OnRunMergeBatch({{In(L"a.wav"), L"", L"00:00:01.000"}}, Out(L""), pool);
    pool.Stop();
    logging::SetRecordHook(nullptr);
    ASSERT_TRUE(platform::IsRegularFile(output));
    int merges = 0;
    for (const auto& r : tap.records) {
        const std::string text = U8(r.message);
        EXPECT_EQ(text.find("IN OnMergeAudio"), std::string::npos);
        EXPECT_EQ(text.find("OUT OnMergeAudio"), std::string::npos);
        EXPECT_EQ(text.find("OnRunMergeBatch"), std::string::npos);
        if (text.rfind("Merge : ", 0) == 0) {
            ++merges;
            EXPECT_EQ(r.function,
                      "static int CAudioProcess::OnMergeAudio(std::wstring, std::wstring, std::wstring)");
        }
    }
    EXPECT_EQ(merges, 1);
}

TEST_F(WorkersTest, JobsSharingOneProgressPathEachGetTheirOwn) {
    // Two rows started in the same millisecond carry the same progress path; neither file exists.
    _tagAsyncParam shared;
    shared.input = In(L"a.wav");
    shared.output = Out(L"a.mp3");
    shared.progressPath = Out(L"305");
    std::wstring first, second;
    {
        workers::CWorkerScope one(L"One");
        workers::CWorkerScope two(L"Two");
        first = one.TakeJob(&shared).progressPath;
        second = two.TakeJob(&shared).progressPath;
        EXPECT_EQ(first, shared.progressPath);
        EXPECT_NE(second, first);
        EXPECT_EQ(second.rfind(Out(L"")), 0u) << "the replacement stays in the same folder";
        EXPECT_TRUE(workers::ProgressPathHeld(first));
        EXPECT_TRUE(workers::ProgressPathHeld(second));
        // Temporary names reserved by the scope are removed with it.
        ASSERT_TRUE(platform::WriteFileBytes(one.ReserveTemp(Out(L""), L"305", L".wav"), "x"));
        ASSERT_TRUE(platform::WriteFileBytes(first, "progress"));
    }
    EXPECT_FALSE(workers::ProgressPathHeld(first));
    EXPECT_FALSE(workers::ProgressPathHeld(second));
    EXPECT_TRUE(FilesIn(Out(L"")).empty());
    // A job whose input is its output writes nothing.
    _tagAsyncParam self = shared;
    self.output = shared.input;
    workers::CWorkerScope scope(L"Self");
    EXPECT_TRUE(scope.TakeJob(&self).output.empty());
}

TEST_F(WorkersTest, MergeFallbackRatesAndTheLameCopyTolerance) {
    int sampleRate = -1, kbps = -1;
    ASSERT_TRUE(platform::WriteFileBytes(Out(L"joined.mp3"), "no audio in here"));
    workers::MergeEncodeRates(Out(L"joined.mp3"), &sampleRate, &kbps);
    EXPECT_EQ(sampleRate, 44100);
    EXPECT_EQ(kbps, 128);
    workers::MergeEncodeRates(Out(L"missing.mp3"), &sampleRate, &kbps);
    EXPECT_EQ(sampleRate, 0);
    EXPECT_EQ(kbps, 0);
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.mp3")), 2.0, 440, 32000, 1));
    workers::MergeEncodeRates(In(L"tone.mp3"), &sampleRate, &kbps);
    EXPECT_EQ(sampleRate, 32000) << "a measurable file keeps its own rate";

    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(In(L"tone.mp3"), facts);
    ASSERT_GT(facts.durationMs, 100u);
    auto covers = [&](const std::wstring& start, uint32_t lengthMs) {
        return workers::CoversWholeFile({In(L"tone.mp3"), start, CCommon::FormatTimeCode(lengthMs)});
    };
    EXPECT_TRUE(covers(L"", facts.durationMs));
    EXPECT_TRUE(covers(L"00:00:00.000", facts.durationMs - 20));
    EXPECT_TRUE(covers(L"00:00:00.000", facts.durationMs - 40));
    EXPECT_TRUE(covers(L"00:00:00.000", facts.durationMs - workers::kCopyToleranceMs));
    EXPECT_FALSE(covers(L"00:00:00.000", facts.durationMs - workers::kCopyToleranceMs - 1));
    EXPECT_FALSE(covers(L"00:00:00.010", facts.durationMs)) << "a later start needs the cut";
}

TEST_F(WorkersTest, NoiseRowsStepTheirBarsWithoutHoldingTheDenoiseLock) {
    // The finishing steps run on the worker's thread. At each one, another thread must be able to
    // take the denoise lock: with this job alone, nobody else may be holding it.
    std::atomic<int> steps{0}, blocked{0};
    CProgressTicker::SetSleepFunction([&](uint32_t ms) {
        if (ms != CProgressTicker::kFinishMs) return;
        ++steps;
        std::thread probe([&] {
            if (DenoiseLock.try_lock()) {
                DenoiseLock.unlock();
            } else {
                ++blocked;
            }
        });
        probe.join();
    });
    for (const wchar_t* input : {L"speech.wav", L"speech.ogg"}) {
        ASSERT_TRUE(testsupport::MakeNoise(U8(In(input)), 1.0, 0.2, 16000, 1));
        CContainerUI* row = Row(L"listitemprogress.xml");
        _tagAsyncParam job = ProgressJob(row, In(input), Out(std::wstring(input) + L".mp3"), L"310", L"mp3");
        CAudioProcess::OnAsyncNoiseAudio(&job);
        EXPECT_TRUE(platform::IsRegularFile(job.output));
        EXPECT_EQ(Child(row, L"ProgressValue")->GetText(), L"100%");
    }
    CProgressTicker::SetSleepFunction([](uint32_t) {});
    EXPECT_GE(steps.load(), 2 * 21) << "each row steps at least from 79 to 100";
    EXPECT_EQ(blocked.load(), 0);
}

}  // namespace
