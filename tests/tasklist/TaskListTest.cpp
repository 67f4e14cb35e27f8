// The task list on the real main window layout: rows of every page from real probes of generated
// media, the page filters and notices, multiplier steps, merge connectors and reordering,
// background music, row editing, segment rows, and the background probe (order, duplicates,
// clearing and closing while it runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "common/Common.h"
#include "platform/Platform.h"
#include "player/VlcKeeper.h"  // the cut editor's player plugins stay loaded for the leak checker
#include "support/HeadlessUi.h"
#include "support/TestSupport.h"
#include "ui/CustomControls.h"
#include "ui/Messages.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

struct Posted {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
};

// A window from "main.xml" that records the notices posted to it.
class CMainTestWnd : public CWindowUI {
public:
    std::wstring GetWindowClassName() const override { return L"SoniverterWnd"; }
    std::wstring GetSkinFile() override { return L"main.xml"; }
    CControlUI* CreateControl(const std::wstring& tag) override { return CreateCustomControl(tag); }
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override {
        if (msg == MSG_NOTICE || msg == MSG_SHOW_RIGHTS_NOTICE) posted.push_back({msg, wParam, lParam});
        handled = false;
        return 0;
    }
    int Count(uint32_t msg, uintptr_t wParam, intptr_t lParam = -1) const {
        return static_cast<int>(std::count_if(posted.begin(), posted.end(), [&](const Posted& p) {
            return p.msg == msg && p.wParam == wParam && (lParam < 0 || p.lParam == lParam);
        }));
    }
    std::vector<Posted> posted;
};

std::string U8(const std::wstring& w) {
    return platform::ToUtf8(w);
}

// Media shared by all tests, made once.
testsupport::TempDir* g_media = nullptr;
std::wstring Media(const std::wstring& name) {
    return g_media->WFile(name);
}

class TaskListTest : public ::testing::Test, protected testsupport::HeadlessUi {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        g_media = new testsupport::TempDir();
        const std::string d = g_media->Path();
        ASSERT_TRUE(testsupport::MakeTone(d + "a.wav", 2.0));
        ASSERT_TRUE(testsupport::MakeTone(d + "b.mp3", 3.0));
        ASSERT_TRUE(testsupport::MakeTone(d + "c.flac", 1.5));
        ASSERT_TRUE(testsupport::MakeTone(d + "music.mp3", 4.0));
        ASSERT_TRUE(testsupport::MakeVideo(d + "clip.mp4", 1.0));
        ASSERT_TRUE(platform::CopyFileNoOverwrite(Media(L"b.mp3"), Media(L"歌曲 \"#1\".mp3")));
        ASSERT_TRUE(platform::CopyFileNoOverwrite(Media(L"a.wav"), Media(L"-lead.wav")));
        ASSERT_TRUE(platform::WriteFileBytes(Media(L"song.ncm"), "protected"));
        ASSERT_TRUE(platform::WriteFileBytes(Media(L"notes.xyz"), "text"));
        ASSERT_TRUE(platform::WriteFileBytes(Media(L"empty.mp3"), ""));
        ASSERT_TRUE(platform::WriteFileBytes(Media(L"text.wav"), std::string(4000, 'x')));
    }
    static void TearDownTestSuite() {
        delete g_media;
        g_media = nullptr;
    }

    void SetUp() override {
        wnd = new CMainTestWnd();
        ASSERT_TRUE(wnd->Create(nullptr, L"test"));
        tasks = std::make_unique<CTaskList>(wnd);
        driver->Pump();
    }
    void TearDown() override {
        tasks.reset();
        CCommon::SetOpenFilesHook(nullptr);
        delete wnd;
        wnd = nullptr;
    }

    // Adds and waits until the last row is in.
    void Add(int page, const std::vector<std::wstring>& paths) {
        tasks->DropFiles(page, paths);
        ASSERT_TRUE(driver->PumpUntil([&] { return !tasks->Pending(); }, 20000));
        driver->Pump();
    }
    CControlUI* Row(int page, int i) { return tasks->PageList(page)->GetItemAt(i); }
    static CControlUI* Child(CControlUI* row, const wchar_t* name) {
        auto* c = dynamic_cast<CContainerUI*>(row);
        return c ? c->FindSubControl(name) : nullptr;
    }
    static std::wstring Text(CControlUI* row, const wchar_t* name) {
        CControlUI* c = Child(row, name);
        return c ? c->GetText() : L"<missing>";
    }
    static std::wstring SizeOf(const std::wstring& path) {
        std::wstring text;
        CCommon::OnFormatFileSize(static_cast<uint64_t>(platform::FileSize(path)), text);
        return text;
    }

    CMainTestWnd* wnd = nullptr;
    std::unique_ptr<CTaskList> tasks;
};

