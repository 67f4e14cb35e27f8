// Real uikit windows on the Qt backend (offscreen): the demo skin rendered to PNG and checked
// pixel by pixel, and user input sent through Qt reaching the library's notifications.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWidget>
#include <atomic>
#include <thread>

#include "QtTestSupport.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "uikit/qt/QtRender.h"
#include "uikit/qt/QtSurface.h"

using qttest::CDemoWnd;
using qttest::Near;
using qttest::PumpAll;
using qttest::PumpUntil;

namespace {

const QColor kTitleBlue(0x2D, 0x6C, 0xDF);
const QColor kGreen(0x7E, 0xD3, 0x21);
const QColor kGrey(0xDD, 0xDD, 0xDD);

// Runs `step` on the UI thread now and then every 10 ms until it returns true or has run `rounds`
// times.
void Poll(std::function<bool()> step, int rounds, int delayMs = 0) {
    QTimer::singleShot(delayMs, [step = std::move(step), rounds]() mutable {
        if (!step() && rounds > 1) Poll(std::move(step), rounds - 1, 10);
    });
}

class QtWindowTest : public ::testing::Test {
protected:
    CDemoWnd* Open(CWindowUI* owner = nullptr, bool show = true) {
        auto window = std::make_unique<CDemoWnd>();
        EXPECT_TRUE(window->Create(owner, L"演示窗口"));
        window->CenterWindow();
        if (show) {
            window->ShowWindow(true, true);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(UIQtSurface(window.get()), 2000));
        }
        PumpAll();
        m_windows.push_back(std::move(window));
        return m_windows.back().get();
    }
    void TearDown() override {
        m_windows.clear();  // each window takes its native window with it
        PumpAll();
    }
    static QWidget* Surface(CWindowUI* window) { return UIQtSurface(window); }
    static QPoint CenterOf(CWindowUI* window, const std::wstring& name) {
        CControlUI* control = window->FindControl(name);
        EXPECT_NE(control, nullptr) << "no control " << platform::ToUtf8(name);
        if (!control) return {};
        const UIPoint c = control->GetPos().Center();
        return {c.x, c.y};
    }
    static QRect RectOf(CWindowUI* window, const std::wstring& name) {
        CControlUI* control = window->FindControl(name);
        EXPECT_NE(control, nullptr) << "no control " << platform::ToUtf8(name);
        return control ? qttest::ToQRect(control->GetPos()) : QRect();
    }
    static QImage Shot(CWindowUI* window, const std::string& name = "") {
        PumpAll();
        QImage image = UIQtGrab(window);
        if (!name.empty()) image.save(QString::fromStdString(qttest::ScreenshotFolder() + name), "PNG");
        return image;
    }
    std::vector<std::unique_ptr<CDemoWnd>> m_windows;
};

