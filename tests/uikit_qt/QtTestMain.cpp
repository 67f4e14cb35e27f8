// The test process of the Qt backend: offscreen Qt, one backend on the main thread and the demo
// skin written to a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QDir>

#include "QtTestSupport.h"
#include "platform/Platform.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtRender.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    platform::InitLocale();
    ::testing::InitGoogleTest(&argc, argv);
    int rc = 1;
    {
        CQtBackendUI backend;
        CAppUI::SetBackend(&backend);
        qttest::SetBackend(&backend);
        const std::wstring skin = qttest::SkinFolder();
        if (!qttest::WriteDemoSkin(skin, TW_QT_SKIN_SOURCE "/demo.xml") || !CSkinUI::LoadFolder(skin)) {
            fprintf(stderr, "cannot write the demo skin\n");
            return 1;
        }
        rc = RUN_ALL_TESTS();
        CSkinUI::Release();
        QDir(UIToQString(skin)).removeRecursively();
        qttest::SetBackend(nullptr);
        CAppUI::SetBackend(nullptr);
    }
    return rc;
}
