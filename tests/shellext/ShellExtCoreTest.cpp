#include <gtest/gtest.h>

#include <map>

#include "shellext/ShellExtCore.h"

using namespace stampmenu;

namespace {

const std::wstring kServer = L"C:\\Program Files\\Stamp\\stampmenu64.dll";
const std::wstring kClsidKey = L"CLSID\\{5B2739F7-8D51-49D0-9CFB-3F873E9C37C1}";

TEST(ShellExtRegistration, TableIsFormattedInOrder) {
    const std::vector<RegValue> v = FormatRegistration(kServer);
    ASSERT_EQ(v.size(), 11u);
    struct Row {
        std::wstring key, name, text;
        RegType type;
        std::uint32_t number;
    };
    const Row want[] = {
        {kClsidKey, L"", L"stampmenu64", RegType::Text, 0},
        {kClsidKey + L"\\InprocServer32", L"", kServer, RegType::Text, 0},
        {kClsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment", RegType::Text, 0},
        {kClsidKey + L"\\Settings", L"Title", L"启动Markvault", RegType::Text, 0},
        {kClsidKey + L"\\Settings", L"Path", L"C:\\Program Files\\Stamp\\Stampwarden.exe", RegType::Text, 0},
        {kClsidKey + L"\\Settings", L"Custom", L"", RegType::Text, 0},
        {kClsidKey + L"\\Settings", L"ShowIcon", L"", RegType::Number, 1},
        {kClsidKey + L"\\Settings", L"Dynamic", L"", RegType::Number, 1},
        {kClsidKey + L"\\Settings", L"Maxtext", L"", RegType::Number, 25},
        {L"*\\shellex\\ContextMenuHandlers\\stampmenu64", L"", kClsidText, RegType::Text, 0},
        {L"Directory\\shellex\\ContextMenuHandlers\\stampmenu64", L"", kClsidText, RegType::Text, 0},
    };
    for (std::size_t i = 0; i < v.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].subKey, want[i].key);
        EXPECT_EQ(v[i].valueName, want[i].name);
        EXPECT_EQ(v[i].type, want[i].type);
        if (want[i].type == RegType::Text) {
            EXPECT_EQ(v[i].text, want[i].text);
        } else {
            EXPECT_EQ(v[i].number, want[i].number);
        }
    }
}

TEST(ShellExtRegistration, ServerPathIsNeverReadAsAFormat) {
    const std::wstring odd = L"D:\\100%s %d %%\\x\\stampmenu64.dll";
    const std::vector<RegValue> v = FormatRegistration(odd);
    EXPECT_EQ(v[1].text, odd);
    EXPECT_EQ(v[4].text, L"D:\\100%s %d %%\\x\\Stampwarden.exe");
}

TEST(ShellExtRegistration, LongServerPathIsKeptWhole) {
    std::wstring deep = L"C:";
    while (deep.size() < 1000) deep += L"\\folder";
    const std::vector<RegValue> v = FormatRegistration(deep + L"\\stampmenu64.dll");
    EXPECT_EQ(v[1].text, deep + L"\\stampmenu64.dll");
    EXPECT_EQ(v[4].text, deep + L"\\Stampwarden.exe");
}

TEST(ShellExtRegistration, CompanionWithoutFolder) {
    EXPECT_EQ(CompanionPathFor(L"stampmenu64.dll"), L"Stampwarden.exe");
    EXPECT_EQ(FolderOf(L"C:\\a\\b.dll"), L"C:\\a\\");
}

TEST(ShellExtRegistration, FormatOneSubstitutesOnlyTheFirstDirective) {
    EXPECT_EQ(FormatOne(L"CLSID\\%s", L"{X}"), L"CLSID\\{X}");
    EXPECT_EQ(FormatOne(L"%s-%s", L"a"), L"a-%s");
    EXPECT_EQ(FormatOne(L"100%%", L"a"), L"100%");
    EXPECT_EQ(FormatOne(L"end%", L"a"), L"end%");
}

