#include "support/MainWindowFixture.h"

#include "app/BatchHandlers.h"
#include "ui/TaskList.h"

namespace testsupport {

MainWindowFixture::~MainWindowFixture() {
    if (wnd) Discard();
    StopPool();
}

bool MainWindowFixture::Open(const OpenOptions& options) {
    backend->SetScreenDpi(options.dpi);
    wnd = std::make_unique<CMainFrameWnd>(L"", options.frame);
    wnd->SetMessageHook([this](int kind, const std::wstring& text) {
        messages.push_back({kind, text});
        return answer;
    });
    if (!wnd->Create(nullptr, options.title, 0, 0, options.width, options.height)) {
        wnd.reset();
        return false;
    }
    if (options.dpi != 96) wnd->ApplyDPI(options.dpi);
    if (options.show) wnd->ShowWindow(true);
    if (options.instantBatch) wnd->Batch().SetAnimationDelayMs(0);
    if (options.poolThreads > 0) {
        StopPool();
        pool = std::make_unique<CWorkThreadPoolImpl>();
        pool->StartWith(options.poolThreads, options.poolThreads);
        wnd->Batch().SetPool(pool.get());
    }
    driver->Pump();
    return true;
}

void MainWindowFixture::CloseAfterBatches(int timeoutMs) {
    if (!wnd) return;
    for (int page = 0; page < 8; ++page) {
        driver->PumpUntil([&] { return !wnd->Batch().IsRunning(page, 0); }, timeoutMs);
    }
    driver->PumpUntil([&] { return !wnd->Batch().IsSingleRunning(); }, timeoutMs);
    wnd->CloseSequence();
    driver->Pump();
    StopPool();
    wnd.reset();
}

void MainWindowFixture::Discard(int timeoutMs) {
    if (!wnd) return;
    driver->PumpUntil([&] { return !wnd->Tasks().Pending(); }, timeoutMs);
    wnd.reset();
}

void MainWindowFixture::StopPool() {
    if (pool) pool->Stop();
}

}  // namespace testsupport