TEST_F(QtWindowTest, DemoWindowRendersEveryControlKind) {
    CDemoWnd* w = Open();
    QWidget* surface = Surface(w);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->size(), QSize(520, 400));
    EXPECT_EQ(surface->windowTitle(), QStringLiteral("演示窗口"));
    EXPECT_NE(w->GetNativeHandle(), 0u);
    // The GIF plays by itself; hold it on its first frame for the picture.
    w->FindControlAs<CGifAnimUI>(L"gif")->StopGif();
    const QImage img = Shot(w, "demo.png");
    ASSERT_EQ(img.size(), QSize(520, 400));

    // Colours of plain controls.
    EXPECT_TRUE(Near(img.pixelColor(300, 4), kTitleBlue));
    const QRect title = RectOf(w, L"title");
    EXPECT_GT(qttest::CountDifferent(img, title, kTitleBlue), 40) << "the Chinese title is drawn";
    // Images: whole, a source part, a destination part, nine-grid corners, a missing file.
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"img_plain").center()), Qt::red));
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"img_source").center()), Qt::green));
    const QRect dest = RectOf(w, L"img_dest");
    EXPECT_TRUE(Near(img.pixelColor(dest.topLeft() + QPoint(4, 4)), Qt::white));
    EXPECT_TRUE(Near(img.pixelColor(dest.center()), Qt::red));
    const QRect corner = RectOf(w, L"img_corner");
    EXPECT_TRUE(Near(img.pixelColor(corner.left() + 2, corner.center().y()), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(corner.left() + 8, corner.center().y()), Qt::white));
    EXPECT_TRUE(Near(img.pixelColor(corner.right() - 2, corner.center().y()), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"img_missing").center()), QColor(0x80, 0x80, 0x80)));
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"gif").topLeft() + QPoint(3, 3)), Qt::red))
        << "first GIF frame";
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"frames").topLeft() + QPoint(3, 3)), QColor(255, 0, 255)));
    // Button states: image of the normal state, disabled image and colour.
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"btn_img").topLeft() + QPoint(3, 3)), QColor(200, 200, 200)));
    EXPECT_TRUE(
        Near(img.pixelColor(RectOf(w, L"btn_disabled").topLeft() + QPoint(3, 3)), QColor(96, 96, 96)));
    const QRect ok = RectOf(w, L"btn_ok");
    EXPECT_TRUE(Near(img.pixelColor(ok.center().x(), ok.top() + 3), kTitleBlue));
    EXPECT_FALSE(Near(img.pixelColor(ok.topLeft()), kTitleBlue)) << "rounded corner";
    EXPECT_GT(qttest::CountDifferent(img, ok.adjusted(10, 5, -10, -5), kTitleBlue), 30) << "button text";
    // The selected option of the group and the other one.
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"opt_a").topLeft() + QPoint(3, 3)), kGreen));
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"opt_b").topLeft() + QPoint(3, 3)), kGrey));
    // Edit with its border and tip text; combo showing its selected item.
    const QRect edit = RectOf(w, L"edit");
    EXPECT_TRUE(Near(img.pixelColor(edit.left(), edit.center().y()), QColor(0x99, 0x99, 0x99)));
    EXPECT_GT(qttest::CountDifferent(img, edit.adjusted(2, 2, -2, -2), Qt::white), 30) << "tip text";
    EXPECT_GT(qttest::CountDifferent(img, RectOf(w, L"combo").adjusted(2, 2, -2, -2), Qt::white), 30);
    // Progress at 60 %: filled at 30 %, empty at 90 %.
    const QRect progress = RectOf(w, L"progress");
    EXPECT_TRUE(
        Near(img.pixelColor(progress.left() + progress.width() * 3 / 10, progress.center().y()), kGreen));
    EXPECT_TRUE(Near(img.pixelColor(progress.left() + progress.width() * 9 / 10, progress.center().y()),
                     QColor(0xE0, 0xE0, 0xE0)));
    // Slider thumb image where the slider says it is.
    auto* slider = w->FindControlAs<CSliderUI>(L"slider");
    ASSERT_NE(slider, nullptr);
    const UIPoint thumb = slider->GetThumbRect().Center();
    EXPECT_TRUE(Near(img.pixelColor(thumb.x, thumb.y), QColor(136, 0, 0)));
    // Text of labels, the multi-line text and the list rows.
    EXPECT_GT(qttest::CountDifferent(img, RectOf(w, L"ellipsis"), QColor(0xF4, 0xF6, 0xF8)), 40);
    EXPECT_GT(qttest::CountDifferent(img, RectOf(w, L"oddfont"), QColor(0xF4, 0xF6, 0xF8)), 40);
    const QRect multi = RectOf(w, L"multiline");
    EXPECT_GT(
        qttest::CountDifferent(
            img, QRect(multi.left(), multi.top() + multi.height() / 2, multi.width(), multi.height() / 2),
            QColor(0xF4, 0xF6, 0xF8)),
        40)
        << "the long text wraps onto a second line";
    EXPECT_GT(qttest::CountDifferent(img, RectOf(w, L"list").adjusted(2, 2, -2, -2), Qt::white), 200);
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"media").center()), Qt::black));
}

// Counts the paint events of a widget.
class CPaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(QtWindowTest, OnlyChangedWindowsAreRedrawn) {
    CDemoWnd* a = Open();
    CDemoWnd* b = Open();
    CPaintCounter countA, countB;
    Surface(a)->installEventFilter(&countA);
    Surface(b)->installEventFilter(&countB);
    // Both windows settle first: the demo's animation is stopped (its frames redraw a window by
    // time), and on a busy machine the first paint of a window just shown may still be on its
    // way; either would be counted as a redraw below.
    for (CDemoWnd* w : {a, b}) w->FindControlAs<CGifAnimUI>(L"gif")->PauseGif();
    Surface(a)->update();
    Surface(b)->update();
    ASSERT_TRUE(PumpUntil([&] { return countA.paints > 0 && countB.paints > 0; }));
    PumpAll();
    countA.paints = 0;
    countB.paints = 0;
    // A change from another thread reaches the screen through the backend's wake-up.
    std::thread([a] { a->FindControlAs<CProgressUI>(L"progress")->SetValue(90); }).join();
    ASSERT_TRUE(PumpUntil([&] { return countA.paints > 0; }));
    PumpAll();
    EXPECT_EQ(countB.paints, 0);
    const QRect progress = RectOf(a, L"progress");
    EXPECT_TRUE(Near(Shot(a).pixelColor(progress.left() + progress.width() * 85 / 100, progress.center().y()),
                     kGreen));
    Surface(a)->removeEventFilter(&countA);
    Surface(b)->removeEventFilter(&countB);
}

