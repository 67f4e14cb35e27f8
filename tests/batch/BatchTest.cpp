// The batch start handlers end to end: the start button on a window with the main window's
// controls, rows of every page, the real workers and ffmpeg on generated media.
#include <regex>
#include <thread>

#include "BatchFixture.h"

namespace {

constexpr uint32_t kFailed = 0xFFF1707A;

bool Near(double value, double expected, double tolerance) {
    return value > expected - tolerance && value < expected + tolerance;
}

}  // namespace

TEST_F(BatchTest, StartIsRefusedWithoutCustomFolderAndEmptyListsFollowThePage) {
    // Empty lists: cut and extract show the message, the others ignore the click.
    for (int page : {0, 1, 2, 3, 4, 5, 6, 7}) {
        ShowPage(page);
        batch_->OnStartClick();
        EXPECT_FALSE(batch_->IsRunning(page, 0)) << page;
    }
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0], L"请添加输出列表，如有疑问请联系客服！");
    EXPECT_TRUE(wnd_->FindControl(L"btn_conver")->IsOwnVisible());

    // A custom folder without a path: notice 7 and nothing starts, whatever the list holds.
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    CControlUI* row = AddFormatRow(In(L"tone.wav"), L"tone_1", L"格式：mp3");
    UseCustomFolder(L"");
    ShowPage(1);
    batch_->OnStartClick();
    driver->Pump();
    ASSERT_EQ(wnd_->posted.size(), 1u);
    EXPECT_EQ(wnd_->posted[0].msg, MSG_NOTICE);
    EXPECT_EQ(wnd_->posted[0].wParam, 7u);
    EXPECT_FALSE(batch_->IsRunning(1, 0));
    EXPECT_TRUE(Child(row, L"btn_Removefile")->IsEnabled());
    batch_->OnSingleFormatClick(Child(row, L"formatconvertaudio"));
    driver->Pump();
    EXPECT_EQ(wnd_->Count(MSG_NOTICE, 0), 2u) << "the row's own convert button is refused the same way";
    EXPECT_EQ(Child(row, L"formatconvertaudio")->GetText(), L"转换");

    // With the input's folder chosen the empty path does not matter.
    ASSERT_TRUE(driver->SelectOption(wnd_.get(), L"opt_OldDir"));
    ASSERT_TRUE(RunPage(1));
    EXPECT_TRUE(platform::IsRegularFile(In(L"tone_1.mp3")));
    EXPECT_FALSE(wnd_->FindControl(L"btn_conver")->IsOwnVisible()) << "the window restores it";
    EXPECT_TRUE(wnd_->FindControl(L"gif_conver")->IsOwnVisible());
    EXPECT_FALSE(Child(row, L"btn_Removefile")->IsEnabled()) << "the window enables it on its done message";
}

TEST_F(BatchTest, FormatWritesEveryTypeWithChannelsAndWavCodecAndRefusesAnEmptyExtension) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    const std::wstring in = In(L"tone.wav");
    AddFormatRow(in, L"a", L"格式：mp3", 1);
    AddFormatRow(in, L"b", L"格式：wav", 0, L"质量：", L"pcm_u8");
    AddFormatRow(in, L"c", L"格式：flac", 1);
    AddFormatRow(in, L"d", L"格式：ogg", 2);
    AddFormatRow(in, L"e", L"格式：aac", 1, L"质量：96kb/s");
    CControlUI* refused = AddFormatRow(in, L"f", L"mp3");
    UseCustomFolder(dir_.WFile(L"out"));  // no trailing "/": the handler adds it
    ASSERT_TRUE(RunPage(1));

    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"a.mp3"))), "mp3");
    EXPECT_EQ(testsupport::ProbeChannels(U8(Out(L"a.mp3"))), 1);
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"b.wav"))), "pcm_u8");
    EXPECT_EQ(testsupport::ProbeChannels(U8(Out(L"b.wav"))), 2);
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"c.flac"))), "flac");
    EXPECT_EQ(testsupport::ProbeChannels(U8(Out(L"c.flac"))), 2) << "flac ignores the channel choice";
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"d.ogg"))), "vorbis");
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"e.aac"))), "aac");
    EXPECT_EQ(testsupport::ProbeChannels(U8(Out(L"e.aac"))), 1);
    for (const wchar_t* name : {L"a.mp3", L"b.wav", L"c.flac", L"d.ogg", L"e.aac"}) {
        EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(Out(name))), 1.0, 0.15)) << U8(name);
    }
    // The row without "格式：" writes nothing named "f." and shows the failure.
    EXPECT_EQ(FilesIn(Out(L"")),
              (std::vector<std::wstring>{L"a.mp3", L"b.wav", L"c.flac", L"d.ogg", L"e.aac"}));
    EXPECT_EQ(Child(refused, L"outfilesize")->GetText(), L"失败");
    EXPECT_EQ(Child(refused, L"outfilesize")->GetTextColor(), kFailed);
    EXPECT_TRUE(Child(refused, L"formatconvertaudio")->IsEnabled());
    EXPECT_EQ(Child(refused, L"btn_openfile")->GetUserData(), L"");
    EXPECT_EQ(FilesIn(In(L"")), std::vector<std::wstring>{L"tone.wav"});
}

