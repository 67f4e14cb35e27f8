#include "ui/TaskList.h"

// Placeholder until the task list rows land.
struct CTaskList::State {
    CWindowUI* wnd = nullptr;
};

CTaskList::CTaskList(CWindowUI* mainWnd) : m_state(std::make_shared<State>()) { m_state->wnd = mainWnd; }
CTaskList::~CTaskList() = default;
CListUI* CTaskList::PageList(int) const { return nullptr; }
CListUI* CTaskList::BatchList(int) const { return nullptr; }
void CTaskList::AddFilesByDialog(int) {}
void CTaskList::AddFolder(int) {}
void CTaskList::DropFiles(int, const std::vector<std::wstring>&) {}
bool CTaskList::Pending() const { return false; }
CListContainerElementUI* CTaskList::AddRow(int, const std::wstring&, const MediaFacts&) { return nullptr; }
CListContainerElementUI* CTaskList::AddSegmentRow(int, const std::wstring&, const std::wstring&, uint32_t, uint32_t,
                                                  const std::wstring&) {
    return nullptr;
}
void CTaskList::ClearList(int) {}
void CTaskList::RemoveRow(CControlUI*) {}
void CTaskList::MoveMergeRow(CControlUI*, bool) {}
void CTaskList::EditRow(CControlUI*) {}
void CTaskList::ChooseMusic(CControlUI*, bool) {}
void CTaskList::ForgetMusic(CControlUI*) {}
void CTaskList::SetLoopForAll(bool) {}
void CTaskList::OpenOutput(CControlUI*) {}
void CTaskList::OnSliderStep(CControlUI*) {}
