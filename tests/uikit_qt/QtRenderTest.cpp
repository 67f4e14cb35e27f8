// The QPainter renderer on its own: every paint call into a QImage, checked pixel by pixel.
#include <gtest/gtest.h>

#include <QPainter>

#include "QtTestSupport.h"
#include "common/Common.h"
#include "uikit/qt/QtRender.h"
#include "uikit/qt/QtSurface.h"

using qttest::Near;

namespace {

const QColor kWhite(255, 255, 255);

// A white canvas with a painter and the renderer over it.
struct Canvas {
    explicit Canvas(int w = 200, int h = 100) : image(w, h, QImage::Format_ARGB32) {
        image.fill(kWhite);
        painter = std::make_unique<QPainter>(&image);
        render = std::make_unique<CQtRenderUI>(*painter);
    }
    QImage Done() {
        render.reset();
        painter.reset();
        return image;
    }
    QImage image;
    std::unique_ptr<QPainter> painter;
    std::unique_ptr<CQtRenderUI> render;
};

std::shared_ptr<TImageDataUI> ImageOf(const QImage& image) {
    auto data = std::make_shared<TImageDataUI>();
    data->name = L"generated.png";
    data->bytes = qttest::PngBytes(image);
    data->width = image.width();
    data->height = image.height();
    return data;
}

QImage Quadrants() {
    QImage quad(40, 40, QImage::Format_ARGB32);
    QPainter p(&quad);
    p.fillRect(0, 0, 20, 20, Qt::red);
    p.fillRect(20, 0, 20, 20, Qt::green);
    p.fillRect(0, 20, 20, 20, Qt::blue);
    p.fillRect(20, 20, 20, 20, Qt::yellow);
    return quad;
}

// 12 x 12: a 4-pixel blue frame around a white centre.
QImage Framed() {
    QImage img(12, 12, QImage::Format_ARGB32);
    img.fill(Qt::blue);
    QPainter p(&img);
    p.fillRect(4, 4, 4, 4, Qt::white);
    return img;
}

}  // namespace

TEST(QtRender, FillsBordersAndRoundedCorners) {
    Canvas c;
    c.render->FillRect({10, 10, 50, 30}, 0xFFFF0000);
    c.render->FillRect({60, 10, 90, 30}, 0x00FF0000);  // fully transparent: nothing
    c.render->DrawRect({100, 10, 140, 40}, 2, 0xFF0000FF);
    c.render->FillRoundRect({10, 50, 70, 90}, 10, 10, 0xFF00FF00);
    c.render->FillRect({150, 10, 150, 40}, 0xFF000000);  // empty rectangle: nothing
    c.render->DrawLine({150, 60}, {190, 60}, 3, 0xFF000000);
    QImage img = c.Done();

    EXPECT_TRUE(Near(img.pixelColor(10, 10), Qt::red));
    EXPECT_TRUE(Near(img.pixelColor(49, 29), Qt::red));
    EXPECT_TRUE(Near(img.pixelColor(50, 30), kWhite));  // right/bottom edges are exclusive
    EXPECT_TRUE(Near(img.pixelColor(70, 20), kWhite));
    // A border of 2 pixels lies inside the rectangle.
    EXPECT_TRUE(Near(img.pixelColor(100, 25), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(101, 25), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(102, 25), kWhite));
    EXPECT_TRUE(Near(img.pixelColor(139, 25), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(120, 39), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(120, 25), kWhite));
    // A rounded fill leaves its corner pixel clear and fills the middle.
    EXPECT_TRUE(Near(img.pixelColor(10, 50), kWhite));
    EXPECT_TRUE(Near(img.pixelColor(40, 70), Qt::green));
    EXPECT_TRUE(Near(img.pixelColor(10, 70), Qt::green));
    EXPECT_TRUE(Near(img.pixelColor(170, 60), Qt::black));
    EXPECT_TRUE(Near(img.pixelColor(170, 64), kWhite));
}