TEST_F(BatchTest, OutputNamesAreNumberedFreeAndNeverOverwrite) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"one.wav")), 1.0));
    ASSERT_TRUE(testsupport::MakeMp3WithCover(U8(In(L"two.mp3")), 1.0));
    ASSERT_TRUE(platform::WriteFileBytes(Out(L"song.mp3"), "keep me"));
    // Two rows asking for the same name in one batch get different free names.
    CControlUI* first = AddFormatRow(In(L"one.wav"), L"song", L"格式：mp3");
    CControlUI* second = AddFormatRow(In(L"two.mp3"), L"song", L"格式：mp3");  // with a cover: " -vn "
    UseCustomFolder(dir_.WFile(L"out/"));
    ASSERT_TRUE(RunPage(1));
    EXPECT_EQ(Child(first, L"btn_openfile")->GetUserData(), Out(L"song_1.mp3"));
    EXPECT_EQ(Child(second, L"btn_openfile")->GetUserData(), Out(L"song_2.mp3"));
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"song_1.mp3"))), "mp3");
    EXPECT_EQ(testsupport::ProbeCodec(U8(Out(L"song_2.mp3"))), "mp3");
    EXPECT_EQ(testsupport::ProbeStreamCount(U8(Out(L"song_2.mp3")), "v"), 0) << "the cover is left out";
    std::string kept;
    ASSERT_TRUE(platform::ReadFileBytes(Out(L"song.mp3"), &kept));
    EXPECT_EQ(kept, "keep me");
    EXPECT_TRUE(Child(first, L"btn_openfile")->IsOwnVisible());
    EXPECT_FALSE(Child(first, L"formatconvertaudio")->IsOwnVisible());
}

TEST_F(BatchTest, ARowConvertedAloneIsConvertedAgainByTheBatchAndABusyRowIsLeftAlone) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"tone.wav")), 1.0));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"busy.wav")), 1.0));
    CControlUI* row = AddFormatRow(In(L"tone.wav"), L"tone_1", L"格式：mp3");
    CControlUI* button = Child(row, L"formatconvertaudio");
    ShowPage(1);
    batch_->OnSingleFormatClick(button);
    ASSERT_TRUE(driver->PumpUntil([&] { return !batch_->IsSingleRunning(); }, 60000));
    EXPECT_EQ(testsupport::ProbeCodec(U8(In(L"tone_1.mp3"))), "mp3");
    EXPECT_TRUE(Child(row, L"btn_openfile")->IsOwnVisible());
    EXPECT_EQ(Child(row, L"btn_openfile")->GetUserData(), In(L"tone_1.mp3"));
    EXPECT_EQ(button->GetUserData(), In(L"tone_1.mp3"));
    EXPECT_EQ(button->GetText(), L"转换");
    EXPECT_FALSE(button->IsOwnVisible());
    EXPECT_TRUE(Child(row, L"btn_Removefile")->IsEnabled());
    EXPECT_EQ(Child(row, L"outfilesize")->GetText().rfind(L"大小：", 0), 0u);

    // A row whose own conversion is still under way (button shown but disabled, open hidden).
    CControlUI* busy = AddFormatRow(In(L"busy.wav"), L"busy_1", L"格式：mp3");
    Child(busy, L"formatconvertaudio")->SetEnabled(false);
    ASSERT_TRUE(RunPage(1));
    EXPECT_EQ(testsupport::ProbeCodec(U8(In(L"tone_1_1.mp3"))), "mp3") << "converted again under a free name";
    EXPECT_TRUE(platform::IsRegularFile(In(L"tone_1.mp3")));
    EXPECT_EQ(Child(row, L"btn_openfile")->GetUserData(), In(L"tone_1_1.mp3"));
    EXPECT_FALSE(platform::PathExists(In(L"busy_1.mp3"))) << "the busy row is counted, not converted";
}

