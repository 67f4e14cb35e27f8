#include "uikit/qt/QtRender.h"

#include <QBuffer>
#include <QByteArray>
#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>

#include "uikit/UISkin.h"

QString UIToQString(const std::wstring& text) {
    return QString::fromStdWString(text);
}

std::wstring UIFromQString(const QString& text) {
    return text.toStdWString();
}

namespace {

QColor ToColor(uint32_t argb) {
    return QColor::fromRgba(static_cast<QRgb>(argb));
}

QRect ToQRect(const UIRect& rc) {
    return QRect(rc.left, rc.top, rc.GetWidth(), rc.GetHeight());
}

// A border of `width` pixels drawn inside the rectangle, so it never spills onto neighbours.
QRectF InnerStrokeRect(const UIRect& rc, int width) {
    const double half = width / 2.0;
    return QRectF(rc.left + half, rc.top + half, std::max(0.0, rc.GetWidth() - 2 * half),
                  std::max(0.0, rc.GetHeight() - 2 * half));
}

}  // namespace

CQtRenderUI::CQtRenderUI(QPainter& painter) : m_painter(painter) {}

CQtRenderUI::~CQtRenderUI() {
    // Unbalanced PushClip calls must not leak painter state into the caller.
    while (m_clipDepth > 0) PopClip();
}

void CQtRenderUI::FillRect(const UIRect& rc, uint32_t argb) {
    if (rc.IsEmpty() || (argb >> 24) == 0) return;
    m_painter.fillRect(ToQRect(rc), ToColor(argb));
}

void CQtRenderUI::DrawRect(const UIRect& rc, int width, uint32_t argb) {
    if (rc.IsEmpty() || width <= 0 || (argb >> 24) == 0) return;
    width = std::min({width, rc.GetWidth(), rc.GetHeight()});
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(ToColor(argb));
    pen.setWidth(width);
    pen.setJoinStyle(Qt::MiterJoin);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(InnerStrokeRect(rc, width));
    m_painter.restore();
}

void CQtRenderUI::DrawRoundRect(const UIRect& rc, int width, int rx, int ry, uint32_t argb) {
    if (rc.IsEmpty() || width <= 0 || (argb >> 24) == 0) return;
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(ToColor(argb));
    pen.setWidth(width);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRoundedRect(InnerStrokeRect(rc, width), std::max(0, rx), std::max(0, ry));
    m_painter.restore();
}

void CQtRenderUI::FillRoundRect(const UIRect& rc, int rx, int ry, uint32_t argb) {
    if (rc.IsEmpty() || (argb >> 24) == 0) return;
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(ToColor(argb));
    m_painter.drawRoundedRect(QRectF(ToQRect(rc)), std::max(0, rx), std::max(0, ry));
    m_painter.restore();
}

void CQtRenderUI::DrawLine(UIPoint from, UIPoint to, int width, uint32_t argb) {
    if (width <= 0 || (argb >> 24) == 0) return;
    m_painter.save();
    QPen pen(ToColor(argb));
    pen.setWidth(width);
    pen.setCapStyle(Qt::FlatCap);
    m_painter.setPen(pen);
    m_painter.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
    m_painter.restore();
}

