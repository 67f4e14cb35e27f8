// The main window's clicks: window buttons and menu, home tiles and side bar, adding and removing
// rows, the row buttons, the output-folder choice, the start buttons and the preview buttons.
#include <thread>

#include "app/BatchHandlers.h"
#include "app/MainFrameNames.h"
#include "app/MainFrameWnd.h"
#include "platform/Platform.h"
#include "ui/MsgWnd.h"
#include "ui/RowLookup.h"
#include "ui/TaskList.h"
#if __has_include("ui/OutputFormatWnd.h")
#include "ui/OutputFormatWnd.h"
#define TW_HAVE_OUTPUT_FORMAT 1
#endif

using namespace mainframe;

namespace {

const wchar_t* const kHomeTiles[8] = {L"btnAudioCut",     L"btnAudioFormat", L"btnAudioMerge",
                                      L"btnAudioExtract", L"btnAudioSpeed",  L"btnAudioVolume",
                                      L"btnAudioNoise",   L"btnAudioAddBGM"};

int IndexOf(const wchar_t* const* names, int count, const std::wstring& name) {
    for (int i = 0; i < count; ++i) {
        if (name == names[i]) return i;
    }
    return -1;
}

}  // namespace

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
        if (CListContainerElementUI* row = rows::RowOf(sender)) {
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
