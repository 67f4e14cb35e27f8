// Basic types of the UI library: geometry, colours, window message and key codes, notifications,
// events and the one library-wide lock.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// ---- Geometry ----------------------------------------------------------------------------------
struct UIPoint {
    int x = 0;
    int y = 0;
    bool operator==(const UIPoint&) const = default;
};

struct UISize {
    int cx = 0;
    int cy = 0;
    bool operator==(const UISize&) const = default;
};

// A rectangle with exclusive right and bottom edges (width = right - left).
struct UIRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int GetWidth() const { return right - left; }
    int GetHeight() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(UIPoint pt) const { return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom; }
    UIPoint Center() const { return {left + GetWidth() / 2, top + GetHeight() / 2}; }
    UIRect Intersect(const UIRect& o) const;
    UIRect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    // The same rectangle with a right edge left of its left edge (or a bottom above its top)
    // moved onto it: an empty rectangle rather than a negative one.
    UIRect Clamped() const { return {left, top, std::max(left, right), std::max(top, bottom)}; }
    bool operator==(const UIRect&) const = default;
};

// ---- Colours (ARGB, 0xAARRGGBB) ----------------------------------------------------------------
// Parses "#FFF1707A", "#F1707A" (opaque), "0xFFF1707A" or a plain decimal/hex number. False (and
// *argb untouched) when the text is not a colour.
bool UIParseColor(const std::wstring& text, uint32_t* argb);
std::wstring UIFormatColor(uint32_t argb);  // "#AARRGGBB"

// ---- Text helpers for attributes ---------------------------------------------------------------
// "l,t,r,b" -> rect; missing numbers are 0. False when no number at all could be read.
bool UIParseRect(const std::wstring& text, UIRect* rc);
bool UIParseSize(const std::wstring& text, UISize* sz);  // "cx,cy"
bool UIParseBool(const std::wstring& text);              // "true"/"1"/"yes" -> true
int UIParseInt(const std::wstring& text, int fallback = 0);

// ---- Window messages (the codes the program's windows handle) ----------------------------------
// Mouse messages carry the client point (device pixels) in lParam as (y << 16) | (x & 0xFFFF) and
// the button/key state flags in wParam.
enum : uint32_t {
    UIMSG_CREATE = 0x0001,
    UIMSG_DESTROY = 0x0002,
    UIMSG_SIZE = 0x0005,  // lParam: (height << 16) | width of the client area
    UIMSG_SETFOCUS = 0x0007,
    UIMSG_KILLFOCUS = 0x0008,
    UIMSG_CLOSE = 0x0010,       // a close request (title bar); default: Close(UIRESULT_CLOSED)
    UIMSG_KEYDOWN = 0x0100,     // wParam: key code (UIKEY_*)
    UIMSG_CHAR = 0x0102,        // wParam: character
    UIMSG_SYSCOMMAND = 0x0112,  // wParam: UISC_*
    UIMSG_TIMER = 0x0113,       // wParam: timer id
    UIMSG_MOUSEMOVE = 0x0200,
    UIMSG_LBUTTONDOWN = 0x0201,
    UIMSG_LBUTTONUP = 0x0202,
    UIMSG_LBUTTONDBLCLK = 0x0203,
    UIMSG_RBUTTONDOWN = 0x0204,
    UIMSG_RBUTTONUP = 0x0205,
    UIMSG_MOUSEWHEEL = 0x020A,  // wParam: (delta << 16), delta +120 = one notch up
    UIMSG_MOUSELEAVE = 0x02A3,
    UIMSG_DROPFILES = 0x0233,            // wParam: const std::vector<std::wstring>* valid during the call
    UIMSG_DPICHANGED = 0x02E0,           // 736; wParam: new dpi, lParam: const UIRect* suggested (screen)
    UIMSG_USER = 0x0400,                 // 1024
    UIMSG_MENUCLICK = UIMSG_USER + 121,  // 1145; wParam: const std::wstring* item name
};

// wParam flags of mouse messages.
enum : uintptr_t { UIMK_LBUTTON = 0x0001, UIMK_RBUTTON = 0x0002, UIMK_SHIFT = 0x0004, UIMK_CONTROL = 0x0008 };