TEST(QtRender, ImagesHonourSourceDestCornersFadeAndTiling) {
    Canvas c(300, 100);
    auto quad = ImageOf(Quadrants());
    auto framed = ImageOf(Framed());
    // The top-right quadrant only, stretched to 30 x 30.
    EXPECT_TRUE(c.render->DrawImage(quad, {0, 0, 30, 30}, {20, 0, 40, 20}, {}, 255, false, false, false));
    // Nine-grid: 4-pixel corners stay 4 pixels on a 100 x 40 destination.
    EXPECT_TRUE(c.render->DrawImage(framed, {40, 0, 140, 40}, {}, {4, 4, 4, 4}, 255, false, false, false));
    // The same with a hole: the centre keeps what was there.
    EXPECT_TRUE(c.render->DrawImage(framed, {150, 0, 250, 40}, {}, {4, 4, 4, 4}, 255, true, false, false));
    // Half faded red over white.
    EXPECT_TRUE(c.render->DrawImage(quad, {0, 50, 20, 70}, {0, 0, 20, 20}, {}, 128, false, false, false));
    // The left half (red, green) of the quadrants' top row tiled across 80 pixels.
    EXPECT_TRUE(c.render->DrawImage(quad, {40, 50, 120, 60}, {0, 0, 40, 10}, {}, 255, false, true, false));
    QImage img = c.Done();

    EXPECT_TRUE(Near(img.pixelColor(15, 15), Qt::green));
    EXPECT_TRUE(Near(img.pixelColor(29, 29), Qt::green));
    EXPECT_TRUE(Near(img.pixelColor(41, 20), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(43, 20), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(45, 20), kWhite));  // the centre stretches, the frame does not
    EXPECT_TRUE(Near(img.pixelColor(90, 2), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(90, 20), kWhite));
    EXPECT_TRUE(Near(img.pixelColor(151, 20), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(200, 20), kWhite));
    EXPECT_TRUE(Near(img.pixelColor(10, 60), QColor(255, 127, 127), 6));
    // Tiled: red again after the first 40 pixels instead of one stretched red-green pair.
    EXPECT_TRUE(Near(img.pixelColor(45, 55), Qt::red));
    EXPECT_TRUE(Near(img.pixelColor(65, 55), Qt::green));
    EXPECT_TRUE(Near(img.pixelColor(85, 55), Qt::red));
    EXPECT_TRUE(Near(img.pixelColor(105, 55), Qt::green));
}

TEST(QtRender, GifFramesAndUnreadableImages) {
    auto gif = std::make_shared<TImageDataUI>();
    gif->bytes = qttest::MakeSolidGif(8, 8, {0, 1, 2}, 5);
    auto decoded = CQtRenderUI::Decode(gif);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->frames.size(), 3u);
    EXPECT_EQ(decoded->delaysMs[0], 50);

    Canvas c;
    EXPECT_TRUE(c.render->DrawImage(gif, {0, 0, 10, 10}, {}, {}, 255, false, false, false, 0));
    EXPECT_TRUE(c.render->DrawImage(gif, {20, 0, 30, 10}, {}, {}, 255, false, false, false, 1));
    EXPECT_TRUE(
        c.render->DrawImage(gif, {40, 0, 50, 10}, {}, {}, 255, false, false, false, 5));  // wraps to 2
    auto junk = std::make_shared<TImageDataUI>();
    junk->bytes = "not an image at all";
    EXPECT_FALSE(c.render->DrawImage(junk, {60, 0, 70, 10}, {}, {}, 255, false, false, false));
    EXPECT_FALSE(
        c.render->DrawImage(junk, {60, 0, 70, 10}, {}, {}, 255, false, false, false));  // cached failure
    EXPECT_FALSE(c.render->DrawImage(nullptr, {60, 0, 70, 10}, {}, {}, 255, false, false, false));
    auto quad = ImageOf(Quadrants());
    EXPECT_FALSE(
        c.render->DrawImage(quad, {60, 0, 70, 10}, {100, 100, 120, 120}, {}, 255, false, false, false));
    EXPECT_TRUE(c.render->DrawImage(quad, {60, 0, 60, 10}, {}, {}, 255, false, false, false));  // empty dest
    QImage img = c.Done();
    EXPECT_TRUE(Near(img.pixelColor(5, 5), Qt::red));
    EXPECT_TRUE(Near(img.pixelColor(25, 5), Qt::blue));
    EXPECT_TRUE(Near(img.pixelColor(45, 5), Qt::green));
    EXPECT_TRUE(Near(img.pixelColor(65, 5), kWhite));
}

