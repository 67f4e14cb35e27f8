#include "uikit/qt/QtBackend.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "common/Common.h"
#include "platform/Platform.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControls.h"
#include "uikit/UIList.h"
#include "uikit/UIMenu.h"
#include "uikit/UISkin.h"
#include "uikit/UIWindow.h"
#include "uikit/qt/QtRender.h"
#include "uikit/qt/QtSurface.h"

class CSurfaceWidget;

namespace {

CQtBackendUI::Impl* g_impl = nullptr;  // the live backend (one per process)

UIPoint ToUIPoint(const QPointF& pt) {
    return {static_cast<int>(pt.x()), static_cast<int>(pt.y())};
}

uintptr_t KeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
    uintptr_t state = 0;
    if (buttons & Qt::LeftButton) state |= UIMK_LBUTTON;
    if (buttons & Qt::RightButton) state |= UIMK_RBUTTON;
    if (mods & Qt::ShiftModifier) state |= UIMK_SHIFT;
    if (mods & Qt::ControlModifier) state |= UIMK_CONTROL;
    return state;
}

// Qt key to the library's key code (0 when the key has none; its text still arrives as
// characters).
uint32_t MapKey(const QKeyEvent* e) {
    const int k = e->key();
    const bool keypad = (e->modifiers() & Qt::KeypadModifier) != 0;
    switch (k) {
        case Qt::Key_Backspace:
            return UIKEY_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return UIKEY_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return UIKEY_RETURN;
        case Qt::Key_Escape:
            return UIKEY_ESCAPE;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return UIKEY_END;
        case Qt::Key_Home:
            return UIKEY_HOME;
        case Qt::Key_Left:
            return UIKEY_LEFT;
        case Qt::Key_Up:
            return UIKEY_UP;
        case Qt::Key_Right:
            return UIKEY_RIGHT;
        case Qt::Key_Down:
            return UIKEY_DOWN;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return UIKEY_DELETE;
        case Qt::Key_Period:
            return keypad ? UIKEY_DECIMAL : UIKEY_OEM_PERIOD;
        default:
            break;
    }
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return keypad ? UIKEY_NUMPAD0 + (k - Qt::Key_0) : UIKEY_0 + (k - Qt::Key_0);
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return static_cast<uint32_t>(k);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return 0x70 + (k - Qt::Key_F1);
    return 0;
}

// The characters of a key press that are text (control characters come as key codes).
std::wstring TypedText(const QKeyEvent* e) {
    std::wstring out;
    for (wchar_t ch : UIFromQString(e->text())) {
        if (ch >= 0x20 && ch != 0x7F) out += ch;
    }
    return out;
}

bool ControlInTree(CWindowUI* window, const CControlUI* control) {
    if (!window || !control || !CAppUI::IsWindowAlive(window)) return false;
    CControlUI* root = window->GetRoot();
    if (!root) return false;
    std::vector<CControlUI*> all;
    root->CollectControls(&all);
    return std::find(all.begin(), all.end(), control) != all.end();
}

}  // namespace

// ---- Backend state ------------------------------------------------------------------------------

struct CQtBackendUI::Impl {
    CQtBackendUI* self = nullptr;
    std::unique_ptr<QApplication> ownedApp;
    QObject* pumpTarget = nullptr;
    QTimer* timer = nullptr;
    std::atomic<bool> wakePosted{false};
    std::mutex dirtyMutex;
    std::set<CWindowUI*> dirty;
    std::map<CWindowUI*, QPointer<CSurfaceWidget>> surfaces;
    struct Child {
        QPointer<QWidget> widget;
        CWindowUI* parent = nullptr;
    };
    std::map<uintptr_t, Child> children;
    struct Overlay {
        CControlUI* edit = nullptr;
        QPointer<QWidget> widget;
        bool syncing = false;
    };
    std::map<CWindowUI*, Overlay> overlays;
    QPointer<QMenu> comboList;
    std::vector<QPointer<QObject>> graveyard;  // Qt objects deleted once no handler runs
    int dispatchDepth = 0;
    int dpiOverride = 0;
    bool hooksInstalled = false;

    CSurfaceWidget* Surface(CWindowUI* window) const {
        auto it = surfaces.find(window);
        return it == surfaces.end() ? nullptr : it->second.data();
    }
    // Qt objects whose signal or event handler may be on the stack are deleted later.
    void Bury(QObject* object) {
        if (object) graveyard.emplace_back(object);
    }
    void FlushGraveyard() {
        if (dispatchDepth > 0 || graveyard.empty()) return;
        auto dead = std::move(graveyard);
        graveyard.clear();
        for (auto& object : dead) delete object.data();
    }
    void SyncWindows();
    void SyncOverlay(CWindowUI* window, Overlay& overlay);
    void EndOverlay(CWindowUI* window);
    void CheckDpi();
    int WindowDpi(QWidget* surface) const;
};

// Counts the Qt handlers running on the stack, so nothing they use is deleted under them.
class CDispatchGuardUI {
public:
    explicit CDispatchGuardUI(CQtBackendUI::Impl* impl) : m_impl(impl) { ++m_impl->dispatchDepth; }
    ~CDispatchGuardUI() { --m_impl->dispatchDepth; }
    CDispatchGuardUI(const CDispatchGuardUI&) = delete;
    CDispatchGuardUI& operator=(const CDispatchGuardUI&) = delete;

private:
    CQtBackendUI::Impl* m_impl;
};