TEST_F(BatchTest, CutAndExtractRunAtOnceAndKeepTheirRanges) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"song.mp3")), 3.0));
    ASSERT_TRUE(testsupport::MakeVideo(U8(In(L"clip.mp4")), 2.0));
    CControlUI* a = AddSegmentRow(L"list_cutoutfile", In(L"song.mp3"), L"song_1.mp3", 0, 1000);
    CControlUI* b = AddSegmentRow(L"list_cutoutfile", In(L"song.mp3"), L"song_2.mp3", 1000, 3000);
    CControlUI* x = AddSegmentRow(L"list_extractoutfile", In(L"clip.mp4"), L"clip_1.MP3", 500, 1500);
    CControlUI* unnamed = AddSegmentRow(L"list_extractoutfile", In(L"clip.mp4"), L"", 0, 500);

    ShowPage(0);
    batch_->OnStartClick();
    EXPECT_FALSE(Child(a, L"btn_Removefileout")->IsEnabled()) << "segments cannot be removed while cut";
    ASSERT_TRUE(RunPage(3));  // starts while the cut page may still run
    ASSERT_TRUE(driver->PumpUntil([&] { return wnd_->Count(MSG_BATCH_DONE, 0) == 1; }, 60000));

    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"song_1.mp3"))), 1.0, 0.15));
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"song_2.mp3"))), 2.0, 0.15));
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"clip_1.MP3"))), 1.0, 0.15));
    EXPECT_EQ(testsupport::ProbeStreamCount(U8(In(L"clip_1.MP3")), "v"), 0);
    EXPECT_EQ(Child(a, L"btn_openfileout")->GetUserData(), In(L"song_1.mp3"));
    EXPECT_EQ(Child(b, L"filesize")->GetText(), L"已剪切");
    EXPECT_EQ(Child(x, L"btn_openfileout")->GetUserData(), In(L"clip_1.MP3"));
    EXPECT_TRUE(Child(a, L"btn_Removefileout")->IsEnabled()) << "enabled again when the batch ends";
    EXPECT_EQ(Child(unnamed, L"filesize")->GetText(), L"失败") << "a segment without a name writes nothing";
    EXPECT_EQ(FilesIn(In(L"")), (std::vector<std::wstring>{L"clip.mp4", L"clip_1.MP3", L"song.mp3",
                                                           L"song_1.mp3", L"song_2.mp3"}));
}

TEST_F(BatchTest, SpeedAndVolumeOnTwoPagesAtOnce) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"talk.wav")), 2.0));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"quiet.wav")), 1.0));
    const int64_t talkSize = platform::FileSize(In(L"talk.wav"));
    CControlUI* speed = AddRow(L"list_speedfile", L"listitemspeed.xml", In(L"talk.wav"));
    Child(speed, L"sliderValue")->SetText(L"2.00倍");
    CControlUI* volume = AddRow(L"list_volumefile", L"listitemspeed.xml", In(L"quiet.wav"));
    Child(volume, L"sliderValue")->SetText(L"2.0倍");

    ShowPage(4);
    batch_->OnStartClick();
    ASSERT_TRUE(RunPage(5));
    ASSERT_TRUE(driver->PumpUntil([&] { return wnd_->Count(MSG_BATCH_DONE, 4) == 1; }, 60000));

    // Beside the input: the input's own name is taken, so "_1".
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"talk_1.wav"))), 1.0, 0.1));
    EXPECT_EQ(platform::FileSize(In(L"talk.wav")), talkSize);
    EXPECT_EQ(Child(speed, L"btn_openfile")->GetUserData(), In(L"talk_1.wav"));
    EXPECT_EQ(Child(speed, L"btn_openpath")->GetUserData(), In(L""));
    EXPECT_EQ(Child(speed, L"ProgressValue")->GetText(), L"100%");
    const double before = MeanSquare(In(L"quiet.wav"));
    const double after = MeanSquare(In(L"quiet_1.wav"));
    ASSERT_GT(before, 0);
    EXPECT_TRUE(Near(after / before, 4.0, 0.4)) << after / before;
}