TEST_F(TaskListTest, EveryPageFillsItsRowFromTheProbedFacts) {
    const std::wstring wav = Media(L"a.wav");
    const std::wstring size = SizeOf(wav);
    ASSERT_FALSE(size.empty());
    for (int page : {0, 1, 2, 4, 5, 6, 7}) Add(page, {wav});
    Add(3, {Media(L"clip.mp4")});

    for (int page = 0; page <= 7; ++page) {
        ASSERT_NE(tasks->PageList(page), nullptr) << page;
        ASSERT_EQ(tasks->PageList(page)->GetCount(), 1) << page;
    }
    // Source path as user data, size as tag, on every page.
    EXPECT_EQ(Row(1, 0)->GetUserData(), wav);
    EXPECT_EQ(Row(1, 0)->GetTag(), static_cast<uint64_t>(platform::FileSize(wav)));

    CControlUI* cut = Row(0, 0);
    EXPECT_EQ(Text(cut, L"filename"), L"a.wav");
    EXPECT_EQ(Text(cut, L"filetime"), L"00:00:00.000 - 00:00:02.000");
    EXPECT_EQ(Text(cut, L"filesize"), size);
    CControlUI* extract = Row(3, 0);
    EXPECT_EQ(Text(extract, L"filename"), L"clip.mp4");
    EXPECT_EQ(Text(extract, L"filetime").rfind(L"00:00:00.000 - 00:00:01", 0), 0u)
        << U8(Text(extract, L"filetime"));

    CControlUI* format = Row(1, 0);
    EXPECT_EQ(Text(format, L"inputfile"), L"a");
    EXPECT_EQ(Text(format, L"outfile"), L"a_1");
    EXPECT_EQ(Text(format, L"inputfileext"), L"格式：wav");
    EXPECT_EQ(Text(format, L"outfileext"), L"格式：mp3");  // the page's format choice
    EXPECT_EQ(Text(format, L"inputfiletime"), L"时长：00:00:02.000");
    EXPECT_EQ(Text(format, L"outfiletime"), L"时长：00:00:02.000");
    EXPECT_EQ(Child(format, L"outfiletime")->GetTag(), 2000u);
    EXPECT_EQ(Text(format, L"inputfilesize"), L"大小：" + size);
    EXPECT_EQ(Text(format, L"outfilesize"), L"大小：" + size);
    EXPECT_EQ(Text(format, L"inputfilequality"), L"质量：1411kb/s");  // 44.1 kHz, 16 bit, stereo
    EXPECT_EQ(Text(format, L"outfilequality"), L"质量：1411kb/s");
    EXPECT_EQ(Text(format, L"formatconvertaudio"), L"转换");
    EXPECT_FALSE(Child(format, L"btn_openfile")->IsOwnVisible());
    // The single-row conversion finds the row two levels above its button and the open button
    // beside it; the format picker is three levels below the row.
    CControlUI* convert = Child(format, L"formatconvertaudio");
    EXPECT_EQ(convert->GetParent()->GetParent(), format);
    EXPECT_EQ(dynamic_cast<CContainerUI*>(convert->GetParent())->FindSubControl(L"btn_openfile"),
              Child(format, L"btn_openfile"));
    EXPECT_EQ(Child(format, L"formatoutext")->GetParent()->GetParent()->GetParent(), format);
    EXPECT_FALSE(Child(format, L"outfileedit")->IsOwnVisible());
    EXPECT_NE(Child(format, L"btnoutedit"), nullptr);
    EXPECT_NE(Child(format, L"formatcutaudio"), nullptr);

    CControlUI* merge = Row(2, 0);
    EXPECT_EQ(Text(merge, L"filename"), L"a.wav");
    EXPECT_EQ(Text(merge, L"filetime"), L"时长：00:00:02.000");
    EXPECT_EQ(Child(merge, L"filetime")->GetTag(), 2000u);
    EXPECT_TRUE(Child(merge, L"filetime")->GetUserData().empty());

    for (int page = 4; page <= 7; ++page) {
        CControlUI* row = Row(page, 0);
        EXPECT_EQ(Text(row, L"filename"), L"a.wav") << page;
        EXPECT_EQ(Child(row, L"filename")->GetTextPadding().left, 40) << page;
        EXPECT_EQ(Text(row, L"filetime"), L"时长：00:00:02.000") << page;
        EXPECT_EQ(Text(row, L"filesize"), size) << page;
        EXPECT_NE(dynamic_cast<CProgressUI*>(Child(row, L"progress")), nullptr) << page;
        EXPECT_EQ(Text(row, L"ProgressValue"), L"0%") << page;
        for (const wchar_t* name : {L"btn_openfile", L"btn_openpath", L"btn_Removefile"})
            EXPECT_NE(Child(row, name), nullptr) << page << U8(name);
    }
    EXPECT_EQ(Child(Row(7, 0), L"filetime")->GetTag(), 2000u);
    auto* speed = dynamic_cast<CSliderUI*>(Child(Row(4, 0), L"sliderprogress"));
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->GetValue(), 75);
    EXPECT_EQ(speed->GetMaxValue(), 150);
    EXPECT_EQ(Text(Row(4, 0), L"sliderValue"), L"1.25倍");
    EXPECT_EQ(Child(Row(4, 0), L"sliderValue")->GetTag(), 75u);
    EXPECT_EQ(Text(Row(5, 0), L"sliderValue"), L"1.5倍");
    auto* rank = dynamic_cast<CComboUI*>(Child(Row(6, 0), L"comboNoiseRank"));
    ASSERT_NE(rank, nullptr);
    EXPECT_EQ(rank->GetCurSel(), 0);
    EXPECT_EQ(rank->GetItemText(2), L"最 佳");
    EXPECT_EQ(dynamic_cast<CComboUI*>(Child(Row(6, 0), L"comboNoiseOutExt"))->GetText(), L"mp3");
    EXPECT_EQ(Text(Row(7, 0), L"btn_itemaddbgm"), L"添加背景音乐");
    EXPECT_FALSE(Child(Row(7, 0), L"btn_itemRemovefile")->IsOwnVisible());
    EXPECT_TRUE(wnd->posted.empty());
}

