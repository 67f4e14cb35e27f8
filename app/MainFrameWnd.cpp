#include "app/MainFrameWnd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

#include "app/BatchHandlers.h"
#include "app/MainFramePreview.h"
#include "app/Updater.h"
#include "app/Version.h"
#include "common/Common.h"
#include "engine/WorkThreadPool.h"
#include "logging/Log.h"
#include "platform/Platform.h"
#include "ui/AVPlayer.h"
#include "ui/CopyRightWnd.h"
#include "ui/CustomControls.h"
#include "ui/Messages.h"
#include "ui/MsgWnd.h"
#include "ui/TaskList.h"
#include "ui/TimeControl.h"
#if __has_include("app/AboutDlg.h")
#include "app/AboutDlg.h"
#define TW_HAVE_ABOUT 1
#endif
#if __has_include("ui/OutputFormatWnd.h")
#include "ui/OutputFormatWnd.h"
#define TW_HAVE_OUTPUT_FORMAT 1
#endif

const wchar_t* const kMainWindowTitle = L"Tonewright";
const wchar_t* const kMainWindowClass = L"SoniverterWnd";

namespace {

// Source lists of the pages (the page's rows; cut and extract: the source files).
const wchar_t* const kPageLists[8] = {L"list_cutfile",     L"list_formatfile", L"list_mergefile",
                                      L"list_extractfile", L"list_speedfile",  L"list_volumefile",
                                      L"list_noisefile",   L"list_addbgmfile"};
// Lists the batch of a page walks.
const wchar_t* const kBatchLists[8] = {L"list_cutoutfile",     L"list_formatfile", L"list_mergefile",
                                       L"list_extractoutfile", L"list_speedfile",  L"list_volumefile",
                                       L"list_noisefile",      L"list_addbgmfile"};
const wchar_t* const kHomeTiles[8] = {L"btnAudioCut",     L"btnAudioFormat", L"btnAudioMerge",
                                      L"btnAudioExtract", L"btnAudioSpeed",  L"btnAudioVolume",
                                      L"btnAudioNoise",   L"btnAudioAddBGM"};
const wchar_t* const kSideOptions[8] = {L"opt_audiocut",       L"opt_audioformat", L"opt_audiomerge",
                                        L"opt_audioextract",   L"opt_audiospeed",  L"opt_audiovolume",
                                        L"opt_audinoiseclear", L"opt_audinaddbgm"};
// File stems of the empty-list pictures.
const wchar_t* const kEmptyPictures[8] = {L"audiocut",   L"audioformat", L"audiomerge", L"audioextract",
                                          L"audiospeed", L"audiovolume", L"audionoise", L"addbgm"};
const wchar_t* const kCutMethodOptions[3] = {L"opt_audioManual", L"opt_audioAverage", L"opt_audiotimelen"};

// Timer that follows rows still being added (probing runs off the UI thread).
constexpr uint32_t kTimerRowsArriving = 10;
constexpr uint32_t kRowsArrivingMs = 150;

// Notice texts.
const wchar_t* const kNoticeDuplicate = L"无需重复添加文件,文件已存在转换列表中";
const wchar_t* const kNoticeBusy = L"请等待文件转换完成,文件转换过程中无法添加文件到文件列表";
const wchar_t* const kNoticeNoFolder = L"请选择文件保存路径,自定义路径为空！";
const wchar_t* const kNoticeMerged = L"文件合并完成！";
const wchar_t* const kNoticeUnsupported = L"部分文件无法读取或格式不受支持，已跳过";
const wchar_t* const kExitQuestion = L"确定要退出吗？正在处理的文件将不会完成。";

int IndexOf(const wchar_t* const* names, int count, const std::wstring& name) {
    for (int i = 0; i < count; ++i) {
        if (name == names[i]) return i;
    }
    return -1;
}

// The list row that holds a control (nullptr when it is not in a row).
CListContainerElementUI* RowOf(CControlUI* control) {
    for (CControlUI* c = control; c; c = c->GetParent()) {
        if (auto* row = dynamic_cast<CListContainerElementUI*>(c)) return row;
    }
    return nullptr;
}

}  // namespace

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