TEST(QtRender, TextIsDrawnAlignedClippedAndScaled) {
    Canvas c(300, 120);
    TFontUI font{L"Noto Sans CJK SC", 14};
    c.render->DrawText(L"确定", {0, 0, 100, 30}, font, 0xFF000000,
                       UIDT_CENTER | UIDT_VCENTER | UIDT_SINGLELINE, 100);
    c.render->DrawText(L"右", {100, 0, 200, 30}, font, 0xFF000000,
                       UIDT_RIGHT | UIDT_VCENTER | UIDT_SINGLELINE, 100);
    c.render->DrawText(L"", {200, 0, 300, 30}, font, 0xFF000000, UIDT_SINGLELINE, 100);
    c.render->DrawText(L"被剪裁的很长很长的文字", {0, 40, 30, 60}, font, 0xFF000000, UIDT_SINGLELINE, 100);
    c.render->DrawText(L"字", {200, 40, 200, 60}, font, 0xFF000000, UIDT_SINGLELINE, 100);  // empty rect
    QImage img = c.Done();

    const int centred = qttest::CountDifferent(img, QRect(30, 0, 40, 30), kWhite);
    EXPECT_GT(centred, 20) << "CJK glyphs in the middle of the box";
    EXPECT_EQ(qttest::CountDifferent(img, QRect(0, 0, 20, 30), kWhite), 0);
    EXPECT_GT(qttest::CountDifferent(img, QRect(175, 0, 25, 30), kWhite), 10);
    EXPECT_EQ(qttest::CountDifferent(img, QRect(100, 0, 50, 30), kWhite), 0);
    EXPECT_EQ(qttest::CountDifferent(img, QRect(200, 0, 100, 30), kWhite), 0);
    EXPECT_GT(qttest::CountDifferent(img, QRect(0, 40, 30, 20), kWhite), 10);
    EXPECT_EQ(qttest::CountDifferent(img, QRect(30, 40, 170, 20), kWhite), 0) << "text is clipped to its box";
    EXPECT_EQ(qttest::CountDifferent(img, QRect(200, 40, 100, 80), kWhite), 0);

    Canvas m;
    const UISize normal = m.render->MeasureText(L"中文 text", font, 100);
    const UISize doubled = m.render->MeasureText(L"中文 text", font, 200);
    EXPECT_GT(normal.cx, 20);
    EXPECT_NEAR(doubled.cx, 2 * normal.cx, normal.cx / 5);
    EXPECT_NEAR(doubled.cy, 2 * normal.cy, normal.cy / 4);
    const UISize twoLines = m.render->MeasureText(L"一\n二", font, 100);
    EXPECT_GT(twoLines.cy, normal.cy * 3 / 2);
}