std::shared_ptr<CQtDecodedImageUI> CQtRenderUI::Decode(const std::shared_ptr<TImageDataUI>& image) {
    if (!image) return nullptr;
    std::lock_guard<std::mutex> lock(image->decodedMutex);
    if (!image->decoded) {
        auto decoded = std::make_shared<CQtDecodedImageUI>();
        QByteArray bytes(image->bytes.data(), static_cast<qsizetype>(image->bytes.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setDecideFormatFromContent(true);
        // A corrupt file or a huge frame count must not stall the UI thread.
        for (int i = 0; i < 1000; ++i) {
            QImage frame;
            if (!reader.read(&frame) || frame.isNull()) break;
            decoded->frames.push_back(frame.convertToFormat(QImage::Format_ARGB32_Premultiplied));
            decoded->delaysMs.push_back(reader.nextImageDelay());
            if (!reader.supportsAnimation() || !reader.canRead()) break;
        }
        // An unreadable image keeps an empty record so it is not decoded again at every paint.
        image->decoded = decoded;
    }
    auto decoded = std::static_pointer_cast<CQtDecodedImageUI>(image->decoded);
    if (decoded->frames.empty()) return nullptr;
    return decoded;
}

void CQtRenderUI::DrawImagePart(const QImage& img, const QRect& dst, const QRect& src, bool xtiled,
                                bool ytiled) {
    if (dst.isEmpty() || src.isEmpty()) return;
    if (!xtiled && !ytiled) {
        m_painter.drawImage(dst, img, src);
        return;
    }
    // Tiled directions repeat the source at its own size; the other direction stretches.
    const int stepX = xtiled ? src.width() : dst.width();
    const int stepY = ytiled ? src.height() : dst.height();
    m_painter.save();
    m_painter.setClipRect(dst, Qt::IntersectClip);
    for (int y = dst.top(); y < dst.top() + dst.height(); y += stepY) {
        for (int x = dst.left(); x < dst.left() + dst.width(); x += stepX) {
            m_painter.drawImage(QRect(x, y, stepX, stepY), img, src);
        }
    }
    m_painter.restore();
}

namespace {

// "x/name.png" -> "x/name@2x.png"; empty for a name without extension or already a twin.
std::wstring TwinName(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    const auto slash = name.find_last_of(L"/\\");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
    if (dot >= 3 && name.compare(dot - 3, 3, L"@2x") == 0) return {};
    return name.substr(0, dot) + L"@2x" + name.substr(dot);
}

}  // namespace

bool CQtRenderUI::DrawImage(const std::shared_ptr<TImageDataUI>& image, const UIRect& dest,
                            const UIRect& source, const UIRect& corner, uint8_t fade, bool hole, bool xtiled,
                            bool ytiled, int frame) {
    auto decoded = Decode(image);
    if (!decoded) return false;
    const int count = static_cast<int>(decoded->frames.size());
    const QImage* pic = &decoded->frames[((frame % count) + count) % count];
    const QRect whole = pic->rect();
    QRect src = source.IsEmpty() ? whole : ToQRect(source).intersected(whole);
    if (src.isEmpty()) return false;
    if (dest.IsEmpty() || fade == 0) return true;
    const QRect dst = ToQRect(dest);
    const bool nineGrid = corner.left > 0 || corner.top > 0 || corner.right > 0 || corner.bottom > 0;
    if (!nineGrid && !xtiled && !ytiled && (dst.width() > src.width() || dst.height() > src.height())) {
        // Drawn larger than its pixels (a display scale above 100 %): the skin's double-size twin
        // "<stem>@2x.<ext>", when it has one, keeps edges sharp. The source rectangle is given in
        // the plain picture's pixels and doubles with it.
        if (auto twin = Decode(CSkinUI::GetImage(TwinName(image->name)))) {
            const int n = static_cast<int>(twin->frames.size());
            const QImage& big = twin->frames[((frame % n) + n) % n];
            if (big.size() == whole.size() * 2) {
                pic = &big;
                src = QRect(src.topLeft() * 2, src.size() * 2);
            }
        }
    }
    const QImage& img = *pic;

    m_painter.save();
    m_painter.setOpacity(m_painter.opacity() * fade / 255.0);
    const bool stretched = src.size() != dst.size();
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, stretched);

    int cl = std::max(0, corner.left), ct = std::max(0, corner.top);
    int cr = std::max(0, corner.right), cb = std::max(0, corner.bottom);
    if (cl + cr == 0 && ct + cb == 0) {
        DrawImagePart(img, dst, src, xtiled, ytiled);
    } else {
        // Nine-grid: the corners keep their size, the edges stretch along one axis, the centre
        // fills the rest (or stays empty with "hole"). Corners larger than the picture or the
        // destination shrink to fit.
        auto fit = [](int& a, int& b, int limit) {
            if (a + b > limit) {
                const int total = a + b;
                a = total > 0 ? a * limit / total : 0;
                b = limit - a;
            }
        };
        fit(cl, cr, std::min(src.width(), dst.width()));
        fit(ct, cb, std::min(src.height(), dst.height()));
        const int sx[4] = {src.left(), src.left() + cl, src.left() + src.width() - cr,
                           src.left() + src.width()};
        const int sy[4] = {src.top(), src.top() + ct, src.top() + src.height() - cb,
                           src.top() + src.height()};
        const int dx[4] = {dst.left(), dst.left() + cl, dst.left() + dst.width() - cr,
                           dst.left() + dst.width()};
        const int dy[4] = {dst.top(), dst.top() + ct, dst.top() + dst.height() - cb,
                           dst.top() + dst.height()};
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                const bool centre = row == 1 && col == 1;
                if (centre && hole) continue;
                const QRect s(sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row]);
                const QRect d(dx[col], dy[row], dx[col + 1] - dx[col], dy[row + 1] - dy[row]);
                DrawImagePart(img, d, s, centre && xtiled, centre && ytiled);
            }
        }
    }
    m_painter.restore();
    return true;
}