// ---- The surface of one window ------------------------------------------------------------------

class CSurfaceWidget : public QWidget {
public:
    CSurfaceWidget(CQtBackendUI::Impl* impl, CWindowUI* window, Qt::WindowFlags flags)
        : QWidget(nullptr, flags), m_impl(impl), m_window(window) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_InputMethodEnabled, false);
        setMouseTracking(true);
        setAcceptDrops(true);
        setFocusPolicy(Qt::StrongFocus);
    }
    CWindowUI* Window() const { return m_window; }
    void Detach() { m_window = nullptr; }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter painter(this);
        painter.fillRect(e->rect(), Qt::white);
        if (!m_window) return;
        CDispatchGuardUI guard(m_impl);
        m_window->TakeRepaintRequest();
        CQtRenderUI render(painter);
        m_window->Paint(render);
    }

    void mousePressEvent(QMouseEvent* e) override {
        if (!m_window) return;
        if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
        CDispatchGuardUI guard(m_impl);
        const UIPoint pt = ToUIPoint(e->position());
        const bool right = e->button() == Qt::RightButton;
        m_window->InputMouseDown(pt, right, KeyState(e->buttons(), e->modifiers()));
        if (!right && m_window && InCaption(pt) && windowHandle()) {
            // The caption drags the window: release the library's press first, the window
            // manager owns the mouse until the move ends.
            m_window->InputMouseUp(pt, false, 0);
            windowHandle()->startSystemMove();
        }
        m_impl->self->WakeUp();
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        if (!m_window) return;
        if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputMouseUp(ToUIPoint(e->position()), e->button() == Qt::RightButton,
                               KeyState(e->buttons(), e->modifiers()));
        m_impl->self->WakeUp();
    }

    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (!m_window) return;
        CDispatchGuardUI guard(m_impl);
        if (e->button() == Qt::LeftButton)
            m_window->InputDoubleClick(ToUIPoint(e->position()));
        else if (e->button() == Qt::RightButton)
            m_window->InputMouseDown(ToUIPoint(e->position()), true, KeyState(e->buttons(), e->modifiers()));
        m_impl->self->WakeUp();
    }

    void mouseMoveEvent(QMouseEvent* e) override {
        if (!m_window) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputMouseMove(ToUIPoint(e->position()), KeyState(e->buttons(), e->modifiers()));
        m_impl->self->WakeUp();
    }

    void wheelEvent(QWheelEvent* e) override {
        if (!m_window) return;
        const int delta = e->angleDelta().y();
        if (delta == 0) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputMouseWheel(ToUIPoint(e->position()), delta);
        m_impl->self->WakeUp();
    }

    void leaveEvent(QEvent*) override {
        if (!m_window) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputMouseLeave();
        m_impl->self->WakeUp();
    }

    void keyPressEvent(QKeyEvent* e) override {
        if (!m_window) return;
        CDispatchGuardUI guard(m_impl);
        const uint32_t key = MapKey(e);
        if (key != 0) m_window->InputKeyDown(key);
        for (wchar_t ch : TypedText(e)) {
            if (!m_window) break;
            m_window->InputChar(ch);
        }
        m_impl->self->WakeUp();
    }

    // Tab must reach the library (its own focus order), not Qt's focus chain.
    bool focusNextPrevChild(bool) override { return false; }

    void resizeEvent(QResizeEvent*) override {
        if (!m_window) return;
        const UISize now = m_window->GetClientSize();
        if (now.cx == width() && now.cy == height()) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputResize(width(), height());
        m_impl->self->WakeUp();
    }

    void moveEvent(QMoveEvent*) override {
        if (!m_window) return;
        const UIRect now = m_window->GetWindowRect();
        if (now.left == x() && now.top == y()) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputMoved({x(), y()});
    }

    void closeEvent(QCloseEvent* e) override {
        // The library decides (a handler may refuse); a pop-up is already gone on Qt's side.
        const bool popup = (windowFlags() & Qt::Popup) == Qt::Popup;
        if (popup)
            e->accept();
        else
            e->ignore();
        if (!m_window) return;
        CDispatchGuardUI guard(m_impl);
        m_window->InputCloseRequest();
        m_impl->self->WakeUp();
    }

    void dragEnterEvent(QDragEnterEvent* e) override {
        if (m_window && !LocalPaths(e->mimeData()).empty()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (m_window && !LocalPaths(e->mimeData()).empty()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        if (!m_window) return;
        const std::vector<std::wstring> paths = LocalPaths(e->mimeData());
        if (paths.empty()) return;
        e->acceptProposedAction();
        CDispatchGuardUI guard(m_impl);
        m_window->InputDropFiles(paths, ToUIPoint(e->position()));
        m_impl->self->WakeUp();
    }

    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(e);
            std::wstring tip;
            UIRect area;
            if (m_window) {
                for (CControlUI* c = m_window->FindControl(UIPoint{help->pos().x(), help->pos().y()}); c;
                     c = c->GetParent()) {
                    tip = c->GetToolTip();
                    if (!tip.empty()) {
                        area = c->GetPos();
                        break;
                    }
                }
            }
            if (tip.empty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), UIToQString(tip), this,
                                   QRect(area.left, area.top, area.GetWidth(), area.GetHeight()));
            return true;
        }
        // A pop-up never becomes the active window; Qt closes it on a click outside instead.
        const bool popup = (windowFlags() & Qt::Popup) == Qt::Popup;
        if (!popup && (e->type() == QEvent::WindowActivate || e->type() == QEvent::WindowDeactivate)) {
            if (m_window) {
                CDispatchGuardUI guard(m_impl);
                m_window->InputFocus(e->type() == QEvent::WindowActivate);
                m_impl->self->WakeUp();
            }
        }
        return QWidget::event(e);
    }

