// The cut editor painted by the Qt backend (offscreen) on a generated file, on each tab and with
// the volume pop-up, at 100 % and 150 %; and a media host's native child window following the
// control.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "common/Common.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/AVPlayer.h"
#include "ui/CustomControls.h"
#include "ui/EditAudioWnd.h"
#include "ui/MediaWnd.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit_qt/QtTestSupport.h"

namespace {

using qttest::Ink;
using qttest::PumpFor;

class CHostWnd : public CWindowUI {
public:
    std::wstring GetWindowClassName() const override { return L"EditorGuiHost"; }
    std::wstring GetSkinFile() override { return L""; }
    CControlUI* CreateControl(const std::wstring& tag) override { return CreateCustomControl(tag); }
};

TEST(EditorGui, MediaHostMovesAndHidesItsChildWindow) {
    auto* wnd = new CHostWnd;
    auto* root = new CVerticalLayoutUI;
    auto* spacer = new CControlUI;
    spacer->SetFixedHeight(10);
    auto* host = dynamic_cast<CMediaWndUI*>(CreateCustomControl(L"MediaWndCut"));
    ASSERT_NE(host, nullptr);
    host->SetFixedHeight(120);
    root->Add(spacer);
    root->Add(host);
    wnd->SetRoot(root);
    ASSERT_TRUE(wnd->Create(nullptr, L"host", 0, 0, 400, 200));
    wnd->ShowWindow(true, false);
    PumpFor();
    wnd->UpdateLayout();
    ASSERT_NE(host->GetChildWindow(), 0u);
    QWidget* child = QWidget::find(static_cast<WId>(host->GetChildWindow()));
    ASSERT_NE(child, nullptr);
    const UIRect rc = host->GetPos();
    EXPECT_EQ(child->geometry(), QRect(rc.left, rc.top, rc.GetWidth(), rc.GetHeight()));
    EXPECT_TRUE(child->isVisible());

    spacer->SetFixedHeight(40);
    wnd->UpdateLayout();
    PumpFor();
    EXPECT_EQ(child->geometry().top(), 40);
    EXPECT_EQ(child->geometry().height(), 120);

    host->SetVisible(false);
    PumpFor();
    EXPECT_FALSE(child->isVisible());
    host->SetVisible(true);
    PumpFor();
    EXPECT_TRUE(child->isVisible());
    delete wnd;
    PumpFor();
}

class EditorGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::FfmpegPath().empty()) GTEST_SKIP() << "ffmpeg not installed";
        ASSERT_TRUE(testsupport::MakeTone(dir.File("周末的午后 piano.mp3"), 200.0, 440, 22050, 1));
        path = dir.WFile(L"周末的午后 piano.mp3");
    }
    void Save(CWindowUI* w, const std::string& shot, int dpi) {
        QImage image = qttest::Shoot(w, shot, dpi);
        ASSERT_FALSE(image.isNull());
        last = image;
    }
    testsupport::TempDir dir;
    std::wstring path;
    QImage last;
};

TEST_F(EditorGuiTest, TabsAndVolumePopup) {
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        qttest::Backend().SetScreenDpiOverride(dpi);
        auto* w = new CEditAudioWnd(path, 1);
        ASSERT_TRUE(
            w->Create(nullptr, CEditAudioWnd::kCaption, 0, 0, CEditAudioWnd::kWidth, CEditAudioWnd::kHeight));
        w->ShowWindow(true, false);
        PumpFor();
        ASSERT_EQ(w->GetDPI().GetDPI(), dpi);
        EXPECT_EQ(w->GetClientSize().cx, w->GetDPI().Scale(CEditAudioWnd::kWidth));

        // Manual tab with a range dragged in.
        CControlUI* right = w->FindControl(L"btnEditRightCursor");
        const UIRect tl = w->FindControl(L"CutPlaySlider")->GetPos();
        w->InputMouseDown(right->GetPos().Center());
        w->InputMouseMove({tl.left + w->GetDPI().Scale(200), right->GetPos().Center().y}, UIMK_LBUTTON);
        w->InputMouseUp({tl.left + w->GetDPI().Scale(200), right->GetPos().Center().y});
        Save(w, "EditAudioWnd_manual", dpi);
        EXPECT_GT(Ink(last, w->FindControl(L"srcfilename")->GetPos()), 30);
        EXPECT_GT(Ink(last, w->FindControl(L"cuttimeStartSeconds")->GetPos()), 10);

        auto* tabs = w->FindControlAs<CTabLayoutUI>(L"TabCutMethod");
        static_cast<COptionUI*>(w->FindControl(L"optCutAverage"))->Selected(true);
        PumpFor();
        ASSERT_EQ(tabs->GetCurSel(), 1);
        w->FindControlAs<CComboUI>(L"comboSegMentNum")->SelectItem(2);  // 4 parts
        Save(w, "EditAudioWnd_even", dpi);
        EXPECT_TRUE(w->FindControl(L"PlayMark5")->IsVisible());
        EXPECT_GT(Ink(last, w->FindControl(L"comboSegMentNum")->GetPos()), 10);

        static_cast<COptionUI*>(w->FindControl(L"optCutTimeLen"))->Selected(true);
        PumpFor();
        ASSERT_EQ(tabs->GetCurSel(), 2);
        Save(w, "EditAudioWnd_length", dpi);
        EXPECT_GT(Ink(last, w->FindControl(L"cuttimeLengthSeconds")->GetPos()), 10);

        const UIRect speaker = w->FindControl(L"btnCutSpeaker")->GetPos();
        const UIPoint at =
            w->ClientToScreen({speaker.left - w->GetDPI().Scale(8), speaker.top - w->GetDPI().Scale(175)});
        CMenuUI* popup = CMenuUI::Show(w, L"volume.xml", at);
        ASSERT_NE(popup, nullptr);
        popup->FindControl(L"SliderVlaue")->SetText(L"50%");
        popup->FindControlAs<CSliderUI>(L"vlomueslider")->SetValue(50);
        Save(popup, "volume", dpi);
        EXPECT_GT(Ink(last, popup->FindControl(L"SliderVlaue")->GetPos()), 5);
        popup->Close(0);
        PumpFor();

        w->Close(2);
        PumpFor();
        delete w;
        PumpFor();
        qttest::Backend().SetScreenDpiOverride(0);
        PumpFor();
    }
}

}  // namespace

int main(int argc, char** argv) {
    CAVPlayer::SetDefaultInstanceArgs({"--aout=dummy", "--vout=dummy", "--no-xlib", "-q"});
    return qttest::RunQtTests(argc, argv);
}
