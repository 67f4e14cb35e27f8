// The custom format dialog, the output format dialog (rows, type rewrite, removal, picks, the
// custom format flow) and the write-back of a pick into a format row.
#include <atomic>
#include <thread>

#include "DialogTestSupport.h"
#include "ui/CustomFormatWnd.h"
#include "ui/OutputFormatWnd.h"

namespace {

class FormatDialogsTest : public DialogTest {
protected:
    std::unique_ptr<COutputFormatWnd> OpenOutput(const std::wstring& quality = L"192kb/s") {
        auto w = std::make_unique<COutputFormatWnd>(quality);
        EXPECT_TRUE(w->Create(nullptr, COutputFormatWnd::kCaption, 0, 0, COutputFormatWnd::kWidth,
                              COutputFormatWnd::kHeight));
        w->ShowWindow(true);
        driver->Pump();
        return w;
    }
    std::vector<std::wstring> Details(CWindowUI* w) {
        std::vector<std::wstring> out;
        auto* list = w->FindControlAs<CListUI>(L"list_audioformat");
        for (int i = 0; i < list->GetCount(); ++i)
            out.push_back(InRow(w, L"list_audioformat", i, L"detailinfo")->GetText());
        return out;
    }
    int Rows(CWindowUI* w, const wchar_t* list) { return w->FindControlAs<CListUI>(list)->GetCount(); }
    // Clicks "btn_custom", lets `answer` act on the custom dialog and waits for the flow to end.
    void RunCustom(COutputFormatWnd* w, std::function<void(CWindowUI*)> answer) {
        Answer(std::move(answer));
        ASSERT_TRUE(driver->Click(w, L"btn_custom"));
        ASSERT_TRUE(driver->PumpUntil([&] { return !w->IsCustomFlowRunning(); }));
    }