TEST_F(BatchTest, NoiseRemovalWritesBothOutputKindsAtTheChosenLevel) {
    ASSERT_TRUE(testsupport::MakeNoise(U8(In(L"hiss.wav")), 1.0, 0.2));
    CControlUI* wav = AddRow(L"list_noisefile", L"listitemnoise.xml", In(L"hiss.wav"));
    Child<CComboUI>(wav, L"comboNoiseRank")->SelectItem(2, false);
    Child<CComboUI>(wav, L"comboNoiseOutExt")->SelectItem(1, false);
    CControlUI* mp3 = AddRow(L"list_noisefile", L"listitemnoise.xml", In(L"hiss.wav"));
    Child<CComboUI>(mp3, L"comboNoiseRank")->SelectItem(2, false);
    ASSERT_TRUE(RunPage(6));

    // One counter for the batch: hiss_1.wav, then hiss_2.mp3.
    EXPECT_EQ(Child(wav, L"btn_listopenfile")->GetUserData(), In(L"hiss_1.wav"));
    EXPECT_EQ(Child(mp3, L"btn_listopenfile")->GetUserData(), In(L"hiss_2.mp3"));
    EXPECT_EQ(Child(wav, L"ProgressValue")->GetTag(), 2u);
    EXPECT_EQ(testsupport::ProbeCodec(U8(In(L"hiss_1.wav"))).rfind("pcm_", 0), 0u);
    EXPECT_EQ(testsupport::ProbeCodec(U8(In(L"hiss_2.mp3"))), "mp3");
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"hiss_1.wav"))), 1.0, 0.15));
    EXPECT_LT(MeanSquare(In(L"hiss_1.wav")), MeanSquare(In(L"hiss.wav"))) << "the noise is lowered";
}

TEST_F(BatchTest, BackgroundMusicLoopedOnceAndARowWithoutMusicIsSkipped) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"voice.wav")), 2.0, 300));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"music.mp3")), 0.5, 800));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"alone.wav")), 1.0));
    CControlUI* looped = AddTimedRow(L"list_addbgmfile", L"listitemaddbgm.xml", In(L"voice.wav"));
    Child(looped, L"btn_itemaddbgm")->SetUserData(In(L"music.mp3"));
    CControlUI* once = AddTimedRow(L"list_addbgmfile", L"listitemaddbgm.xml", In(L"voice.wav"));
    Child(once, L"btn_itemaddbgm")->SetUserData(In(L"music.mp3"));
    Child<COptionUI>(once, L"OpitemLoop")->Selected(false, false);
    CControlUI* none = AddTimedRow(L"list_addbgmfile", L"listitemaddbgm.xml", In(L"alone.wav"));
    ASSERT_TRUE(RunPage(7));

    EXPECT_EQ(Child(looped, L"btn_openfile")->GetUserData(), In(L"voice_1.wav"));
    EXPECT_EQ(Child(once, L"btn_openfile")->GetUserData(), In(L"voice_2.wav"));
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"voice_1.wav"))), 2.0, 0.15));
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(In(L"voice_2.wav"))), 2.0, 0.15));
    EXPECT_EQ(Child(none, L"btn_openfile")->GetUserData(), L"");
    EXPECT_EQ(Child(none, L"ProgressValue")->GetText(), L"0%");
    EXPECT_FALSE(platform::PathExists(In(L"alone_1.wav")));
}