QFont CQtRenderUI::MakeFont(const TFontUI& font, int scalePercent) {
    QFont f;
    if (!font.name.empty()) f.setFamilies({UIToQString(font.name), f.defaultFamily()});
    const int scale = scalePercent > 0 ? scalePercent : 100;
    const int size = font.size > 0 ? font.size : 12;
    f.setPixelSize(std::max(1, (size * scale + 50) / 100));
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QStringList CQtRenderUI::WrapAndElide(const QString& text, const QFont& font, int width, int height) {
    QStringList lines;
    if (width <= 0) return lines;
    const QFontMetrics fm(font);
    const int lineHeight = std::max(1, fm.lineSpacing());
    const int maxLines = std::max(1, height / lineHeight);
    QString rest = text;
    rest.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList paragraphs = rest.split(QLatin1Char('\n'));
    for (int p = 0; p < paragraphs.size(); ++p) {
        const QString& para = paragraphs[p];
        QTextLayout layout(para, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        bool any = false;
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            any = true;
            line.setLineWidth(width);
            if (static_cast<int>(lines.size()) + 1 == maxLines) {
                // The last line that fits: everything left goes into it, cut with an ellipsis.
                QString tail = para.mid(line.textStart());
                for (int q = p + 1; q < paragraphs.size(); ++q) tail += QLatin1Char(' ') + paragraphs[q];
                const bool more =
                    (line.textStart() + line.textLength() < para.size()) || p + 1 < paragraphs.size();
                lines << (more ? fm.elidedText(tail, Qt::ElideRight, width) : tail);
                layout.endLayout();
                return lines;
            }
            lines << para.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (!any) lines << QString();
    }
    return lines;
}

void CQtRenderUI::DrawText(const std::wstring& text, const UIRect& rc, const TFontUI& font, uint32_t argb,
                           uint32_t style, int scalePercent) {
    if (text.empty() || rc.IsEmpty() || (argb >> 24) == 0) return;
    const QFont f = MakeFont(font, scalePercent);
    int flags = 0;
    if (style & UIDT_CENTER)
        flags |= Qt::AlignHCenter;
    else if (style & UIDT_RIGHT)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (style & UIDT_VCENTER)
        flags |= Qt::AlignVCenter;
    else if (style & UIDT_BOTTOM)
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;

    QString q = UIToQString(text);
    const QRect box = ToQRect(rc);
    const QFontMetrics fm(f);
    if (style & UIDT_SINGLELINE) {
        // One line: breaks are shown as spaces, as a single-line label does.
        q.replace(QLatin1String("\r\n"), QLatin1String(" "));
        q.replace(QLatin1Char('\n'), QLatin1Char(' '));
        q.replace(QLatin1Char('\r'), QLatin1Char(' '));
        if (style & UIDT_END_ELLIPSIS) q = fm.elidedText(q, Qt::ElideRight, box.width());
        flags |= Qt::TextSingleLine;
    } else if (style & UIDT_WORDBREAK) {
        if (style & UIDT_END_ELLIPSIS)
            q = WrapAndElide(q, f, box.width(), box.height()).join(QLatin1Char('\n'));
        else
            flags |= Qt::TextWordWrap;
    }
    m_painter.save();
    m_painter.setClipRect(box, Qt::IntersectClip);
    m_painter.setFont(f);
    m_painter.setPen(ToColor(argb));
    m_painter.drawText(box, flags, q);
    m_painter.restore();
}

UISize CQtRenderUI::MeasureText(const std::wstring& text, const TFontUI& font, int scalePercent) {
    const QFontMetrics fm(MakeFont(font, scalePercent));
    if (text.empty()) return {0, fm.height()};
    const QSize size = fm.size(0, UIToQString(text));
    return {size.width(), size.height()};
}

void CQtRenderUI::PushClip(const UIRect& rc) {
    m_painter.save();
    ++m_clipDepth;
    m_painter.setClipRect(ToQRect(rc), Qt::IntersectClip);
}

void CQtRenderUI::PopClip() {
    if (m_clipDepth <= 0) return;
    --m_clipDepth;
    m_painter.restore();
}
