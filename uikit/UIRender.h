// What a renderer needs: fonts, image data from the skin and the abstract painter through which
// every control paints itself. A backend implements IRenderUI; the library never draws pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "uikit/UIDefs.h"

// A font as the skin describes it (size in logical pixels; the painter scales it).
struct TFontUI {
    std::wstring name;
    int size = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool operator==(const TFontUI&) const = default;
};

// One image of the skin: its encoded bytes (PNG, GIF, JPEG, ...), the size read from its header
// and a slot where a renderer keeps its decoded form. Shared through the image cache.
struct TImageDataUI {
    std::wstring name;
    std::string bytes;
    int width = 0;  // from the file header; 0 when unknown
    int height = 0;
    int frameCount = 1;              // GIF: number of frames
    std::vector<int> frameDelaysMs;  // GIF: delay of each frame (ms)
    std::mutex decodedMutex;         // guards `decoded`
    std::shared_ptr<void> decoded;   // the renderer's decoded image
};

// A parsed image attribute: "file='x.png' dest='l,t,r,b' source='..' corner='..' fade='255'
// hole='false' xtiled='false' ytiled='false'" or just "x.png".
struct TImageAttrUI {
    std::wstring file;
    UIRect dest;    // logical, relative to the control; empty = whole control
    UIRect source;  // pixels of the image; empty = whole image
    UIRect corner;  // nine-grid corners
    uint8_t fade = 255;
    bool hole = false;
    bool xtiled = false;
    bool ytiled = false;
    bool IsEmpty() const { return file.empty(); }
    static TImageAttrUI Parse(const std::wstring& text);
    bool operator==(const TImageAttrUI&) const = default;
};

// The painter. Rectangles are device pixels of the window's client area.
class IRenderUI {
public:
    virtual ~IRenderUI() = default;
    virtual void FillRect(const UIRect& rc, uint32_t argb) = 0;
    virtual void DrawRect(const UIRect& rc, int width, uint32_t argb) = 0;
    virtual void DrawRoundRect(const UIRect& rc, int width, int rx, int ry, uint32_t argb) = 0;
    virtual void FillRoundRect(const UIRect& rc, int rx, int ry, uint32_t argb) = 0;
    virtual void DrawLine(UIPoint from, UIPoint to, int width, uint32_t argb) = 0;
    // Draws `image` (or one GIF frame of it) into `dest`; `source` empty = whole image; `corner`
    // the nine-grid corners kept unscaled. `fade` 0..255 alpha. False when it cannot be decoded.
    virtual bool DrawImage(const std::shared_ptr<TImageDataUI>& image, const UIRect& dest,
                           const UIRect& source, const UIRect& corner, uint8_t fade, bool hole, bool xtiled,
                           bool ytiled, int frame = 0) = 0;
    // `style`: UIDT_* flags (alignment, single line or word break, end ellipsis). Font size is
    // logical; `scalePercent` is the window's display scale.
    virtual void DrawText(const std::wstring& text, const UIRect& rc, const TFontUI& font, uint32_t argb,
                          uint32_t style, int scalePercent) = 0;
    virtual UISize MeasureText(const std::wstring& text, const TFontUI& font, int scalePercent) = 0;
    virtual void PushClip(const UIRect& rc) = 0;
    virtual void PopClip() = 0;
};
