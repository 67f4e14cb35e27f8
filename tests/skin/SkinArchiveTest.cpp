// The program's skin archive as the build makes it: every generated image at its catalogue size
// (and twice that size for high display scales), every image a layout names present, and every
// control name that the windows look up present in its layout. Layouts not written yet are
// skipped; a layout that exists must be complete.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SkinTables.h"
#include "platform/Platform.h"
#include "uikit/UIlib.h"

namespace {

std::string Utf8(const std::wstring& s) {
    return platform::ToUtf8(s);
}

// "conver/1.png" -> "conver/1@2x.png"
std::wstring DoubleName(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    return name.substr(0, dot) + L"@2x" + name.substr(dot);
}

struct ManifestEntry {
    std::string name;
    int width = 0;
    int height = 0;
};

std::vector<ManifestEntry> ReadManifest() {
    std::vector<ManifestEntry> entries;
    std::ifstream in(TW_SKIN_SOURCE "/src/images.txt");
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream words(line);
        ManifestEntry e;
        if (words >> e.name >> e.width >> e.height) entries.push_back(e);
    }
    return entries;
}

class SkinArchiveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(CSkinUI::LoadEmbedded()) << "the skin archive is embedded"; }
    static void TearDownTestSuite() { CSkinUI::Release(); }
};

// The layout files of the archive.
std::vector<std::wstring> Layouts() {
    std::vector<std::wstring> layouts;
    for (const auto& f : CSkinUI::ListFiles())
        if (f.size() > 4 && f.substr(f.size() - 4) == L".xml") layouts.push_back(f);
    return layouts;
}

bool LoadLayout(const std::wstring& name, pugi::xml_document* doc, std::string* error) {
    std::string bytes;
    if (!CSkinUI::ReadFile(name, &bytes)) {
        *error = "cannot read " + Utf8(name);
        return false;
    }
    const pugi::xml_parse_result r = doc->load_buffer(bytes.data(), bytes.size());
    if (!r) {
        *error = Utf8(name) + ": " + r.description();
        return false;
    }
    return true;
}

// Every control name of a layout, following <Include source=".."/> (a cycle stops at the second visit).
void CollectNames(const std::wstring& layout, std::set<std::wstring>* names, std::set<std::wstring>* seen) {
    if (!seen->insert(layout).second) return;
    pugi::xml_document doc;
    std::string error;
    if (!LoadLayout(layout, &doc, &error)) return;
    for (const pugi::xpath_node& x : doc.select_nodes("//*[@name]"))
        names->insert(platform::FromUtf8(x.node().attribute("name").value()));
    for (const pugi::xpath_node& x : doc.select_nodes("//Include[@source]"))
        CollectNames(platform::FromUtf8(x.node().attribute("source").value()), names, seen);
}

}  // namespace

TEST(SkinEnvironment, EveryVariableOfTheTestEnvironmentArrives) {
    const char* tmp = getenv("TW_TEST_TMP");
    if (!tmp) GTEST_SKIP() << "run outside CTest: the test environment is not set";
    const char* build = getenv("TW_BUILD_DIR");
    const char* platformName = getenv("QT_QPA_PLATFORM");
    const char* extra = getenv("TW_SKIN_TEST_MARK");
    ASSERT_NE(build, nullptr) << "the second variable of the list";
    EXPECT_STREQ(build, TW_EXPECTED_BUILD_DIR);
    ASSERT_NE(platformName, nullptr) << "a variable the suite adds with ENV";
    EXPECT_STREQ(platformName, "offscreen");
    ASSERT_NE(extra, nullptr) << "the last variable, with a blank and a semicolon-free value";
    EXPECT_STREQ(extra, "a b");
}