// System commands (UIMSG_SYSCOMMAND).
enum : uintptr_t {
    UISC_MINIMIZE = 0xF020,
    UISC_MAXIMIZE = 0xF030,
    UISC_CLOSE = 0xF060,
    UISC_RESTORE = 0xF120
};

// Key codes (UIMSG_KEYDOWN).
enum : uint32_t {
    UIKEY_BACK = 0x08,
    UIKEY_TAB = 0x09,
    UIKEY_RETURN = 0x0D,
    UIKEY_ESCAPE = 0x1B,
    UIKEY_END = 0x23,
    UIKEY_HOME = 0x24,
    UIKEY_LEFT = 0x25,
    UIKEY_UP = 0x26,
    UIKEY_RIGHT = 0x27,
    UIKEY_DOWN = 0x28,
    UIKEY_DELETE = 0x2E,
    UIKEY_0 = 0x30,        // '0' .. '9' are 0x30 .. 0x39
    UIKEY_NUMPAD0 = 0x60,  // .. 0x69
    UIKEY_DECIMAL = 0x6E,
    UIKEY_OEM_PERIOD = 0xBE,
};

inline intptr_t UIMakePointParam(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) |
                                 static_cast<uint32_t>(x & 0xFFFF));
}
inline UIPoint UIPointFromParam(intptr_t l) {
    return {static_cast<int16_t>(l & 0xFFFF), static_cast<int16_t>((l >> 16) & 0xFFFF)};
}

// Modal results used by the library itself.
enum : int { UIRESULT_CLOSED = 2 };

// ---- Notifications -----------------------------------------------------------------------------
class CControlUI;
class CWindowUI;

// A notification from a control to its window ("click", "selectchanged", ...). Delivered on the
// UI thread; sType holds the type text.
struct TNotifyUI {
    std::wstring sType;
    std::wstring sVirtualWnd;
    CControlUI* pSender = nullptr;
    uint64_t dwTimestamp = 0;
    UIPoint ptMouse;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

// ---- Events from the window to one control ----------------------------------------------------
enum class UIEventType {
    MouseEnter,
    MouseLeave,
    MouseMove,
    ButtonDown,  // left button
    ButtonUp,
    DoubleClick,
    RButtonDown,
    ScrollWheel,  // wParam: +1 up, -1 down
    KeyDown,      // chKey: key code
    Char,         // chKey: character
    SetFocus,
    KillFocus,
    Timer,  // wParam: timer id of the control
    ContextMenu,
};

struct TEventUI {
    UIEventType Type = UIEventType::MouseMove;
    CControlUI* pSender = nullptr;
    uint64_t dwTimestamp = 0;
    UIPoint ptMouse;
    uint32_t chKey = 0;
    uint32_t wKeyState = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// ---- Control state flags (what a renderer reads) ----------------------------------------------
enum : uint32_t {
    UISTATE_FOCUSED = 0x01,
    UISTATE_SELECTED = 0x02,
    UISTATE_DISABLED = 0x04,
    UISTATE_HOT = 0x08,
    UISTATE_PUSHED = 0x10,
    UISTATE_CAPTURED = 0x40,
};

// Text alignment / style flags for drawing text.
enum : uint32_t {
    UIDT_LEFT = 0x0000,
    UIDT_CENTER = 0x0001,
    UIDT_RIGHT = 0x0002,
    UIDT_VCENTER = 0x0004,
    UIDT_BOTTOM = 0x0008,
    UIDT_TOP = 0x0010,
    UIDT_SINGLELINE = 0x0020,
    UIDT_WORDBREAK = 0x0040,
    UIDT_END_ELLIPSIS = 0x8000,
};

// ---- The library-wide lock ---------------------------------------------------------------------
// Every control property is read and written under this one recursive lock, so any thread may
// touch controls. Never hold it while waiting for the UI thread (ShowModal, Invoke from a worker).
std::recursive_mutex& UILock();
using CUILockGuard = std::lock_guard<std::recursive_mutex>;
