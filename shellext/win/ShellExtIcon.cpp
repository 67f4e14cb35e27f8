// Icon work of the extension object: loading the icon, the 32-bit menu bitmap and the badge.
#include <algorithm>
#include <vector>

#include "ShellExt.h"
#include "StampMenu.h"

namespace stampmenu {

namespace {

// A top-down 32-bit DIB section of w x h pixels.
HBITMAP CreateDib32(HDC dc, int w, int h, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// The icon's mask as rows of booleans, true where the icon is masked out (transparent).
bool ReadMask(HICON icon, int w, int h, std::vector<bool>& masked) {
    ICONINFO parts{};
    if (!GetIconInfo(icon, &parts)) return false;
    bool ok = false;
    if (parts.hbmMask) {
        HDC dc = CreateCompatibleDC(nullptr);
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[2];
        } info{};
        info.header.biSize = sizeof info.header;
        info.header.biWidth = w;
        info.header.biHeight = -h;
        info.header.biPlanes = 1;
        info.header.biBitCount = 32;
        info.header.biCompression = BI_RGB;
        std::vector<RGBQUAD> pixels(static_cast<std::size_t>(w) * h);
        if (GetDIBits(dc, parts.hbmMask, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS) == h) {
            masked.resize(pixels.size());
            for (std::size_t i = 0; i < pixels.size(); ++i) masked[i] = pixels[i].rgbRed != 0;
            ok = true;
        }
        DeleteDC(dc);
    }
    if (parts.hbmMask) DeleteObject(parts.hbmMask);
    if (parts.hbmColor) DeleteObject(parts.hbmColor);
    return ok;
}

}  // namespace

HICON CShellExt::LoadIconAt(int width, int height) const {
    if (settings_.customIcon) {
        auto icon = static_cast<HICON>(
            LoadImageW(nullptr, settings_.customIcon->c_str(), IMAGE_ICON, width, height, LR_LOADFROMFILE));
        if (icon) return icon;
    }
    return static_cast<HICON>(
        LoadImageW(g_module, MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON, width, height, 0));
}

HBITMAP CShellExt::MenuBitmap() const {
    if (!beginBufferedPaint_) return nullptr;
    const int cx = GetSystemMetrics(SM_CXMENUCHECK), cy = GetSystemMetrics(SM_CYMENUCHECK);
    if (cx <= 0 || cy <= 0) return nullptr;
    HICON icon = LoadIconAt(cx, cy);
    if (!icon) return nullptr;

    HBITMAP bitmap = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP dib = dc ? CreateDib32(dc, cx, cy, &bits) : nullptr;
    if (dib) {
        HGDIOBJ old = SelectObject(dc, dib);
        const RECT rect = {0, 0, cx, cy};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        BP_PAINTPARAMS params{};
        params.cbSize = sizeof params;
        params.dwFlags = BPPF_ERASE;
        params.pBlendFunction = &blend;
        HDC paintDc = nullptr;
        HPAINTBUFFER buffer = beginBufferedPaint_(dc, &rect, BPBF_DIB, &params, &paintDc);
        if (buffer) {
            bool converted = false;
            if (DrawIconEx(paintDc, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL)) {
                RGBQUAD* pixels = nullptr;
                int rowWidth = 0;
                if (SUCCEEDED(getBufferedPaintBits_(buffer, &pixels, &rowWidth)) && pixels &&
                    rowWidth >= cx) {
                    bool hasAlpha = false;
                    for (int y = 0; y < cy && !hasAlpha; ++y)
                        for (int x = 0; x < cx && !hasAlpha; ++x)
                            hasAlpha = pixels[y * rowWidth + x].rgbReserved != 0;
                    converted = true;
                    if (!hasAlpha) {
                        // No alpha painted: take it from the mask, opaque where the icon shows.
                        std::vector<bool> masked;
                        converted = ReadMask(icon, cx, cy, masked);
                        for (int y = 0; converted && y < cy; ++y) {
                            for (int x = 0; x < cx; ++x) {
                                RGBQUAD& p = pixels[y * rowWidth + x];
                                if (masked[static_cast<std::size_t>(y) * cx + x]) {
                                    p = RGBQUAD{0, 0, 0, 0};
                                } else {
                                    p.rgbReserved = 255;
                                }
                            }
                        }
                    }
                }
            }
            endBufferedPaint_(buffer, converted ? TRUE : FALSE);
            if (converted) bitmap = dib;
        }
        SelectObject(dc, old);
        if (!bitmap) DeleteObject(dib);
    }
    if (dc) DeleteDC(dc);
    DestroyIcon(icon);
    return bitmap;
}

HICON CShellExt::AddBadge(HICON icon, int s) const {
    ICONINFO parts{};
    if (!GetIconInfo(icon, &parts)) return icon;
    if (!parts.hbmColor || !parts.hbmMask) {
        if (parts.hbmColor) DeleteObject(parts.hbmColor);
        if (parts.hbmMask) DeleteObject(parts.hbmMask);
        return icon;  // a monochrome icon is not taken apart
    }

    HICON result = nullptr;
    HDC canvasDc = CreateCompatibleDC(nullptr);
    HDC iconDc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP canvas = canvasDc ? CreateDib32(canvasDc, s, s, &bits) : nullptr;
    HFONT font =
        CreateFontW(BadgeFontHeight(s), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, kBadgeFont);
    if (canvas && iconDc && font) {
        auto* pixels = static_cast<RGBQUAD*>(bits);
        std::fill(pixels, pixels + static_cast<std::size_t>(s) * s, RGBQUAD{255, 255, 255, 0});
        HGDIOBJ oldBitmap = SelectObject(canvasDc, canvas);
        HGDIOBJ oldFont = SelectObject(canvasDc, font);

        const int textLength = static_cast<int>(iconText_.size());
        SIZE extent{};
        GetTextExtentPoint32W(canvasDc, iconText_.c_str(), textLength, &extent);
        const BadgeLayout badge = LayoutBadge(s, extent.cx, extent.cy);

        const COLORREF fill = RGB(kBadgeFill.r, kBadgeFill.g, kBadgeFill.b);
        HBRUSH brush = CreateSolidBrush(fill);
        HPEN pen = CreatePen(PS_SOLID, 1, fill);
        HGDIOBJ oldBrush = SelectObject(canvasDc, brush);
        HGDIOBJ oldPen = SelectObject(canvasDc, pen);
        RoundRect(canvasDc, badge.box.left, badge.box.top, badge.box.right, badge.box.bottom, badge.corner,
                  badge.corner);
        SetTextColor(canvasDc, RGB(kBadgeText.r, kBadgeText.g, kBadgeText.b));
        SetBkMode(canvasDc, TRANSPARENT);
        RECT textRect = {badge.text.left, badge.text.top, badge.text.right, badge.text.bottom};
        DrawTextW(canvasDc, iconText_.c_str(), textLength, &textRect, DT_SINGLELINE | DT_BOTTOM);
        GdiFlush();

        // Pure white is the untouched canvas and becomes transparent; everything else is opaque.
        for (std::size_t i = 0; i < static_cast<std::size_t>(s) * s; ++i) {
            RGBQUAD& p = pixels[i];
            if (p.rgbRed == 255 && p.rgbGreen == 255 && p.rgbBlue == 255) {
                p = RGBQUAD{0, 0, 0, 0};
            } else {
                p.rgbReserved = 255;
            }
        }

        const int boxW = badge.box.right - badge.box.left, boxH = badge.box.bottom - badge.box.top;
        HGDIOBJ oldIconBitmap = SelectObject(iconDc, parts.hbmColor);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        const bool blended =
            badge.width > 0 && badge.height > 0 &&
            AlphaBlend(iconDc, badge.target.left, badge.target.top, badge.width, badge.height, canvasDc,
                       badge.box.left, badge.box.top, boxW, boxH, blend);
        // The mask gets the same rounded rectangle in black, so the badge is opaque.
        SelectObject(iconDc, parts.hbmMask);
        HGDIOBJ oldMaskBrush = SelectObject(iconDc, GetStockObject(BLACK_BRUSH));
        HGDIOBJ oldMaskPen = SelectObject(iconDc, GetStockObject(BLACK_PEN));
        RoundRect(iconDc, badge.box.left, badge.box.top, badge.box.right, badge.box.bottom, badge.corner,
                  badge.corner);
        SelectObject(iconDc, oldMaskBrush);
        SelectObject(iconDc, oldMaskPen);
        SelectObject(iconDc, oldIconBitmap);

        SelectObject(canvasDc, oldBrush);
        SelectObject(canvasDc, oldPen);
        SelectObject(canvasDc, oldFont);
        SelectObject(canvasDc, oldBitmap);
        DeleteObject(brush);
        DeleteObject(pen);

        if (blended) {
            parts.fIcon = TRUE;
            result = CreateIconIndirect(&parts);
        }
    }
    if (font) DeleteObject(font);
    if (canvas) DeleteObject(canvas);
    if (iconDc) DeleteDC(iconDc);
    if (canvasDc) DeleteDC(canvasDc);
    DeleteObject(parts.hbmColor);
    DeleteObject(parts.hbmMask);
    return result;
}

}  // namespace stampmenu