TEST_F(TaskListTest, FiltersDecideWhichFilesArriveAndWhichNoticesAreShown) {
    Add(0, {Media(L"clip.mp4")});  // a video is not a cut source
    EXPECT_EQ(tasks->PageList(0)->GetCount(), 0);
    Add(3, {Media(L"clip.mp4")});
    EXPECT_EQ(tasks->PageList(3)->GetCount(), 1);
    Add(3, {Media(L"a.wav")});  // and audio is no video; the extract page ignores it silently
    EXPECT_EQ(tasks->PageList(3)->GetCount(), 1);
    driver->Pump();
    // The cut page names the video it refused: the rights dialog in its not-supported wording.
    ASSERT_EQ(wnd->posted.size(), 1u);
    EXPECT_EQ(wnd->Count(MSG_SHOW_RIGHTS_NOTICE, 0, 1), 1);
    wnd->posted.clear();

    Add(1, {Media(L"song.ncm")});
    driver->Pump();
    EXPECT_EQ(wnd->Count(MSG_SHOW_RIGHTS_NOTICE, 0, 0), 1);
    Add(1, {Media(L"notes.xyz")});
    driver->Pump();
    EXPECT_EQ(wnd->Count(MSG_SHOW_RIGHTS_NOTICE, 0, 1), 1);
    EXPECT_EQ(tasks->PageList(1)->GetCount(), 0);
    // The other audio pages ignore what they do not take, without a word.
    Add(4, {Media(L"notes.xyz"), Media(L"song.ncm"), Media(L"clip.mp4")});
    driver->Pump();
    EXPECT_EQ(wnd->posted.size(), 2u);
    EXPECT_EQ(tasks->PageList(4)->GetCount(), 0);

    // A file the page holds already is refused with notice 0; another page may still take it.
    Add(1, {Media(L"a.wav")});
    Add(1, {Media(L"a.wav")});
    driver->Pump();
    EXPECT_EQ(tasks->PageList(1)->GetCount(), 1);
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 0), 1);
    Add(2, {Media(L"a.wav")});
    EXPECT_EQ(tasks->PageList(2)->GetCount(), 1);

    // Files that cannot be read as media leave no row, and say so once per request.
    wnd->posted.clear();
    Add(1, {Media(L"empty.mp3"), Media(L"text.wav"), Media(L"missing.mp3"), Media(L"b.mp3")});
    driver->Pump();
    EXPECT_EQ(tasks->PageList(1)->GetCount(), 2);
    EXPECT_EQ(Row(1, 1)->GetUserData(), Media(L"b.mp3"));
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 1), 1);

    // Names with quotes, "#", blanks, a leading "-" and Chinese characters arrive intact.
    Add(4, {Media(L"歌曲 \"#1\".mp3"), Media(L"-lead.wav")});
    ASSERT_EQ(tasks->PageList(4)->GetCount(), 2);
    EXPECT_EQ(Text(Row(4, 0), L"filename"), L"歌曲 \"#1\".mp3");
    EXPECT_EQ(Text(Row(4, 0), L"filetime").rfind(L"时长：00:00:03.0", 0), 0u);
    EXPECT_EQ(Text(Row(4, 1), L"filename"), L"-lead.wav");

    // A folder brings every file the page takes, in name order, without notices for the rest.
    wnd->posted.clear();
    Add(5, {g_media->WPath()});
    std::vector<std::wstring> names;
    for (int i = 0; i < tasks->PageList(5)->GetCount(); ++i) names.push_back(Text(Row(5, i), L"filename"));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"-lead.wav", L"a.wav", L"b.mp3", L"c.flac", L"music.mp3",
                                                L"歌曲 \"#1\".mp3"}));
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 1), 1);  // empty.mp3 and text.wav
    EXPECT_EQ(wnd->Count(MSG_SHOW_RIGHTS_NOTICE, 0), 0);
}