TEST(QtRender, WordBreakAndEllipsis) {
    const QFont font = CQtRenderUI::MakeFont(TFontUI{L"Noto Sans CJK SC", 14}, 100);
    const int lineHeight = QFontMetrics(font).lineSpacing();
    const QString text =
        QStringLiteral("这是一段很长的中文文字，它需要换行才能放进一个窄的方框里面，最后一行要加省略号。");
    const QStringList all = CQtRenderUI::WrapAndElide(text, font, 120, 100 * lineHeight);
    ASSERT_GE(all.size(), 3);
    EXPECT_EQ(all.join(QString()), text) << "with room for every line nothing is cut";
    const QStringList cut = CQtRenderUI::WrapAndElide(text, font, 120, 2 * lineHeight);
    ASSERT_EQ(cut.size(), 2);
    EXPECT_TRUE(cut[1].endsWith(QChar(0x2026))) << cut[1].toStdString();
    EXPECT_LE(QFontMetrics(font).horizontalAdvance(cut[1]), 120);
    EXPECT_TRUE(CQtRenderUI::WrapAndElide(text, font, 0, 100).isEmpty());

    Canvas c(130, 3 * lineHeight + 10);
    c.render->DrawText(UIFromQString(text), {0, 0, 120, 2 * lineHeight}, TFontUI{L"Noto Sans CJK SC", 14},
                       0xFF000000, UIDT_WORDBREAK | UIDT_END_ELLIPSIS, 100);
    QImage img = c.Done();
    EXPECT_GT(qttest::CountDifferent(img, QRect(0, lineHeight, 120, lineHeight), kWhite), 20)
        << "second line";
    EXPECT_EQ(qttest::CountDifferent(img, QRect(0, 2 * lineHeight, 130, lineHeight + 10), kWhite), 0);

    // Fonts that do not exist fall back to a face that still has CJK glyphs.
    const QFont odd = CQtRenderUI::MakeFont(TFontUI{L"No Such Font Family", 0}, 0);
    EXPECT_EQ(odd.pixelSize(), 12);
    Canvas f(100, 40);
    f.render->DrawText(L"字体", {0, 0, 100, 40}, TFontUI{L"No Such Font Family", 16}, 0xFF000000,
                       UIDT_SINGLELINE | UIDT_VCENTER, 100);
    EXPECT_GT(qttest::CountDifferent(f.Done(), QRect(0, 0, 100, 40), kWhite), 20);
}

TEST(QtRender, ClipsNestAndUnbalancedClipsAreUndone) {
    Canvas c;
    c.render->PushClip({0, 0, 50, 50});
    c.render->PushClip({25, 25, 100, 100});
    c.render->FillRect({0, 0, 200, 100}, 0xFF000000);
    c.render->PopClip();
    c.render->PopClip();
    c.render->PopClip();                 // one too many: ignored
    c.render->PushClip({0, 0, 10, 10});  // left open: the renderer restores the painter
    QImage img = c.Done();
    EXPECT_TRUE(Near(img.pixelColor(30, 30), Qt::black));
    EXPECT_TRUE(Near(img.pixelColor(20, 20), kWhite));
    EXPECT_TRUE(Near(img.pixelColor(60, 30), kWhite));
}

TEST(QtDialogFilter, WindowsFilterTextsBecomeQtNameFilters) {
    const QString audio = UIQtNameFilter(CCommon::OnGetFilterText(1), CCommon::OnGetFilterPatterns(1));
    EXPECT_EQ(audio.toStdString(),
              "All Supported Formats(*.wav;*.flac;*.aac;*.mp3;*.ogg;*.3gpp;*.amr;*.m4a;*.wma;*.ape;) "
              "(*.wav *.flac *.aac *.mp3 *.ogg *.3gpp *.amr *.m4a *.wma *.ape)");
    const QString video = UIQtNameFilter(CCommon::OnGetFilterText(3), CCommon::OnGetFilterPatterns(3));
    EXPECT_FALSE(video.contains(QLatin1Char('\t')));
    EXPECT_TRUE(
        video.endsWith(QStringLiteral("*.mpg *.mka *.mpeg *.vob *.3gp *.asf *.rm *.rmvb *.dat *.mov *.f4v "
                                      "*.m4v *.mkv)")))
        << video.toStdString();
    EXPECT_EQ(UIQtNameFilter(L"", L"").toStdString(), "Files (*)");
}