TEST_F(SkinArchiveTest, EveryGeneratedImageHasItsSizeAndADoubleSizeTwin) {
    const auto entries = ReadManifest();
    ASSERT_GT(entries.size(), 100u) << "the image manifest is read";
    for (const auto& e : entries) {
        const std::wstring name = platform::FromUtf8(e.name);
        auto image = CSkinUI::GetImage(name);
        ASSERT_NE(image, nullptr) << e.name << " is in the archive";
        EXPECT_EQ(image->width, e.width) << e.name;
        EXPECT_EQ(image->height, e.height) << e.name;
        auto twin = CSkinUI::GetImage(DoubleName(name));
        ASSERT_NE(twin, nullptr) << e.name << " has its @2x twin";
        EXPECT_EQ(twin->width, 2 * e.width) << e.name;
        EXPECT_EQ(twin->height, 2 * e.height) << e.name;
    }
    // The preview animation is a looping GIF with several timed frames.
    auto gif = CSkinUI::GetImage(L"playing.gif");
    ASSERT_NE(gif, nullptr);
    EXPECT_GE(gif->frameCount, 8);
    ASSERT_FALSE(gif->frameDelaysMs.empty());
    EXPECT_GT(gif->frameDelaysMs[0], 0);
    // Sources and notes of the skin folder stay out of the archive.
    for (const auto& f : CSkinUI::ListFiles()) {
        EXPECT_NE(f.rfind(L"src/", 0), 0u) << Utf8(f);
        EXPECT_FALSE(f.size() > 3 && f.substr(f.size() - 3) == L".md") << Utf8(f);
        EXPECT_EQ(f.find(L".svg/"), std::wstring::npos) << Utf8(f);
    }
}

TEST_F(SkinArchiveTest, ImagesTheProgramNamesInItsCodeExist) {
    for (const wchar_t* name : skintest::kCodeImages) EXPECT_TRUE(CSkinUI::HasFile(name)) << Utf8(name);
}

TEST_F(SkinArchiveTest, EveryImageALayoutReferencesExists) {
    const auto layouts = Layouts();
    if (layouts.empty()) GTEST_SKIP() << "no layout in the skin yet";
    std::vector<std::string> missing;
    for (const auto& layout : layouts) {
        pugi::xml_document doc;
        std::string error;
        if (!LoadLayout(layout, &doc, &error)) {
            ADD_FAILURE() << error;
            continue;
        }
        for (const pugi::xpath_node& x : doc.select_nodes("//*")) {
            const pugi::xml_node node = x.node();
            for (const pugi::xml_attribute a : node.attributes()) {
                const std::string attr = a.name();
                const std::wstring value = platform::FromUtf8(a.value());
                if (!skintest::IsImageAttribute(attr, value)) continue;
                const TImageAttrUI img = TImageAttrUI::Parse(value);
                if (!img.IsEmpty() && !CSkinUI::HasFile(img.file))
                    missing.push_back(Utf8(layout) + " <" + node.name() + " name=\"" +
                                      node.attribute("name").value() + "\"> " + attr + ": " + Utf8(img.file));
            }
            // Frame animations name a folder of numbered frames.
            if (node.attribute("folder") && node.attribute("framecount")) {
                const std::wstring folder = platform::FromUtf8(node.attribute("folder").value());
                const int count = node.attribute("framecount").as_int();
                for (int i = 1; i <= count; ++i) {
                    const std::wstring frame = folder + L"/" + std::to_wstring(i) + L".png";
                    if (!CSkinUI::HasFile(frame)) missing.push_back(Utf8(layout) + " frame " + Utf8(frame));
                }
            }
        }
    }
    std::string list;
    for (const auto& m : missing) list += "\n  " + m;
    EXPECT_TRUE(missing.empty()) << "images missing from the archive:" << list;
}

class LayoutNamesTest : public SkinArchiveTest,
                        public ::testing::WithParamInterface<skintest::LayoutNames> {};

TEST_P(LayoutNamesTest, EveryControlTheWindowsLookUpIsInTheLayout) {
    const skintest::LayoutNames& table = GetParam();
    if (!CSkinUI::HasFile(table.layout)) GTEST_SKIP() << Utf8(table.layout) << " is not written yet";
    pugi::xml_document doc;
    std::string error;
    ASSERT_TRUE(LoadLayout(table.layout, &doc, &error)) << error;
    std::set<std::wstring> names, seen;
    CollectNames(table.layout, &names, &seen);
    std::string list;
    for (const wchar_t* name : table.names)
        if (!names.count(name)) list += " " + Utf8(name);
    EXPECT_TRUE(list.empty()) << Utf8(table.layout) << " lacks:" << list;
}

INSTANTIATE_TEST_SUITE_P(Skin, LayoutNamesTest, ::testing::ValuesIn(skintest::LayoutTables()),
                         [](const ::testing::TestParamInfo<skintest::LayoutNames>& info) {
                             std::string stem = Utf8(info.param.layout);
                             stem = stem.substr(0, stem.find('.'));
                             for (char& c : stem)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return stem;
                         });
