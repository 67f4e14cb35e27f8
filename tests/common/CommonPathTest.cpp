#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "common/Common.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {
void Touch(const std::wstring& path) {
    ASSERT_TRUE(platform::WriteFileBytes(path, "x"));
}
}  // namespace

TEST(TimeCode, FormatSplitAndCompose) {
    EXPECT_EQ(CCommon::FormatTimeCode(3725004), L"01:02:05.004");
    EXPECT_EQ(CCommon::FormatTimeCode(360000000), L"100:00:00.000");
    EXPECT_EQ(CCommon::FormatTimeCode(0), L"00:00:00.000");
    EXPECT_EQ(CCommon::FormatTimeCode(4294967295u), L"1193:02:47.295");
    uint32_t h, m, s, ms;
    CCommon::OnSplitTimeCode(3725004, h, m, s, ms);
    EXPECT_EQ(h, 1u);
    EXPECT_EQ(m, 2u);
    EXPECT_EQ(s, 5u);
    EXPECT_EQ(ms, 4u);
    EXPECT_EQ(CCommon::OnComposeTimeCode(h, m, s, ms), 3725004u);
}

TEST(TimeCode, ParseWithSinglePrecision) {
    EXPECT_EQ(CCommon::OnParseTimeCode(L"00:01:30.5"), 90500u);
    EXPECT_EQ(CCommon::OnParseTimeCode(L"1:2"), 3600000u);  // one ":": minutes and seconds count as 0
    EXPECT_EQ(CCommon::OnParseTimeCode(L"90"), 0u);         // no ":" at all
    EXPECT_EQ(CCommon::OnParseTimeCode(L" 01:02:05.004"), 3725004u);
    EXPECT_EQ(CCommon::OnParseTimeCode(L"00:00:00.001"), 1u);
    // Large values are rounded to single precision on the way, not computed exactly.
    uint32_t big = CCommon::OnParseTimeCode(L"100:00:00.007");
    EXPECT_EQ(big, 360000000u);
    EXPECT_EQ(CCommon::OnParseTimeCode(L"-1:00:00"), 0u);  // never a wrapped huge number
    EXPECT_EQ(CCommon::OnParseTimeCode(L"99999999:00:00"), 4294967295u);
    EXPECT_EQ(CCommon::OnParseTimeCode(L"a:b:c"), 0u);
}

TEST(FreeNames, FreePathSkipsExistingNumbers) {
    testsupport::TempDir dir;
    std::wstring song = dir.WFile(L"song.mp3");
    EXPECT_EQ(CCommon::OnGetFreePath(song), song);
    Touch(song);
    Touch(dir.WFile(L"song_1.mp3"));
    EXPECT_EQ(CCommon::OnGetFreePath(song), dir.WFile(L"song_2.mp3"));
    // A name with dots in the folder and none in the file.
    ASSERT_TRUE(platform::CreateFolders(dir.WFile(L"a.b/")));
    Touch(dir.WFile(L"a.b/noext"));
    EXPECT_EQ(CCommon::OnGetFreePath(dir.WFile(L"a.b/noext")), dir.WFile(L"a.b/noext_1"));
}

TEST(FreeNames, NumberedNameContinuesFromTheCounter) {
    testsupport::TempDir dir;
    std::wstring name;
    int counter = 5;
    ASSERT_TRUE(CCommon::OnGetFreeNumberedName(dir.WFile(L"song.mp3"), name, counter, L".wav"));
    EXPECT_EQ(name, L"song_5.wav");
    EXPECT_EQ(counter, 6);
    Touch(dir.WFile(L"song_6.mp3"));
    ASSERT_TRUE(CCommon::OnGetFreeNumberedName(dir.WFile(L"song.mp3"), name, counter));
    EXPECT_EQ(name, L"song_7.mp3");
    EXPECT_EQ(counter, 8);
}

TEST(Scan, AudioToolKeepsFilesOnlyAndMatchesCaseInsensitively) {
    testsupport::TempDir dir;
    Touch(dir.WFile(L"A.MP3"));
    Touch(dir.WFile(L"b.Wav"));
    Touch(dir.WFile(L"c.txt"));
    Touch(dir.WFile(L"e.ape"));
    ASSERT_TRUE(platform::CreateFolders(dir.WFile(L"d.mp3")));
    std::wstring folder = dir.WPath();
    folder.pop_back();  // callers pass the folder without its trailing separator
    auto found = CCommon::OnScanFolder(folder, 6);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], folder + L"/A.MP3");
    EXPECT_EQ(found[1], folder + L"/b.Wav");
    // ".ape" only for cut and format conversion.
    EXPECT_EQ(CCommon::OnScanFolder(folder, 0).size(), 3u);
    EXPECT_EQ(CCommon::OnScanFolder(folder, 1).size(), 3u);
    EXPECT_EQ(CCommon::OnScanFolder(folder, 2).size(), 2u);
    EXPECT_TRUE(CCommon::OnScanFolder(folder, 8).empty());
    EXPECT_TRUE(CCommon::OnScanFolder(folder + L"/missing", 6).empty());
}

