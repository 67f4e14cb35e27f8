// The base control: identity, texts, state, geometry attributes, colours, images, font and the
// generic attribute setter. Every getter and setter takes the library-wide lock, so controls may be
// read and written from any thread; notifications and events run on the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "uikit/UIDefs.h"
#include "uikit/UIRender.h"

class CWindowUI;
class CContainerUI;

class CControlUI {
public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // Class name as used in layouts and checks ("ControlUI", "ButtonUI", "OptionUI", ...).
    virtual std::wstring GetClass() const;

    // ---- Identity and texts ----
    std::wstring GetName() const;
    void SetName(const std::wstring& name);
    virtual std::wstring GetText() const;
    virtual void SetText(const std::wstring& text);
    std::wstring GetToolTip() const;
    void SetToolTip(const std::wstring& text);
    std::wstring GetUserData() const;
    void SetUserData(const std::wstring& text);
    uint64_t GetTag() const;
    void SetTag(uint64_t tag);

    // ---- State ----
    bool IsVisible() const;     // own flag and not hidden by a tab layout
    bool IsOwnVisible() const;  // own flag only
    virtual void SetVisible(bool visible = true);
    // Visibility imposed by the parent (a tab layout hides its other pages this way).
    virtual void SetInternVisible(bool visible = true);
    bool IsEnabled() const;
    virtual void SetEnabled(bool enabled = true);
    bool IsFocused() const;
    void SetFocus();  // takes the keyboard focus in its window
    bool IsMouseEnabled() const;
    void SetMouseEnabled(bool enabled);
    bool IsKeyboardEnabled() const;
    void SetKeyboardEnabled(bool enabled);
    // Combined UISTATE_* flags for a renderer (hot, pushed, focused, disabled, selected).
    uint32_t GetState() const;

    // ---- Geometry (logical units unless noted) ----
    // The computed rectangle, device pixels, relative to the window's client area.
    UIRect GetPos() const;
    // Places the control directly (device pixels) until the next layout pass, which recomputes
    // every rectangle from the attributes; to move a control for good, write its "pos".
    virtual void SetPos(const UIRect& rc, bool needInvalidate = true);
    bool IsFloat() const;
    void SetFloat(bool isFloat = true);
    UIRect GetFloatPos() const;  // the "pos" attribute (logical, relative to the parent)
    void SetFloatPos(const UIRect& rc);
    int GetFixedWidth() const;
    void SetFixedWidth(int cx);  // 0 = stretch
    int GetFixedHeight() const;
    void SetFixedHeight(int cy);
    int GetMinWidth() const;
    void SetMinWidth(int cx);
    int GetMaxWidth() const;
    void SetMaxWidth(int cx);
    int GetMinHeight() const;
    void SetMinHeight(int cy);
    int GetMaxHeight() const;
    void SetMaxHeight(int cy);
    UIRect GetPadding() const;  // outer margin inside the parent's layout
    void SetPadding(const UIRect& rc);
    // The size a layout gives this control when it has no fixed size (0 = stretch).
    virtual UISize EstimateSize(UISize available);

    // ---- Colours ----
    uint32_t GetBkColor() const;
    void SetBkColor(uint32_t argb);
    uint32_t GetBorderColor() const;
    void SetBorderColor(uint32_t argb);
    int GetBorderSize() const;
    void SetBorderSize(int size);
    UISize GetBorderRound() const;
    void SetBorderRound(UISize sz);
    uint32_t GetTextColor() const;
    void SetTextColor(uint32_t argb);
    uint32_t GetDisabledTextColor() const;
    void SetDisabledTextColor(uint32_t argb);

    // ---- Images (attribute text, see TImageAttrUI) ----
    std::wstring GetBkImage() const;
    void SetBkImage(const std::wstring& attr);
    std::wstring GetForeImage() const;
    void SetForeImage(const std::wstring& attr);

    // ---- Text drawing ----
    int GetFont() const;  // index into the window's font list, -1 = default
    void SetFont(int index);
    TFontUI GetFontInfo() const;    // resolved through the window (default font when none)
    uint32_t GetTextStyle() const;  // UIDT_* flags
    void SetTextStyle(uint32_t style);
    UIRect GetTextPadding() const;
    void SetTextPadding(const UIRect& rc);

    // ---- Attributes by name ----
    // Known names set the matching property; any other name is kept and can be read back with
    // GetAttribute (custom controls read their own attributes that way).
    virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
    std::wstring GetAttribute(const std::wstring& name) const;
    // "name1=\"v1\" name2=\"v2\"" as in a layout tag.
    void ApplyAttributeList(const std::wstring& list);

    // ---- Tree ----
    CControlUI* GetParent() const;
    CWindowUI* GetWindow() const;
    // Attaches the control (and its children) to a window; `init` runs DoInit once.
    virtual void SetWindow(CWindowUI* window, CControlUI* parent, bool init = true);
    // Depth-first search; `visibleOnly` skips hidden controls. Default: this control when it matches.
    virtual CControlUI* FindControlByName(const std::wstring& name);
    // The deepest visible, mouse-enabled control under `pt` (device pixels), or nullptr.
    virtual CControlUI* FindControlAt(UIPoint pt);
    // All controls of the subtree in depth-first order (this one first).
    virtual void CollectControls(std::vector<CControlUI*>* out);

