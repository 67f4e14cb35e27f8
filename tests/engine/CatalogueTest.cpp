// The command-line catalogue without running anything: exact texts, argument vectors, selection
// rules and the placeholder rules.
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/CommandCatalogue.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

using V = std::vector<std::wstring>;

ToolCommand Make(CmdTemplate t, const std::vector<CmdValue>& values) {
    return CCommandCatalogue::Make(t, values);
}

TEST(Catalogue, TemplatesAreWellFormed) {
    for (int i = 0; i < kCmdTemplateCount; ++i) {
        CmdTemplate t = static_cast<CmdTemplate>(i);
        SCOPED_TRACE(CCommandCatalogue::Name(t));
        const std::wstring& text = CCommandCatalogue::TemplateText(t);
        // The tool first and quoted; one placeholder name per "%s"/"%d"; quotes balanced.
        EXPECT_EQ(text.rfind(L"\"%s\" ", 0), 0u);
        size_t markers = 0;
        for (size_t p = text.find(L'%'); p != std::wstring::npos; p = text.find(L'%', p + 1)) ++markers;
        EXPECT_EQ(markers, CCommandCatalogue::Placeholders(t).size());
        EXPECT_EQ(std::count(text.begin(), text.end(), L'"') % 2, 0);
        bool quiet = t == CmdTemplate::ConvertBare || t == CmdTemplate::ToSpeech16kQuiet;
        EXPECT_EQ(text.ends_with(L" -hide_banner -y -progress \"%s\""), !quiet);
    }
}

TEST(Catalogue, TextsKeepTheirExactBlanks) {
    auto text = [](CmdTemplate t) {
        std::vector<CmdValue> values;
        for (const auto& p : CCommandCatalogue::Placeholders(t)) values.emplace_back(p);
        return Make(t, values).text;
    };
    EXPECT_EQ(
        text(CmdTemplate::DenoisedToMp3Wav),
        L"\"tool\" -i \"in\" -acodec libmp3lame -ac 2 -ar 48000 -b:a 128k  \"out\" -hide_banner -y -progress "
        L"\"prog\"");
    EXPECT_EQ(text(CmdTemplate::BgmLoopCover),
              L"\"tool\" -i \"in\" -i \"bgm\" -filter_complex \"[1:a]aloop = loop = -1:size = 2e+09[out]; "
              L"[out][0:a]amix\" -ss 0 -t len -vn \"out\" -hide_banner -y -progress \"prog\"");
    EXPECT_EQ(text(CmdTemplate::CutCoverBitrate),
              L"\"tool\" -i \"in\" -ss start -t len -vn -ab bps \"out\" -hide_banner -y -progress \"prog\"");
    EXPECT_EQ(text(CmdTemplate::MergeToMp3),
              L"\"tool\" -i \"in\" -ar sr -ac 2 -ab kbpsk -f mp3 \"out\" -hide_banner -y -progress \"prog\"");
}

TEST(Catalogue, NamesAreTheWorkersNames) {
    EXPECT_STREQ(CCommandCatalogue::Name(CmdTemplate::CutCoverBitrate), L"CutCoverBitrate");
    EXPECT_STREQ(CCommandCatalogue::Name(CmdTemplate::DenoisedToMp3Wav), L"DenoisedToMp3Wav");
    EXPECT_STREQ(CCommandCatalogue::Name(CmdTemplate::MergeToMp3), L"MergeToMp3");
}

TEST(Catalogue, ArgumentVectorKeepsEveryPathWhole) {
    const std::wstring in = L"/m/a \"b\" #c -d 中文.mp3";
    const std::wstring out = L"/m/-out 'x'.wav";
    ToolCommand cmd = Make(CmdTemplate::CutBitrate,
                           {L"/usr/bin/ffmpeg", in, L"00:00:01.000", L"00:00:02.500", 128000, out, L"/t/p1"});
    EXPECT_EQ(cmd.argv, (V{L"/usr/bin/ffmpeg", L"-i", in, L"-ss", L"00:00:01.000", L"-t", L"00:00:02.500",
                           L"-ab", L"128000", out, L"-hide_banner", L"-y", L"-progress", L"/t/p1"}));
    // The text has the path verbatim between the template's quotes (it is only for the log).
    EXPECT_NE(cmd.text.find(L"-i \"" + in + L"\""), std::wstring::npos);
}

TEST(Catalogue, LongCommandsAreNotCut) {
    std::wstring longPath = L"/" + std::wstring(700, L'x') + L".wav";
    ToolCommand cmd =
        Make(CmdTemplate::CutPlain, {L"/f", longPath, L"00:00:00.000", L"00:00:01.000", longPath, L"/p"});
    EXPECT_GT(cmd.text.size(), 1400u);
    EXPECT_EQ(cmd.argv[2], longPath);
    EXPECT_EQ(cmd.argv[7], longPath);
}

