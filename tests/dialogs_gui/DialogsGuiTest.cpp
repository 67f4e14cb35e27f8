// The message box, the rights notice, the about box and the two format dialogs painted by the Qt
// backend offscreen at 100 % and 150 %: the primary button is filled with the accent, the titles
// and texts leave ink, nothing is painted outside the window.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <functional>

#include "app/AboutDlg.h"
#include "common/FormatPresets.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/CopyRightWnd.h"
#include "ui/CustomFormatWnd.h"
#include "ui/MsgWnd.h"
#include "ui/OutputFormatWnd.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit_qt/QtTestSupport.h"

namespace {

using qttest::PumpFor;

// The control of that name that is shown (panels of the message box repeat names).
CControlUI* Shown(CWindowUI* w, const std::wstring& name) {
    std::vector<CControlUI*> all;
    w->GetRoot()->CollectControls(&all);
    for (CControlUI* c : all) {
        if (c->GetName() != name) continue;
        bool shown = c->IsVisible();
        for (CControlUI* p = c->GetParent(); p && shown; p = p->GetParent()) shown = p->IsVisible();
        if (shown) return c;
    }
    return nullptr;
}

class DialogsGuiTest : public ::testing::Test {
protected:
    void SetUp() override { presets::SetFolder(dir.WPath()); }
    void TearDown() override { presets::SetFolder(L""); }

    // Creates the window, shoots it at 100 % and 150 %, checks the primary button and the text
    // controls named in `inked`, then closes it.
    void Shoot(CWindowUI* wnd, const std::wstring& caption, const std::string& shot,
               const std::wstring& primary, const std::vector<std::wstring>& inked,
               const std::function<void(CWindowUI*)>& prepare = {}) {
        ASSERT_TRUE(wnd->Create(nullptr, caption));
        wnd->ShowWindow(true, false);
        if (prepare) prepare(wnd);
        PumpFor();
        for (int dpi : {96, 144}) {
            wnd->ApplyDPI(dpi);
            QImage image = qttest::Shoot(wnd, shot, dpi);
            ASSERT_FALSE(image.isNull());
            UISize logical = wnd->GetInitSize();
            EXPECT_EQ(image.width(), wnd->GetDPI().Scale(logical.cx)) << shot;
            EXPECT_EQ(image.height(), wnd->GetDPI().Scale(logical.cy)) << shot;
            // The window's hairline frame is drawn all round, the bottom edge too.
            EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() - 1).rgb() & 0xFFFFFF, 0xE3E7EDu)
                << shot << " at " << dpi;
            if (!primary.empty()) {
                CControlUI* button = Shown(wnd, primary);
                ASSERT_NE(button, nullptr) << shot;
                UIRect rc = button->GetPos();
                // A pixel of the button's fill away from the text: the accent.
                QColor fill = image.pixelColor(rc.left + 3 * dpi / 96, rc.top + rc.GetHeight() / 2);
                EXPECT_EQ(fill.rgb() & 0xFFFFFF, 0x347AEBu) << shot << " at " << dpi;
                EXPECT_LE(rc.right, image.width() - 20 * dpi / 96 + 1) << shot;  // the 20-px margin
            }
            for (const std::wstring& name : inked) {
                CControlUI* c = Shown(wnd, name);
                ASSERT_NE(c, nullptr) << shot << " " << platform::ToUtf8(name);
                // Text and marks leave red or green below 200; blue alone does not count.
                EXPECT_GT(qttest::Ink(image, c->GetPos(), false), 20)
                    << shot << " " << platform::ToUtf8(name) << " at " << dpi;
            }
        }
        wnd->Close(2);
        PumpFor();
    }
    testsupport::TempDir dir;
};