TEST_F(TaskListTest, SpeedAndVolumeSlidersSnapToQuarterSteps) {
    Add(4, {Media(L"a.wav")});
    Add(5, {Media(L"a.wav")});
    auto step = [&](int page, int value) {
        auto* slider = dynamic_cast<CSliderUI*>(Child(Row(page, 0), L"sliderprogress"));
        slider->SetValue(value);
        tasks->OnSliderStep(slider);
        return std::make_pair(slider->GetValue(), Text(Row(page, 0), L"sliderValue"));
    };
    EXPECT_EQ(step(5, 60), std::make_pair(50, std::wstring(L"0.75倍")));
    EXPECT_EQ(Child(Row(5, 0), L"sliderValue")->GetTag(), 50u);
    EXPECT_EQ(step(5, 75), std::make_pair(75, std::wstring(L"1.5倍")));
    // Volume never offers 1.0: 0.75 is followed by 1.5.
    std::vector<std::wstring> volume, speed;
    for (int v = 0; v <= 150; v += 25) {
        volume.push_back(step(5, v).second);
        speed.push_back(step(4, v + 10).second);
    }
    EXPECT_EQ(volume, (std::vector<std::wstring>{L"0.25倍", L"0.50倍", L"0.75倍", L"1.5倍", L"2.0倍",
                                                 L"2.5倍", L"3.0倍"}));
    EXPECT_EQ(speed, (std::vector<std::wstring>{L"0.50倍", L"0.75倍", L"1.00倍", L"1.25倍", L"1.50倍",
                                                L"1.75倍", L"2.00倍"}));
    EXPECT_EQ(step(4, 149), std::make_pair(125, std::wstring(L"1.75倍")));
}