TEST(Catalogue, RelativePathsCannotBeTakenForOptions) {
    ToolCommand cmd = Make(CmdTemplate::ToSpeech16kQuiet, {L"ffmpeg", L"-in.mp3", L"x:out.wav"});
    EXPECT_EQ(cmd.argv, (V{L"ffmpeg", L"-i", L"./-in.mp3", L"-acodec", L"pcm_s16le", L"-ac", L"1", L"-ar",
                           L"16000", L"./x:out.wav"}));
    EXPECT_EQ(cmd.text, L"\"ffmpeg\" -i \"-in.mp3\" -acodec pcm_s16le -ac 1 -ar 16000 \"x:out.wav\"");
}

TEST(Catalogue, FormatArgumentsBecomeSeparateOptionsAndEmptyArgsVanish) {
    ToolCommand cmd = Make(CmdTemplate::ConvertMp3, {L"/f", L"/i.wav", L"00:00:00.000", L"00:00:03.000",
                                                     L"-ac 2 -ab 128k -vn ", L"/o.mp3", L"/p"});
    EXPECT_EQ(cmd.argv, (V{L"/f", L"-i", L"/i.wav", L"-ss", L"00:00:00.000", L"-t", L"00:00:03.000",
                           L"-acodec", L"libmp3lame", L"-ac", L"2", L"-ab", L"128k", L"-vn", L"/o.mp3",
                           L"-hide_banner", L"-y", L"-progress", L"/p"}));
    ToolCommand bare = Make(CmdTemplate::ConvertBare, {L"/f", L"/i.wav", L"", L"/o.flac"});
    EXPECT_EQ(bare.text, L"\"/f\" -i \"/i.wav\"  \"/o.flac\"");
    EXPECT_EQ(bare.argv, (V{L"/f", L"-i", L"/i.wav", L"/o.flac"}));
}

TEST(Catalogue, FilterGraphAndFiltersAreOneArgumentEach) {
    ToolCommand bgm =
        Make(CmdTemplate::BgmOnce, {L"/f", L"/a.wav", L"/b.wav", L"00:00:04.000", L"/o.wav", L"/p"});
    ASSERT_GE(bgm.argv.size(), 8u);
    EXPECT_EQ(bgm.argv[5], L"-filter_complex");
    EXPECT_EQ(bgm.argv[6], L"[1:a]aloop = loop = 0:size = 2e+09[out]; [out][0:a]amix");
    EXPECT_EQ(bgm.argv[7], L"-ss");
    ToolCommand speed = Make(CmdTemplate::Speed, {L"/f", L"/a.wav", L"atempo=1.25", L"/o.wav", L"/p"});
    EXPECT_EQ(speed.argv[4], L"atempo=1.25");
    EXPECT_EQ(speed.argv[5], L"-vn");  // always, even without a picture
    ToolCommand vol = Make(CmdTemplate::Volume, {L"/f", L"/a.wav", L"volume=1.5", L"/o.wav", L"/p"});
    EXPECT_EQ(vol.argv[4], L"volume=1.5");
    ToolCommand merge =
        Make(CmdTemplate::MergeToMp3, {L"/f", L"/j.wav", uint32_t{44100}, int64_t{128}, L"/o.mp3", L"/p"});
    EXPECT_EQ(merge.argv[4], L"44100");
    EXPECT_EQ(merge.argv[8], L"128k");
}

TEST(Catalogue, ReplaceAllRewritesTextAndArguments) {
    ToolCommand cmd = Make(CmdTemplate::ConvertBare, {L"/f", L"/in/a.wav", L"-ac 1", L"/out/a.ogg"});
    cmd.ReplaceAll(L"/in/a.wav", L"/tmp/a(1).wav");
    EXPECT_EQ(cmd.text, L"\"/f\" -i \"/tmp/a(1).wav\" -ac 1 \"/out/a.ogg\"");
    EXPECT_EQ(cmd.argv[2], L"/tmp/a(1).wav");

    // Only the path as a whole is replaced: an output that merely begins with the input's text
    // keeps its name.
    ToolCommand retry = Make(CmdTemplate::Convert, {L"/f", L"/in/a.wav", L"00:00:00.000", L"00:00:01.000",
                                                    L"-ab 128k", L"/in/a.wav.mp3", L"/in/a.wav.p"});
    retry.ReplaceAll(L"/in/a.wav", L"/tmp/a.wav");
    EXPECT_EQ(retry.argv[2], L"/tmp/a.wav");
    EXPECT_EQ(retry.argv[retry.argv.size() - 5], L"/in/a.wav.mp3");
    EXPECT_EQ(retry.argv.back(), L"/in/a.wav.p");
    EXPECT_EQ(retry.text,
              L"\"/f\" -i \"/tmp/a.wav\" -ss 00:00:00.000 -t 00:00:01.000 -ab 128k \"/in/a.wav.mp3\" "
              L"-hide_banner -y -progress \"/in/a.wav.p\"");
}

