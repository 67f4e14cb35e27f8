// Qt-level access to the windows of the live CQtBackendUI: the surface widget of a window, its
// rendered image, the text-input overlay of a focused edit, the open combo list and the widgets
// behind native child windows. For the program's entry and for tests of the backend.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <string>

class QMenu;
class QWidget;
class CWindowUI;

// The surface widget of a window (nullptr when the window has no native window here).
QWidget* UIQtSurface(CWindowUI* window);
// The window painted as on screen (a null image for a zero-size or unknown window).
QImage UIQtGrab(CWindowUI* window);
// The Qt editor laid over the window's focused edit (QLineEdit, or QPlainTextEdit for a rich
// edit), nullptr when no edit of that window is being typed in.
QWidget* UIQtTextOverlay(CWindowUI* window);
// The open item list of a combo (nullptr when none is open).
QMenu* UIQtOpenComboList();
// The widget of a native child window (nullptr when the handle is unknown).
QWidget* UIQtChildWidget(uintptr_t handle);
// The open-file dialog's Qt name filter for a filter entry given as a display text and a pattern
// list in the Windows style ("Text(*.a;*.b;)" padded with tabs, "*.a;*.b"): the display text
// without its padding, then the patterns Qt filters by.
QString UIQtNameFilter(const std::wstring& displayText, const std::wstring& patterns);