TEST_F(BatchTest, MergeJoinsThreeSourcesIntoOneStampedMp3AndCleansUp) {
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"a.wav")), 1.0, 300));
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"b.mp3")), 1.0, 500));  // a LAME MP3: copied as its piece
    ASSERT_TRUE(testsupport::MakeTone(U8(In(L"c.flac")), 1.0, 700));
    for (const wchar_t* name : {L"a.wav", L"b.mp3", L"c.flac"}) {
        AddTimedRow(L"list_mergefile", L"listitemmerge.xml", In(name));
    }
    ASSERT_TRUE(RunPage(2));

    const std::wstring output = batch_->MergeOutputPath();
    std::wstring folder, name, ext;
    CCommon::OnSplitPath(output, &folder, &name, &ext);
    EXPECT_EQ(folder, In(L""));
    EXPECT_TRUE(
        std::regex_match(U8(name), std::regex("合成文件-\\d{4}-\\d{2}-\\d{2}_\\d{2}_\\d{2}_\\d{2}_\\d{3}")))
        << U8(name);
    EXPECT_EQ(ext, L".mp3");
    EXPECT_EQ(testsupport::ProbeCodec(U8(output)), "mp3");
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(output)), 3.0, 0.25));
    // Notice 8, then the done message for page 2.
    ASSERT_GE(wnd_->posted.size(), 2u);
    const PostedNote& notice = wnd_->posted[wnd_->posted.size() - 2];
    EXPECT_EQ(notice.msg, MSG_NOTICE);
    EXPECT_EQ(notice.wParam, 8u);
    EXPECT_EQ(notice.lParam, 8);
    EXPECT_EQ(wnd_->posted.back().msg, MSG_BATCH_DONE);
    EXPECT_EQ(wnd_->posted.back().lParam, 2);
    EXPECT_TRUE(FilesIn(dir_.WFile(L"cache/ZXSonivert/")).empty()) << "pieces and list are deleted";
    EXPECT_EQ(FilesIn(In(L"")).size(), 4u);
}

TEST_F(BatchTest, AStoppedPoolEndsTheBatchInsteadOfHangingIt) {
    for (const wchar_t* name : {L"a.wav", L"b.wav", L"c.wav", L"d.wav"}) {
        ASSERT_TRUE(testsupport::MakeTone(U8(In(name)), 1.0));
        AddRow(L"list_speedfile", L"listitemspeed.xml", In(name));
        AddTimedRow(L"list_mergefile", L"listitemmerge.xml", In(name));
    }
    CWorkThreadPoolImpl small;
    small.StartWith(1, 1);
    batch_->SetPool(&small);
    ShowPage(4);
    batch_->OnStartClick();
    std::thread closer([&] { small.Stop(); });  // the window closing: running jobs end, the rest is dropped
    ASSERT_TRUE(driver->PumpUntil([&] { return wnd_->Count(MSG_BATCH_DONE, 4) == 1; }, 60000));
    closer.join();
    EXPECT_FALSE(batch_->IsRunning(4, 0));

    // A merge on a pool that is already stopped still ends, with its notice.
    ASSERT_TRUE(RunPage(2, 60000));
    EXPECT_EQ(wnd_->Count(MSG_NOTICE, 8), 1u);
    EXPECT_TRUE(FilesIn(dir_.WFile(L"cache/ZXSonivert/")).empty());
    batch_->SetPool(&pool_);
}

TEST_F(BatchTest, PathsWithBlanksQuotesHashDashAndCjkReachTheTools) {
    const std::wstring folder = In(L"a b#'c 目录/");
    ASSERT_TRUE(platform::CreateFolders(folder));
    const std::wstring input = folder + L"-日本 \"q\" #1.wav";
    ASSERT_TRUE(testsupport::MakeTone(U8(input), 1.0));
    AddFormatRow(input, L"-日本 \"q\" #1", L"格式：mp3");
    CControlUI* speed = AddRow(L"list_speedfile", L"listitemspeed.xml", input);
    Child(speed, L"sliderValue")->SetText(L"0.50倍");
    ASSERT_TRUE(RunPage(1));
    ASSERT_TRUE(RunPage(4));
    EXPECT_EQ(testsupport::ProbeCodec(U8(folder + L"-日本 \"q\" #1.mp3")), "mp3");
    EXPECT_TRUE(Near(testsupport::ProbeDurationSeconds(U8(folder + L"-日本 \"q\" #1_1.wav")), 2.0, 0.15));
}