TEST_F(QtWindowTest, ButtonsFollowTheMouseAndClicksReachTheWindow) {
    CDemoWnd* w = Open();
    QWidget* surface = Surface(w);
    const QPoint button = CenterOf(w, L"btn_img");
    const QPoint corner = RectOf(w, L"btn_img").topLeft() + QPoint(3, 3);

    QTest::mouseMove(surface, button);
    ASSERT_TRUE(PumpUntil([&] { return w->GetHot() == w->FindControl(L"btn_img"); }));
    EXPECT_TRUE(Near(Shot(w, "demo_hot.png").pixelColor(corner), QColor(255, 192, 0)));
    QTest::mousePress(surface, Qt::LeftButton, {}, button);
    PumpAll();
    EXPECT_TRUE(Near(Shot(w).pixelColor(corner), QColor(128, 0, 255)));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, button);
    ASSERT_TRUE(PumpUntil([&] { return w->Seen(L"click:btn_img"); }));

    // A click on a disabled button says nothing; a click on the other one does.
    w->log.clear();
    QTest::mouseClick(surface, Qt::LeftButton, {}, CenterOf(w, L"btn_disabled"));
    QTest::mouseClick(surface, Qt::LeftButton, {}, CenterOf(w, L"btn_ok"));
    ASSERT_TRUE(PumpUntil([&] { return w->Seen(L"click:btn_ok"); }));
    EXPECT_FALSE(w->Seen(L"click:btn_disabled"));

    // A press on the caption band starts a window move and leaves nothing pushed; the close
    // button inside the band's excluded right edge is pressed as a button.
    QTest::mousePress(surface, Qt::LeftButton, {}, CenterOf(w, L"title"));
    PumpAll();
    EXPECT_EQ(w->GetPushed(), nullptr);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, CenterOf(w, L"title"));
    QTest::mousePress(surface, Qt::LeftButton, {}, CenterOf(w, L"btn_close"));
    EXPECT_EQ(w->GetPushed(), w->FindControl(L"btn_close"));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, CenterOf(w, L"btn_close"));
    EXPECT_TRUE(PumpUntil([&] { return w->Seen(L"click:btn_close"); }));

    // The tooltip of the control under the mouse.
    const QPoint close = CenterOf(w, L"btn_close");
    QHelpEvent help(QEvent::ToolTip, close, surface->mapToGlobal(close));
    QApplication::sendEvent(surface, &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("关闭"));
    QHelpEvent none(QEvent::ToolTip, CenterOf(w, L"img_plain"),
                    surface->mapToGlobal(CenterOf(w, L"img_plain")));
    QApplication::sendEvent(surface, &none);
    EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); })) << "no tooltip where none is set";
}

TEST_F(QtWindowTest, OptionClickSelectsAndRepaints) {
    CDemoWnd* w = Open();
    QTest::mouseClick(Surface(w), Qt::LeftButton, {}, CenterOf(w, L"opt_b"));
    ASSERT_TRUE(PumpUntil([&] { return w->Seen(L"selectchanged:opt_b"); }));
    EXPECT_TRUE(w->Seen(L"click:opt_b"));
    EXPECT_TRUE(w->FindControlAs<COptionUI>(L"opt_b")->IsSelected());
    EXPECT_FALSE(w->FindControlAs<COptionUI>(L"opt_a")->IsSelected());
    const QImage img = Shot(w, "demo_option.png");
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"opt_b").topLeft() + QPoint(3, 3)), kGreen));
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"opt_a").topLeft() + QPoint(3, 3)), kGrey));
}

TEST_F(QtWindowTest, FocusedEditTypesThroughAQtOverlay) {
    CDemoWnd* w = Open();
    auto* edit = w->FindControlAs<CEditUI>(L"edit");
    ASSERT_NE(edit, nullptr);
    QTest::mouseClick(Surface(w), Qt::LeftButton, {}, CenterOf(w, L"edit"));
    ASSERT_TRUE(PumpUntil([&] { return UIQtTextOverlay(w) != nullptr; }));
    auto* line = qobject_cast<QLineEdit*>(UIQtTextOverlay(w));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(RectOf(w, L"edit").contains(line->geometry()));
    EXPECT_TRUE(w->Seen(L"setfocus:edit"));

    QTest::keyClicks(line, QStringLiteral("abc"));
    // Composed text from an input method (how CJK typing arrives).
    QInputMethodEvent preedit(QStringLiteral("zhong"), {});
    QApplication::sendEvent(line, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("中文"));
    QApplication::sendEvent(line, &commit);
    ASSERT_TRUE(PumpUntil([&] { return edit->GetText() == L"abc中文"; }));
    EXPECT_TRUE(w->Seen(L"textchanged:edit"));
    Shot(w, "demo_edit.png");

    // Text set by the program shows in the overlay.
    edit->SetText(L"song.mp3");
    ASSERT_TRUE(PumpUntil([&] { return line->text() == QStringLiteral("song.mp3"); }));

    QTest::keyClick(line, Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return w->Seen(L"return:edit"); }));

    // Clicking elsewhere ends the typing.
    QTest::mouseClick(Surface(w), Qt::LeftButton, {}, CenterOf(w, L"img_plain"));
    ASSERT_TRUE(PumpUntil([&] { return UIQtTextOverlay(w) == nullptr; }));
    EXPECT_TRUE(w->Seen(L"killfocus:edit"));
    EXPECT_EQ(edit->GetText(), L"song.mp3");

    // A rich edit gets a multi-line overlay.
    QTest::mouseClick(Surface(w), Qt::LeftButton, {}, CenterOf(w, L"richedit"));
    ASSERT_TRUE(PumpUntil([&] { return qobject_cast<QPlainTextEdit*>(UIQtTextOverlay(w)) != nullptr; }));
    auto* plain = qobject_cast<QPlainTextEdit*>(UIQtTextOverlay(w));
    EXPECT_EQ(plain->toPlainText(), QStringLiteral("第一行\n第二行"));
    plain->moveCursor(QTextCursor::End);
    QTest::keyClicks(plain, QStringLiteral("!"));
    ASSERT_TRUE(PumpUntil([&] { return w->FindControl(L"richedit")->GetText() == L"第一行\n第二行!"; }));
}