private:
    static std::vector<std::wstring> LocalPaths(const QMimeData* data) {
        std::vector<std::wstring> paths;
        if (!data || !data->hasUrls()) return paths;
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) paths.push_back(UIFromQString(url.toLocalFile()));
        }
        return paths;
    }

    // The caption band of the layout ("caption": left, top, distance from the right edge,
    // height), where a press on no interactive control drags the window.
    bool InCaption(UIPoint pt) const {
        const UIRect cap = m_window->GetDPI().Scale(m_window->GetCaptionRect());
        if (cap.bottom <= cap.top) return false;
        if (pt.y < cap.top || pt.y >= cap.bottom || pt.x < cap.left || pt.x >= width() - cap.right)
            return false;
        CControlUI* hit = m_window->FindControl(pt);
        for (CControlUI* c = hit; c; c = c->GetParent()) {
            if (dynamic_cast<CButtonUI*>(c) || dynamic_cast<CEditUI*>(c) || dynamic_cast<CProgressUI*>(c) ||
                dynamic_cast<CListContainerElementUI*>(c))
                return false;
        }
        return true;
    }

    CQtBackendUI::Impl* m_impl;
    CWindowUI* m_window;
};

// What the user types into an edit overlay goes to the library as keys and characters, so the
// edit's own rules (read-only, digits only, the character limit, event hooks of custom controls)
// decide and "textchanged" comes from the model; the overlay then shows the model's text again.
// Input methods compose in the overlay; their committed text arrives as characters too.
class COverlayInputFilterUI : public QObject {
public:
    COverlayInputFilterUI(CQtBackendUI::Impl* impl, CWindowUI* window, CControlUI* edit, QObject* parent)
        : QObject(parent), m_impl(impl), m_window(window), m_edit(edit) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::InputMethod)
            return QObject::eventFilter(watched, e);
        auto it = m_impl->overlays.find(m_window);
        if (it == m_impl->overlays.end() || it->second.edit != m_edit || !it->second.widget) return false;
        QWidget* widget = it->second.widget.data();
        CDispatchGuardUI guard(m_impl);
        if (e->type() == QEvent::InputMethod) {
            auto* im = static_cast<QInputMethodEvent*>(e);
            if (im->commitString().isEmpty()) return false;  // composing: the overlay shows it
            for (wchar_t ch : UIFromQString(im->commitString())) {
                if (!CAppUI::IsWindowAlive(m_window)) break;
                if (ch >= 0x20 || ch == L'\n') m_window->InputChar(ch);
            }
            // What is still being composed stays in the overlay.
            QInputMethodEvent rest(im->preeditString(), im->attributes());
            QCoreApplication::sendEvent(widget, &rest);
            Resync();
            return true;
        }
        auto* key = static_cast<QKeyEvent*>(e);
        if (key == QKeySequence::Copy) return false;  // the overlay copies its selection
        if (key == QKeySequence::Paste) {
            if (const QMimeData* data = QGuiApplication::clipboard()->mimeData(); data && data->hasText()) {
                for (wchar_t ch : UIFromQString(data->text())) {
                    if (!CAppUI::IsWindowAlive(m_window)) break;
                    if (ch >= 0x20) m_window->InputChar(ch);
                }
            }
            Resync();
            return true;
        }
        if (key == QKeySequence::SelectAll) {
            if (auto* edit = dynamic_cast<CEditUI*>(m_edit)) edit->SetSelAll();
            if (auto* line = qobject_cast<QLineEdit*>(widget)) line->selectAll();
            if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) plain->selectAll();
            return true;
        }
        const uint32_t code = MapKey(key);
        if (code != 0) m_window->InputKeyDown(code);
        if (!(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
            for (wchar_t ch : TypedText(key)) {
                if (!CAppUI::IsWindowAlive(m_window)) break;
                m_window->InputChar(ch);
            }
        }
        Resync();
        return true;
    }

private:
    void Resync() {
        if (!CAppUI::IsWindowAlive(m_window)) return;
        auto it = m_impl->overlays.find(m_window);
        if (it != m_impl->overlays.end() && it->second.edit == m_edit)
            m_impl->SyncOverlay(m_window, it->second);
        m_impl->self->WakeUp();
    }
    CQtBackendUI::Impl* m_impl;
    CWindowUI* m_window;
    CControlUI* m_edit;
};

// ---- Impl helpers -------------------------------------------------------------------------------