    // ---- Behaviour ----
    virtual void DoInit() {}
    // Events delivered by the window on the UI thread (mouse, keys, focus, timers).
    virtual void DoEvent(TEventUI& event);
    // A click from the user or the test driver ("click" notification for buttons).
    virtual bool Activate();
    // Paints background, images, text and border through the painter.
    virtual void DoPaint(IRenderUI& render, const UIRect& paintRect);
    virtual void PaintBkColor(IRenderUI& render);
    virtual void PaintBkImage(IRenderUI& render);
    virtual void PaintStatusImage(IRenderUI& render);
    virtual void PaintText(IRenderUI& render);
    virtual void PaintBorder(IRenderUI& render);
    // Draws an image attribute into this control's rectangle (dest relative to it).
    bool DrawImage(IRenderUI& render, const std::wstring& attr);

    // Sends a notification to the window (on the UI thread; posted when called elsewhere).
    void SendNotify(const std::wstring& type, uintptr_t wParam = 0, intptr_t lParam = 0, bool async = false);
    // Extra notification handlers of this control, called before the window's Notify. A handler
    // returning true stops the delivery to the window.
    void OnNotify(std::function<bool(TNotifyUI&)> handler);
    // Event hooks called before DoEvent; returning false swallows the event.
    void OnEvent(std::function<bool(TEventUI&)> handler);

    // Timers of this control (delivered as UIEventType::Timer on the UI thread).
    bool SetTimer(uint32_t id, uint32_t elapseMs);
    void KillTimer(uint32_t id);

    // Repaint (the window is told to redraw) and relayout requests.
    void Invalidate();
    void NeedUpdate();
    void NeedParentUpdate();

    // Scales a logical length by the window's display scale.
    int Scale(int value) const;

    // True while the control exists (checked before delivering posted notifications).
    static bool IsAlive(const CControlUI* control);

    // Library internals.
    void SetStateFlag(uint32_t flag, bool on);
    bool RunNotifyHandlers(TNotifyUI& msg);
    bool RunEventHandlers(TEventUI& event);
    // Placement of a list row outside the view: the rectangle is taken now, the children are laid
    // out when first needed (painted, hit, or one of them asked for its rectangle).
    void PlaceDeferred(const UIRect& rc);
    // Lays out the children whose layout was deferred (nothing for a control without children).
    virtual void FlushDeferredLayout();
    // Lays out the ancestors whose children's layout was deferred, so that m_rcItem is current.
    void ResolvePlacement() const;
    // True when this subtree is made only of the library's own classes, whose placement has no
    // side effect other than the rectangles: such a row may be placed with PlaceDeferred.
    bool IsLayoutDeferrable() const;
    virtual bool ComputeLayoutDeferrable() const;
    // Forgets the cached answer of IsLayoutDeferrable here and in every ancestor.
    void ForgetLayoutDeferrable();

protected:
    std::wstring m_sName;
    std::wstring m_sText;
    std::wstring m_sToolTip;
    std::wstring m_sUserData;
    uint64_t m_tag = 0;
    bool m_bVisible = true;
    bool m_bInternVisible = true;
    bool m_bEnabled = true;
    bool m_bMouseEnabled = true;
    bool m_bKeyboardEnabled = true;
    bool m_bFloat = false;
    UIRect m_rcFloat;
    int m_cxFixed = 0;
    int m_cyFixed = 0;
    int m_cxMin = 0;
    int m_cxMax = 9999;
    int m_cyMin = 0;
    int m_cyMax = 9999;
    UIRect m_rcPadding;
    uint32_t m_bkColor = 0;
    uint32_t m_borderColor = 0;
    int m_borderSize = 0;
    UISize m_borderRound;
    uint32_t m_textColor = 0;
    uint32_t m_disabledTextColor = 0;
    std::wstring m_bkImage;
    std::wstring m_foreImage;
    int m_font = -1;
    uint32_t m_textStyle = UIDT_LEFT | UIDT_VCENTER | UIDT_SINGLELINE;
    UIRect m_rcTextPadding;
    std::map<std::wstring, std::wstring> m_extraAttributes;

    UIRect m_rcItem;
    uint32_t m_state = 0;
    CControlUI* m_pParent = nullptr;
    CWindowUI* m_pWindow = nullptr;
    bool m_bInited = false;
    std::vector<std::function<bool(TNotifyUI&)>> m_notifyHandlers;
    std::vector<std::function<bool(TEventUI&)>> m_eventHandlers;
    bool m_bLayoutDeferred = false;         // children not laid out since the last placement
    bool m_bChildMoved = false;             // a child was placed outside this control's layout pass
    mutable signed char m_deferrable = -1;  // cached IsLayoutDeferrable (-1: unknown)

    friend struct UILayoutAccess;
};