void CMainFrameWnd::CreatePlayMarks() {
    auto* holder = dynamic_cast<CContainerUI*>(FindControl(L"horCutplayerStauts"));
    if (!holder) return;
    for (int k = 1; k <= 12; ++k) {
        auto* mark = new CLabelUI;
        wchar_t name[32];
        std::swprintf(name, 32, L"PlayMark%d", k);
        mark->SetName(name);
        int x = 78 + 13 * (k - 1);
        wchar_t pos[64];
        std::swprintf(pos, 64, L"%d,%d,%d,%d", x, 12, x + 2, 30);
        mark->SetAttribute(L"float", L"true");
        mark->SetAttribute(L"pos", pos);
        mark->SetAttribute(L"bkcolor", L"#FF347AEB");
        mark->SetVisible(false);
        holder->Add(mark);
        m_playMarks.push_back(mark);
    }
}

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

CListUI* CMainFrameWnd::PageList(int page) const {
    if (page < 0 || page > 7) return nullptr;
    return FindControlAs<CListUI>(kPageLists[page]);
}

CListUI* CMainFrameWnd::BatchListOf(int page) const {
    if (page < 0 || page > 7) return nullptr;
    return FindControlAs<CListUI>(kBatchLists[page]);
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
        } else if (type == L"valuechanged" && RowOf(msg.pSender)) {
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

int CMainFrameWnd::SelectedPartCount() const {
    auto* combo = FindControlAs<CComboUI>(L"comboSegMentNum");
    int n = combo ? UIParseInt(combo->GetText(), 2) : 2;
    return std::clamp(n, 1, 10);
}

void CMainFrameWnd::OnClick(TNotifyUI& msg) {
    CControlUI* sender = msg.pSender;
    const std::wstring name = sender->GetName();
    int page = CurrentPage();

    if (name == L"closebtn") {
        if (ShowMessage(CMsgWnd::kExit, kExitQuestion) == 1) CloseSequence();
        return;
    }
    if (name == L"minbtn" || name == L"maxbtn" || name == L"restorebtn") {
        uintptr_t cmd = name == L"minbtn" ? UISC_MINIMIZE : name == L"maxbtn" ? UISC_MAXIMIZE : UISC_RESTORE;
        if (IBackendUI* backend = CAppUI::GetBackend()) backend->SysCommand(this, cmd);
        if (name != L"minbtn") {
            if (CControlUI* c = FindControl(L"maxbtn")) c->SetVisible(name == L"restorebtn");
            if (CControlUI* c = FindControl(L"restorebtn")) c->SetVisible(name == L"maxbtn");
        }
        return;
    }
    if (name == L"btnBackHome") {
        SetHomeView(true);
        return;
    }
    if (int tile = IndexOf(kHomeTiles, 8, name); tile >= 0) {
        OpenTool(tile);
        return;
    }
    if (int side = IndexOf(kSideOptions, 8, name); side >= 0) {
        SwitchPage(side);
        return;
    }
    if (int method = IndexOf(kCutMethodOptions, 3, name); method >= 0) {
        if (m_tabCutMethod) m_tabCutMethod->SelectItem(method);
        return;
    }
    if (name == L"btnMainMenu") {
        UIRect rc = sender->GetPos();
        UIPoint pt = ClientToScreen({rc.left + GetDPI().Scale(35), rc.top + GetDPI().Scale(49)});
        CMenuUI::Show(this, L"menu.xml", pt);
        return;
    }
    if (name == L"btnAddFile" || name == L"btn_addcadfile") {
        m_tasks->AddFilesByDialog(page);
        WatchRowsArriving();
        return;
    }
    if (name == L"btnAddFolder") {
        m_tasks->AddFolder(page);
        WatchRowsArriving();
        return;
    }
    if (name == L"btn_removeall") {
        m_tasks->ClearList(page);
        AfterRowsRemoved(page);
        return;
    }
    if (name == L"btn_Removefile" || name == L"btn_Removefileout") {
        m_tasks->RemoveRow(sender);
        AfterRowsRemoved(page);
        return;
    }
    if (name == L"btnmoveup" || name == L"btnmovedown") {
        m_tasks->MoveMergeRow(sender, name == L"btnmoveup");
        return;
    }
    if (name == L"formatcutaudio" || name == L"btnmergeedit") {
        m_tasks->EditRow(sender);
        return;
    }
    if (name == L"formatoutext") {
#ifdef TW_HAVE_OUTPUT_FORMAT
        // The dialog runs modally from a thread of its own; the UI library carries it out on the
        // UI thread while that thread waits.
        std::thread([this, sender] { OnOutputFormatForRow(this, sender); }).detach();
#endif
        return;
    }
    if (name == L"btnoutedit") {
        if (CListContainerElementUI* row = RowOf(sender)) {
            CControlUI* label = row->FindControlByName(L"outfile");
            CControlUI* edit = row->FindControlByName(L"outfileedit");
            if (label && edit) {
                label->SetVisible(false);
                edit->SetText(label->GetText());
                edit->SetVisible(true);
                SetFocus(edit);
            }
        }
        return;
    }
    if (name == L"btn_openfile" || name == L"btn_openfileout") {
        m_tasks->OpenOutput(sender);
        return;
    }
    if (name == L"btn_openpath") {
        std::wstring folder = sender->GetUserData();
        if (!folder.empty()) platform::OpenInDesktop(folder);
        return;
    }
    if (name == L"btn_itemaddbgm" || name == L"btn_batchaddbgm") {
        m_tasks->ChooseMusic(sender, name == L"btn_batchaddbgm");
        return;
    }
    if (name == L"btn_itemRemovefile") {
        m_tasks->ForgetMusic(sender);
        return;
    }
    if (name == L"OpIsLoop") {
        auto* loop = dynamic_cast<COptionUI*>(sender);
        m_tasks->SetLoopForAll(loop && loop->IsSelected());
        return;
    }
    if (name == L"opt_OldDir" || name == L"opt_CustomDir") {
        bool custom = name == L"opt_CustomDir";
        if (CControlUI* c = FindControl(L"btnchangepath")) c->SetVisible(custom);
        if (CControlUI* c = FindControl(L"outpath")) c->SetVisible(custom);
        return;
    }
    if (name == L"btnchangepath") {
        std::wstring folder;
        IBackendUI* backend = CAppUI::GetBackend();
        if (backend && backend->ChooseFolder(this, L"打开文件夹", &folder) && !folder.empty()) {
            if (CControlUI* c = FindControl(L"outpath")) c->SetText(folder);
        }
        return;
    }
    if (name == L"btn_conver") {
        m_batch->OnStartClick();
        return;
    }
    if (name == L"formatconvertaudio") {
        m_batch->OnSingleFormatClick(sender);
        return;
    }
    if (name == L"btnCutClearList") {
        ClearCutPage();
        return;
    }
    if (name == L"btncutclearout") {
        if (CListUI* out = BatchListOf(kPageCut)) out->RemoveAll();
        return;
    }
    if (name == L"btnCutAddToList") {
        AddCutSegments();
        return;
    }
    if (name == L"btnExtractAddToList") {
        AddExtractSegment();
        return;
    }
    if (name == L"btnCutPlay" || name == L"btnCutStop") {
        TogglePlay(kPageCut, name == L"btnCutStop");
        return;
    }
    if (name == L"btnExtractPlay" || name == L"btnExtractStop") {
        TogglePlay(kPageExtract, name == L"btnExtractStop");
        return;
    }
    if (name == L"btnCutSpeaker" || name == L"btnExtractSpeaker") {
        ShowVolumePopup(sender);
        return;
    }
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

void CMainFrameWnd::OnKillFocus(TNotifyUI& msg) {
    std::wstring name = msg.pSender->GetName();
    if (name == L"outfileedit" && msg.pSender->IsVisible()) {
        if (CListContainerElementUI* row = RowOf(msg.pSender)) {
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
        case UIMSG_DPICHANGED:
            OnDpiChanged(wParam, lParam, handled);
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

void CMainFrameWnd::OnDpiChanged(uintptr_t, intptr_t, bool& handled) {
    uint64_t now = CAppUI::Now();
    if (m_dpiChangeSeen && now - m_lastDpiChange < 100) {
        handled = true;  // a burst of changes: only the first is applied
        return;
    }
    m_dpiChangeSeen = true;
    m_lastDpiChange = now;
    handled = false;  // the library re-applies the scale to the layout
}

void CMainFrameWnd::OnMenuCommand(const std::wstring& item) {
    if (item == L"menu_about") ShowAboutDialog();
}

void CMainFrameWnd::OnNotice(int index) {
    switch (index) {
        case 0:
            ShowMessage(0, kNoticeDuplicate);
            break;
        case 1:
            ShowMessage(CMsgWnd::kUnknownFile, kNoticeUnsupported);
            break;
        case 4:
            ShowMessage(0, kNoticeBusy);
            break;
        case 7:
            ShowMessage(0, kNoticeNoFolder);
            break;
        case 8:
            ShowMessage(CMsgWnd::kFinishMsg, kNoticeMerged, m_batch->MergeOutputPath());
            break;
        default:
            break;
    }
}

int CMainFrameWnd::ShowMessage(int kind, const std::wstring& text, const std::wstring& target) {
    m_shownNotices.push_back(target.empty() ? text : text + L" " + target);
    if (m_messageHook) return m_messageHook(kind, target.empty() ? text : text + L" " + target);
    if (kind == 0) return CMsgWnd::ShowMessage(this, CMsgWnd::kOtherMsg, text);
    return CMsgWnd::ShowMessage(this, kind, text, text, target);
}

void CMainFrameWnd::ShowRightsNotice(bool onlyUnsupported) {
    if (m_messageHook) {
        m_messageHook(-1, L"版权对话框");
        return;
    }
    CCopyRightWnd::ShowNotice(this, onlyUnsupported ? 1 : 0);
}

void CMainFrameWnd::ShowAboutDialog() {
#ifdef TW_HAVE_ABOUT
    CAboutDlg::ShowAbout(this);
#else
    ShowMessage(0, std::wstring(kMainWindowTitle) + L" " + TwVersionText());
#endif
}

void CMainFrameWnd::OnDropFiles(const std::vector<std::wstring>& paths) {
    if (!IsToolView() || paths.empty()) return;
    m_tasks->DropFiles(CurrentPage(), paths);
    WatchRowsArriving();
}

// ---- Close -----------------------------------------------------------------------------------

void CMainFrameWnd::CloseSequence() {
    if (m_closedBySequence) return;
    m_closedBySequence = true;
    ShowWindow(false);
    m_cut->ReleasePlayer();
    m_extract->ReleasePlayer();
    // Workers finish their current job; queued jobs are abandoned. Batch threads are not waited for.
    CSingletonWorkThreadPool::Instance().Stop();
    CSingletonMergeWorkThreadPool::Instance().Stop();
    Close(1);
}

// ---- Rules -----------------------------------------------------------------------------------

int CMainFrameWnd::LengthSplitCount(uint32_t totalMs, uint32_t lengthMs) {
    if (lengthMs == 0) return 1;
    int parts = static_cast<int>(totalMs / lengthMs);
    if (parts < 1) parts = 1;
    if (totalMs % lengthMs >= 1001 && totalMs >= lengthMs) ++parts;
    return parts;
}

std::vector<SegmentRange> CMainFrameWnd::CutSegments(int method, uint32_t durationMs, uint32_t startMs,
                                                     uint32_t endMs, int parts, uint32_t lengthMs) {
    std::vector<SegmentRange> out;
    auto add = [&](uint32_t s, uint32_t e) {
        e = std::min(e, durationMs);
        if (e > s) out.push_back({s, e});  // an empty piece would only make an empty file
    };
    if (method == kCutManual) {
        if (endMs > startMs) out.push_back({startMs, endMs});
        return out;
    }
    if (method == kCutEven) {
        if (parts < 1) parts = 1;
        uint32_t step = durationMs / static_cast<uint32_t>(parts);
        for (int i = 0; i < parts; ++i) {
            uint32_t s = step * static_cast<uint32_t>(i);
            uint32_t e = (i == parts - 1) ? durationMs : step * static_cast<uint32_t>(i + 1);
            add(s, e);
        }
        return out;
    }
    uint32_t k = 1;
    if (lengthMs >= 5001) k = std::max<uint32_t>(1, durationMs / lengthMs);
    for (uint32_t i = 0; i <= k; ++i) {
        uint64_t s = static_cast<uint64_t>(i) * lengthMs;
        if (s >= durationMs) break;
        uint64_t e = (i == k) ? durationMs : static_cast<uint64_t>(i + 1) * lengthMs;
        add(static_cast<uint32_t>(s), static_cast<uint32_t>(std::min<uint64_t>(e, durationMs)));
    }
    return out;
}

std::vector<int> CMainFrameWnd::SplitMarkPositions(int parts, int dpi) {
    std::vector<int> xs;
    if (parts < 1) return xs;
    int step = 130 / parts;
    int shift = 0;
    if (dpi != 96 && dpi > 0) shift = static_cast<int>(std::ceil((dpi / 96.0 - 1.0) * 6.0));
    for (int i = 0; i <= parts && i < 12; ++i) xs.push_back(78 + i * step - shift);
    return xs;
}

std::wstring CMainFrameWnd::SegmentExtension(const std::wstring& sourcePath) {
    std::wstring ext;
    CCommon::OnSplitPath(sourcePath, nullptr, nullptr, &ext);
    std::wstring lower = platform::ToLower(ext);
    if (lower == L".amr" || lower == L".ape" || lower == L".3gpp" || lower == L".aac") return L".mp3";
    return ext;
}

void CMainFrameWnd::ShowSplitMarks(int parts) {
    if (CutMethodIndex() == kCutManual) return;
    std::vector<int> xs = SplitMarkPositions(parts, GetDPI().GetDPI());
    for (size_t k = 0; k < m_playMarks.size(); ++k) {
        CControlUI* mark = m_playMarks[k];
        if (k < xs.size()) {
            wchar_t pos[64];
            std::swprintf(pos, 64, L"%d,%d,%d,%d", xs[k], 12, xs[k] + 2, 30);
            mark->SetAttribute(L"pos", pos);
            mark->SetVisible(true);
        } else {
            mark->SetVisible(false);
        }
    }
}

void CMainFrameWnd::HideSplitMarks() {
    for (CControlUI* mark : m_playMarks) mark->SetVisible(false);
}

void CMainFrameWnd::SwitchCutMethod(int method) {
    Preview& pv = *m_cut;
    for (int i = 0; i < 3; ++i) {
        if (auto* opt = FindControlAs<COptionUI>(kCutMethodOptions[i])) {
            if (i == method && !opt->IsSelected()) opt->Selected(true);
            if (CControlUI* parent = opt->GetParent()) {
                if (CControlUI* line = parent->FindControlByName(L"xxx")) line->SetVisible(i == method);
            }
        }
    }
    // Without a file in the preview there is no timeline to mark.
    if (pv.source.empty()) return;
    if (method == kCutManual) {
        if (pv.leftCursor) pv.leftCursor->SetVisible(true);
        if (pv.rightCursor) pv.rightCursor->SetVisible(true);
        HideSplitMarks();
        if (pv.leftCursor) pv.lastLeft = pv.leftCursor->GetPos().left;
        if (pv.rightCursor) pv.lastRight = pv.rightCursor->GetPos().left;
    } else {
        if (pv.leftCursor) pv.leftCursor->SetVisible(false);
        if (pv.rightCursor) pv.rightCursor->SetVisible(false);
        if (method == kCutEven) {
            ShowSplitMarks(SelectedPartCount());
        } else {
            ShowSplitMarks(
                LengthSplitCount(m_times->GetCutDuration(), ReadTimeGroup(TimeFieldSet::kCutLength)));
        }
    }
    RefreshPreviewLabel(kPageCut);
}

// ---- Segment rows ----------------------------------------------------------------------------

void CMainFrameWnd::AddCutSegments() {
    Preview& pv = *m_cut;
    if (pv.source.empty()) return;
    uint32_t duration = pv.facts.durationMs ? pv.facts.durationMs : PreviewDuration(pv);
    std::wstring sizeText;
    CCommon::OnFormatFileSize(pv.facts.fileSize, sizeText);
    std::vector<SegmentRange> segments = CutSegments(
        CutMethodIndex(), duration, ReadTimeGroup(TimeFieldSet::kCutStart),
        ReadTimeGroup(TimeFieldSet::kCutEnd), SelectedPartCount(), ReadTimeGroup(TimeFieldSet::kCutLength));
    CListUI* out = BatchListOf(kPageCut);
    int counter = (out ? out->GetCount() : 0) + 1;
    std::wstring ext = SegmentExtension(pv.source);
    for (const SegmentRange& seg : segments) {
        std::wstring name;
        if (!CCommon::OnGetFreeNumberedName(pv.source, name, counter, ext)) continue;
        m_tasks->AddSegmentRow(kPageCut, pv.source, name, seg.startMs, seg.endMs, sizeText);
    }
}

void CMainFrameWnd::AddExtractSegment() {
    Preview& pv = *m_extract;
    if (pv.source.empty()) return;
    uint32_t start = ReadTimeGroup(TimeFieldSet::kExtractStart);
    uint32_t end = ReadTimeGroup(TimeFieldSet::kExtractEnd);
    if (end <= start) return;  // an empty range would make an empty file
    std::wstring base = pv.source;
    if (CControlUI* edit = FindControl(L"editExtractName")) {
        std::wstring typed = edit->GetText();
        // A typed name is placed in the source's folder; "/" cannot be part of a file name.
        if (!typed.empty() && typed.find(L'/') == std::wstring::npos) {
            std::wstring folder;
            CCommon::OnGetFolderOfPath(pv.source, folder);
            base = folder + typed;
        }
    }
    CListUI* out = BatchListOf(kPageExtract);
    int counter = (out ? out->GetCount() : 0) + 1;
    std::wstring name;
    if (!CCommon::OnGetFreeNumberedName(base, name, counter, L".MP3")) return;
    std::wstring sizeText;
    CCommon::OnFormatFileSize(pv.facts.fileSize, sizeText);
    m_tasks->AddSegmentRow(kPageExtract, pv.source, name, start, end, sizeText);
}