TEST(ShellExtRegistration, UnregistrationOrderRemovesChildrenFirst) {
    const std::vector<std::wstring> keys = UnregistrationKeys();
    const std::vector<std::wstring> want = {
        L"*\\shellex\\ContextMenuHandlers\\stampmenu64",
        L"Directory\\shellex\\ContextMenuHandlers\\stampmenu64",
        kClsidKey + L"\\InprocServer32",
        kClsidKey + L"\\Settings",
        kClsidKey,
    };
    EXPECT_EQ(keys, want);
    EXPECT_EQ(SettingsKey(), kClsidKey + L"\\Settings");
}

// Settings: defaults for every absent value.
TEST(ShellExtSettings, MissingKeyLeavesDefaults) {
    const Settings s = ReadSettings({});
    EXPECT_EQ(s.title, L"启动Markvault");
    EXPECT_FALSE(s.path.has_value());
    EXPECT_FALSE(s.custom.has_value());
    EXPECT_TRUE(s.showIcon);
    EXPECT_FALSE(s.dynamic);
    EXPECT_EQ(s.maxText, 25u);
    EXPECT_FALSE(s.customIcon.has_value());
}

TEST(ShellExtSettings, StoredValuesWin) {
    std::map<std::wstring, std::wstring> texts = {{L"Title", std::wstring(80, L'T')},
                                                  {L"Path", L"C:\\p.exe"},
                                                  {L"Custom", L""},
                                                  {L"CustomIcon", L"C:\\i.ico"}};
    std::map<std::wstring, std::uint32_t> numbers = {{L"ShowIcon", 0}, {L"Dynamic", 7}, {L"Maxtext", 0}};
    SettingsSource source;
    source.text = [&](const wchar_t* n) -> std::optional<std::wstring> {
        auto it = texts.find(n);
        if (it == texts.end()) return std::nullopt;
        return it->second;
    };
    source.number = [&](const wchar_t* n) -> std::optional<std::uint32_t> {
        auto it = numbers.find(n);
        if (it == numbers.end()) return std::nullopt;
        return it->second;
    };
    const Settings s = ReadSettings(source);
    EXPECT_EQ(s.title, std::wstring(64, L'T'));
    EXPECT_EQ(s.path, L"C:\\p.exe");
    ASSERT_TRUE(s.custom.has_value());  // present although empty
    EXPECT_EQ(*s.custom, L"");
    EXPECT_FALSE(s.showIcon);
    EXPECT_TRUE(s.dynamic);
    EXPECT_EQ(s.maxText, 0u);
    EXPECT_EQ(s.customIcon, L"C:\\i.ico");
}

// Which first items get the entry.
TEST(ShellExtEntry, OnlyItemsWithoutExtension) {
    EXPECT_TRUE(OffersEntry(ToLower(ExtensionOf(L"C:\\Users\\me\\Pictures"))));
    EXPECT_TRUE(OffersEntry(ToLower(ExtensionOf(L"C:\\data\\README"))));
    EXPECT_TRUE(OffersEntry(ToLower(ExtensionOf(L"C:\\v1.2\\notes"))));
    EXPECT_FALSE(OffersEntry(ToLower(ExtensionOf(L"C:\\a.txt"))));
    EXPECT_FALSE(OffersEntry(ToLower(ExtensionOf(L"C:\\Song.MP3"))));
    EXPECT_FALSE(OffersEntry(ToLower(ExtensionOf(L"C:\\archive."))));
}

TEST(ShellExtEntry, ExtensionOfFollowsTheLastComponent) {
    EXPECT_EQ(ExtensionOf(L"C:\\a.b\\c.Flac"), L".Flac");
    EXPECT_EQ(ExtensionOf(L"C:\\a.b\\c"), L"");
    EXPECT_EQ(ExtensionOf(L"C:\\x\\name.part two"), L"");  // a space ends an extension
    EXPECT_EQ(ExtensionOf(L"C:\\x\\.hidden"), L".hidden");
    EXPECT_EQ(ExtensionOf(L""), L"");
}