TEST_F(QtWindowTest, KeysAndOverlayRulesFollowTheEdit) {
    CDemoWnd* w = Open();
    QWidget* surface = Surface(w);
    surface->setFocus();
    QTest::keyClick(surface, Qt::Key_5, Qt::KeypadModifier);
    QTest::keyClick(surface, Qt::Key_Period);
    QTest::keyClick(surface, Qt::Key_Escape);
    QTest::keyClick(surface, Qt::Key_Tab);
    const std::vector<std::wstring> expected{L"key:101", L"char:5", L"key:190",
                                             L"char:.",  L"key:27", L"key:9"};
    EXPECT_EQ(w->keys, expected);

    // Digits only and a length limit hold in the overlay; an event hook may swallow a key.
    auto* edit = w->FindControlAs<CEditUI>(L"edit");
    edit->SetDigitsOnly(true);
    edit->SetMaxChar(4);
    edit->OnEvent([](TEventUI& e) { return !(e.Type == UIEventType::Char && e.chKey == L'3'); });
    QTest::mouseClick(surface, Qt::LeftButton, {}, CenterOf(w, L"edit"));
    ASSERT_TRUE(PumpUntil([&] { return UIQtTextOverlay(w) != nullptr; }));
    QTest::keyClicks(UIQtTextOverlay(w), QStringLiteral("1a2b3456"));
    ASSERT_TRUE(PumpUntil([&] { return edit->GetText() == L"1245"; })) << platform::ToUtf8(edit->GetText());
    // Escape in the overlay reaches the window.
    w->keys.clear();
    QTest::keyClick(UIQtTextOverlay(w), Qt::Key_Escape);
    EXPECT_EQ(w->keys, std::vector<std::wstring>{L"key:27"});

    // A double click on a list row (as the window system sends it: a click, then the double
    // click) activates it.
    auto* list = w->FindControlAs<CListUI>(L"list");
    const UIPoint row = list->GetItemAt(0)->GetPos().Center();
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(row.x, row.y));
    QTest::mouseDClick(surface, Qt::LeftButton, {}, QPoint(row.x, row.y));
    EXPECT_TRUE(PumpUntil([&] { return w->Seen(L"itemactivate:"); }));
    EXPECT_EQ(UIQtTextOverlay(w), nullptr) << "the edit lost the focus to the list";
}

TEST_F(QtWindowTest, ComboOpensAQtListAndReportsThePick) {
    CDemoWnd* w = Open();
    auto* combo = w->FindControlAs<CComboUI>(L"combo");
    ASSERT_NE(combo, nullptr);
    QTest::mouseClick(Surface(w), Qt::LeftButton, {}, CenterOf(w, L"combo"));
    ASSERT_TRUE(PumpUntil([] { return UIQtOpenComboList() != nullptr && UIQtOpenComboList()->isVisible(); }));
    QMenu* list = UIQtOpenComboList();
    ASSERT_EQ(list->actions().size(), 3);
    EXPECT_EQ(list->actions()[2]->text(), QStringLiteral("无损 FLAC"));
    EXPECT_TRUE(list->actions()[0]->isChecked());
    EXPECT_TRUE(combo->IsDropped());
    list->actions()[2]->trigger();
    list->hide();
    ASSERT_TRUE(PumpUntil([&] { return combo->GetCurSel() == 2; }));
    EXPECT_TRUE(w->Seen(L"itemselect:combo"));
    EXPECT_FALSE(combo->IsDropped());
    EXPECT_EQ(combo->GetText(), L"无损 FLAC");

    // Dismissed without a pick: the selection stays.
    w->log.clear();
    QTest::mouseClick(Surface(w), Qt::LeftButton, {}, CenterOf(w, L"combo"));
    ASSERT_TRUE(PumpUntil([] { return UIQtOpenComboList() != nullptr; }));
    UIQtOpenComboList()->hide();
    ASSERT_TRUE(PumpUntil([&] { return !combo->IsDropped(); }));
    EXPECT_EQ(combo->GetCurSel(), 2);
    EXPECT_FALSE(w->Seen(L"itemselect:combo"));
}