void CQtBackendUI::Impl::SyncWindows() {
    std::set<CWindowUI*> changed;
    {
        std::lock_guard<std::mutex> lock(dirtyMutex);
        changed.swap(dirty);
    }
    for (auto& [window, surface] : surfaces) {
        if (!surface) continue;
        const bool pending = window->TakeRepaintRequest();
        if (pending || changed.count(window)) surface->update();
    }
    std::vector<CWindowUI*> withOverlay;
    for (auto& [window, overlay] : overlays) withOverlay.push_back(window);
    for (CWindowUI* window : withOverlay) {
        auto it = overlays.find(window);
        if (it != overlays.end()) SyncOverlay(window, it->second);
    }
}

void CQtBackendUI::Impl::SyncOverlay(CWindowUI* window, Overlay& overlay) {
    if (!overlay.widget || window->GetFocus() != overlay.edit) {
        EndOverlay(window);
        return;
    }
    auto* edit = dynamic_cast<CEditUI*>(overlay.edit);
    if (!edit || !edit->IsVisible()) {
        EndOverlay(window);
        return;
    }
    // The overlay shows the model's text and caret (typed text, rules and the program's own
    // SetText all end up there).
    const QString text = UIToQString(edit->GetText());
    const int caret = std::clamp(edit->GetCaret(), 0, static_cast<int>(text.size()));
    overlay.syncing = true;
    if (auto* line = qobject_cast<QLineEdit*>(overlay.widget.data())) {
        if (line->text() != text) line->setText(text);
        if (line->cursorPosition() != caret && !line->hasSelectedText()) line->setCursorPosition(caret);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(overlay.widget.data())) {
        if (plain->toPlainText() != text) plain->setPlainText(text);
        QTextCursor cursor = plain->textCursor();
        if (cursor.position() != caret && !cursor.hasSelection()) {
            cursor.setPosition(caret);
            plain->setTextCursor(cursor);
        }
    }
    overlay.syncing = false;
    const UIRect rc = edit->GetPos();
    const int border = std::max(0, edit->GetBorderSize());
    QRect geometry(rc.left + border, rc.top + border, std::max(0, rc.GetWidth() - 2 * border),
                   std::max(0, rc.GetHeight() - 2 * border));
    if (overlay.widget->geometry() != geometry) overlay.widget->setGeometry(geometry);
    // The display scale may have changed since the overlay was made.
    const QFont font = CQtRenderUI::MakeFont(edit->GetFontInfo(), window->GetDPI().GetScale());
    if (overlay.widget->font() != font) overlay.widget->setFont(font);
}

void CQtBackendUI::Impl::EndOverlay(CWindowUI* window) {
    auto it = overlays.find(window);
    if (it == overlays.end()) return;
    QWidget* widget = it->second.widget.data();
    overlays.erase(it);
    if (!widget) return;
    const bool hadFocus = widget->hasFocus();
    widget->hide();
    Bury(widget);
    if (CSurfaceWidget* surface = Surface(window); surface && hadFocus) surface->setFocus();
}

int CQtBackendUI::Impl::WindowDpi(QWidget* surface) const {
    if (dpiOverride > 0) return dpiOverride;
    QScreen* screen = surface ? surface->screen() : QGuiApplication::primaryScreen();
    if (!screen) return 96;
    return std::max(24, static_cast<int>(screen->logicalDotsPerInch() + 0.5));
}

void CQtBackendUI::Impl::CheckDpi() {
    std::vector<std::pair<CWindowUI*, int>> changes;
    for (auto& [window, surface] : surfaces) {
        if (!surface) continue;
        const int dpi = WindowDpi(surface);
        if (dpi != window->GetDPI().GetDPI()) changes.emplace_back(window, dpi);
    }
    for (auto& [window, dpi] : changes) {
        if (!Surface(window)) continue;
        const int old = std::max(1, window->GetDPI().GetDPI());
        const UIRect rc = window->GetWindowRect();
        const UIRect suggested{rc.left, rc.top, rc.left + rc.GetWidth() * dpi / old,
                               rc.top + rc.GetHeight() * dpi / old};
        CDispatchGuardUI guard(this);
        window->InputDpiChanged(dpi, suggested);
    }
    self->WakeUp();
}

// ---- Construction -------------------------------------------------------------------------------

CQtBackendUI::CQtBackendUI() : m(std::make_unique<Impl>()) {
    m->self = this;
    if (!QApplication::instance()) {
        // The library scales layouts by the screen's DPI itself; Qt must not scale again.
        setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 0);
        const char* qpa = getenv("QT_QPA_PLATFORM");
        const char* x11 = getenv("DISPLAY");
        const char* wayland = getenv("WAYLAND_DISPLAY");
        if ((!qpa || !*qpa) && (!x11 || !*x11) && (!wayland || !*wayland))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "tonewright";
        static char* argv[] = {name, nullptr};
        m->ownedApp = std::make_unique<QApplication>(argc, argv);
    }
    m->pumpTarget = new QObject();
    m->timer = new QTimer(m->pumpTarget);
    m->timer->setSingleShot(true);
    m->timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m->timer, &QTimer::timeout, m->pumpTarget, [this] { Pump(); });
    auto watchScreen = [this](QScreen* screen) {
        QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, m->pumpTarget,
                         [this] { m->CheckDpi(); });
    };
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, m->pumpTarget, watchScreen);
    g_impl = m.get();
}

