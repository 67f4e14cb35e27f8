#include "support/HeadlessUi.h"

#include "uikit/UIlib.h"

namespace testsupport {

HeadlessUi::HeadlessUi(bool virtualClock) : backend(std::make_unique<CHeadlessBackendUI>(virtualClock)) {
    CAppUI::SetBackend(backend.get());
    driver = std::make_unique<CTestDriverUI>(*backend);
}

HeadlessUi::~HeadlessUi() {
    driver->Pump();
    driver.reset();
    CAppUI::SetBackend(nullptr);
    backend.reset();
}

}  // namespace testsupport