TEST_F(QtWindowTest, SliderDragsAndListScrollsAndSelects) {
    CDemoWnd* w = Open();
    QWidget* surface = Surface(w);
    auto* slider = w->FindControlAs<CSliderUI>(L"slider");
    const UIPoint thumb = slider->GetThumbRect().Center();
    const QRect track = RectOf(w, L"slider");
    QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(thumb.x, thumb.y));
    QTest::mouseMove(surface, QPoint(track.left() + track.width() * 8 / 10, thumb.y));
    ASSERT_TRUE(PumpUntil([&] { return w->Seen(L"movevaluechanged:slider"); }));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(track.left() + track.width() * 8 / 10, thumb.y));
    ASSERT_TRUE(PumpUntil([&] { return w->Seen(L"valuechanged:slider"); }));
    EXPECT_GT(slider->GetValue(), 60);

    auto* list = w->FindControlAs<CListUI>(L"list");
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->GetScrollRange().cy, 0);
    const QPoint inList = CenterOf(w, L"list");
    QWheelEvent wheel(inList, surface->mapToGlobal(inList), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(surface, &wheel);
    ASSERT_TRUE(PumpUntil([&] { return list->GetScrollPos().cy > 0; }));

    auto* first = list->GetItemAt(1);
    const UIPoint rowPt = first->GetPos().Center();
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(rowPt.x, rowPt.y));
    ASSERT_TRUE(PumpUntil([&] { return list->GetCurSel() == 1; }));
    EXPECT_TRUE(w->Seen(L"itemselect:list"));
    const QImage img = Shot(w, "demo_list.png");
    // The selected row's colour reaches its right end, up to the scroll bar lying over it.
    ASSERT_TRUE(list->IsVScrollBarShown());
    const int rowRight = list->GetVerticalScrollBar()->GetPos().left;
    EXPECT_TRUE(Near(img.pixelColor(rowRight - 4, rowPt.y), QColor(0xCC, 0xE0, 0xFF)));
    EXPECT_FALSE(Near(img.pixelColor(rowRight + 4, rowPt.y), QColor(0xCC, 0xE0, 0xFF)));
}

TEST_F(QtWindowTest, DroppedFilesArriveAsTheDropMessage) {
    CDemoWnd* w = Open();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a b#c.mp3")),
                  QUrl::fromLocalFile(QStringLiteral("/tmp/歌.wav")),
                  QUrl(QStringLiteral("https://example.invalid/x.mp3"))});
    const QPoint at = CenterOf(w, L"list");
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Surface(w), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Surface(w), &drop);
    ASSERT_EQ(w->dropped.size(), 2u);
    EXPECT_EQ(w->dropped[0], L"/tmp/a b#c.mp3");
    EXPECT_EQ(w->dropped[1], L"/tmp/歌.wav");

    QMimeData text;
    text.setText(QStringLiteral("not files"));
    QDragEnterEvent refuse(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refuse.setAccepted(false);
    QApplication::sendEvent(Surface(w), &refuse);
    EXPECT_FALSE(refuse.isAccepted());
}

TEST_F(QtWindowTest, ModalWindowBlocksItsOwnerUntilClosed) {
    CDemoWnd* owner = Open();
    CDemoWnd* dialog = Open(owner, false);
    dialog->closeOn = L"btn_ok";
    QWidget* ownerSurface = Surface(owner);
    bool ownerClickedDuringModal = true;
    bool sawDialog = false;
    CAppUI::Post([&] {
        // Runs inside the modal loop.
        sawDialog = PumpUntil([&] { return Surface(dialog) && Surface(dialog)->isVisible(); });
        EXPECT_EQ(QApplication::activeModalWidget(), Surface(dialog));
        // Clicks through the window system's path, where Qt applies the modality.
        QTest::mouseClick(ownerSurface->windowHandle(), Qt::LeftButton, {}, CenterOf(owner, L"btn_ok"));
        PumpAll();
        ownerClickedDuringModal = owner->Seen(L"click:btn_ok");
        QTest::mouseClick(Surface(dialog)->windowHandle(), Qt::LeftButton, {}, CenterOf(dialog, L"btn_ok"));
    });
    const int result = dialog->ShowModal();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(result, 7);
    EXPECT_FALSE(ownerClickedDuringModal) << "the owner is blocked while the dialog runs";
    ASSERT_TRUE(PumpUntil([&] { return UIQtSurface(dialog) == nullptr; }));
    // After the dialog the owner takes clicks again.
    QTest::mouseClick(ownerSurface->windowHandle(), Qt::LeftButton, {}, CenterOf(owner, L"btn_ok"));
    EXPECT_TRUE(PumpUntil([&] { return owner->Seen(L"click:btn_ok"); }));
}

