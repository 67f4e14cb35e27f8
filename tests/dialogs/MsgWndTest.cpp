// The message box and the rights notice: panels per mode, results per button, the finished
// notice's file-manager actions, and the dialogs' DPI rule.
#include "DialogTestSupport.h"
#include "app/AboutDlg.h"
#include "app/Version.h"
#include "ui/CopyRightWnd.h"
#include "ui/DialogDpi.h"
#include "ui/MsgWnd.h"

namespace {

class MsgWndTest : public DialogTest {
protected:
    // Runs a message box of `mode` and lets `answer` act on it; returns the result.
    int Run(CMsgWnd& box, std::function<void(CWindowUI*)> answer) {
        EXPECT_TRUE(box.Create(nullptr, CMsgWnd::kCaption, 0, 0, CMsgWnd::kWidth, CMsgWnd::kHeight));
        box.CenterWindow();
        Answer(std::move(answer));
        return box.ShowModal();
    }
    int RunClicking(int mode, const std::wstring& button) {
        CMsgWnd box(mode);
        return Run(box,
                   [&](CWindowUI* w) { EXPECT_TRUE(ClickVisible(w, button)) << platform::ToUtf8(button); });
    }
};

TEST_F(MsgWndTest, EachModeShowsItsPanelAndButtonsGiveTheirResults) {
    EXPECT_EQ(RunClicking(CMsgWnd::kUnknownFile, L"btn_ok"), 1);
    EXPECT_EQ(RunClicking(CMsgWnd::kUnknownFile, L"closebtn"), 2);
    EXPECT_EQ(RunClicking(CMsgWnd::kExit, L"btn_ok"), 1);
    EXPECT_EQ(RunClicking(CMsgWnd::kExit, L"btn_cancel"), 2);
    EXPECT_EQ(RunClicking(CMsgWnd::kExit, L"closebtn"), 2);
    EXPECT_EQ(RunClicking(CMsgWnd::kOtherMsg, L"btn_ok"), 1);
    EXPECT_EQ(RunClicking(CMsgWnd::kOtherMsg, L"btn_cancel"), 2);
    // The title bar's close counts as cancel.
    CMsgWnd box(CMsgWnd::kExit);
    EXPECT_EQ(Run(box, [](CWindowUI* w) { w->InputCloseRequest(); }), 2);

    // Texts: the panel of the mode is the only one shown, filled as the mode says.
    CMsgWnd exitBox(CMsgWnd::kExit);
    Run(exitBox, [&](CWindowUI* w) {
        EXPECT_EQ(Visible(w, L"titleTips")->GetText(), L"您确定退出Tonewright吗？");
        EXPECT_EQ(w->FindControl(L"title")->GetText(), L"Tonewright");
        EXPECT_TRUE(Visible(w, L"VerExit"));
        EXPECT_FALSE(Visible(w, L"VerUnKnowFile"));
        EXPECT_FALSE(Visible(w, L"msg_text"));
        ClickVisible(w, L"btn_ok");
    });
    CMsgWnd unknown(CMsgWnd::kUnknownFile);
    Run(unknown, [&](CWindowUI* w) {
        EXPECT_EQ(Visible(w, L"titleTips")->GetText(), L"不支持该格式文件");
        EXPECT_EQ(Visible(w, L"msg_text")->GetText(), L"抱歉！不支持该格式文件！");
        EXPECT_EQ(w->FindControl(L"title")->GetText(), L"提示");
        EXPECT_FALSE(Visible(w, L"btn_cancel"));
        ClickVisible(w, L"btn_ok");
    });
    CMsgWnd other(CMsgWnd::kOtherMsg);
    other.SetTitleTips(L"标题 A");
    other.SetMsgText(L"正文 B");
    Run(other, [&](CWindowUI* w) {
        EXPECT_EQ(Visible(w, L"titleTips")->GetText(), L"标题 A");
        EXPECT_EQ(Visible(w, L"msg_text")->GetText(), L"正文 B");
        EXPECT_EQ(backend->GetNativeTitle(w), L"消息对话框");
        ClickVisible(w, L"btn_cancel");
    });
}

TEST_F(MsgWndTest, FinishedNoticeOpensTheTargetAndOnlyTheFolderButtonCloses) {
    std::vector<std::wstring> shown, opened;
    auto record = [](std::vector<std::wstring>* into) {
        return [into](const std::wstring& p) {
            into->push_back(p);
            return true;
        };
    };
    CMsgWnd box(CMsgWnd::kFinishMsg);
    box.SetTitleTips(L"转换完成");
    box.SetTargetPath(L"/tmp/a b/#x.mp3");
    box.SetDesktopActions(record(&shown), record(&opened));
    int result = Run(box, [&](CWindowUI* w) {
        EXPECT_EQ(Visible(w, L"titleTips")->GetText(), L"转换完成");
        EXPECT_TRUE(ClickVisible(w, L"btn_openfile"));
        EXPECT_FALSE(w->IsClosing());  // the box stays open
        EXPECT_TRUE(ClickVisible(w, L"btn_opendir"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(opened, std::vector<std::wstring>{L"/tmp/a b/#x.mp3"});
    EXPECT_EQ(shown, std::vector<std::wstring>{L"/tmp/a b/#x.mp3"});

    // With an empty target both buttons do nothing, but the folder button still closes.
    shown.clear();
    opened.clear();
    CMsgWnd empty(CMsgWnd::kFinishMsg);
    empty.SetDesktopActions(record(&shown), record(&opened));
    result = Run(empty, [&](CWindowUI* w) {
        EXPECT_TRUE(ClickVisible(w, L"btn_openfile"));
        EXPECT_FALSE(w->IsClosing());
        EXPECT_TRUE(ClickVisible(w, L"btn_opendir"));
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(opened.empty());
}

TEST_F(MsgWndTest, RightsNoticeHasBothWordingsAndTwoResults) {
    for (int mode : {0, 1}) {
        for (const wchar_t* button : {L"btn_ok", L"closebtn"}) {
            CCopyRightWnd notice(mode);
            ASSERT_TRUE(notice.Create(nullptr, CCopyRightWnd::kCaption, 0, 0, CCopyRightWnd::kWidth,
                                      CCopyRightWnd::kHeight));
            EXPECT_EQ(notice.FindControl(L"labeltips")->GetText(),
                      mode == 0 ? L"抱歉，由于版权问题，暂不支持此格式的文件转换！"
                                : L"抱歉，暂不支持此格式的文件转换！");
            EXPECT_EQ(notice.FindControl(L"title")->GetText(), L"温馨提示");
            EXPECT_EQ(notice.GetClientSize().cx, 480);
            Answer(button);
            EXPECT_EQ(notice.ShowModal(), std::wstring(button) == L"btn_ok" ? 1 : 2);
        }
    }
}

TEST_F(MsgWndTest, DialogsTakeTheScreenDpiAndFollowChangesAtMostEvery100ms) {
    backend->SetScreenDpi(144);
    CMsgWnd box(CMsgWnd::kUnknownFile);
    ASSERT_TRUE(box.Create(nullptr, CMsgWnd::kCaption, 0, 0, CMsgWnd::kWidth, CMsgWnd::kHeight));
    box.ShowWindow(true);
    driver->Pump();
    EXPECT_EQ(box.GetDPI().GetDPI(), 144);
    EXPECT_EQ(box.GetClientSize().cx, 540);

    box.InputDpiChanged(96, UIRect{10, 10, 370, 190});
    driver->Pump();
    EXPECT_EQ(box.GetDPI().GetDPI(), 96);
    EXPECT_EQ(box.GetClientSize().cx, 360);
    // Two more changes within 100 ms: held back, then the newest one is applied.
    driver->AdvanceTime(30);
    box.InputDpiChanged(120, UIRect{10, 10, 460, 235});
    box.InputDpiChanged(192, UIRect{10, 10, 730, 370});
    driver->Pump();
    EXPECT_EQ(box.GetDPI().GetDPI(), 96);
    driver->AdvanceTime(69);
    EXPECT_EQ(box.GetDPI().GetDPI(), 96);
    driver->AdvanceTime(1);
    EXPECT_EQ(box.GetDPI().GetDPI(), 192);
    EXPECT_EQ(box.GetClientSize().cx, 720);
    // Later changes apply at once again.
    driver->AdvanceTime(200);
    box.InputDpiChanged(96, UIRect{0, 0, 360, 180});
    driver->Pump();
    EXPECT_EQ(box.GetDPI().GetDPI(), 96);
    box.Close(2);
    driver->Pump();
}

}  // namespace

namespace {

TEST_F(MsgWndTest, AboutBoxShowsTheVersionAndLicencesAndClosesWithOne) {
    auto* about = new CAboutDlg;  // deletes itself when its window is gone
    ASSERT_TRUE(about->Create(nullptr, CAboutDlg::kCaption, 0, 0, CAboutDlg::kWidth, CAboutDlg::kHeight));
    EXPECT_EQ(about->GetWindowClassName(), L"AboutUs");
    EXPECT_EQ(about->FindControl(L"version")->GetText(), L"版本 " + TwVersionText());
    EXPECT_EQ(about->FindControl(L"productname")->GetText(), L"Tonewright");
    const std::wstring licences = about->FindControl(L"licences")->GetText();
    for (const wchar_t* lib : {L"FFmpeg", L"FAAD2", L"MediaInfo", L"libvlc", L"log4cplus", L"KISS FFT",
                               L"libsndfile", L"libzip", L"pugixml", L"Qt"})
        EXPECT_NE(licences.find(lib), std::wstring::npos) << platform::ToUtf8(lib);
    EXPECT_EQ(backend->GetNativeTitle(about), L"关于我们");
    // The licences scroll.
    Answer([&](CWindowUI* w) {
        auto* box = w->FindControlAs<CContainerUI>(L"licencebox");
        ASSERT_NE(box, nullptr);
        EXPECT_GT(box->GetScrollRange().cy, 0);
        EXPECT_TRUE(driver->Wheel(w, L"licencebox", -2));
        EXPECT_GT(box->GetScrollPos().cy, 0);
        EXPECT_TRUE(driver->Click(w, L"closebtn"));
    });
    EXPECT_EQ(about->ShowModal(), 1);
}

}  // namespace
