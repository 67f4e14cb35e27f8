// Shared pieces of every Qt test suite: the test main with the one backend of the process, the demo
// skin with images painted at run time, a hand-made animated GIF, pumping, the screenshot folder
// and pixel checks.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"

namespace qttest {

// The backend created by the test main (the process's UI thread is the main thread).
CQtBackendUI& Backend();
void SetBackend(CQtBackendUI* backend);

// The main of a Qt test process: offscreen Qt, the locale, GoogleTest, one backend on the main
// thread made the library's and Backend(), the skin loaded by `loadSkin` (by default the one
// embedded in the executable), every test, then the skin released, `cleanUp` and the backend gone.
// A skin that does not load ends the process with 1 before any test runs.
int RunQtTests(int argc, char** argv, const std::function<bool()>& loadSkin = {},
               const std::function<void()>& cleanUp = {});

// Folder holding demo.xml and its generated images (ends with "/"), and where screenshots go.
std::wstring SkinFolder();
std::string ScreenshotFolder();
// Writes the demo skin (layout copied from the source tree, images painted now) into `folder`.
bool WriteDemoSkin(const std::wstring& folder, const std::string& layoutSource);

// An animated GIF of solid frames (4-colour palette: 0 red, 1 blue, 2 green, 3 black), each
// `delayCs` hundredths of a second, looping.
std::string MakeSolidGif(int width, int height, const std::vector<int>& frameColourIndexes, int delayCs);
// The screenshot file of `stem` at `dpi`: <ScreenshotFolder()><stem>.png at 96 dpi, otherwise
// <stem>@150.png.
std::string ScreenshotPath(const std::string& stem, int dpi);
// After PumpFor(), the window as Qt paints it, saved to ScreenshotPath(stem, dpi); a null image,
// and no file, when the window cannot be grabbed.
QImage Shoot(CWindowUI* window, const std::string& stem, int dpi);
// Encoded PNG bytes of an image.
std::string PngBytes(const QImage& image);

// Processes Qt events and the library's queue until `pred()` holds; false when it still does not
// hold after `timeoutMs` (a bound for broken code, not a delay the test relies on).
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
void PumpAll();
// `rounds` times: Qt's events, then the library's posted tasks and due timers (no waiting).
void PumpFor(int rounds = 20);

// True when the two colours differ by at most `tolerance` in every channel.
bool Near(QColor a, QColor b, int tolerance = 8);
// Number of pixels in the rectangle whose colour is far (> tolerance) from `background`.
int CountDifferent(const QImage& image, const QRect& rect, QColor background, int tolerance = 60);
// Number of pixels in the rectangle whose colour is near (<= tolerance) `colour`.
int CountNear(const QImage& image, const QRect& rect, QColor colour, int tolerance);
// Ink on the skin's white and pale grounds: pixels of a control's rectangle with a colour channel
// below 200 (red, green and, with `countBlue`, blue), which text, marks and fills leave.
int Ink(const QImage& image, const UIRect& rc, bool countBlue = true);
QRect ToQRect(const UIRect& rc);

// The demo window: built from demo.xml, records notifications and dropped files.
class CDemoWnd : public CWindowUI {
public:
    std::wstring GetSkinFile() override { return m_skin; }
    std::wstring GetWindowClassName() const override { return L"DemoWnd"; }
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;
    bool Seen(const std::wstring& typeAndName) const;
    std::vector<std::wstring> log;
    std::vector<std::wstring> dropped;
    std::vector<std::wstring> menuClicks;  // item names of UIMSG_MENUCLICK
    std::vector<uint32_t> messages;        // other posted messages from UIMSG_USER on
    std::vector<std::wstring> keys;        // "key:<code>" and "char:<c>" as the window got them
    std::wstring m_skin = L"demo.xml";
    std::wstring closeOn;  // a click on this control closes the window with result 7
};

}  // namespace qttest