TEST_F(QtWindowTest, WindowCommandsTitleAndCloseRequest) {
    CDemoWnd* w = Open();
    QWidget* surface = Surface(w);
    w->SetTitle(L"新标题");
    EXPECT_EQ(surface->windowTitle(), QStringLiteral("新标题"));
    w->MoveWindow(UIRect{30, 40, 30 + 600, 40 + 450});
    PumpAll();
    EXPECT_EQ(surface->geometry(), QRect(30, 40, 600, 450));
    EXPECT_EQ(w->FindControl(L"root")->GetPos().GetWidth(), 600);
    // A resize by the window system reaches the layout.
    surface->resize(560, 420);
    PumpAll();
    EXPECT_EQ(w->GetClientSize(), (UISize{560, 420}));
    EXPECT_EQ(Shot(w).size(), QSize(560, 420));

    w->SendMessage(UIMSG_SYSCOMMAND, UISC_MINIMIZE);
    EXPECT_TRUE(surface->isMinimized());
    w->SendMessage(UIMSG_SYSCOMMAND, UISC_RESTORE);
    EXPECT_FALSE(surface->isMinimized());
    EXPECT_TRUE(qttest::Backend().SetWindowIcon(w, L"red.png"));
    EXPECT_FALSE(surface->windowIcon().isNull());
    EXPECT_FALSE(qttest::Backend().SetWindowIcon(w, L"missing.png"));

    // The window system's close button asks the library, which closes the window.
    surface->close();
    ASSERT_TRUE(PumpUntil([&] { return !w->IsCreated(); }));
    EXPECT_EQ(w->GetResult(), UIRESULT_CLOSED);
    EXPECT_EQ(UIQtSurface(w), nullptr);
}

TEST_F(QtWindowTest, NativeChildWindowSitsOnAControl) {
    CDemoWnd* w = Open();
    IBackendUI& backend = qttest::Backend();
    const UIRect media = w->FindControl(L"media")->GetPos();
    const uintptr_t child = backend.CreateChildWindow(w, media, false);
    ASSERT_NE(child, 0u);
    EXPECT_TRUE(backend.IsChildWindow(child));
    EXPECT_EQ(backend.GetChildWindowParent(child), w);
    QWidget* widget = UIQtChildWidget(child);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(static_cast<uintptr_t>(widget->winId()), child);
    EXPECT_EQ(widget->geometry(), qttest::ToQRect(media));
    EXPECT_TRUE(widget->isVisible());
    backend.MoveChildWindow(child, UIRect{10, 10, 50, 40});
    EXPECT_EQ(widget->geometry(), QRect(10, 10, 40, 30));
    backend.ShowChildWindow(child, false);
    EXPECT_FALSE(widget->isVisible());
    backend.DestroyChildWindow(child);
    EXPECT_FALSE(backend.IsChildWindow(child));
    EXPECT_EQ(backend.GetChildWindowParent(child), nullptr);
    EXPECT_EQ(backend.CreateChildWindow(nullptr, media, false), 0u);
    EXPECT_FALSE(backend.IsChildWindow(12345));
    backend.MoveChildWindow(12345, media);  // unknown handles are ignored
    backend.DestroyChildWindow(12345);
    // A child still open when its window goes is released with it.
    const uintptr_t orphan = backend.CreateChildWindow(w, media, true);
    ASSERT_NE(orphan, 0u);
    w->Close();
    ASSERT_TRUE(PumpUntil([&] { return !w->IsCreated(); }));
    EXPECT_FALSE(backend.IsChildWindow(orphan));
}

TEST_F(QtWindowTest, DisplayScaleChangeRescalesTheWindow) {
    CDemoWnd* w = Open();
    ASSERT_EQ(w->GetDPI().GetDPI(), 96);
    qttest::Backend().SetScreenDpiOverride(144);
    ASSERT_TRUE(PumpUntil([&] { return w->GetDPI().GetDPI() == 144; }));
    PumpAll();
    EXPECT_EQ(w->GetClientSize(), (UISize{780, 600}));
    EXPECT_EQ(Surface(w)->size(), QSize(780, 600));
    const QImage img = Shot(w, "demo_150.png");
    EXPECT_EQ(img.size(), QSize(780, 600));
    EXPECT_TRUE(Near(img.pixelColor(300, 45), kTitleBlue)) << "the 32-pixel title bar is 48 pixels now";
    EXPECT_TRUE(Near(img.pixelColor(RectOf(w, L"img_plain").center()), Qt::red));
    qttest::Backend().SetScreenDpiOverride(0);
    ASSERT_TRUE(PumpUntil([&] { return w->GetDPI().GetDPI() == 96; }));
    EXPECT_EQ(qttest::Backend().GetScreenDpi(), 96);
}

