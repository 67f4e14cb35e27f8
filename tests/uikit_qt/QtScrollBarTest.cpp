// The list scroll bar painted by the Qt backend (offscreen): a long task-like list at 100 % and
// 150 %, its track and thumb in the skin's tones with crisp edges, hover and a drag through Qt.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <memory>

#include "QtTestSupport.h"
#include "uikit/qt/QtSurface.h"

using qttest::Near;
using qttest::PumpAll;
using qttest::PumpUntil;

namespace {

const QColor kTrack(0xF5, 0xF7, 0xFA);
const QColor kThumbRest(0xBF, 0xC5, 0xD0);  // the half-covering thumb over the track
const QColor kThumbHot(0x8A, 0x94, 0xA6);

class CListWnd : public CWindowUI {
public:
    std::wstring GetWindowClassName() const override { return L"ScrollListWnd"; }
    std::wstring GetSkinFile() override { return L""; }
};

// Rows as the tool pages show them: a file name over its duration and size, zebra backgrounds.
std::wstring ListLayout(int rows) {
    std::wstring xml =
        L"<List name=\"list\" bkcolor=\"#FFFFFFFF\" itemselectedbkcolor=\"#FFEAF1FD\" "
        L"itemhotbkcolor=\"#FFFAFBFC\">";
    for (int i = 1; i <= rows; ++i) {
        xml += L"<ListContainerElement height=\"56\" inset=\"12,0,8,0\"";
        if (i % 2 == 0) xml += L" bkcolor=\"#FFFAFBFC\"";
        xml += L"><VerticalLayout><Label font=\"1\" height=\"20\" padding=\"0,8,0,0\" text=\"第 " +
               std::to_wstring(i) + L" 首 Track " + std::to_wstring(i) +
               L".mp3\" textcolor=\"#FF333333\"/><Label font=\"2\" height=\"18\" text=\"00:03:25 · 4.70 MB\" "
               L"textcolor=\"#FF8A94A6\"/></VerticalLayout></ListContainerElement>";
    }
    return xml + L"</List>";
}

class QtScrollBarTest : public ::testing::Test {
protected:
    void TearDown() override {
        qttest::Backend().SetScreenDpiOverride(0);
        window.reset();
        PumpAll();
    }
    CListUI* Open(int rows) {
        CBuilderUI builder;
        CControlUI* root = builder.CreateFromText(ListLayout(rows), nullptr);
        EXPECT_NE(root, nullptr);
        window = std::make_unique<CListWnd>();
        window->SetRoot(root);
        window->AddFont(TFontUI{L"Noto Sans CJK SC", 13, false}, true);
        window->AddFont(TFontUI{L"Noto Sans CJK SC", 13, true}, false);
        window->AddFont(TFontUI{L"Noto Sans CJK SC", 12, false}, false);
        EXPECT_TRUE(window->Create(nullptr, L"列表", 0, 0, 420, 300));
        window->CenterWindow();
        window->ShowWindow(true, true);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(UIQtSurface(window.get()), 2000));
        PumpAll();
        return dynamic_cast<CListUI*>(root);
    }
    QImage Shot(const std::string& stem) {
        return qttest::Shoot(window.get(), stem, window->GetDPI().GetDPI());
    }
    std::unique_ptr<CListWnd> window;
};

}  // namespace

TEST_F(QtScrollBarTest, LongListShowsACrispBarThatHoversAndDrags) {
    CListUI* list = Open(30);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->IsVScrollBarShown());
    CScrollBarUI* bar = list->GetVerticalScrollBar();
    UIRect track = bar->GetTrackRect();
    UIRect thumb = bar->GetThumbRect();
    ASSERT_EQ(track.GetWidth(), 6);

    QImage img = Shot("scrollbar_list");
    const int midX = (thumb.left + thumb.right) / 2;
    EXPECT_TRUE(Near(img.pixelColor(midX, thumb.Center().y), kThumbRest)) << "thumb at rest";
    EXPECT_TRUE(Near(img.pixelColor(midX, track.bottom - 20), kTrack)) << "track below the thumb";
    // The row beside the bar keeps its own background.
    EXPECT_TRUE(Near(img.pixelColor(bar->GetPos().left - 2, thumb.Center().y), Qt::white));

    // The pointer over the thumb darkens it.
    QWidget* surface = UIQtSurface(window.get());
    QTest::mouseMove(surface, QPoint(midX, thumb.Center().y));
    ASSERT_TRUE(PumpUntil([&] { return bar->IsThumbHot(); }));
    img = Shot("scrollbar_list_hot");
    EXPECT_TRUE(Near(img.pixelColor(midX, thumb.Center().y), kThumbHot));

    // A drag to the bottom of the track shows the last row at the bottom of the view.
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(midX, thumb.Center().y));
    QTest::mouseMove(surface, QPoint(midX, track.bottom + 40));
    ASSERT_TRUE(PumpUntil([&] { return list->GetScrollPos().cy == list->GetScrollRange().cy; }));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(midX, track.bottom + 40));
    ASSERT_TRUE(PumpUntil([&] { return !bar->IsDragging(); }));
    EXPECT_EQ(list->GetItemAt(29)->GetPos().bottom, list->GetPos().bottom);
    img = Shot("scrollbar_list_end");
    thumb = bar->GetThumbRect();
    EXPECT_EQ(thumb.bottom, track.bottom);
    EXPECT_FALSE(Near(img.pixelColor(midX, thumb.bottom - 3), kTrack)) << "the thumb sits at the end";
}

TEST_F(QtScrollBarTest, BarIsCrispAt150Percent) {
    CListUI* list = Open(30);
    ASSERT_NE(list, nullptr);
    qttest::Backend().SetScreenDpiOverride(144);
    ASSERT_TRUE(PumpUntil([&] { return window->GetDPI().GetDPI() == 144; }));
    PumpAll();
    list->SetScrollPos({0, list->GetScrollRange().cy / 2});
    CScrollBarUI* bar = list->GetVerticalScrollBar();
    window->UpdateLayout();
    const UIRect track = bar->GetTrackRect();
    const UIRect thumb = bar->GetThumbRect();
    ASSERT_EQ(track.GetWidth(), 8);
    ASSERT_GE(thumb.GetHeight(), 36);
    const QImage img = Shot("scrollbar_list");
    const int y = thumb.Center().y;
    // Both edge columns of the thumb are wholly thumb, and the columns beside it are the row.
    EXPECT_TRUE(Near(img.pixelColor(thumb.left, y), kThumbRest));
    EXPECT_TRUE(Near(img.pixelColor(thumb.right - 1, y), kThumbRest));
    EXPECT_TRUE(Near(img.pixelColor(thumb.left - 1, y), img.pixelColor(thumb.left - 6, y), 3));
    EXPECT_TRUE(Near(img.pixelColor(thumb.right, y), img.pixelColor(thumb.left - 6, y), 3));
    // The track in the middle of its length, away from the thumb.
    const int trackY = thumb.top > track.top + 20 ? track.top + 10 : track.bottom - 10;
    EXPECT_TRUE(Near(img.pixelColor(track.left, trackY), kTrack));
}
