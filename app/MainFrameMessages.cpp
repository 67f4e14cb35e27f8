// The main window's notices and dialogs (message box, rights notice, about) and its close
// sequence.
#include "app/BatchHandlers.h"
#include "app/MainFramePreview.h"
#include "app/MainFrameWnd.h"
#include "app/Version.h"
#include "engine/WorkThreadPool.h"
#include "ui/CopyRightWnd.h"
#include "ui/MsgWnd.h"
#if __has_include("app/AboutDlg.h")
#include "app/AboutDlg.h"
#define TW_HAVE_ABOUT 1
#endif

namespace {

// Notice texts.
const wchar_t* const kNoticeDuplicate = L"无需重复添加文件,文件已存在转换列表中";
const wchar_t* const kNoticeBusy = L"请等待文件转换完成,文件转换过程中无法添加文件到文件列表";
const wchar_t* const kNoticeNoFolder = L"请选择文件保存路径,自定义路径为空！";
const wchar_t* const kNoticeMerged = L"文件合并完成！";
const wchar_t* const kNoticeUnsupported = L"部分文件无法读取或格式不受支持，已跳过";

}  // namespace

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
