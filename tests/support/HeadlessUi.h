// The headless backend and its test driver, the pair every window test starts from. No GoogleTest
// inside: soak tests and benchmarks can use it as well as test fixtures.
#pragma once

#include <memory>

#include "uikit/UIHeadless.h"

namespace testsupport {

// Makes a headless backend the library's backend, with a test driver on it, for the lifetime of
// the object. Windows on it must be gone before the object is; on the way out the driver runs
// what is still queued, then the backend is unset and destroyed.
class HeadlessUi {
public:
    // `virtualClock`: timers move only with the driver's AdvanceTime (see CHeadlessBackendUI).
    explicit HeadlessUi(bool virtualClock = true);
    virtual ~HeadlessUi();
    HeadlessUi(const HeadlessUi&) = delete;
    HeadlessUi& operator=(const HeadlessUi&) = delete;

    std::unique_ptr<CHeadlessBackendUI> backend;
    std::unique_ptr<CTestDriverUI> driver;
};

}  // namespace testsupport