// Icon text: extension without dot, at most Maxtext characters, upper case.
TEST(ShellExtIconText, UpperCasedAndCut) {
    EXPECT_EQ(IconTextFor(L"C:\\m\\song.flac", 25), L"FLAC");
    EXPECT_EQ(IconTextFor(L"C:\\m\\data.abcdefghijklmnopqrstuvwxyz0123", 25), L"ABCDEFGHIJKLMNOPQRSTUVWXY");
    EXPECT_EQ(IconTextFor(L"C:\\m\\song.flac", 2), L"FL");
    EXPECT_EQ(IconTextFor(L"C:\\m\\song.flac", 0), L"");
    EXPECT_EQ(IconTextFor(L"C:\\m\\folder", 25), L"");
    EXPECT_EQ(IconTextFor(L"C:\\m\\x." + std::wstring(400, L'a'), 1000).size(), 259u);
}

TEST(ShellExtIconText, CopyCutNeverOverruns) {
    wchar_t buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(CopyCut(L"StampShellIconFLAC", buffer, 5), 4u);
    EXPECT_EQ(std::wstring(buffer), L"Stam");
    EXPECT_EQ(buffer[5], L'#');
    EXPECT_EQ(CopyCut(L"abc", buffer, 0), 0u);
    EXPECT_EQ(CopyCut(L"abc", nullptr, 4), 0u);
    EXPECT_EQ(CopyCut(L"", buffer, 6), 0u);
    EXPECT_EQ(buffer[0], L'\0');
}

TEST(ShellExtIconText, LocationRule) {
    const std::optional<std::wstring> noCustom;
    const std::optional<std::wstring> custom = L"C:\\i.ico";
    IconLocation l = LocateIcon(false, true, L"FLAC", noCustom, kServer);
    EXPECT_EQ(l.location, L"StampShellIconFLAC");
    EXPECT_TRUE(l.notFileName);
    l = LocateIcon(true, true, L"FLAC", noCustom, kServer);
    EXPECT_EQ(l.location, kServer);
    EXPECT_FALSE(l.notFileName);
    l = LocateIcon(false, false, L"FLAC", custom, kServer);
    EXPECT_EQ(l.location, L"C:\\i.ico");
    EXPECT_FALSE(l.notFileName);
    l = LocateIcon(false, true, L"", noCustom, kServer);  // Maxtext 0 keeps the plain icon
    EXPECT_EQ(l.location, kServer);
    EXPECT_FALSE(l.notFileName);
}

// Command lines.
std::vector<std::wstring> Paths(int n) {
    std::vector<std::wstring> p;
    for (int i = 0; i < n; ++i) p.push_back(L"C:\\in\\f " + std::to_wstring(i));
    return p;
}

std::size_t QuotedPaths(const std::wstring& line, const std::wstring& head) {
    const std::wstring rest = line.substr(head.size());
    std::size_t quotes = 0;
    for (wchar_t c : rest) quotes += c == L'"';
    return quotes / 2;
}

TEST(ShellExtCommandLine, HeadWithAndWithoutCustom) {
    EXPECT_EQ(CommandHead(L"C:\\S\\Stampwarden.exe", std::nullopt), L"\"C:\\S\\Stampwarden.exe\"");
    EXPECT_EQ(CommandHead(L"C:\\S\\Stampwarden.exe", std::wstring()), L"\"C:\\S\\Stampwarden.exe\" ");
    EXPECT_EQ(CommandHead(L"C:\\S\\Stampwarden.exe", std::wstring(L"-w 2")),
              L"\"C:\\S\\Stampwarden.exe\" -w 2");
}

TEST(ShellExtCommandLine, BatchesOf100OnCurrentWindows) {
    const std::wstring head = L"\"C:\\S\\Stampwarden.exe\"";
    const auto paths = Paths(230);
    const auto lines = BuildCommandLines(head, paths, BatchSizeFor(VersionCode(10, 0)));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(QuotedPaths(lines[0], head), 100u);
    EXPECT_EQ(QuotedPaths(lines[1], head), 100u);
    EXPECT_EQ(QuotedPaths(lines[2], head), 30u);
    EXPECT_EQ(lines[2].substr(0, head.size() + 15), head + L" \"C:\\in\\f 200\" ");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 14), L" \"C:\\in\\f 229\"");
}

