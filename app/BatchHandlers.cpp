#include "app/BatchHandlers.h"

// Placeholder until the batch start handlers land: the start button does nothing yet.
struct CBatchHandlers::State {
    CWindowUI* wnd = nullptr;
    std::wstring mergeOutput;
};

CBatchHandlers::CBatchHandlers(CWindowUI* mainWnd) : m_state(std::make_shared<State>()) { m_state->wnd = mainWnd; }
CBatchHandlers::~CBatchHandlers() = default;
void CBatchHandlers::OnStartClick() {}
void CBatchHandlers::OnSingleFormatClick(CControlUI*) {}
bool CBatchHandlers::IsRunning(int, int) const { return false; }
std::wstring CBatchHandlers::MergeOutputPath() const { return m_state->mergeOutput; }
void CBatchHandlers::SetAnimationDelayMs(int) {}
