#include "ui/MediaWnd.h"

#include <utility>

#include "ui/Messages.h"

namespace {

// Size of a preview surface before the layout places it.
constexpr int kSurfaceWidth = 635;
constexpr int kSurfaceHeight = 250;

// Native child windows are moved and shown on the UI thread; from another thread the call is
// posted there.
template <class Fn>
void OnUIThread(Fn fn) {
    if (CAppUI::IsUIThread())
        fn();
    else
        CAppUI::Post(std::move(fn));
}

}  // namespace

CMediaHost::~CMediaHost() {
    // The player's stop waits for its threads, so no callback runs after this line.
    m_player.Release();
    if (m_child && CAppUI::GetBackend()) CAppUI::GetBackend()->DestroyChildWindow(m_child);
    m_child = 0;
}

void CMediaHost::CreateChild(CWindowUI* window) {
    IBackendUI* backend = CAppUI::GetBackend();
    if (m_child || !window || !backend) return;
    const uintptr_t handle =
        backend->CreateChildWindow(window, {0, 0, kSurfaceWidth, kSurfaceHeight}, m_transparent);
    if (handle && !SetChildWindow(handle)) backend->DestroyChildWindow(handle);
}

int CMediaHost::SetChildWindow(uintptr_t handle) {
    IBackendUI* backend = CAppUI::GetBackend();
    if (!backend || !m_player.SetHostWindow(handle)) return 0;
    m_child = handle;
    // The owner is looked up now, on the UI thread; the callbacks run on the library's thread
    // and only post.
    CWindowUI* owner = backend->GetChildWindowParent(handle);
    auto post = [owner](uint32_t msg) {
        return [owner, msg](CAVPlayer* player) {
            if (owner && CAppUI::IsWindowAlive(owner))
                owner->PostMessage(msg, reinterpret_cast<uintptr_t>(player), 0);
        };
    };
    m_player.SetCallbackPlaying(post(MSG_PLAYER_PLAYING));
    m_player.SetCallbackPosChanged(post(MSG_PLAYER_POSITION));
    m_player.SetCallbackEndReached(post(MSG_PLAYER_ENDED));
    return 1;
}

void CMediaHost::MoveChild(const UIRect& rc) {
    if (!m_child) return;
    OnUIThread([child = m_child, rc] {
        if (IBackendUI* backend = CAppUI::GetBackend()) backend->MoveChildWindow(child, rc);
    });
}

void CMediaHost::ShowChild(bool show) {
    if (!m_child) return;
    OnUIThread([child = m_child, show] {
        if (IBackendUI* backend = CAppUI::GetBackend()) backend->ShowChildWindow(child, show);
    });
}

void CMediaHost::SetRestColor(uint32_t argb) {
    if (IBackendUI* backend = CAppUI::GetBackend(); backend && m_child && argb != 0)
        backend->SetChildWindowColor(m_child, argb);
}

// ---- CMediaHostControl ------------------------------------------------------------------------

template <class Base>
void CMediaHostControl<Base>::DoInit() {
    Base::DoInit();
    CreateChild(this->GetWindow());
    // At rest the opaque surface shows the control's background colour rather than black.
    if (!m_transparent) SetRestColor(this->GetBkColor());
    MoveChild(this->GetPos());
    ShowChild(this->IsVisible());
}

template <class Base>
void CMediaHostControl<Base>::SetPos(const UIRect& rc, bool needInvalidate) {
    Base::SetPos(rc, needInvalidate);
    MoveChild(rc);
}

template <class Base>
void CMediaHostControl<Base>::SetInternVisible(bool visible) {
    Base::SetInternVisible(visible);
    ShowChild(this->IsVisible());
}

template <class Base>
void CMediaHostControl<Base>::SetVisible(bool visible) {
    Base::SetVisible(visible);
    ShowChild(this->IsVisible());
}

// The two hosts of the program; the definitions above are compiled for them only.
template class CMediaHostControl<CGifAnimUI>;
template class CMediaHostControl<CControlUI>;

// ---- CMediaWndUI ------------------------------------------------------------------------------

CMediaWndUI::CMediaWndUI() : CMediaHostControl(true) {
    // The owner plays and stops the animation with the preview.
    SetAutoPlay(false);
    SetBkImage(L"playing.gif");
}