TEST_F(DialogsGuiTest, MessageBoxes) {
    CMsgWnd unknown(CMsgWnd::kUnknownFile);
    Shoot(&unknown, CMsgWnd::kCaption, "message_mode1", L"btn_ok", {L"title", L"titleTips", L"msg_text"});
    CMsgWnd exitBox(CMsgWnd::kExit);
    Shoot(&exitBox, CMsgWnd::kCaption, "message_mode3", L"btn_ok", {L"title", L"titleTips", L"btn_cancel"});
    CMsgWnd finished(CMsgWnd::kFinishMsg);
    finished.SetTitleTips(L"转换完成！文件已保存到输出文件夹。");
    finished.SetTargetPath(L"/tmp/x.mp3");
    Shoot(&finished, CMsgWnd::kCaption, "message_mode6", L"btn_opendir", {L"titleTips", L"btn_openfile"});
}

TEST_F(DialogsGuiTest, RightsNotices) {
    CCopyRightWnd rights(0);
    Shoot(&rights, CCopyRightWnd::kCaption, "copyright", L"btn_ok", {L"title", L"labeltips"});
    CCopyRightWnd unsupported(1);
    Shoot(&unsupported, CCopyRightWnd::kCaption, "copyright_unsupported", L"btn_ok", {L"labeltips"});
}

TEST_F(DialogsGuiTest, AboutBox) {
    auto* about = new CAboutDlg;  // deletes itself when its window is gone
    Shoot(about, CAboutDlg::kCaption, "about", L"", {L"title", L"productname", L"version", L"licences"},
          [](CWindowUI* w) { EXPECT_EQ(w->FindControl(L"version")->GetText(), CAboutDlg::VersionLine()); });
}

TEST_F(DialogsGuiTest, OutputFormatDialog) {
    SaveFormatPresets({{L"MP3", L"自定义格式_1", L"192kb/s,MP3", L"CBR", L"pcm_s16le", 0},
                       {L"WAV", L"录音棚 24 位", L"128kb/s,WAV", L"", L"pcm_s24le", 2}});
    SaveRecentPresets({{L"MP3", L"高音质", L"256kb/s,MP3", L"", L"", 0}});
    COutputFormatWnd dlg(L"128kb/s");
    Shoot(&dlg, COutputFormatWnd::kCaption, "outputformatWnd", L"btn_custom", {L"title", L"opt_audioFormat"},
          [](CWindowUI* w) {
              auto* list = w->FindControlAs<CListUI>(L"list_audioformat");
              ASSERT_EQ(list->GetCount(), 6);
              list->SelectItem(2);
          });
}

TEST_F(DialogsGuiTest, OutputFormatDialogRecentTab) {
    SaveRecentPresets({{L"MP3", L"高音质", L"256kb/s,MP3", L"", L"", 0},
                       {L"WAV", L"录音棚 24 位", L"128kb/s,WAV", L"", L"pcm_s24le", 2},
                       {L"FLAC", L"与源文件相同", L"与源文件相同", L"", L"", 0}});
    COutputFormatWnd dlg(L"128kb/s");
    Shoot(&dlg, COutputFormatWnd::kCaption, "outputformatWnd_recent", L"", {L"opt_audioRecent"},
          [](CWindowUI* w) {
              auto* recent = w->FindControlAs<COptionUI>(L"opt_audioRecent");
              recent->Selected(true);
              w->FindControlAs<CTabLayoutUI>(L"tab_outfileext_Format")->SelectItem(0);
              ASSERT_EQ(w->FindControlAs<CListUI>(L"list_audiorecent")->GetCount(), 3);
          });
}

TEST_F(DialogsGuiTest, CustomFormatDialog) {
    CCustomFormatWnd plain(1, 0);
    Shoot(&plain, CCustomFormatWnd::kCaption, "customformatWnd", L"btn_create",
          {L"title", L"edittitle", L"comboRateBit", L"combocoding", L"opt_samesource"});
    CCustomFormatWnd wav(2, CCustomFormatWnd::kWavTypeIndex);
    Shoot(&wav, CCustomFormatWnd::kCaption, "customformatWnd_wav", L"btn_create",
          {L"edittitle", L"opt_wav8bit", L"opt_wav32bit"});
}

}  // namespace

int main(int argc, char** argv) {
    return qttest::RunQtTests(argc, argv);
}