TEST(Scan, VideoToolKeepsListedVideoTypesOnly) {
    testsupport::TempDir dir;
    Touch(dir.WFile(L"clip.mkv"));
    Touch(dir.WFile(L"clip.FLV"));
    Touch(dir.WFile(L"song.mp3"));
    Touch(dir.WFile(L"movie.xyz"));
    auto found = CCommon::OnScanFolder(dir.WPath(), 3);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(found[0].find(L"clip.FLV"), std::wstring::npos);
    EXPECT_NE(found[1].find(L"clip.mkv"), std::wstring::npos);
}

TEST(Dialog, KeepRuleIsASubstringTestOnTheDisplayText) {
    std::vector<std::wstring> names = {L"a.3gp", L"noext", L"b.APE", L"c.txt", L"d.Mp3"};
    auto audio = CCommon::OnKeepDialogFiles(6, L"/music", names);
    EXPECT_EQ(audio, (std::vector<std::wstring>{L"/music/a.3gp", L"/music/noext", L"/music/d.Mp3"}));
    auto cut = CCommon::OnKeepDialogFiles(0, L"/music/", names);
    EXPECT_EQ(cut.size(), 4u);
    EXPECT_EQ(cut[2], L"/music/b.APE");
    EXPECT_TRUE(CCommon::OnKeepDialogFiles(9, L"/music", names).empty());
}

TEST(Dialog, FilterTextsAndHooks) {
    EXPECT_EQ(CCommon::OnGetFilterText(3).find(L"*.swf"), std::wstring::npos);
    EXPECT_NE(CCommon::OnGetFilterText(3).find(L"*.mpg;\t\t\t\t\t\t\t*.mka"), std::wstring::npos);
    EXPECT_EQ(CCommon::OnGetFilterText(1).substr(CCommon::OnGetFilterText(1).size() - 14),
              L")" + std::wstring(13, L'\t'));
    EXPECT_EQ(CCommon::OnGetFilterPatterns(5), L"*.wav;*.flac;*.aac;*.mp3;*.ogg;*.3gpp;*.amr;*.m4a;*.wma");
    // No dialog installed: behaves as cancelled.
    CCommon::SetOpenFilesHook(nullptr);
    EXPECT_TRUE(CCommon::OnOpenMediaFiles(1, nullptr).empty());
    CCommon::SetOpenFilesHook([](void*, const std::wstring& text, const std::wstring&, std::wstring* folder,
                                 std::vector<std::wstring>* names) {
        *folder = L"/in";
        *names = {L"x.wav", L"y.doc"};
        return text.find(L"*.ape") != std::wstring::npos;
    });
    EXPECT_EQ(CCommon::OnOpenMediaFiles(1, nullptr), std::vector<std::wstring>{L"/in/x.wav"});
    EXPECT_TRUE(CCommon::OnOpenMediaFiles(2, nullptr).empty());  // hook "cancelled"
    EXPECT_TRUE(CCommon::OnOpenMediaFiles(-1, nullptr).empty());
    CCommon::SetOpenFilesHook(nullptr);
    std::wstring folder = L"unchanged";
    EXPECT_FALSE(CCommon::OnBrowseFolder(nullptr, folder));
    EXPECT_EQ(folder, L"unchanged");
}

TEST(Paths, FolderOfPathAndSplit) {
    std::wstring folder = L"untouched";
    EXPECT_FALSE(CCommon::OnGetFolderOfPath(L"nofolder.mp3", folder));
    EXPECT_EQ(folder, L"untouched");
    EXPECT_TRUE(CCommon::OnGetFolderOfPath(L"/a/b.c/d.mp3", folder));
    EXPECT_EQ(folder, L"/a/b.c/");
    std::wstring f, n, e;
    CCommon::OnSplitPath(L"/a/b.c/d.tar.gz", &f, &n, &e);
    EXPECT_EQ(f, L"/a/b.c/");
    EXPECT_EQ(n, L"d.tar");
    EXPECT_EQ(e, L".gz");
    EXPECT_TRUE(CCommon::OnGetExeFolder(folder));
    EXPECT_EQ(folder.back(), L'/');
    EXPECT_TRUE(CCommon::OnIsFolder(folder));
}

TEST(Paths, MergeTempFolderIsPrivateAndTimestampHasItsShape) {
    testsupport::TempDir dir;
    setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
    std::wstring temp = CCommon::OnGetMergeTempPath();
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(temp, dir.WPath() + L"ZXSonivert/");
    struct stat st {};
    ASSERT_EQ(::stat(platform::ToUtf8(temp).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(CCommon::OnGetOsLevel(), 2);
    std::wregex shape(L"\\d{4}-\\d{2}-\\d{2}_\\d{2}_\\d{2}_\\d{2}_\\d{3}");
    EXPECT_TRUE(std::regex_match(CCommon::OnGetTimestampName(), shape));
}

TEST(Text, StripPrefixAndUtf8) {
    std::wstring out = L"old";
    EXPECT_FALSE(CCommon::OnStripPrefix(L"128kb/s", L"xyz", out));
    EXPECT_EQ(out, L"old");
    EXPECT_TRUE(CCommon::OnStripPrefix(L"-ab 128k", L"-ab ", out));
    EXPECT_EQ(out, L"128k");
    // The prefix may occur anywhere; the cut is by its length from the start.
    EXPECT_TRUE(CCommon::OnStripPrefix(L"xx-ab", L"-ab", out));
    EXPECT_EQ(out, L"ab");
    EXPECT_EQ(CCommon::OnToUtf8(L"文件 a"), "\xE6\x96\x87\xE4\xBB\xB6 a");
}
