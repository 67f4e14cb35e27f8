// The main window's views and pages: home or tool view, the page switch with its side bar, the
// list or the empty-list picture in the middle, the start button and its animation, and what
// follows rows arriving or being removed.
#include "app/BatchHandlers.h"
#include "app/MainFrameNames.h"
#include "app/MainFramePreview.h"
#include "app/MainFrameWnd.h"
#include "ui/TaskList.h"

using namespace mainframe;

namespace {

// File stems of the empty-list pictures.
const wchar_t* const kEmptyPictures[8] = {L"audiocut",   L"audioformat", L"audiomerge", L"audioextract",
                                          L"audiospeed", L"audiovolume", L"audionoise", L"addbgm"};

}  // namespace

// ---- State -----------------------------------------------------------------------------------

bool CMainFrameWnd::IsToolView() const {
    return m_tabSwitch && m_tabSwitch->GetCurSel() == 1;
}
int CMainFrameWnd::CurrentPage() const {
    return m_tabPages ? m_tabPages->GetCurSel() : 0;
}
int CMainFrameWnd::CutMethodIndex() const {
    return m_tabCutMethod ? m_tabCutMethod->GetCurSel() : 0;
}

void CMainFrameWnd::SetHomeView(bool home) {
    if (m_tabSwitch) m_tabSwitch->SelectItem(home ? 0 : 1);
    if (CControlUI* back = FindControl(L"btnBackHome")) back->SetVisible(!home);
}

void CMainFrameWnd::OpenTool(int page) {
    SetHomeView(false);
    SwitchPage(page);
}

// The task list knows which list of the layout belongs to which page.
CListUI* CMainFrameWnd::PageList(int page) const {
    return m_tasks->PageList(page);
}

CListUI* CMainFrameWnd::BatchListOf(int page) const {
    return m_tasks->BatchList(page);
}

// ---- Page switch -----------------------------------------------------------------------------

void CMainFrameWnd::SwitchPage(int page) {
    if (page < 0 || page > 7) return;
    if (CControlUI* c = FindControl(L"formatTypeName")) c->SetVisible(page == kPageFormat);
    if (CControlUI* c = FindControl(L"comboformatType")) c->SetVisible(page == kPageFormat);
    if (CControlUI* c = FindControl(L"btn_batchaddbgm")) c->SetVisible(page == kPageBgm);
    for (int i = 0; i < 8; ++i) {
        auto* opt = FindControlAs<COptionUI>(kSideOptions[i]);
        if (!opt) continue;
        if (i == page && !opt->IsSelected()) opt->Selected(true);
        // The selected side-bar entry keeps its full underline.
        if (CControlUI* parent = opt->GetParent()) {
            if (CControlUI* line = parent->FindControlByName(L"xxx")) line->SetVisible(i == page);
        }
    }
    if (page == kPageCut && PageList(kPageCut) && PageList(kPageCut)->GetCount() == 0) {
        if (CListUI* out = BatchListOf(kPageCut)) out->RemoveAll();
        if (m_tabCutMethod) m_tabCutMethod->SelectItem(kCutManual);
        if (auto* manual = FindControlAs<COptionUI>(L"opt_audioManual")) {
            if (!manual->IsSelected()) manual->Selected(true);
        }
    }
    if (page == kPageExtract && PageList(kPageExtract) && PageList(kPageExtract)->GetCount() == 0) {
        if (CListUI* out = BatchListOf(kPageExtract)) out->RemoveAll();
    }
    if (m_tabPages && m_tabPages->GetCurSel() != page) m_tabPages->SelectItem(page);
    RefreshMidViewer();
    RefreshStartButton(page, 5);
}

void CMainFrameWnd::RefreshMidViewer() {
    int page = CurrentPage();
    CListUI* list = PageList(page);
    bool hasRows = list && list->GetCount() > 0;
    if (m_tabMid && m_tabMid->GetCurSel() != (hasRows ? 1 : 0)) m_tabMid->SelectItem(hasRows ? 1 : 0);
    if (!hasRows) {
        if (CControlUI* picture = FindControl(L"btn_addcadfile")) {
            std::wstring stem = kEmptyPictures[page];
            picture->SetAttribute(L"normalimage", L"file='" + stem + L"_1.png' dest='385,28,595,342'");
            picture->SetAttribute(L"hotimage", L"file='" + stem + L"_2.png' dest='385,28,595,342'");
        }
    }
}

void CMainFrameWnd::RefreshStartButton(int page, int waitMs) {
    bool running = m_batch->IsRunning(page, waitMs);
    auto* anim = dynamic_cast<CFrameAnimUI*>(m_gifConver);
    if (running) {
        if (m_btnConver) m_btnConver->SetVisible(false);
        if (anim) anim->Start();
        if (m_gifConver) m_gifConver->SetVisible(true);
    } else {
        if (m_btnConver) m_btnConver->SetVisible(true);
        if (anim) anim->Stop();
        if (m_gifConver) m_gifConver->SetVisible(false);
    }
}

void CMainFrameWnd::OnBatchDone(int page) {
    if (page != CurrentPage()) return;  // the page's button is restored when the user returns
    if (CListUI* list = BatchListOf(page)) {
        for (int i = 0; i < list->GetCount(); ++i) {
            CControlUI* row = list->GetItemAt(i);
            if (!row) continue;
            if (CControlUI* b = row->FindControlByName(L"btn_Removefile")) b->SetEnabled(true);
            if (CControlUI* b = row->FindControlByName(L"btn_Removefileout")) b->SetEnabled(true);
        }
    }
    if (!m_batch->IsRunning(page, 10)) RefreshStartButton(page, 0);
}

void CMainFrameWnd::WatchRowsArriving() {
    RefreshMidViewer();
    SetTimer(kTimerRowsArriving, kRowsArrivingMs);
}

void CMainFrameWnd::AfterRowsRemoved(int page) {
    RefreshMidViewer();
    if (page == kPageCut || page == kPageExtract) {
        Preview& pv = PreviewOf(page);
        CListUI* list = PageList(page);
        bool stillListed = false;
        for (int i = 0; list && i < list->GetCount(); ++i) {
            if (list->GetItemAt(i)->GetUserData() == pv.source) stillListed = true;
        }
        if (!stillListed) {
            if (page == kPageCut && list && list->GetCount() == 0) {
                ClearCutPage();
            } else {
                ClosePreview(page);
                FollowSelectedRow(page);
            }
        }
    }
}