TEST_F(TaskListTest, MergeRowsLinkMoveAndKeepTheirChosenStart) {
    auto shown = [&](int i, const wchar_t* name) { return Child(Row(2, i), name)->IsOwnVisible(); };
    auto linked = [&](int i, const wchar_t* name) { return !Child(Row(2, i), name)->GetBkImage().empty(); };
    Add(2, {Media(L"a.wav")});
    EXPECT_FALSE(shown(0, L"btnmoveup"));
    EXPECT_FALSE(shown(0, L"btnmovedown"));
    for (const wchar_t* c : {L"uplinkerleft", L"uplinkerright", L"downlinkerleft", L"downlinkerright"})
        EXPECT_FALSE(linked(0, c)) << U8(c);
    Add(2, {Media(L"b.mp3"), Media(L"c.flac")});
    ASSERT_EQ(tasks->PageList(2)->GetCount(), 3);
    EXPECT_FALSE(shown(0, L"btnmoveup"));
    EXPECT_TRUE(shown(0, L"btnmovedown"));
    EXPECT_TRUE(linked(0, L"downlinkerleft"));
    EXPECT_FALSE(linked(0, L"uplinkerright"));
    EXPECT_TRUE(shown(1, L"btnmoveup") && shown(1, L"btnmovedown"));
    EXPECT_TRUE(shown(2, L"btnmoveup"));
    EXPECT_FALSE(shown(2, L"btnmovedown"));
    EXPECT_TRUE(linked(2, L"uplinkerleft"));
    EXPECT_FALSE(linked(2, L"downlinkerright"));

    // A start chosen for b travels with it.
    Child(Row(2, 1), L"filetime")->SetUserData(L"00:00:01.000");
    tasks->MoveMergeRow(Child(Row(2, 1), L"btnmoveup"), true);
    EXPECT_EQ(Row(2, 0)->GetUserData(), Media(L"b.mp3"));
    EXPECT_EQ(Text(Row(2, 0), L"filename"), L"b.mp3");
    EXPECT_EQ(Text(Row(2, 0), L"filetime").rfind(L"时长：00:00:03.0", 0), 0u);  // MP3 padding
    EXPECT_NEAR(static_cast<double>(Child(Row(2, 0), L"filetime")->GetTag()), 3000.0, 60.0);
    EXPECT_EQ(Child(Row(2, 0), L"filetime")->GetUserData(), L"00:00:01.000");
    EXPECT_EQ(Child(Row(2, 1), L"filetime")->GetUserData(), L"");
    EXPECT_EQ(Row(2, 1)->GetUserData(), Media(L"a.wav"));
    EXPECT_FALSE(shown(0, L"btnmoveup"));  // buttons stay with the positions
    // The ends do not move further.
    tasks->MoveMergeRow(Child(Row(2, 0), L"btnmoveup"), true);
    tasks->MoveMergeRow(Child(Row(2, 2), L"btnmovedown"), false);
    EXPECT_EQ(Row(2, 0)->GetUserData(), Media(L"b.mp3"));
    EXPECT_EQ(Row(2, 2)->GetUserData(), Media(L"c.flac"));
    tasks->MoveMergeRow(Child(Row(2, 1), L"btnmovedown"), false);
    EXPECT_EQ(Row(2, 2)->GetUserData(), Media(L"a.wav"));

    // Removing the first row leaves a first row that neither links nor moves upwards.
    tasks->RemoveRow(Child(Row(2, 0), L"btn_Removefile"));
    driver->Pump();
    ASSERT_EQ(tasks->PageList(2)->GetCount(), 2);
    EXPECT_EQ(Row(2, 0)->GetUserData(), Media(L"c.flac"));
    EXPECT_FALSE(shown(0, L"btnmoveup"));
    EXPECT_FALSE(linked(0, L"uplinkerleft"));
    EXPECT_TRUE(shown(1, L"btnmoveup"));
    EXPECT_FALSE(shown(1, L"btnmovedown"));
    tasks->RemoveRow(Child(Row(2, 1), L"btn_Removefile"));
    driver->Pump();
    ASSERT_EQ(tasks->PageList(2)->GetCount(), 1);
    EXPECT_FALSE(shown(0, L"btnmovedown"));
    EXPECT_FALSE(linked(0, L"downlinkerleft"));
}