TEST(CatalogueSelection, Cut) {
    bool decode = true;
    // Cover: bit rate only for mp3/wav with a known rate.
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.mp3", true, 128000, &decode), CmdTemplate::CutCoverBitrate);
    EXPECT_FALSE(decode);
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.MP3", true, 128000, &decode), CmdTemplate::CutCoverBitrate);
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.mp3", true, 0, &decode), CmdTemplate::CutCover);
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.m4a", true, 128000, &decode), CmdTemplate::CutCover);
    // No cover.
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.wav", false, 1411000, &decode), CmdTemplate::CutBitrate);
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.wav", false, 0, &decode), CmdTemplate::CutPlain);
    // An ogg never carries "-ab", even with its bit rate known.
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.ogg", false, 112000, &decode), CmdTemplate::CutPlain);
    EXPECT_FALSE(CCommandCatalogue::CutUsesBitrate(L"/a/s.ogg"));
    // AAC without cover: decode first, then CutPlain on the WAV.
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.aac", false, 0, &decode), CmdTemplate::CutPlain);
    EXPECT_TRUE(decode);
    EXPECT_EQ(CCommandCatalogue::SelectCut(L"/a/s.aac", true, 0, &decode), CmdTemplate::CutCover);
    EXPECT_FALSE(decode);
}

TEST(CatalogueSelection, ConvertMp3OnlyForTheTwoSpellings) {
    EXPECT_EQ(CCommandCatalogue::SelectConvert(L"/o/x.mp3"), CmdTemplate::ConvertMp3);
    EXPECT_EQ(CCommandCatalogue::SelectConvert(L"/o/x.MP3"), CmdTemplate::ConvertMp3);
    EXPECT_EQ(CCommandCatalogue::SelectConvert(L"/o/x.Mp3"), CmdTemplate::Convert);
    EXPECT_EQ(CCommandCatalogue::SelectConvert(L"/o/x.mP3"), CmdTemplate::Convert);
    EXPECT_EQ(CCommandCatalogue::SelectConvert(L"/o/x.wav"), CmdTemplate::Convert);
    EXPECT_EQ(CCommandCatalogue::SelectConvert(L"mp3"), CmdTemplate::Convert);
}

TEST(CatalogueSelection, VolumeAndBackgroundMusic) {
    EXPECT_EQ(CCommandCatalogue::SelectVolume(true), CmdTemplate::VolumeCover);
    EXPECT_EQ(CCommandCatalogue::SelectVolume(false), CmdTemplate::Volume);
    EXPECT_EQ(CCommandCatalogue::SelectBackgroundMusic(true, true), CmdTemplate::BgmLoopCover);
    EXPECT_EQ(CCommandCatalogue::SelectBackgroundMusic(true, false), CmdTemplate::BgmLoop);
    EXPECT_EQ(CCommandCatalogue::SelectBackgroundMusic(false, true), CmdTemplate::BgmOnceCover);
    EXPECT_EQ(CCommandCatalogue::SelectBackgroundMusic(false, false), CmdTemplate::BgmOnce);
}

