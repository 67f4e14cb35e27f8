// Format presets: the record rules of "format.cfg" and "recent.cfg", saving, and the recent list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "common/FormatPresets.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempDir;

class PresetsTest : public ::testing::Test {
protected:
    void SetUp() override { presets::SetFolder(dir.WPath()); }
    void TearDown() override { presets::SetFolder(L""); }
    void Write(const std::wstring& name, const std::string& bytes) {
        ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(name), bytes));
    }
    std::string Read(const std::wstring& name) {
        std::string bytes;
        EXPECT_TRUE(platform::ReadFileBytes(dir.WFile(name), &bytes));
        return bytes;
    }
    TempDir dir;
};

TEST_F(PresetsTest, BuiltinsComeInTheirFixedOrder) {
    const auto& b = BuiltinFormatPresets();
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0].title, L"与源文件相同");
    EXPECT_EQ(b[0].detail, L"与源文件相同");
    EXPECT_EQ(b[1].detail, L"256kb/s,MP3");
    EXPECT_EQ(b[2].title, L"中等音质");
    EXPECT_EQ(b[3].detail, L"96kb/s,MP3");
    for (const auto& p : b) {
        EXPECT_TRUE(p.audioType.empty() && p.encoderMode.empty() && p.wavCodec.empty());
        EXPECT_EQ(p.channelMode, 0);
    }
}

TEST_F(PresetsTest, MissingEmptyAndTrailingBytesLoadAsTheRecordsEndedByHash) {
    EXPECT_TRUE(LoadFormatPresets().empty());  // missing
    Write(L"format.cfg", "");
    EXPECT_TRUE(LoadFormatPresets().empty());
    Write(L"format.cfg", "MP3|a|192kb/s,MP3|CBR|pcm_s16le|1#WAV|b|x,WAV||pcm_s24le|2");  // no final "#"
    auto list = LoadFormatPresets();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (FormatPreset{L"MP3", L"a", L"192kb/s,MP3", L"CBR", L"pcm_s16le", 1}));
}

TEST_F(PresetsTest, LongRecordIsSkippedAloneAndShortRecordsAreDropped) {
    std::string longTitle(300, 'x');
    Write(L"recent.cfg", "MP3|first|1,MP3||pcm_s16le|0#MP3|" + longTitle + "|2,MP3||pcm_s8le|1#" +
                             "too|few|bars#OGG|third|3,OGG|VBR|pcm_s32le|2#");
    auto list = LoadRecentPresets();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].title, L"first");
    EXPECT_EQ(list[1].title, L"third");
    EXPECT_EQ(list[1].channelMode, 2);
    // A record of 259 bytes is still read.
    std::string record = "MP3|" + std::string(259 - 4 - 14, 'y') + "|1,MP3||pcm|0";
    record.resize(259, '0');
    EXPECT_EQ(presets::ParseRecords(record + "#").size(), 1u);
    EXPECT_TRUE(presets::ParseRecords(record + "0#").empty());
}

TEST_F(PresetsTest, FourBarRecordTakesCodecAndChannelsOfTheRecordBefore) {
    auto list = presets::ParseRecords("WAV|p|1,WAV||pcm_s16le|2#MP3|q|2,MP3|CBR|x#");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], (FormatPreset{L"MP3", L"q", L"2,MP3", L"CBR", L"pcm_s16le", 2}));
    // As the first record: empty codec and 0.
    list = presets::ParseRecords("MP3|q|2,MP3|CBR|x#");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].wavCodec, L"");
    EXPECT_EQ(list[0].channelMode, 0);
    // The sixth field is everything after the fifth "|", read as leading digits.
    list = presets::ParseRecords("A|b|c|d|e|7|junk#A|b|c|d|e|#");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].channelMode, 7);
    EXPECT_EQ(list[1].channelMode, 0);
}