TEST_F(TaskListTest, RowEditingWritesTheEditorsSegmentsBack) {
    Add(1, {Media(L"a.wav")});
    Add(2, {Media(L"b.mp3")});
    std::vector<std::wstring> opened;
    std::vector<CTaskList::Segment> answer = {{L"one", L"00:00:00.500", 1000},
                                              {L"two", L"00:00:01.000", 750}};
    bool confirm = true;
    tasks->SetEditor(
        [&](CWindowUI* owner, const std::wstring& source, bool multi, std::vector<CTaskList::Segment>* s) {
            EXPECT_EQ(owner, wnd);
            opened.push_back(source + (multi ? L"|multi" : L"|single"));
            *s = answer;
            return confirm;
        });
    // Format row: the last segment wins; a changed length is marked in the accent colour.
    tasks->EditRow(Child(Row(1, 0), L"formatcutaudio"));
    CControlUI* time = Child(Row(1, 0), L"outfiletime");
    EXPECT_EQ(time->GetText(), L"时长：00:00:00.750");
    EXPECT_EQ(time->GetTag(), 750u);
    EXPECT_EQ(time->GetUserData(), L"00:00:01.000");
    EXPECT_EQ(time->GetTextColor(), 0xFF347AEBu);
    answer = {{L"same", L"00:00:00.000", 750}};
    tasks->EditRow(Child(Row(1, 0), L"formatcutaudio"));
    EXPECT_EQ(time->GetTextColor(), 0xFF333333u);
    EXPECT_EQ(time->GetUserData(), L"00:00:00.000");

    // Merge row: one new row per segment, linked below the others.
    answer = {{L"one", L"00:00:00.500", 1000}, {L"two", L"00:00:01.000", 750}};
    tasks->EditRow(Child(Row(2, 0), L"btnmergeedit"));
    ASSERT_EQ(tasks->PageList(2)->GetCount(), 3);
    EXPECT_EQ(Row(2, 1)->GetUserData(), Media(L"b.mp3"));
    EXPECT_EQ(Text(Row(2, 1), L"filename"), L"one");
    EXPECT_EQ(Text(Row(2, 2), L"filetime"), L"时长：00:00:00.750");
    EXPECT_EQ(Child(Row(2, 2), L"filetime")->GetTag(), 750u);
    EXPECT_EQ(Child(Row(2, 2), L"filetime")->GetUserData(), L"00:00:01.000");
    EXPECT_TRUE(Child(Row(2, 0), L"btnmovedown")->IsOwnVisible());
    EXPECT_FALSE(Child(Row(2, 2), L"btnmovedown")->IsOwnVisible());
    EXPECT_EQ(opened, (std::vector<std::wstring>{Media(L"a.wav") + L"|single", Media(L"a.wav") + L"|single",
                                                 Media(L"b.mp3") + L"|multi"}));
    // A cancelled editor changes nothing; a button outside the format and merge lists opens none.
    confirm = false;
    tasks->EditRow(Child(Row(2, 0), L"btnmergeedit"));
    EXPECT_EQ(tasks->PageList(2)->GetCount(), 3);
    Add(4, {Media(L"a.wav")});
    tasks->EditRow(Child(Row(4, 0), L"btn_Removefile"));
    EXPECT_EQ(opened.size(), 4u);
}

TEST_F(TaskListTest, BackgroundMusicForOneRowOrAllRows) {
    Add(7, {Media(L"a.wav"), Media(L"b.mp3"), Media(L"c.flac")});
    std::wstring pick = Media(L"music.mp3");
    CCommon::SetOpenFilesHook([&](void*, const std::wstring&, const std::wstring&, std::wstring* folder,
                                  std::vector<std::wstring>* names) {
        std::wstring name;
        CCommon::OnSplitPath(pick, folder, &name, nullptr);
        std::wstring ext;
        CCommon::OnSplitPath(pick, nullptr, nullptr, &ext);
        names->assign({name + ext});
        return true;
    });
    tasks->ChooseMusic(Child(Row(7, 1), L"btn_itemaddbgm"), false);
    CControlUI* add = Child(Row(7, 1), L"btn_itemaddbgm");
    EXPECT_EQ(add->GetText(), L"music.mp3");
    EXPECT_EQ(add->GetToolTip(), L"music.mp3");
    EXPECT_EQ(add->GetUserData(), pick);
    EXPECT_NEAR(static_cast<double>(add->GetTag()), 4000.0, 60.0);
    EXPECT_TRUE(Child(Row(7, 1), L"btn_itemRemovefile")->IsOwnVisible());
    EXPECT_TRUE(Child(Row(7, 0), L"btn_itemaddbgm")->GetUserData().empty());

    tasks->ChooseMusic(wnd->FindControl(L"btn_batchaddbgm"), true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Child(Row(7, i), L"btn_itemaddbgm")->GetUserData(), pick) << i;

    tasks->ForgetMusic(Child(Row(7, 2), L"btn_itemRemovefile"));
    EXPECT_EQ(Text(Row(7, 2), L"btn_itemaddbgm"), L"添加背景音乐");
    EXPECT_TRUE(Child(Row(7, 2), L"btn_itemaddbgm")->GetUserData().empty());
    EXPECT_FALSE(Child(Row(7, 2), L"btn_itemRemovefile")->IsOwnVisible());

    // Music that is not media is refused with the not-supported notice and changes nothing.
    pick = Media(L"text.wav");
    tasks->ChooseMusic(Child(Row(7, 2), L"btn_itemaddbgm"), false);
    driver->Pump();
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 1), 1);
    EXPECT_TRUE(Child(Row(7, 2), L"btn_itemaddbgm")->GetUserData().empty());

    tasks->SetLoopForAll(false);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(dynamic_cast<COptionUI*>(Child(Row(7, i), L"OpitemLoop"))->IsSelected()) << i;
    dynamic_cast<COptionUI*>(wnd->FindControl(L"OpIsLoop"))->Selected(false, false);
    Add(7, {Media(L"music.mp3")});  // a new row follows the page-wide choice
    EXPECT_FALSE(dynamic_cast<COptionUI*>(Child(Row(7, 3), L"OpitemLoop"))->IsSelected());
}

