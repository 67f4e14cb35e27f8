#include "app/MainFrameWnd.h"

#include "app/BatchHandlers.h"
#include "app/MainFrameNames.h"
#include "app/MainFramePreview.h"
#include "app/Updater.h"
#include "app/Version.h"
#include "engine/WorkThreadPool.h"
#include "ui/CustomControls.h"
#include "ui/Messages.h"
#include "ui/MsgWnd.h"
#include "ui/RowLookup.h"
#include "ui/TaskList.h"
#include "ui/TimeControl.h"

using namespace mainframe;

const wchar_t* const kMainWindowTitle = L"Tonewright";
const wchar_t* const kMainWindowClass = L"SoniverterWnd";

CMainFrameWnd::CMainFrameWnd(std::wstring logPath, MainFrameOptions options)
    : m_logPath(std::move(logPath)), m_options(std::move(options)) {
    m_tasks = std::make_unique<CTaskList>(this);
    m_batch = std::make_unique<CBatchHandlers>(this);
    // Rows of a running page (or a format row converting on its own) are written by workers:
    // the task list refuses to add, remove or clear there meanwhile (notice 4).
    m_tasks->SetBusyCheck([this](int page) {
        return m_batch->IsRunning(page, 0) || (page == 1 && m_batch->IsSingleRunning());
    });
    m_cut = std::make_unique<Preview>(kPageCut);
    m_extract = std::make_unique<Preview>(kPageExtract);
    m_times = std::make_unique<TimeFieldSet>(this, 0, &m_textGuard);
}

CMainFrameWnd::~CMainFrameWnd() {
    // The volume pop-up closes with the window (it deletes itself once closed).
    if (m_volumeMenu && CAppUI::IsWindowAlive(m_volumeMenu)) m_volumeMenu->Close(0);
    // The players post to this window from libvlc's thread: they go before the window does.
    m_cut->ReleasePlayer();
    m_extract->ReleasePlayer();
}

std::wstring CMainFrameWnd::GetWindowClassName() const {
    return kMainWindowClass;
}
std::wstring CMainFrameWnd::GetSkinFile() {
    return L"main.xml";
}

CControlUI* CMainFrameWnd::CreateControl(const std::wstring& tag) {
    return CreateCustomControl(tag);
}

CTaskList& CMainFrameWnd::Tasks() {
    return *m_tasks;
}
CBatchHandlers& CMainFrameWnd::Batch() {
    return *m_batch;
}

void CMainFrameWnd::InitWindow() {
    if (CControlUI* version = FindControl(L"versionNumber"))
        version->SetText(L"当前版本：" + TwVersionText());

    m_tabSwitch = FindControlAs<CTabLayoutUI>(L"tab_switch");
    m_tabPages = FindControlAs<CTabLayoutUI>(L"tab_outfileext_Audio");
    m_tabMid = FindControlAs<CTabLayoutUI>(L"tab_AudioMidViewer");
    m_tabCutMethod = FindControlAs<CTabLayoutUI>(L"TabCutMethod");
    m_btnConver = FindControl(L"btn_conver");
    m_gifConver = FindControl(L"gif_conver");
    m_cut->Bind(this);
    m_extract->Bind(this);

    for (Preview* pv : {m_cut.get(), m_extract.get()}) {
        if (pv->slider) {
            pv->slider->OnNotify([this](TNotifyUI& msg) { return OnSliderNotify(msg); });
            pv->slider->SetEnabled(false);
        }
        // Cursors appear once a file is previewed (an end cursor alone over an empty timeline
        // would only mislead).
        if (pv->leftCursor) pv->leftCursor->SetVisible(false);
        if (pv->rightCursor) pv->rightCursor->SetVisible(false);
        if (pv->addButton) pv->addButton->SetEnabled(false);
    }
    CreatePlayMarks();
    m_times->Bind();

    CSingletonWorkThreadPool::Instance().Start(5);
    if (m_options.startUpdater) LaunchUpdater();

    if (m_tabSwitch) m_tabSwitch->SelectItem(0);
    SwitchPage(kPageCut);
    SetHomeView(true);
}

// ---- Notifications ---------------------------------------------------------------------------

void CMainFrameWnd::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return;
    const std::wstring& type = msg.sType;
    if (type == L"click") {
        OnClick(msg);
    } else if (type == L"itemclick" || type == L"itemselect") {
        OnItemSelect(msg);
    } else if (type == L"tabselect") {
        if (msg.pSender == m_tabPages) {
            SwitchPage(static_cast<int>(msg.wParam));
        } else if (msg.pSender == m_tabCutMethod) {
            SwitchCutMethod(static_cast<int>(msg.wParam));
        }
    } else if (type == L"valuechanged" || type == L"movevaluechanged") {
        std::wstring name = msg.pSender->GetName();
        if (name == L"vlomueslider") {
            OnVolumeSlider(msg.pSender);
        } else if (type == L"valuechanged" && rows::RowOf(msg.pSender)) {
            m_tasks->OnSliderStep(msg.pSender);
        }
    } else if (type == L"unselected") {
        if (CControlUI* parent = msg.pSender->GetParent()) {
            if (CControlUI* line = parent->FindControlByName(L"xxx")) line->SetVisible(false);
        }
    } else if (type == L"textchanged") {
        OnTextChanged(msg);
    } else if (type == L"killfocus") {
        OnKillFocus(msg);
    }
}