TEST(CatalogueArgs, FormatArgumentRules) {
    auto args = [](const std::wstring& fmt, const std::wstring& quality, int channels,
                   const std::wstring& codec, const std::wstring& input = L"/i/a.wav", bool cover = false) {
        return CCommandCatalogue::BuildFormatArgs(L"格式：" + fmt, L"质量：" + quality, channels, codec,
                                                  input, cover);
    };
    EXPECT_EQ(args(L"MP3", L"128kb/s", 0, L""), L"-ab 128k");
    EXPECT_EQ(args(L"mp3", L"320kb/s", 2, L""), L"-ac 2 -ab 320k");
    EXPECT_EQ(args(L"WAV", L"1411kb/s", 1, L"pcm_s16le"), L"-ac 1 -acodec pcm_s16le -ab 1411k");
    EXPECT_EQ(args(L"wav", L"", 0, L"pcm_s24le"), L"-acodec pcm_s24le");
    EXPECT_EQ(args(L"wav", L"", 0, L""), L"");
    // ogg: no bit rate, the codec after one blank even when nothing precedes it.
    EXPECT_EQ(args(L"OGG", L"192kb/s", 0, L""), L" -acodec libvorbis");
    EXPECT_EQ(args(L"ogg", L"192kb/s", 2, L""), L"-ac 2 -acodec libvorbis");
    // flac: nothing at all, only rule 7's "-vn" can appear.
    EXPECT_EQ(args(L"FLAC", L"128kb/s", 2, L"pcm_s16le"), L"");
    EXPECT_EQ(args(L"flac", L"128kb/s", 2, L"", L"/i/a.mp3", true), L" -vn ");
    // Rule 7: mp3 input (any case) with a cover.
    EXPECT_EQ(args(L"mp3", L"128kb/s", 0, L"", L"/i/a.MP3", true), L"-ab 128k -vn ");
    EXPECT_EQ(args(L"mp3", L"128kb/s", 0, L"", L"/i/a.mp3", false), L"-ab 128k");
    EXPECT_EQ(args(L"mp3", L"128kb/s", 0, L"", L"/i/a.m4a", true), L"-ab 128k");
    // A label without its prefix gives an empty format: none of the codec rules apply.
    EXPECT_EQ(CCommandCatalogue::BuildFormatArgs(L"MP3", L"质量：128kb/s", 0, L"", L"/i/a.wav", false),
              L"-ab 128k");
    EXPECT_EQ(CCommandCatalogue::BuildFormatArgs(L"格式：mp3", L"128kb/s", 0, L"", L"/i/a.wav", false), L"");
    // A too short quality text does not break anything.
    EXPECT_EQ(args(L"mp3", L"ab", 0, L""), L"");
}

TEST(CatalogueArgs, SpeedAndVolumeFilters) {
    EXPECT_EQ(CCommandCatalogue::BuildSpeedFilter(L"1.25倍"), L"atempo=1.25");
    EXPECT_EQ(CCommandCatalogue::BuildVolumeFilter(L"1.5倍"), L"volume=1.5");
    EXPECT_EQ(CCommandCatalogue::BuildVolumeFilter(L""), L"volume=");
}

TEST(Runner, EmptyOrUnstartableCommandsYieldFalse) {
    EXPECT_FALSE(CAudioProcess::OnRunProcess(ToolCommand{}));
    ToolCommand emptyTool;
    emptyTool.argv = {L"", L"-i", L"x"};
    EXPECT_FALSE(CAudioProcess::OnRunProcess(emptyTool));
    CCommon::SetToolPathOverride(L"ffmpeg", L"/nonexistent folder/Core/ffmpeg");
    ToolCommand cmd = CAudioProcess::OnMakeCommand(CmdTemplate::ToSpeech16kQuiet, {L"/a.mp3", L"/b.wav"});
    CCommon::SetToolPathOverride(L"ffmpeg", L"");
    EXPECT_EQ(cmd.argv.front(), L"/nonexistent folder/Core/ffmpeg");
    EXPECT_EQ(cmd.text.rfind(L"\"/nonexistent folder/Core/ffmpeg\" -i", 0), 0u);
    EXPECT_FALSE(CAudioProcess::OnRunProcess(cmd));
}

TEST(Runner, ToolBesideTheProgramWinsOverPath) {
    testsupport::TempDir dir;
    std::wstring folder = dir.WPath();
    std::wstring onPath = CCommon::OnLocateTool(folder, L"ffmpeg");
    EXPECT_EQ(onPath, platform::FromUtf8(platform::FindExecutable("ffmpeg")).empty()
                          ? folder + L"Core/ffmpeg"
                          : platform::FromUtf8(platform::FindExecutable("ffmpeg")));
    ASSERT_TRUE(platform::CreateFolders(folder + L"Core"));
    std::wstring core = folder + L"Core/ffmpeg";
    ASSERT_TRUE(platform::WriteFileBytes(core, "#!/bin/sh\n"));
    EXPECT_EQ(CCommon::OnLocateTool(folder, L"ffmpeg"), onPath);  // present but not executable
    ::chmod(platform::ToUtf8(core).c_str(), 0755);
    EXPECT_EQ(CCommon::OnLocateTool(folder, L"ffmpeg"), core);
    EXPECT_EQ(CCommon::OnLocateTool(folder, L"tw-no-such-tool"), folder + L"Core/tw-no-such-tool");
}

TEST(Runner, ToolPathIsAbsoluteAndOverridable) {
    std::wstring tool = CAudioProcess::OnGetToolPath();
    ASSERT_FALSE(tool.empty());
    EXPECT_EQ(tool[0], L'/');
    EXPECT_NE(tool.find(L"ffmpeg"), std::wstring::npos);
    CCommon::SetToolPathOverride(L"ffmpeg", L"/x/y");
    EXPECT_EQ(CAudioProcess::OnGetToolPath(), L"/x/y");
    CCommon::SetToolPathOverride(L"ffmpeg", L"");
    EXPECT_EQ(CAudioProcess::OnGetToolPath(), tool);
}

}  // namespace