TEST_F(QtWindowTest, AnimationsAdvanceOnTimers) {
    CDemoWnd* w = Open();
    auto* gif = w->FindControlAs<CGifAnimUI>(L"gif");
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->GetFrameCount(), 2);
    gif->PlayGif();
    ASSERT_TRUE(PumpUntil([&] { return gif->GetCurrentFrame() == 1; }));
    gif->PauseGif();
    EXPECT_TRUE(Near(Shot(w).pixelColor(RectOf(w, L"gif").topLeft() + QPoint(3, 3)), Qt::blue));

    auto* frames = w->FindControlAs<CFrameAnimUI>(L"frames");
    ASSERT_NE(frames, nullptr);
    frames->Start();
    ASSERT_TRUE(PumpUntil([&] { return frames->GetCurrentFrame() == 2; }));
    frames->Stop();
    const int shown = frames->GetCurrentFrame();
    const QColor expected[] = {QColor(255, 0, 255), QColor(0, 255, 255), QColor(255, 255, 0)};
    EXPECT_TRUE(Near(Shot(w).pixelColor(RectOf(w, L"frames").topLeft() + QPoint(3, 3)), expected[shown]));
}

TEST_F(QtWindowTest, BadInputDoesNotCrash) {
    // A window of zero size has nothing to draw.
    CDemoWnd* w = Open();
    w->ResizeClient(0, 0);
    PumpAll();
    EXPECT_TRUE(UIQtGrab(w).isNull());
    EXPECT_FALSE(qttest::Backend().SaveWindowImage(w, platform::TempFolder() + L"tw-zero-size.png"));
    w->ResizeClient(200, 100);
    PumpAll();
    EXPECT_FALSE(UIQtGrab(w).isNull());
    EXPECT_FALSE(qttest::Backend().SaveWindowImage(w, L"/nonexistent-folder/x.png"));

    // A layout that is missing builds no window; texts and images that are empty or missing draw
    // nothing.
    CDemoWnd broken;
    broken.m_skin = L"no-such-layout.xml";
    EXPECT_FALSE(broken.Create(nullptr, L"x"));
    auto* label = w->FindControl(L"title");
    label->SetText(L"");
    w->FindControl(L"img_plain")->SetBkImage(L"file='missing.png' source='5,5,1,1'");
    w->FindControl(L"img_source")
        ->SetBkImage(L"file='quad.png' source='500,500,600,600' corner='90,90,90,90'");
    EXPECT_FALSE(Shot(w).isNull());

    // Calls for windows the backend does not know are ignored.
    CDemoWnd stranger;
    IBackendUI& backend = qttest::Backend();
    backend.ShowNativeWindow(&stranger, true, true);
    backend.MoveNativeWindow(&stranger, UIRect{0, 0, 10, 10});
    backend.SetNativeTitle(&stranger, L"x");
    backend.SysCommand(&stranger, UISC_MAXIMIZE);
    backend.BeginTextInput(&stranger, nullptr);
    backend.EndTextInput(&stranger, nullptr);
    backend.DestroyNativeWindow(&stranger);
    EXPECT_EQ(UIQtSurface(&stranger), nullptr);
}

TEST_F(QtWindowTest, MenusPopUpAndReportTheChosenItem) {
    CDemoWnd* w = Open();
    const UIPoint at = w->ClientToScreen({20, 60});
    CMenuUI* menu = CMenuUI::Show(w, L"menu.xml", at);
    ASSERT_NE(menu, nullptr);
    QWidget* popup = Surface(menu);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->windowFlags().testFlag(Qt::Popup));
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->geometry(), QRect(at.x, at.y, 140, 58));
    const QImage img = Shot(menu, "menu.png");
    EXPECT_GT(qttest::CountDifferent(img, RectOf(menu, L"menu_update"), Qt::white), 40) << "the entry's text";
    QTest::mouseClick(popup, Qt::LeftButton, {}, CenterOf(menu, L"menu_update"));
    ASSERT_TRUE(PumpUntil([&] { return !w->menuClicks.empty(); }));
    EXPECT_EQ(w->menuClicks, std::vector<std::wstring>{L"menu_update"});
    ASSERT_TRUE(PumpUntil([&] { return !CAppUI::IsWindowAlive(menu); })) << "the menu deletes itself";

    // Closed by Qt (a click outside the pop-up): no item is reported.
    CMenuUI* again = CMenuUI::Show(w, L"menu.xml", at);
    ASSERT_NE(again, nullptr);
    Surface(again)->close();
    ASSERT_TRUE(PumpUntil([&] { return !CAppUI::IsWindowAlive(again); }));
    EXPECT_EQ(w->menuClicks.size(), 1u);
    // Escape closes it too.
    CMenuUI* third = CMenuUI::Show(w, L"menu.xml", at);
    ASSERT_NE(third, nullptr);
    QTest::keyClick(Surface(third), Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return !CAppUI::IsWindowAlive(third); }));
    EXPECT_EQ(w->menuClicks.size(), 1u);
    EXPECT_EQ(CMenuUI::Show(w, L"no-such-menu.xml", at), nullptr);
}