void CMainFrameWnd::OnItemSelect(TNotifyUI& msg) {
    std::wstring name = msg.pSender->GetName();
    if (msg.sType == L"itemselect") {
        if (name == L"comboSegMentNum") {
            if (CutMethodIndex() != kCutManual) ShowSplitMarks(SelectedPartCount());
            return;
        }
        if (name == L"comboformatType") return;  // read by the format rows when they are added
        if (name == L"list_cutfile") FollowSelectedRow(kPageCut);
        if (name == L"list_extractfile") FollowSelectedRow(kPageExtract);
        return;
    }
    // "itemclick" from a row: the preview follows a source row of the cut and extract pages.
    if (CListContainerElementUI* row = dynamic_cast<CListContainerElementUI*>(msg.pSender)) {
        CListUI* owner = row->GetOwnerList();
        if (owner == PageList(kPageCut)) FollowSelectedRow(kPageCut);
        if (owner == PageList(kPageExtract)) FollowSelectedRow(kPageExtract);
    }
}

void CMainFrameWnd::OnKillFocus(TNotifyUI& msg) {
    std::wstring name = msg.pSender->GetName();
    if (name == L"outfileedit" && msg.pSender->IsVisible()) {
        if (CListContainerElementUI* row = rows::RowOf(msg.pSender)) {
            if (CControlUI* label = row->FindControlByName(L"outfile")) {
                label->SetText(msg.pSender->GetText());
                label->SetVisible(true);
            }
        }
        msg.pSender->SetVisible(false);
        return;
    }
    if (name.find(L"cuttimeLength") != std::wstring::npos) {
        NormaliseLengthGroup();
        if (CutMethodIndex() == kCutByLength) {
            ShowSplitMarks(
                LengthSplitCount(m_times->GetCutDuration(), ReadTimeGroup(TimeFieldSet::kCutLength)));
        }
    }
}

void CMainFrameWnd::OnTextChanged(TNotifyUI& msg) {
    if (m_textGuard) return;
    std::wstring name = msg.pSender->GetName();
    static const struct {
        const wchar_t* prefix;
        uint32_t timer;
    } kInputs[] = {{L"cuttimeStart", 5},
                   {L"cuttimeEnd", 6},
                   {L"cuttimeLength", 7},
                   {L"extracttimeStart", 8},
                   {L"extracttimeEnd", 9}};
    for (const auto& in : kInputs) {
        if (name.find(in.prefix) == std::wstring::npos) continue;
        ValidateTimeEdit(msg.pSender);
        KillTimer(in.timer);
        SetTimer(in.timer, 1000);
        return;
    }
}

// ---- Messages --------------------------------------------------------------------------------

intptr_t CMainFrameWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    handled = false;
    m_dpi.HandleMessage(msg, wParam, lParam, handled);
    if (handled) return 0;
    switch (msg) {
        case UIMSG_MENUCLICK: {
            handled = true;
            if (wParam) OnMenuCommand(*reinterpret_cast<const std::wstring*>(wParam));
            return 0;
        }
        case MSG_PLAYER_PLAYING:
            handled = true;
            return 0;
        case MSG_PLAYER_POSITION:
            handled = true;
            OnPlayerPosition(wParam);
            return 0;
        case MSG_PLAYER_ENDED:
            handled = true;
            OnPlayerEnded(wParam);
            return 0;
        case MSG_NOTICE:
            handled = true;
            OnNotice(static_cast<int>(wParam));
            return 0;
        case MSG_BATCH_DONE:
            handled = true;
            OnBatchDone(static_cast<int>(lParam));
            return 0;
        case MSG_SHOW_RIGHTS_NOTICE:
            handled = true;
            ShowRightsNotice(lParam == 1);
            return 0;
        case kMsgUpdateLaunch:
            handled = true;
            m_updateAttempts += LaunchUpdaterWithRetry(3);
            return 0;
        case kMsgShowInstance:
            handled = true;
            ShowWindow(true, false);
            return 0;
        case UIMSG_DROPFILES:
            handled = true;
            if (wParam) OnDropFiles(*reinterpret_cast<const std::vector<std::wstring>*>(wParam));
            return 0;
        case UIMSG_CLOSE:
            // The window manager's close goes through the same confirmation as the close button.
            handled = true;
            if (ShowMessage(CMsgWnd::kExit, kExitQuestion) == 1) CloseSequence();
            return 0;
        case UIMSG_TIMER:
            if (wParam >= 5 && wParam <= 9) {
                handled = true;
                KillTimer(static_cast<uint32_t>(wParam));
                PlaceCursorFromTime(static_cast<int>(wParam));
                return 0;
            }
            if (wParam == kTimerRowsArriving) {
                handled = true;
                RefreshMidViewer();
                for (int page : {kPageCut, kPageExtract}) {
                    if (PreviewOf(page).source.empty()) FollowSelectedRow(page);
                }
                if (!m_tasks->Pending()) KillTimer(kTimerRowsArriving);
                return 0;
            }
            break;
        case UIMSG_LBUTTONDOWN:
        case UIMSG_MOUSEMOVE:
        case UIMSG_LBUTTONUP:
            if (OnMouseForCursors(msg, wParam, lParam)) handled = true;
            return 0;
        default:
            break;
    }
    return 0;
}