TEST_F(PresetsTest, SaveLoadRoundTripKeepsCjkAndWritesTheRecordForm) {
    std::vector<FormatPreset> list = {
        {L"MP3", L"自定义格式_1", L"192kb/s,MP3", L"CBR", L"pcm_s16le", 0},
        {L"WAV", L"高品质 WAV 日本語", L"128kb/s,WAV", L"", L"pcm_s24le", 2},
    };
    SaveFormatPresets(list);
    EXPECT_EQ(Read(L"format.cfg"),
              "MP3|自定义格式_1|192kb/s,MP3|CBR|pcm_s16le|0#WAV|高品质 WAV 日本語|128kb/s,WAV||pcm_s24le|2#");
    EXPECT_EQ(LoadFormatPresets(), list);
    // An empty list gives an empty file that still exists.
    SaveFormatPresets({});
    EXPECT_EQ(Read(L"format.cfg"), "");
    // No temporary file is left beside it.
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(dir.WPath(), &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, L"format.cfg");
}

TEST_F(PresetsTest, SeparatorsInTextCannotBreakTheFile) {
    SaveFormatPresets(
        {{L"MP3", L"a|b#c", L"1,MP3", L"", L"pcm_s16le", 1}, {L"OGG", L"next", L"2,OGG", L"", L"", 0}});
    auto list = LoadFormatPresets();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].title, L"abc");
    EXPECT_EQ(list[0].channelMode, 1);
    EXPECT_EQ(list[1].title, L"next");
    EXPECT_EQ(presets::WithoutForbiddenChars(L"x|y#z"), L"xyz");
}

TEST_F(PresetsTest, FailedSaveKeepsTheOldFile) {
    // A folder in the file's place cannot be replaced: the save fails and leaves no temporary file.
    ASSERT_TRUE(platform::CreateFolders(dir.WFile(L"format.cfg/inner")));
    EXPECT_FALSE(presets::SaveFile(dir.WFile(L"format.cfg"), {{L"MP3", L"x", L"1,MP3", L"", L"", 0}}));
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(dir.WPath(), &entries));
    EXPECT_EQ(entries.size(), 1u);
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    SaveRecentPresets({{L"MP3", L"old", L"1,MP3", L"", L"", 0}});
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0500), 0);
    SaveRecentPresets({{L"MP3", L"new", L"1,MP3", L"", L"", 0}});
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(Read(L"recent.cfg"), "MP3|old|1,MP3|||0#");
}

TEST_F(PresetsTest, RecentListKeepsTheLastTenPicks) {
    std::vector<FormatPreset> recent;
    for (int i = 1; i <= 11; ++i)
        AddRecentPreset(recent, {L"MP3", L"t" + std::to_wstring(i), L"1,MP3", L"", L"", 0});
    auto loaded = LoadRecentPresets();
    ASSERT_EQ(loaded.size(), 10u);
    EXPECT_EQ(loaded.front().title, L"t2");
    EXPECT_EQ(loaded.back().title, L"t11");
    // Duplicates stay.
    AddRecentPreset(recent, recent.back());
    loaded = LoadRecentPresets();
    EXPECT_EQ(loaded[8].title, L"t11");
    EXPECT_EQ(loaded[9].title, L"t11");
    // A file holding more than ten is trimmed to ten by the next pick.
    recent.resize(10);
    for (int i = 0; i < 3; ++i) recent.push_back(recent[0]);
    AddRecentPreset(recent, {L"OGG", L"last", L"2,OGG", L"", L"", 0});
    EXPECT_EQ(LoadRecentPresets().size(), 10u);
    EXPECT_EQ(LoadRecentPresets().back().title, L"last");
}

TEST_F(PresetsTest, FolderDefaultsBesideTheProgramOrTheConfigFolder) {
    presets::SetFolder(L"");
    std::wstring folder = presets::Folder();
    EXPECT_TRUE(folder == platform::ExeFolder() || folder == platform::UserConfigFolder())
        << platform::ToUtf8(folder);
    presets::SetFolder(L"/x/y");
    EXPECT_EQ(presets::FormatFilePath(), L"/x/y/format.cfg");
    EXPECT_EQ(presets::RecentFilePath(), L"/x/y/recent.cfg");
}

}  // namespace