    const std::string kUsers = "FLAC|无损_1|900kb/s,FLAC||pcm_s16le|0#WAV|录音|128kb/s,WAV|CBR|pcm_s24le|2#";
    const std::string kRecent = "MP3|高音质|256kb/s,MP3|||0#OGG|小文件|64kb/s,OGG|VBR|pcm_s16le|1#";
};

TEST_F(FormatDialogsTest, CustomDialogDefaultsChoicesAndWavPanel) {
    CCustomFormatWnd plain(3, 0);
    ASSERT_TRUE(plain.Create(nullptr, CCustomFormatWnd::kCaption, 0, 0, CCustomFormatWnd::kWidth,
                             CCustomFormatWnd::kHeight));
    EXPECT_EQ(plain.GetClientSize().cx, 520);  // the layout's size wins
    EXPECT_EQ(plain.FindControl(L"edittitle")->GetText(), L"自定义格式_3");
    EXPECT_TRUE(Visible(&plain, L"comboRateBit"));
    EXPECT_FALSE(Visible(&plain, L"opt_wav8bit"));
    Answer(L"btn_create");
    EXPECT_EQ(plain.ShowModal(), 1);
    EXPECT_EQ(plain.GetTitle(), L"自定义格式_3");
    EXPECT_EQ(plain.GetBitRateText(), L"128kb/s");
    EXPECT_EQ(plain.GetEncoderMode(), L"");
    EXPECT_EQ(plain.GetWavCodec(), L"pcm_s16le");
    EXPECT_EQ(plain.GetChannelMode(), 0);

    CCustomFormatWnd chosen(4, 0);
    ASSERT_TRUE(chosen.Create(nullptr, CCustomFormatWnd::kCaption));
    Answer([&](CWindowUI* w) {
        EXPECT_TRUE(driver->Type(w, L"edittitle", L"我的|格式#1"));  // "|" and "#" are refused
        EXPECT_TRUE(driver->SelectOption(w, L"opt_doublechannel"));
        EXPECT_TRUE(driver->PickComboItem(w, L"comboRateBit", 1));
        EXPECT_TRUE(driver->PickComboItem(w, L"combocoding", 2));
        EXPECT_TRUE(driver->Click(w, L"btn_create"));
    });
    EXPECT_EQ(chosen.ShowModal(), 1);
    EXPECT_EQ(chosen.GetTitle(), L"我的格式1");
    EXPECT_EQ(chosen.GetBitRateText(), L"360kb/s");
    EXPECT_EQ(chosen.GetEncoderMode(), L"CBR");
    EXPECT_EQ(chosen.GetChannelMode(), 2);

    CCustomFormatWnd wav(5, CCustomFormatWnd::kWavTypeIndex);
    ASSERT_TRUE(wav.Create(nullptr, CCustomFormatWnd::kCaption));
    Answer([&](CWindowUI* w) {
        EXPECT_FALSE(Visible(w, L"comboRateBit"));
        EXPECT_FALSE(Visible(w, L"combocoding"));
        EXPECT_TRUE(Visible(w, L"opt_wav16bit"));
        EXPECT_TRUE(driver->SelectOption(w, L"opt_wav24bit"));
        EXPECT_TRUE(driver->SelectOption(w, L"opt_singleschannel"));
        EXPECT_TRUE(driver->Type(w, L"edittitle", L"\b"));
        EXPECT_TRUE(driver->Click(w, L"btn_create"));
    });
    EXPECT_EQ(wav.ShowModal(), 1);
    EXPECT_EQ(wav.GetWavCodec(), L"pcm_s24le");
    EXPECT_EQ(wav.GetChannelMode(), 1);
    EXPECT_EQ(wav.GetTitle(), L"");
    EXPECT_EQ(wav.GetBitRateText(), L"128kb/s");  // still read while hidden

    CCustomFormatWnd cancelled(6, 0);
    ASSERT_TRUE(cancelled.Create(nullptr, CCustomFormatWnd::kCaption));
    Answer(L"btn_cancel");
    EXPECT_EQ(cancelled.ShowModal(), 2);
}

TEST_F(FormatDialogsTest, OpeningListsBuiltinUserAndRecentRowsAndTypeChoiceRewritesDetails) {
    WriteCfg(L"format.cfg", kUsers);
    WriteCfg(L"recent.cfg", kRecent);
    auto w = OpenOutput();
    ASSERT_EQ(Rows(w.get(), L"list_audioformat"), 6);
    ASSERT_EQ(Rows(w.get(), L"list_audiorecent"), 2);
    EXPECT_EQ(w->GetSelectedTypeText(), L"MP3");
    EXPECT_EQ(InRow(w.get(), L"list_audioformat", 0, L"opt_audiosource")->GetText(), L"与源文件相同");
    EXPECT_FALSE(InRow(w.get(), L"list_audioformat", 3, L"btn_cfgRemovefile")->IsVisible());
    EXPECT_TRUE(InRow(w.get(), L"list_audioformat", 4, L"btn_cfgRemovefile")->IsVisible());
    CControlUI* userOption = InRow(w.get(), L"list_audioformat", 5, L"opt_audiosource");
    CControlUI* userDetail = InRow(w.get(), L"list_audioformat", 5, L"detailinfo");
    EXPECT_EQ(userOption->GetText(), L"录音");
    EXPECT_EQ(userOption->GetUserData(), L"pcm_s24le");
    EXPECT_EQ(userDetail->GetUserData(), L"CBR");
    EXPECT_EQ(userDetail->GetTag(), 2u);
    EXPECT_EQ(InRow(w.get(), L"list_audiorecent", 1, L"opt_audiosource")->GetText(), L"OGG");
    EXPECT_EQ(InRow(w.get(), L"list_audiorecent", 1, L"describle")->GetText(), L"小文件");
    EXPECT_EQ(InRow(w.get(), L"list_audiorecent", 1, L"detailinfo")->GetText(), L"64kb/s,OGG");
    EXPECT_EQ(InRow(w.get(), L"list_audiorecent", 1, L"detailinfo")->GetUserData(), L"VBR");

    // Choosing WAV rewrites every "quality,TYPE" detail; the first built-in row has no ",".
    ASSERT_TRUE(ClickInRow(w.get(), L"list_audiotype", 1, L"opt_audioType"));
    EXPECT_EQ(w->GetSelectedTypeText(), L"WAV");
    EXPECT_EQ(Details(w.get()), (std::vector<std::wstring>{L"与源文件相同", L"256kb/s,WAV", L"128kb/s,WAV",
                                                           L"96kb/s,WAV", L"900kb/s,WAV", L"128kb/s,WAV"}));
    ASSERT_TRUE(ClickInRow(w.get(), L"list_audiotype", 4, L"opt_audioType"));
    EXPECT_EQ(Details(w.get())[1], L"256kb/s,OGG");

    // Only the selected tab header carries the accent underline.
    auto underlined = [&](const wchar_t* header) {
        CControlUI* option = w->FindControl(header);
        auto* box = option ? dynamic_cast<CContainerUI*>(option->GetParent()) : nullptr;
        CControlUI* line = box ? box->FindSubControl(L"xxx") : nullptr;
        return line != nullptr && line->IsVisible();
    };
    EXPECT_TRUE(underlined(L"opt_audioFormat"));
    EXPECT_FALSE(underlined(L"opt_audioRecent"));

    // The recent tab shows the recent list; its rows cannot be picked.
    ASSERT_TRUE(driver->Click(w.get(), L"opt_audioRecent"));
    EXPECT_EQ(w->FindControlAs<CTabLayoutUI>(L"tab_outfileext_Format")->GetCurSel(), 0);
    EXPECT_TRUE(underlined(L"opt_audioRecent"));
    EXPECT_FALSE(underlined(L"opt_audioFormat"));
    ClickInRow(w.get(), L"list_audiorecent", 0, L"opt_audiosource");
    EXPECT_FALSE(w->IsClosing());
    EXPECT_EQ(ReadCfg(L"recent.cfg"), kRecent);
    ASSERT_TRUE(driver->Click(w.get(), L"opt_audioFormat"));
    EXPECT_TRUE(underlined(L"opt_audioFormat"));
    EXPECT_FALSE(underlined(L"opt_audioRecent"));
    // A selection made by the program, not by a click, moves the underline too.
    w->FindControlAs<COptionUI>(L"opt_audioRecent")->Selected(true);
    driver->Pump();
    EXPECT_TRUE(underlined(L"opt_audioRecent"));
    EXPECT_FALSE(underlined(L"opt_audioFormat"));
    w->Close(2);
}

TEST_F(FormatDialogsTest, RemovingRowsRemovesTheirPresetsFromTheFiles) {
    WriteCfg(L"format.cfg", kUsers);
    WriteCfg(L"recent.cfg", kRecent);
    auto w = OpenOutput();
    // The second user preset sits at row 5: preset 5 - 4 = 1 goes.
    ASSERT_TRUE(ClickInRow(w.get(), L"list_audioformat", 5, L"btn_cfgRemovefile"));
    EXPECT_EQ(Rows(w.get(), L"list_audioformat"), 5);
    EXPECT_EQ(ReadCfg(L"format.cfg"), "FLAC|无损_1|900kb/s,FLAC||pcm_s16le|0#");
    ASSERT_TRUE(ClickInRow(w.get(), L"list_audioformat", 4, L"btn_cfgRemovefile"));
    EXPECT_EQ(ReadCfg(L"format.cfg"), "");  // empty but present
    EXPECT_TRUE(w->GetUserPresets().empty());

    ASSERT_TRUE(driver->Click(w.get(), L"opt_audioRecent"));
    ASSERT_TRUE(ClickInRow(w.get(), L"list_audiorecent", 0, L"btn_Removefile"));
    EXPECT_EQ(Rows(w.get(), L"list_audiorecent"), 1);
    EXPECT_EQ(ReadCfg(L"recent.cfg"), "OGG|小文件|64kb/s,OGG|VBR|pcm_s16le|1#");
    w->Close(2);
}

TEST_F(FormatDialogsTest, PicksCloseWithTheirValuesAndAddRecentEntries) {
    WriteCfg(L"format.cfg", kUsers);
    for (int round = 0; round < 2; ++round) {
        auto w = OpenOutput();
        Answer([&](CWindowUI* dlg) {
            ASSERT_TRUE(ClickInRow(dlg, L"list_audiotype", 2, L"opt_audioType"));  // FLAC
            ASSERT_TRUE(ClickInRow(dlg, L"list_audioformat", 5, L"opt_audiosource"));
        });
        ASSERT_EQ(w->ShowModal(), 1);
        EXPECT_EQ(w->GetTypeText(), L"FLAC");
        EXPECT_EQ(w->GetTitle(), L"录音");
        EXPECT_EQ(w->GetDetail(), L"128kb/s,FLAC");
        EXPECT_EQ(w->GetQualityText(), L"128kb/s");
        EXPECT_EQ(w->GetDetailUserData(), L"CBR");
        EXPECT_EQ(w->GetSourceUserData(), L"pcm_s24le");
        EXPECT_EQ(w->GetChannelMode(), 2);
    }
    // Picking the same preset twice leaves two entries.
    EXPECT_EQ(ReadCfg(L"recent.cfg"),
              "FLAC|录音|128kb/s,FLAC|CBR|pcm_s24le|2#FLAC|录音|128kb/s,FLAC|CBR|pcm_s24le|2#");

    // A click on the row itself picks too; "closebtn" gives 2 and no entry.
    auto w = OpenOutput();
    Answer([&](CWindowUI* dlg) { ASSERT_TRUE(driver->ClickListItem(dlg, L"list_audioformat", 0)); });
    ASSERT_EQ(w->ShowModal(), 1);
    EXPECT_EQ(w->GetTitle(), L"与源文件相同");
    EXPECT_EQ(w->GetQualityText(), L"与源文件相同");
    EXPECT_EQ(LoadRecentPresets().size(), 3u);
    auto closed = OpenOutput();
    Answer(L"closebtn");
    EXPECT_EQ(closed->ShowModal(), 2);
    EXPECT_EQ(LoadRecentPresets().size(), 3u);
}

TEST_F(FormatDialogsTest, CustomFlowAddsAPresetAtTheEndAndSavesIt) {
    auto w = OpenOutput(L"320kb/s");
    RunCustom(w.get(), [&](CWindowUI* dlg) {
        EXPECT_EQ(dlg->FindControl(L"edittitle")->GetText(), L"自定义格式_1");
        EXPECT_TRUE(driver->Click(dlg, L"btn_create"));
    });
    ASSERT_EQ(Rows(w.get(), L"list_audioformat"), 5);
    EXPECT_EQ(InRow(w.get(), L"list_audioformat", 4, L"opt_audiosource")->GetText(), L"自定义格式_1");
    EXPECT_EQ(InRow(w.get(), L"list_audioformat", 4, L"detailinfo")->GetText(), L"128kb/s,MP3");
    EXPECT_TRUE(InRow(w.get(), L"list_audioformat", 4, L"btn_cfgRemovefile")->IsVisible());
    EXPECT_EQ(ReadCfg(L"format.cfg"), "MP3|自定义格式_1|128kb/s,MP3||pcm_s16le|0#");

    // For WAV the quality is the one the dialog was opened with.
    ASSERT_TRUE(ClickInRow(w.get(), L"list_audiotype", 1, L"opt_audioType"));
    RunCustom(w.get(), [&](CWindowUI* dlg) {
        EXPECT_TRUE(driver->SelectOption(dlg, L"opt_wav32bit"));
        EXPECT_TRUE(driver->Click(dlg, L"btn_create"));
    });
    EXPECT_EQ(InRow(w.get(), L"list_audioformat", 5, L"detailinfo")->GetText(), L"320kb/s,WAV");
    EXPECT_EQ(ReadCfg(L"format.cfg"),
              "MP3|自定义格式_1|128kb/s,MP3||pcm_s16le|0#WAV|自定义格式_2|320kb/s,WAV||pcm_s32le|0#");

    // Cancelling adds nothing.
    RunCustom(w.get(), [&](CWindowUI* dlg) { EXPECT_TRUE(driver->Click(dlg, L"btn_cancel")); });
    EXPECT_EQ(Rows(w.get(), L"list_audioformat"), 6);
    EXPECT_EQ(w->GetUserPresets().size(), 2u);

    // A second start closes the open custom dialog first; only the second one creates.
    driver->AnswerNextModal([&](CWindowUI* first) {
        w->StartCustomFlow();
        EXPECT_TRUE(driver->PumpUntil([&] { return first->IsClosing(); }));
    });
    Answer(L"btn_create");
    ASSERT_TRUE(driver->Click(w.get(), L"btn_custom"));
    ASSERT_TRUE(driver->PumpUntil([&] { return !w->IsCustomFlowRunning(); }));
    ASSERT_EQ(Rows(w.get(), L"list_audioformat"), 7);
    EXPECT_EQ(InRow(w.get(), L"list_audioformat", 6, L"opt_audiosource")->GetText(), L"自定义格式_5");
    EXPECT_EQ(LoadFormatPresets().size(), 3u);
    EXPECT_EQ(w->GetOpenCustomDialog(), nullptr);
    w->Close(2);
}

// The owner of a format row: the stand-in layout of the test skin folder.
class CRowOwnerWnd : public CWindowUI {
public:
    CRowOwnerWnd() {
        std::string xml;
        EXPECT_TRUE(platform::ReadFileBytes(platform::FromUtf8(TW_DIALOGS_TEST_SKIN "/formatrow.xml"), &xml));
        CBuilderUI builder;
        SetRoot(builder.CreateFromText(platform::FromUtf8(xml)));
    }
    std::wstring GetWindowClassName() const override { return L"RowOwner"; }
    std::wstring GetSkinFile() override { return L""; }
};

class WriteBackTest : public FormatDialogsTest {
protected:
    void SetUp() override {
        FormatDialogsTest::SetUp();
        owner = std::make_unique<CRowOwnerWnd>();
        ASSERT_TRUE(owner->Create(nullptr, L"owner", 0, 0, 600, 200));
        button = owner->FindControl(L"formatoutext");
        ASSERT_TRUE(button);
    }
    void TearDown() override {
        owner.reset();
        FormatDialogsTest::TearDown();
    }
    CControlUI* Row(const wchar_t* name) {
        auto* row = dynamic_cast<CContainerUI*>(owner->FindControl(L"formatrow"));
        return row->FindSubControl(name);
    }
    // Runs the write-back on a thread of its own, as the main window does, answering the dialog.
    void RunForRow(std::function<void(CWindowUI*)> answer) {
        Answer(std::move(answer));
        std::atomic<bool> done{false};
        std::thread worker([&] {
            OnOutputFormatForRow(owner.get(), button);
            done = true;
        });
        EXPECT_TRUE(driver->PumpUntil([&] { return done.load(); }));
        worker.join();
    }
    std::unique_ptr<CRowOwnerWnd> owner;
    CControlUI* button = nullptr;
};

TEST_F(WriteBackTest, PickIsWrittenIntoTheRowWithChangeColours) {
    WriteCfg(L"format.cfg", "WAV|录音|128kb/s,WAV|CBR|pcm_s24le|2#");
    RunForRow([&](CWindowUI* dlg) {
        ASSERT_TRUE(ClickInRow(dlg, L"list_audiotype", 1, L"opt_audioType"));
        ASSERT_TRUE(ClickInRow(dlg, L"list_audioformat", 4, L"opt_audiosource"));
    });
    EXPECT_EQ(Row(L"outfileext")->GetText(), L"格式：wav");
    EXPECT_EQ(Row(L"outfileext")->GetTag(), 2u);
    EXPECT_EQ(Row(L"outfileext")->GetUserData(), L"CBR");
    EXPECT_EQ(Row(L"outfileext")->GetTextColor(), 0xFF347AEBu);
    EXPECT_EQ(Row(L"outfilequality")->GetText(), L"质量：128kb/s");
    EXPECT_EQ(Row(L"outfilequality")->GetUserData(), L"pcm_s24le");
    EXPECT_EQ(Row(L"outfilequality")->GetTextColor(), 0xFF347AEBu);
    // The page-wide quality label is not the row's.
    EXPECT_EQ(owner->FindControl(L"outfilequality")->GetText(), L"质量：192kb/s");

    // The same pick again changes nothing: normal colour.
    RunForRow([&](CWindowUI* dlg) {
        ASSERT_TRUE(ClickInRow(dlg, L"list_audiotype", 1, L"opt_audioType"));
        ASSERT_TRUE(ClickInRow(dlg, L"list_audioformat", 4, L"opt_audiosource"));
    });
    EXPECT_EQ(Row(L"outfileext")->GetTextColor(), 0xFF333333u);
    EXPECT_EQ(Row(L"outfilequality")->GetTextColor(), 0xFF333333u);

    // Closing the dialog leaves the row as it was.
    RunForRow([&](CWindowUI* dlg) { ASSERT_TRUE(driver->Click(dlg, L"closebtn")); });
    EXPECT_EQ(Row(L"outfileext")->GetText(), L"格式：wav");
}

TEST_F(WriteBackTest, AButtonOutsideARowChangesNothing) {
    button = owner->FindControl(L"outfilequality");  // the page-wide label: no row three levels up
    RunForRow(
        [&](CWindowUI* dlg) { ASSERT_TRUE(ClickInRow(dlg, L"list_audioformat", 1, L"opt_audiosource")); });
    EXPECT_EQ(Row(L"outfileext")->GetText(), L"格式：mp3");
    EXPECT_EQ(Row(L"outfilequality")->GetText(), L"质量：320kb/s");
    EXPECT_EQ(owner->FindControl(L"outfilequality")->GetText(), L"质量：192kb/s");
    EXPECT_EQ(LoadRecentPresets().size(), 1u);  // the pick itself still counts
}

TEST_F(WriteBackTest, SameAsSourceCopiesTheInputLabels) {
    Row(L"inputfileext")->SetTag(1);
    RunForRow(
        [&](CWindowUI* dlg) { ASSERT_TRUE(ClickInRow(dlg, L"list_audioformat", 0, L"opt_audiosource")); });
    EXPECT_EQ(Row(L"outfileext")->GetText(), L"格式：flac");
    EXPECT_EQ(Row(L"outfileext")->GetUserData(), L"flacdata");
    EXPECT_EQ(Row(L"outfileext")->GetTag(), 1u);
    EXPECT_EQ(Row(L"outfileext")->GetTextColor(), 0xFF347AEBu);
    EXPECT_EQ(Row(L"outfilequality")->GetText(), L"质量：900kb/s");
    EXPECT_EQ(LoadRecentPresets().size(), 1u);
}

TEST_F(WriteBackTest, OpeningQualityComesFromTheOwnersQualityLabel) {
    // A WAV preset created from this dialog takes the owner's quality without its prefix.
    RunForRow([&](CWindowUI* dlg) {
        ASSERT_TRUE(ClickInRow(dlg, L"list_audiotype", 1, L"opt_audioType"));
        auto* out = static_cast<COutputFormatWnd*>(dlg);
        Answer(L"btn_create");
        out->StartCustomFlow();
        ASSERT_TRUE(driver->PumpUntil([&] { return !out->IsCustomFlowRunning(); }));
        ASSERT_TRUE(driver->Click(dlg, L"closebtn"));
    });
    ASSERT_EQ(LoadFormatPresets().size(), 1u);
    EXPECT_EQ(LoadFormatPresets()[0].detail, L"192kb/s,WAV");
}

}  // namespace
