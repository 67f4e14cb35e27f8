// The test process of the Qt backend: offscreen Qt, one backend on the main thread and the demo
// skin written to a temporary folder.
#include <QDir>

#include "QtTestSupport.h"
#include "uikit/qt/QtRender.h"

int main(int argc, char** argv) {
    const std::wstring skin = qttest::SkinFolder();
    return qttest::RunQtTests(
        argc, argv,
        [&] {
            return qttest::WriteDemoSkin(skin, TW_QT_SKIN_SOURCE "/demo.xml") && CSkinUI::LoadFolder(skin);
        },
        [&] { QDir(UIToQString(skin)).removeRecursively(); });
}