CQtBackendUI::~CQtBackendUI() {
    if (m->hooksInstalled) {
        CCommon::SetOpenFilesHook(nullptr);
        CCommon::SetBrowseFolderHook(nullptr);
    }
    if (g_impl == m.get()) g_impl = nullptr;
    m->overlays.clear();
    if (m->comboList) delete m->comboList.data();
    for (auto& [window, surface] : m->surfaces) {
        if (surface) {
            surface->Detach();
            delete surface.data();
        }
    }
    m->surfaces.clear();
    m->children.clear();
    m->dispatchDepth = 0;
    m->FlushGraveyard();
    delete m->pumpTarget;
    m->pumpTarget = nullptr;
    m->ownedApp.reset();
}

// ---- Windows ------------------------------------------------------------------------------------

void CQtBackendUI::CreateNativeWindow(CWindowUI* window) {
    if (!window || m->Surface(window)) return;
    const bool popup = dynamic_cast<CMenuUI*>(window) != nullptr;
    const Qt::WindowFlags flags = popup ? (Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
                                        : (Qt::Window | Qt::FramelessWindowHint);
    auto* surface = new CSurfaceWidget(m.get(), window, flags);
    surface->setWindowTitle(UIToQString(window->GetTitle()));
    const UISize size = window->GetClientSize();
    surface->resize(std::max(0, size.cx), std::max(0, size.cy));
    const UIRect rc = window->GetWindowRect();
    if (!rc.IsEmpty()) surface->move(rc.left, rc.top);
    const WId id = surface->winId();
    if (CWindowUI* owner = window->GetOwner()) {
        if (CSurfaceWidget* ownerSurface = m->Surface(owner); ownerSurface && ownerSurface->windowHandle()) {
            surface->windowHandle()->setTransientParent(ownerSurface->windowHandle());
        }
    }
    if (QWindow* handle = surface->windowHandle()) {
        QObject::connect(handle, &QWindow::screenChanged, surface, [this] { m->CheckDpi(); });
    }
    m->surfaces[window] = surface;
    window->SetNativeHandle(static_cast<uintptr_t>(id));
}

void CQtBackendUI::DestroyNativeWindow(CWindowUI* window) {
    auto it = m->surfaces.find(window);
    if (it == m->surfaces.end()) return;
    m->EndOverlay(window);
    CSurfaceWidget* surface = it->second.data();
    m->surfaces.erase(it);
    // An open combo list of this window goes with it (its pick would have no combo to reach).
    if (m->comboList && surface && m->comboList->parentWidget() == surface) m->comboList->close();
    for (auto child = m->children.begin(); child != m->children.end();) {
        if (child->second.parent == window)
            child = m->children.erase(child);
        else
            ++child;
    }
    {
        std::lock_guard<std::mutex> lock(m->dirtyMutex);
        m->dirty.erase(window);
    }
    if (!surface) return;
    surface->Detach();
    surface->hide();
    m->Bury(surface);
    WakeUp();
}

void CQtBackendUI::ShowNativeWindow(CWindowUI* window, bool show, bool activate) {
    CSurfaceWidget* surface = m->Surface(window);
    if (!surface) return;
    if (!show) {
        surface->hide();
        return;
    }
    if (!surface->isVisible()) {
        const bool modal = window->IsModal() || CAppUI::GetTopModal() == window;
        surface->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
        surface->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    }
    surface->show();
    if (activate) {
        surface->raise();
        surface->activateWindow();
    }
}

void CQtBackendUI::MoveNativeWindow(CWindowUI* window, const UIRect& screenRect) {
    CSurfaceWidget* surface = m->Surface(window);
    if (!surface) return;
    surface->setGeometry(screenRect.left, screenRect.top, std::max(0, screenRect.GetWidth()),
                         std::max(0, screenRect.GetHeight()));
}

void CQtBackendUI::SetNativeTitle(CWindowUI* window, const std::wstring& title) {
    if (CSurfaceWidget* surface = m->Surface(window)) surface->setWindowTitle(UIToQString(title));
}

void CQtBackendUI::SysCommand(CWindowUI* window, uintptr_t command) {
    CSurfaceWidget* surface = m->Surface(window);
    if (!surface) return;
    switch (command) {
        case UISC_MINIMIZE:
            surface->showMinimized();
            break;
        case UISC_MAXIMIZE:
            surface->showMaximized();
            break;
        case UISC_RESTORE:
            surface->showNormal();
            break;
        default:
            break;
    }
}

void CQtBackendUI::RequestRepaint(CWindowUI* window) {
    {
        std::lock_guard<std::mutex> lock(m->dirtyMutex);
        m->dirty.insert(window);
    }
    WakeUp();
}

// ---- Event loop ---------------------------------------------------------------------------------

void CQtBackendUI::WakeUp() {
    if (m->wakePosted.exchange(true)) return;
    Impl* impl = m.get();
    QMetaObject::invokeMethod(
        m->pumpTarget,
        [impl] {
            impl->wakePosted = false;
            impl->self->Pump();
        },
        Qt::QueuedConnection);
}

void CQtBackendUI::Pump() {
    const int64_t next = CAppUI::ProcessPending();
    m->SyncWindows();
    m->FlushGraveyard();
    if (next < 0) {
        m->timer->stop();
    } else {
        m->timer->start(static_cast<int>(std::min<int64_t>(next, 24LL * 3600 * 1000)));
    }
}

void CQtBackendUI::RunLoop(const std::function<bool()>& done) {
    while (!done()) {
        Pump();
        if (done()) break;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    // Deliver what the last handler changed (repaints, deletions) before returning.
    m->SyncWindows();
    m->FlushGraveyard();
}

uint64_t CQtBackendUI::NowMs() {
    return platform::TickCountMs();
}

int CQtBackendUI::GetScreenDpi() {
    return m->WindowDpi(nullptr);
}

UIRect CQtBackendUI::GetWorkArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {0, 0, 1920, 1040};
    const QRect r = screen->availableGeometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void CQtBackendUI::SetScreenDpiOverride(int dpi) {
    m->dpiOverride = std::max(0, dpi);
    m->CheckDpi();
}

// ---- Pop-ups and text input ---------------------------------------------------------------------

void CQtBackendUI::ShowComboDropDown(CWindowUI* window, CComboUI* combo) {
    CSurfaceWidget* surface = m->Surface(window);
    if (!surface || !combo) {
        if (combo)
            CAppUI::Post([window, combo] {
                if (ControlInTree(window, combo)) combo->OnDropDownClosed(-1);
            });
        return;
    }
    if (m->comboList) m->comboList->close();
    auto* list = new QMenu(surface);
    const int scale = window->GetDPI().GetScale();
    list->setFont(CQtRenderUI::MakeFont(combo->GetFontInfo(), scale));
    const UIRect rc = combo->GetPos();
    list->setMinimumWidth(std::max(0, rc.GetWidth()));
    const int current = combo->GetCurSel();
    const int count = combo->GetItemCount();
    for (int i = 0; i < count; ++i) {
        QAction* action = list->addAction(UIToQString(combo->GetItemText(i)));
        action->setCheckable(true);
        action->setChecked(i == current);
        action->setData(i);
    }
    auto picked = std::make_shared<int>(-1);
    QObject::connect(list, &QMenu::triggered, list,
                     [picked](QAction* action) { *picked = action->data().toInt(); });
    Impl* impl = m.get();
    // Qt hides the list before it reports the chosen action, so the answer waits one turn.
    QPointer<QMenu> guarded(list);
    QObject::connect(list, &QMenu::aboutToHide, list, [impl, window, combo, picked, guarded] {
        QMetaObject::invokeMethod(
            impl->pumpTarget,
            [impl, window, combo, picked, guarded] {
                if (guarded) {
                    if (impl->comboList == guarded) impl->comboList = nullptr;
                    impl->Bury(guarded.data());
                }
                if (ControlInTree(window, combo)) {
                    CDispatchGuardUI guard(impl);
                    combo->OnDropDownClosed(*picked);
                }
                impl->self->WakeUp();
            },
            Qt::QueuedConnection);
    });
    m->comboList = list;
    list->popup(surface->mapToGlobal(QPoint(rc.left, rc.bottom)));
}

void CQtBackendUI::BeginTextInput(CWindowUI* window, CControlUI* control) {
    CSurfaceWidget* surface = m->Surface(window);
    auto* edit = dynamic_cast<CEditUI*>(control);
    if (!surface || !edit) return;
    auto existing = m->overlays.find(window);
    if (existing != m->overlays.end() && existing->second.edit == control && existing->second.widget) return;
    m->EndOverlay(window);

    const int scale = window->GetDPI().GetScale();
    QPalette palette = surface->palette();
    uint32_t textColor = edit->GetTextColor();
    if ((textColor >> 24) == 0) textColor = window->GetDefaultTextColor();
    if ((textColor >> 24) == 0) textColor = 0xFF000000;
    uint32_t bkColor = edit->GetBkColor();
    if ((bkColor >> 24) != 0xFF) bkColor = 0xFFFFFFFF;  // the overlay hides the painted text
    palette.setColor(QPalette::Text, QColor::fromRgba(textColor));
    palette.setColor(QPalette::Base, QColor::fromRgba(bkColor));
    palette.setColor(QPalette::PlaceholderText, QColor::fromRgba(edit->GetTipValueColor()));

    Impl* impl = m.get();
    // A click inside the overlay moves the caret of the model too.
    auto caretMoved = [impl, window, edit](int position) {
        auto it = impl->overlays.find(window);
        if (it == impl->overlays.end() || it->second.edit != edit || it->second.syncing) return;
        edit->SetCaret(position);
    };
    QWidget* widget = nullptr;
    if (dynamic_cast<CRichEditUI*>(edit)) {
        auto* plain = new QPlainTextEdit(surface);
        plain->setFrameStyle(QFrame::NoFrame);
        plain->setPlainText(UIToQString(edit->GetText()));
        plain->setReadOnly(edit->IsReadOnly());
        plain->setPlaceholderText(UIToQString(edit->GetTipValue()));
        QObject::connect(plain, &QPlainTextEdit::cursorPositionChanged, plain,
                         [plain, caretMoved] { caretMoved(plain->textCursor().position()); });
        widget = plain;
    } else {
        auto* line = new QLineEdit(surface);
        line->setFrame(false);
        line->setText(UIToQString(edit->GetText()));
        line->setReadOnly(edit->IsReadOnly());
        line->setEchoMode(edit->IsPasswordMode() ? QLineEdit::Password : QLineEdit::Normal);
        line->setPlaceholderText(UIToQString(edit->GetTipValue()));
        const uint32_t style = edit->GetTextStyle();
        line->setAlignment((style & UIDT_CENTER)  ? Qt::AlignHCenter | Qt::AlignVCenter
                           : (style & UIDT_RIGHT) ? Qt::AlignRight | Qt::AlignVCenter
                                                  : Qt::AlignLeft | Qt::AlignVCenter);
        QObject::connect(line, &QLineEdit::cursorPositionChanged, line,
                         [caretMoved](int, int position) { caretMoved(position); });
        widget = line;
    }
    widget->setFont(CQtRenderUI::MakeFont(edit->GetFontInfo(), scale));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    widget->installEventFilter(new COverlayInputFilterUI(impl, window, edit, widget));
    Impl::Overlay overlay;
    overlay.edit = edit;
    overlay.widget = widget;
    m->overlays[window] = overlay;
    m->SyncOverlay(window, m->overlays[window]);
    if (auto it = m->overlays.find(window); it != m->overlays.end() && it->second.widget) {
        widget->show();
        widget->setFocus();
    }
}

void CQtBackendUI::EndTextInput(CWindowUI* window, CControlUI* edit) {
    auto it = m->overlays.find(window);
    if (it == m->overlays.end() || (edit && it->second.edit != edit)) return;
    m->EndOverlay(window);
}

// ---- Dialogs ------------------------------------------------------------------------------------

bool CQtBackendUI::ChooseFiles(CWindowUI* owner, const std::wstring& title, const std::wstring& filter,
                               bool multiple, std::vector<std::wstring>* files) {
    if (!files) return false;
    QFileDialog dialog(m->Surface(owner), UIToQString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    const QString nameFilter = UIToQString(filter);
    if (!nameFilter.isEmpty()) {
        // A label that carries its own pattern text shows just the label.
        const int open = nameFilter.lastIndexOf(QLatin1Char('('));
        if (open > 0 && nameFilter.left(open).contains(QLatin1Char('(')))
            dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        dialog.setNameFilter(nameFilter);
    }
    CDispatchGuardUI guard(m.get());
    if (dialog.exec() != QDialog::Accepted) return false;
    files->clear();
    for (const QString& path : dialog.selectedFiles()) files->push_back(UIFromQString(path));
    return !files->empty();
}

bool CQtBackendUI::ChooseFolder(CWindowUI* owner, const std::wstring& title, std::wstring* folder) {
    if (!folder) return false;
    QFileDialog dialog(m->Surface(owner), UIToQString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    CDispatchGuardUI guard(m.get());
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    *folder = UIFromQString(chosen.back());
    return true;
}

QString UIQtNameFilter(const std::wstring& displayText, const std::wstring& patterns) {
    // The Windows filter pads its texts with tabs; Qt filters by space-separated patterns.
    QString label = UIToQString(displayText);
    label.remove(QLatin1Char('\t'));
    label = label.trimmed();
    QStringList list;
    for (const QString& part :
         UIToQString(patterns).split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts)) {
        if (!list.contains(part)) list << part;
    }
    if (list.isEmpty()) list << QStringLiteral("*");
    if (label.isEmpty()) label = QStringLiteral("Files");
    return label + QStringLiteral(" (") + list.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void CQtBackendUI::InstallCommonHooks() {
    m->hooksInstalled = true;
    CCommon::SetOpenFilesHook([this](void* owner, const std::wstring& text, const std::wstring& patterns,
                                     std::wstring* folder, std::vector<std::wstring>* names) {
        bool ok = false;
        auto show = [&] {
            auto* window = static_cast<CWindowUI*>(owner);
            if (window && !CAppUI::IsWindowAlive(window)) window = nullptr;
            std::vector<std::wstring> files;
            if (!ChooseFiles(window, L"", UIFromQString(UIQtNameFilter(text, patterns)), true, &files))
                return;
            // The dialog answers one folder and the chosen names inside it.
            const QFileInfo first(UIToQString(files.front()));
            QString base = first.absolutePath();
            if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
            if (folder) *folder = UIFromQString(base);
            if (names) {
                names->clear();
                for (const std::wstring& path : files) {
                    const QString q = UIToQString(path);
                    names->push_back(UIFromQString(q.startsWith(base) ? q.mid(base.size()) : q));
                }
            }
            ok = true;
        };
        if (CAppUI::IsUIThread())
            show();
        else
            CAppUI::Invoke(show);
        return ok;
    });
    CCommon::SetBrowseFolderHook([this](void* owner, std::wstring* folder) {
        bool ok = false;
        auto show = [&] {
            auto* window = static_cast<CWindowUI*>(owner);
            if (window && !CAppUI::IsWindowAlive(window)) window = nullptr;
            ok = ChooseFolder(window, L"", folder);
        };
        if (CAppUI::IsUIThread())
            show();
        else
            CAppUI::Invoke(show);
        return ok;
    });
}

// ---- Native child windows -----------------------------------------------------------------------

uintptr_t CQtBackendUI::CreateChildWindow(CWindowUI* parent, const UIRect& rc, bool transparent) {
    CSurfaceWidget* surface = m->Surface(parent);
    if (!surface) return 0;
    auto* child = new QWidget(surface);
    child->setAttribute(Qt::WA_NativeWindow);
    child->setAttribute(Qt::WA_DontCreateNativeAncestors);
    // Clicks on a video fall through to the control under it.
    child->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (transparent) {
        child->setAttribute(Qt::WA_TranslucentBackground);
    } else {
        QPalette palette = child->palette();
        palette.setColor(QPalette::Window, Qt::black);
        child->setPalette(palette);
        child->setAutoFillBackground(true);
    }
    child->setGeometry(rc.left, rc.top, std::max(0, rc.GetWidth()), std::max(0, rc.GetHeight()));
    const auto handle = static_cast<uintptr_t>(child->winId());
    if (handle == 0 || m->children.count(handle)) {
        delete child;
        return 0;
    }
    child->show();
    m->children[handle] = Impl::Child{child, parent};
    return handle;
}

bool CQtBackendUI::IsChildWindow(uintptr_t child) {
    auto it = m->children.find(child);
    return it != m->children.end() && it->second.widget;
}

void CQtBackendUI::MoveChildWindow(uintptr_t child, const UIRect& rc) {
    auto it = m->children.find(child);
    if (it == m->children.end() || !it->second.widget) return;
    it->second.widget->setGeometry(rc.left, rc.top, std::max(0, rc.GetWidth()), std::max(0, rc.GetHeight()));
}

void CQtBackendUI::ShowChildWindow(uintptr_t child, bool show) {
    auto it = m->children.find(child);
    if (it == m->children.end() || !it->second.widget) return;
    it->second.widget->setVisible(show);
}

void CQtBackendUI::SetChildWindowColor(uintptr_t child, uint32_t argb) {
    auto it = m->children.find(child);
    if (it == m->children.end() || !it->second.widget) return;
    QWidget* widget = it->second.widget.data();
    if (widget->testAttribute(Qt::WA_TranslucentBackground)) return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QColor::fromRgba(argb));
    widget->setPalette(palette);
    widget->update();
}

void CQtBackendUI::DestroyChildWindow(uintptr_t child) {
    auto it = m->children.find(child);
    if (it == m->children.end()) return;
    QWidget* widget = it->second.widget.data();
    m->children.erase(it);
    if (widget) {
        widget->hide();
        m->Bury(widget);
    }
}

CWindowUI* CQtBackendUI::GetChildWindowParent(uintptr_t child) {
    auto it = m->children.find(child);
    return it == m->children.end() || !it->second.widget ? nullptr : it->second.parent;
}

// ---- Other services -----------------------------------------------------------------------------

void CQtBackendUI::BringToFront(CWindowUI* window) {
    Impl* impl = m.get();
    CAppUI::Post([impl, window] {
        CSurfaceWidget* surface = impl->Surface(window);
        if (!surface) return;
        if (surface->isMinimized()) surface->showNormal();
        surface->show();
        surface->raise();
        surface->activateWindow();
    });
    WakeUp();
}

bool CQtBackendUI::SetWindowIcon(CWindowUI* window, const std::wstring& skinImage) {
    CSurfaceWidget* surface = m->Surface(window);
    std::string bytes;
    if (!surface || !CSkinUI::ReadFile(skinImage, &bytes)) return false;
    QPixmap pixmap;
    if (!pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<uint>(bytes.size())))
        return false;
    surface->setWindowIcon(QIcon(pixmap));
    return true;
}

bool CQtBackendUI::SaveWindowImage(CWindowUI* window, const std::wstring& pngPath) {
    const QImage image = UIQtGrab(window);
    if (image.isNull()) return false;
    return image.save(UIToQString(pngPath), "PNG");
}

// ---- Qt-level access ----------------------------------------------------------------------------

QWidget* UIQtSurface(CWindowUI* window) {
    return g_impl ? g_impl->Surface(window) : nullptr;
}

QImage UIQtGrab(CWindowUI* window) {
    QWidget* surface = UIQtSurface(window);
    if (!surface || surface->width() <= 0 || surface->height() <= 0) return {};
    window->UpdateLayout();
    return surface->grab().toImage();
}

QWidget* UIQtTextOverlay(CWindowUI* window) {
    if (!g_impl) return nullptr;
    auto it = g_impl->overlays.find(window);
    return it == g_impl->overlays.end() ? nullptr : it->second.widget.data();
}

QMenu* UIQtOpenComboList() {
    return g_impl ? g_impl->comboList.data() : nullptr;
}

QWidget* UIQtChildWidget(uintptr_t handle) {
    if (!g_impl) return nullptr;
    auto it = g_impl->children.find(handle);
    return it == g_impl->children.end() ? nullptr : it->second.widget.data();
}
