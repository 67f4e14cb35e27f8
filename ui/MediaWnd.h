// Media host controls: a control that owns a preview player and a native child window the player
// draws its video into. The child window follows the control's rectangle and visibility; the
// player's three events are posted to the window that owns the host as MSG_PLAYER_PLAYING,
// MSG_PLAYER_POSITION and MSG_PLAYER_ENDED with the player as wParam.
#pragma once

#include <cstdint>

#include "ui/AVPlayer.h"
#include "uikit/UIlib.h"

// Shared part of both hosts (the base class differs: an animated-GIF control or a plain one).
class CMediaHost {
public:
    explicit CMediaHost(bool transparent) : m_transparent(transparent) {}
    virtual ~CMediaHost();
    CMediaHost(const CMediaHost&) = delete;
    CMediaHost& operator=(const CMediaHost&) = delete;

    CAVPlayer& GetPlayer() { return m_player; }
    uintptr_t GetChildWindow() const { return m_child; }
    bool IsTransparentChild() const { return m_transparent; }

    // Gives the host its child window: stores it in the host and in the player and installs the
    // callbacks that post to the child window's top-level window. 1 on success, 0 when the handle
    // is not a child window.
    int SetChildWindow(uintptr_t handle);

protected:
    // Creates the child window (635 x 250 at 0,0) in `window` once.
    void CreateChild(CWindowUI* window);
    void MoveChild(const UIRect& rc);
    void ShowChild(bool show);
    // The colour an opaque child window shows while nothing plays (0: left as it is).
    void SetRestColor(uint32_t argb);

    CAVPlayer m_player;
    uintptr_t m_child = 0;
    bool m_transparent;
};

// A media host on a control of the UI library (`Base`): the child window is created when the
// control is initialised and then follows the control's rectangle and visibility. An opaque child
// rests in the control's background colour.
template <class Base>
class CMediaHostControl : public Base, public CMediaHost {
public:
    explicit CMediaHostControl(bool transparent) : CMediaHost(transparent) {}
    void DoInit() override;
    void SetPos(const UIRect& rc, bool needInvalidate = true) override;
    void SetInternVisible(bool visible = true) override;
    void SetVisible(bool visible = true) override;
};

// Host with a transparent child window over an animated background ("playing.gif").
class CMediaWndUI : public CMediaHostControl<CGifAnimUI> {
public:
    CMediaWndUI();
    std::wstring GetClass() const override { return L"MediaWndUI"; }
};

// Host with a plain (opaque) child window.
class CStaticMediaWndUI : public CMediaHostControl<CControlUI> {
public:
    CStaticMediaWndUI() : CMediaHostControl(false) {}
    std::wstring GetClass() const override { return L"StaticMediaWndUI"; }
};