TEST_F(TaskListTest, SegmentRowsCarryStartAndLength) {
    CControlUI* row = tasks->AddSegmentRow(0, Media(L"a.wav"), L"a_1.wav", 500, 1750, L"1.00 MB");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(tasks->BatchList(0)->GetCount(), 1);
    EXPECT_EQ(row->GetUserData(), Media(L"a.wav"));
    EXPECT_EQ(Text(row, L"filename"), L"a_1.wav");
    EXPECT_EQ(Text(row, L"filetime"), L"00:00:00.500 - 00:00:01.750");
    EXPECT_EQ(Child(row, L"filetime")->GetUserData(), L"00:00:00.500");
    EXPECT_EQ(Child(row, L"filetime")->GetTag(), 1250u);
    EXPECT_EQ(Text(row, L"filesize"), L"未剪切");
    // An end before the start is an empty segment, not a huge one.
    CControlUI* odd = tasks->AddSegmentRow(3, Media(L"clip.mp4"), L"x.MP3", 900, 100, L"");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(Child(odd, L"filetime")->GetTag(), 0u);
    EXPECT_EQ(tasks->BatchList(3)->GetCount(), 1);
    EXPECT_EQ(tasks->AddSegmentRow(1, Media(L"a.wav"), L"n", 0, 1, L""), nullptr);
    tasks->RemoveRow(Child(row, L"btn_Removefileout"));
    driver->Pump();
    EXPECT_EQ(tasks->BatchList(0)->GetCount(), 0);
}

TEST_F(TaskListTest, BusyPagesRefuseAddingRemovingAndClearing) {
    Add(4, {Media(L"a.wav")});
    tasks->AddSegmentRow(0, Media(L"a.wav"), L"a_1.wav", 0, 1000, L"");
    tasks->SetBusyCheck([](int page) { return page == 4 || page == 0; });
    tasks->DropFiles(4, {Media(L"b.mp3")});
    tasks->RemoveRow(Child(Row(4, 0), L"btn_Removefile"));
    tasks->RemoveRow(Child(tasks->BatchList(0)->GetItemAt(0), L"btn_Removefileout"));
    tasks->ClearList(4);
    EXPECT_FALSE(tasks->Pending());
    driver->Pump();
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 4), 4);
    EXPECT_EQ(tasks->PageList(4)->GetCount(), 1);
    EXPECT_EQ(tasks->BatchList(0)->GetCount(), 1);
    Add(5, {Media(L"b.mp3")});  // other pages go on
    EXPECT_EQ(tasks->PageList(5)->GetCount(), 1);
}

// Many copies of the media under names that sort differently from the order they are given in.
std::vector<std::wstring> ManyFiles(testsupport::TempDir& dir, int count) {
    const std::wstring sources[] = {Media(L"a.wav"), Media(L"b.mp3"), Media(L"c.flac")};
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i) {
        std::wstring ext;
        CCommon::OnSplitPath(sources[i % 3], nullptr, nullptr, &ext);
        std::wstring path = dir.WFile(std::to_wstring(count - i) + L"_f" + ext);
        platform::CopyFileNoOverwrite(sources[i % 3], path);
        paths.push_back(path);
    }
    return paths;
}

