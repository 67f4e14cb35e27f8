// The program's entry: the only file of the program that sees Qt. It sets the locale, hands over
// to a running instance when there is one, configures logging, starts the Qt backend with the
// embedded skin, runs the main window and tears everything down. Files named on the command line
// (a desktop entry's "%F") are added to the window, or handed to the instance already running.
#include <QGuiApplication>
#include <QWidget>

#include "app/MainFrameWnd.h"
#include "app/Startup.h"
#include "common/Common.h"
#include "platform/Platform.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit/qt/QtSurface.h"

#ifndef TW_APP_ID
#define TW_APP_ID "org.tonewright.Tonewright"
#endif

namespace {

// Shows the main window at a second start: restored when minimised, otherwise shown; the focus
// is not taken from the window the user is in.
void ShowMainWindow(CStartup& startup) {
    CAppUI::Post([&startup] {
        CMainFrameWnd* wnd = startup.MainWindow();
        if (!wnd || !CAppUI::IsWindowAlive(wnd)) return;
        QWidget* surface = UIQtSurface(wnd);
        if (!surface) return;
        if (surface->isMinimized()) {
            surface->showNormal();
        } else {
            surface->show();
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    platform::InitLocale();
    const std::vector<std::wstring> files = CStartup::FilesFromArguments(argc, argv);
    if (CStartup::ShowRunningInstance(files)) return 0;

    CStartup startup;
    if (!startup.Claim([&startup] { ShowMainWindow(startup); }, files)) return 0;
    startup.ConfigureLogging();
    startup.OpenFilesWhenReady(files);

    {
        // The desktop entry's name: window managers match the window to its entry and icon by it.
        QGuiApplication::setDesktopFileName(QStringLiteral(TW_APP_ID));
        CQtBackendUI backend;
        CAppUI::SetBackend(&backend);
        backend.InstallCommonHooks();
        if (CSkinUI::LoadEmbedded()) {
            startup.RunMainWindow(
                [&backend](CMainFrameWnd& wnd) { backend.SetWindowIcon(&wnd, L"logo.png"); });
            CSkinUI::Release();
        }
        CAppUI::SetBackend(nullptr);
    }
    startup.Shutdown();
    // A probe given up on may still be inside the media library; ending normally would destroy
    // the library's state under it.
    if (CCommon::OnGetProbesStillRunning() > 0) platform::ExitNow(0);
    return 0;
}