TEST(ShellExtCommandLine, BatchesOf4UpToWindowsXp) {
    EXPECT_EQ(BatchSizeFor(VersionCode(5, 1)), 4u);
    EXPECT_EQ(BatchSizeFor(VersionCode(5, 0)), 4u);
    EXPECT_EQ(BatchSizeFor(VersionCode(5, 2)), 100u);
    EXPECT_EQ(BatchSizeFor(VersionCode(6, 0)), 100u);
    const auto lines = BuildCommandLines(L"\"p\" ", Paths(5), BatchSizeFor(VersionCode(5, 1)));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], L"\"p\"  \"C:\\in\\f 4\"");
}

TEST(ShellExtCommandLine, ExactBoundariesAndNoItems) {
    EXPECT_TRUE(BuildCommandLines(L"\"p\"", {}, 100).empty());
    EXPECT_EQ(BuildCommandLines(L"\"p\"", Paths(100), 100).size(), 1u);
    EXPECT_EQ(BuildCommandLines(L"\"p\"", Paths(101), 100).size(), 2u);
    EXPECT_EQ(BuildCommandLines(L"\"p\"", {L"C:\\x y\\ü 漢"}, 100)[0], L"\"p\" \"C:\\x y\\ü 漢\"");
}

TEST(ShellExtCommandLine, LongPathsStartANewBatchInsteadOfFailing) {
    // 100 paths of 1000 characters cannot share one command line; none may be dropped.
    std::vector<std::wstring> paths;
    for (int i = 0; i < 100; ++i) paths.push_back(L"\\\\?\\C:\\" + std::wstring(992, L'a' + i % 26));
    const std::wstring head = L"\"C:\\S\\Stampwarden.exe\" ";
    const auto lines = BuildCommandLines(head, paths, 100);
    ASSERT_GT(lines.size(), 1u);
    std::size_t total = 0;
    for (const auto& line : lines) {
        EXPECT_LE(line.size(), kMaxCommandLine);
        EXPECT_EQ(line.substr(0, head.size()), head);
        total += QuotedPaths(line, head);
    }
    EXPECT_EQ(total, 100u);
    // A path longer than any command line still gets its own start.
    const auto huge = BuildCommandLines(head, {L"a", std::wstring(40000, L'b'), L"c"}, 100);
    EXPECT_EQ(huge.size(), 3u);
}

// Badge geometry for an icon of size s.
TEST(ShellExtBadge, LayoutFor48) {
    const BadgeLayout b = LayoutBadge(48, 30, 19);
    EXPECT_EQ(BadgeFontHeight(48), 19);
    EXPECT_EQ(b.width, 30);
    EXPECT_EQ(b.height, 19);
    EXPECT_EQ(b.box, (Rect{16, 27, 48, 48}));
    EXPECT_EQ(b.corner, 6);
    EXPECT_EQ(b.text, (Rect{17, 28, 47, 47}));
    EXPECT_EQ(b.target, (Rect{16, 27, 46, 46}));
}

TEST(ShellExtBadge, ExtentIsClampedToTheIcon) {
    const BadgeLayout b = LayoutBadge(32, 500, 40);
    EXPECT_EQ(b.width, 30);
    EXPECT_EQ(b.height, 30);
    EXPECT_EQ(b.box, (Rect{0, 0, 32, 32}));
    EXPECT_EQ(b.corner, 12 / 3);
    const BadgeLayout big = LayoutBadge(256, 60, 102);
    EXPECT_EQ(big.corner, 102 / 3);
    EXPECT_EQ(big.box, (Rect{194, 152, 256, 256}));
}

TEST(ShellExtBadge, OnlyLargeDynamicIconsWithText) {
    EXPECT_TRUE(WantsBadge(true, true, 32, 4));
    EXPECT_FALSE(WantsBadge(true, true, 31, 4));
    EXPECT_FALSE(WantsBadge(false, true, 48, 4));
    EXPECT_FALSE(WantsBadge(true, false, 48, 4));
    EXPECT_FALSE(WantsBadge(true, true, 48, 0));  // Maxtext 0
}

}  // namespace
