// The painter of the Qt backend: draws the library's paint calls with a QPainter (fills, borders,
// rounded rectangles, skin images with dest/source/nine-grid corners/fade/tiling, GIF frames and
// text with font, colour, alignment, ellipsis and line breaks at the window's display scale).
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIRender.h"

class QPainter;

// The decoded form of one skin image, kept in TImageDataUI::decoded. Every GIF frame is a
// complete picture (Qt composes the frames while decoding).
struct CQtDecodedImageUI {
    std::vector<QImage> frames;
    std::vector<int> delaysMs;
};

class CQtRenderUI : public IRenderUI {
public:
    explicit CQtRenderUI(QPainter& painter);
    ~CQtRenderUI() override;

    void FillRect(const UIRect& rc, uint32_t argb) override;
    void DrawRect(const UIRect& rc, int width, uint32_t argb) override;
    void DrawRoundRect(const UIRect& rc, int width, int rx, int ry, uint32_t argb) override;
    void FillRoundRect(const UIRect& rc, int rx, int ry, uint32_t argb) override;
    void DrawLine(UIPoint from, UIPoint to, int width, uint32_t argb) override;
    bool DrawImage(const std::shared_ptr<TImageDataUI>& image, const UIRect& dest, const UIRect& source,
                   const UIRect& corner, uint8_t fade, bool hole, bool xtiled, bool ytiled,
                   int frame = 0) override;
    void DrawText(const std::wstring& text, const UIRect& rc, const TFontUI& font, uint32_t argb,
                  uint32_t style, int scalePercent) override;
    UISize MeasureText(const std::wstring& text, const TFontUI& font, int scalePercent) override;
    void PushClip(const UIRect& rc) override;
    void PopClip() override;

    // Decodes a skin image once (all GIF frames) and keeps it in the image's `decoded` slot.
    // Returns nullptr when the bytes are not a readable image.
    static std::shared_ptr<CQtDecodedImageUI> Decode(const std::shared_ptr<TImageDataUI>& image);
    // The Qt font for a skin font at a display scale (percent). An unknown family falls back to
    // the system's default sans-serif face; CJK glyphs come from the font fallback.
    static QFont MakeFont(const TFontUI& font, int scalePercent);
    // Splits text into the lines that fit `width` (word wrap) and elides the last line that fits
    // `height` when more text follows.
    static QStringList WrapAndElide(const QString& text, const QFont& font, int width, int height);

private:
    void DrawImagePart(const QImage& img, const QRect& dst, const QRect& src, bool xtiled, bool ytiled);
    QPainter& m_painter;
    int m_clipDepth = 0;
};

// Wide text to QString and back (wchar_t is UTF-32 on Linux).
QString UIToQString(const std::wstring& text);
std::wstring UIFromQString(const QString& text);
