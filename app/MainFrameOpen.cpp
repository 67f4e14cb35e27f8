// Files dropped on the main window, and files the program is opened with: from its command line
// (a desktop entry's "%F") or handed over by a later start through the single-instance channel.
// Those take the drop path.
#include <algorithm>
#include <cwctype>

#include "app/MainFrameWnd.h"
#include "common/Common.h"
#include "ui/TaskList.h"

namespace {

std::wstring LowerExtension(const std::wstring& path) {
    size_t slash = path.find_last_of(L'/');
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return L"";
    std::wstring ext = path.substr(dot);
    for (wchar_t& ch : ext) ch = static_cast<wchar_t>(std::towlower(ch));
    return ext;
}

bool IsExtractVideo(const std::wstring& path) {
    const auto& videos = CCommon::VideoScanExtensions();
    const auto& audios = CCommon::AudioExtensions();
    std::wstring ext = LowerExtension(path);
    return std::find(videos.begin(), videos.end(), ext) != videos.end() &&
           std::find(audios.begin(), audios.end(), ext) == audios.end();
}

}  // namespace

void CMainFrameWnd::OnDropFiles(const std::vector<std::wstring>& paths) {
    if (!IsToolView() || paths.empty()) return;
    m_tasks->DropFiles(CurrentPage(), paths);
    WatchRowsArriving();
}

void CMainFrameWnd::OpenFiles(const std::vector<std::wstring>& paths) {
    if (paths.empty()) return;
    if (!IsToolView()) {
        // From the home view the files choose the page: the format page takes audio; a set of
        // videos only would all be refused there, so it opens the extract page instead.
        bool allVideo = std::all_of(paths.begin(), paths.end(), IsExtractVideo);
        OpenTool(allVideo ? kPageExtract : kPageFormat);
    }
    m_tasks->DropFiles(CurrentPage(), paths);
    WatchRowsArriving();
}

std::string CMainFrameWnd::StateText() const {
    std::string text = IsToolView() ? "view=tool\n" : "view=home\n";
    int page = CurrentPage();
    text += "page=" + std::to_string(page) + "\n";
    CListUI* list = m_tasks ? m_tasks->PageList(page) : nullptr;
    text += "rows=" + std::to_string(list ? list->GetCount() : 0) + "\n";
    text += std::string("pending=") + (m_tasks && m_tasks->Pending() ? "1" : "0") + "\n";
    return text;
}