TEST_F(TaskListTest, BackgroundProbeKeepsTheOrderAndTheDuplicateRule) {
    testsupport::TempDir dir;
    std::vector<std::wstring> paths = ManyFiles(dir, 40);
    tasks->SetProbeThreads(3);
    std::vector<std::wstring> given = paths;
    given.insert(given.begin() + 20, paths[3]);  // a duplicate inside one drop
    given.push_back(paths[0]);
    tasks->DropFiles(1, given);
    EXPECT_TRUE(tasks->Pending());
    tasks->DropFiles(1, {paths[5], Media(L"a.wav")});  // a second request queues behind the first
    ASSERT_TRUE(driver->PumpUntil([&] { return !tasks->Pending(); }, 30000));
    driver->Pump();
    CListUI* list = tasks->PageList(1);
    ASSERT_EQ(list->GetCount(), 41);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(list->GetItemAt(i)->GetUserData(), paths[i]) << i;
    EXPECT_EQ(list->GetItemAt(40)->GetUserData(), Media(L"a.wav"));
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 0), 3);
    EXPECT_EQ(wnd->Count(MSG_NOTICE, 1), 0);
}

TEST_F(TaskListTest, ClearingRemovingAndClosingWhileProbingIsSafe) {
    testsupport::TempDir dir;
    std::vector<std::wstring> paths = ManyFiles(dir, 30);
    Add(4, {Media(L"a.wav")});
    tasks->DropFiles(4, paths);
    // Remove a row and clear the page while the probe runs: nothing of the old request arrives.
    tasks->RemoveRow(Child(Row(4, 0), L"btn_Removefile"));
    driver->Pump();
    tasks->ClearList(4);
    tasks->DropFiles(4, {Media(L"b.mp3")});
    ASSERT_TRUE(driver->PumpUntil([&] { return !tasks->Pending(); }, 30000));
    driver->Pump();
    ASSERT_EQ(tasks->PageList(4)->GetCount(), 1);
    EXPECT_EQ(Row(4, 0)->GetUserData(), Media(L"b.mp3"));

    // Closing the window while files are still being probed: the rows that were due never
    // arrive, and the task list can go afterwards.
    tasks->DropFiles(5, paths);
    delete wnd;
    wnd = nullptr;
    driver->Pump();
    tasks->DropFiles(5, paths);  // no window: nothing happens
    backend->WaitForWake(50);
    driver->Pump();
    tasks.reset();
    driver->Pump();

    // And the task list can go while its window stays and probes run.
    wnd = new CMainTestWnd();
    ASSERT_TRUE(wnd->Create(nullptr, L"again"));
    tasks = std::make_unique<CTaskList>(wnd);
    tasks->DropFiles(6, paths);
    tasks.reset();
    backend->WaitForWake(50);
    driver->Pump();
    EXPECT_EQ(dynamic_cast<CListUI*>(wnd->FindControl(L"list_noisefile"))->GetCount(), 0);
}

}  // namespace

namespace {

TEST_F(TaskListTest, RowEditingRunsTheProgramsCutEditor) {
    Add(1, {Media(L"a.wav")});
    CControlUI* time = Child(Row(1, 0), L"outfiletime");
    const std::wstring before = time->GetText();
    // Cancelled: the row keeps its length.
    driver->AnswerNextModal(L"btncancel");
    tasks->EditRow(Child(Row(1, 0), L"formatcutaudio"));
    EXPECT_EQ(driver->PendingAnswers(), 0);
    EXPECT_EQ(time->GetText(), before);
    // Confirmed: the editor's range comes back as the row's start and length.
    driver->AnswerNextModal(L"btok");
    tasks->EditRow(Child(Row(1, 0), L"formatcutaudio"));
    EXPECT_EQ(driver->PendingAnswers(), 0);
    EXPECT_EQ(time->GetText().rfind(L"时长：", 0), 0u);
    EXPECT_FALSE(time->GetUserData().empty());
    EXPECT_GT(time->GetTag(), 0u);
}

}  // namespace