TEST_F(QtWindowTest, OtherThreadsWakeTheLoopRunDialogsAndRaiseWindows) {
    CDemoWnd* w = Open();
    w->SendMessage(UIMSG_SYSCOMMAND, UISC_MINIMIZE);
    ASSERT_TRUE(Surface(w)->isMinimized());
    std::atomic<bool> done{false};
    bool timedOut = false;
    int modalResult = -1;
    CDemoWnd dialog;
    dialog.closeOn = L"btn_ok";
    // On the UI thread: once the worker's dialog runs modally, click its button.
    Poll(
        [&] {
            QWidget* surface = Surface(&dialog);
            if (!surface || !surface->isVisible() || !dialog.IsModal()) return false;
            QTest::mouseClick(surface, Qt::LeftButton, {}, CenterOf(&dialog, L"btn_ok"));
            return true;
        },
        1000);
    std::thread worker([&] {
        // A second instance asks for the window; a dialog is created and run from this thread.
        qttest::Backend().BringToFront(w);
        if (dialog.Create(w, L"线程对话框")) modalResult = dialog.ShowModal();
        w->PostMessage(UIMSG_USER + 5);
        done = true;
        CAppUI::GetBackend()->WakeUp();
    });
    // The loop sleeps until the worker's posts wake it; the guard only bounds a broken run.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        dialog.Close(-2);
    });
    guard.start(20000);
    CAppUI::RunLoop([&] { return done.load() && !w->messages.empty(); });
    worker.join();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(modalResult, 7);
    EXPECT_EQ(w->messages, std::vector<uint32_t>{UIMSG_USER + 5});
    EXPECT_FALSE(Surface(w)->isMinimized()) << "brought back";
}

// Answers the next modal Qt file dialog: `fill` chooses what to select, then it is accepted
// (or rejected when `fill` is empty). Anything modal that stays open afterwards (a warning of the
// dialog) is rejected, so a wrong answer fails the test instead of hanging it.
void AnswerFileDialog(std::function<void(QFileDialog*)> fill) {
    auto answered = std::make_shared<bool>(false);
    Poll(
        [fill, answered] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog && !*answered) {
                *answered = true;
                if (fill) {
                    fill(dialog);
                    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept runs its checks
                } else {
                    dialog->reject();
                }
            } else if (*answered && qobject_cast<QDialog*>(modal)) {
                static_cast<QDialog*>(modal)->reject();
            }
            return *answered && !QApplication::activeModalWidget();
        },
        500);
}

// Types names into the dialog's file name box, as a user selecting several files does.
void TypeNames(QFileDialog* dialog, const QString& folder, const QString& names) {
    dialog->setDirectory(folder);
    auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(box, nullptr);
    box->setText(names);
}

TEST_F(QtWindowTest, OpenFileDialogAndFolderPickerServeTheFileRules) {
    CDemoWnd* w = Open();
    testsupport::TempDir dir;
    for (const char* name : {"a.mp3", "b.txt", "c.ape", "歌 曲.wav"})
        ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(platform::FromUtf8(name)), "x"));
    qttest::Backend().InstallCommonHooks();

    QString shownFilter;
    AnswerFileDialog([&](QFileDialog* dialog) {
        shownFilter = dialog->nameFilters().value(0);
        TypeNames(dialog, QString::fromStdString(dir.Path()),
                  QStringLiteral("\"a.mp3\" \"b.txt\" \"c.ape\" \"歌 曲.wav\""));
    });
    const std::vector<std::wstring> merge = CCommon::OnOpenMediaFiles(2, w);
    EXPECT_TRUE(shownFilter.startsWith(QStringLiteral("All Supported Formats(*.wav;")))
        << shownFilter.toStdString();
    ASSERT_EQ(merge.size(), 2u) << "merge keeps audio files but not .ape or .txt";
    EXPECT_EQ(merge[0], dir.WFile(L"a.mp3"));
    EXPECT_EQ(merge[1], dir.WFile(L"歌 曲.wav"));

    // A cancelled dialog gives nothing.
    AnswerFileDialog(nullptr);
    EXPECT_TRUE(CCommon::OnOpenMediaFiles(1, w).empty());

    // The folder picker answers the folder it shows when nothing is typed.
    AnswerFileDialog(
        [&](QFileDialog* dialog) { TypeNames(dialog, QString::fromStdString(dir.Path()), QString()); });
    std::wstring folder;
    ASSERT_TRUE(CCommon::OnBrowseFolder(w, folder));
    std::wstring expected = dir.WPath();
    if (expected.size() > 1 && expected.back() == L'/') expected.pop_back();
    EXPECT_EQ(folder, expected);
}

}  // namespace
