// Adding files to a page: the open-file dialog, the folder picker and dropped paths all pass the
// page's filter (notices for refused files), then the files are probed on background threads and
// their rows arrive on the UI thread in small groups, in the order the files were given. The
// duplicate rule is applied as each row arrives, so the result is that of adding one by one.
#include <algorithm>

#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/Messages.h"
#include "ui/TaskList.h"
#include "ui/TaskListState.h"
#include "uikit/UIlib.h"

namespace {

// The longest the UI thread adds rows before it returns to its loop.
constexpr uint64_t kVisitMs = 8;

enum class Verdict { Accept, Rights, NotSupported, Ignore };

bool OneOf(const std::wstring& ext, std::initializer_list<const wchar_t*> list) {
    return std::any_of(list.begin(), list.end(), [&](const wchar_t* e) { return ext == e; });
}

// The page's filter for one file, by its extension in lower case.
Verdict Judge(int page, const std::wstring& path) {
    std::wstring ext;
    CCommon::OnSplitPath(path, nullptr, nullptr, &ext);
    ext = platform::ToLower(ext);
    const auto& audio = CCommon::AudioExtensions();
    const bool isAudio = std::find(audio.begin(), audio.end(), ext) != audio.end();
    if (page == 0 || page == 1) {
        if (isAudio || ext == L".ape") return Verdict::Accept;
        if (OneOf(ext, {L".qmcflac", L".qmc3", L".kgm", L".ncm", L".mflac", L".mgg", L".mcflac"}))
            return Verdict::Rights;
        return Verdict::NotSupported;
    }
    if (page == 3) {
        const auto& video = CCommon::VideoScanExtensions();
        return std::find(video.begin(), video.end(), ext) != video.end() ? Verdict::Accept : Verdict::Ignore;
    }
    return isAudio ? Verdict::Accept : Verdict::Ignore;
}

}  // namespace

// ---- The public entry points -------------------------------------------------------------------

void CTaskList::AddFilesByDialog(int page) {
    if (!PageList(page) || m_state->RefuseWhileBusy(page)) return;
    std::vector<std::wstring> files = CCommon::OnOpenMediaFiles(page, m_state->wnd);
    if (!files.empty()) m_state->Submit(page, files);
}

void CTaskList::AddFolder(int page) {
    if (!PageList(page) || m_state->RefuseWhileBusy(page)) return;
    std::wstring folder;
    if (CCommon::OnBrowseFolder(m_state->wnd, folder) && !folder.empty()) m_state->Submit(page, {folder});
}

void CTaskList::DropFiles(int page, const std::vector<std::wstring>& paths) {
    m_state->Submit(page, paths);
}

bool CTaskList::Pending() const {
    return m_state->outstanding.load() > 0;
}

// ---- Submission (UI thread) --------------------------------------------------------------------

void CTaskList::State::SetThreadCount(int count) {
    std::lock_guard<std::mutex> lock(mutex);
    threadCount = std::max(1, count);
}

void CTaskList::State::BumpGeneration(int page) {
    if (page >= 0 && page < 8) generation[page].fetch_add(1);
}

void CTaskList::State::Submit(int page, const std::vector<std::wstring>& paths) {
    if (!owner || !owner->PageList(page) || RefuseWhileBusy(page)) return;
    std::vector<std::wstring> accepted;
    for (const std::wstring& path : paths) {
        if (path.empty()) continue;
        if (platform::IsFolder(path)) {
            std::vector<std::wstring> found = CCommon::OnScanFolder(path, page);
            accepted.insert(accepted.end(), found.begin(), found.end());
            continue;
        }
        switch (Judge(page, path)) {
            case Verdict::Accept:
                accepted.push_back(path);
                break;
            case Verdict::Rights:
                wnd->PostMessage(MSG_SHOW_RIGHTS_NOTICE, 0, 0);
                break;
            case Verdict::NotSupported:
                wnd->PostMessage(MSG_SHOW_RIGHTS_NOTICE, 0, 1);
                break;
            case Verdict::Ignore:
                break;
        }
    }
    if (accepted.empty()) return;

    const uint64_t op = nextOp++;
    ops[op].remaining = static_cast<int>(accepted.size());
    outstanding.fetch_add(static_cast<int>(accepted.size()));
    const uint64_t gen = generation[page].load();
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (std::wstring& path : accepted) {
            Job job;
            job.seq = nextSeq++;
            job.op = op;
            job.page = page;
            job.generation = gen;
            job.path = std::move(path);
            jobs.push_back(std::move(job));
        }
        while (static_cast<int>(threads.size()) < threadCount) threads.emplace_back([this] { ProbeLoop(); });
    }
    wake.notify_all();
}

// ---- Probe threads -----------------------------------------------------------------------------

void CTaskList::State::ProbeLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || nextTake < nextSeq; });
        if (stopping) return;
        const uint64_t seq = nextTake++;
        Job& taken = jobs[seq - frontSeq];
        const std::wstring path = taken.path;
        const int page = taken.page;
        const bool current = taken.generation == generation[page].load();
        lock.unlock();

        MediaFacts facts;
        bool usable = false;
        // Only regular files are probed: a pipe or a device would block the probe for good.
        // Rows of a page that was cleared meanwhile are not probed at all.
        if (current && platform::IsRegularFile(path)) {
            CCommon::ProbeForListRow(path, facts);
            usable = facts.fileSize > 0 && facts.durationMs > 0;
        }

        lock.lock();
        if (stopping) return;
        Job& job = jobs[seq - frontSeq];
        job.facts = std::move(facts);
        job.usable = usable;
        job.done = true;
        while (!jobs.empty() && jobs.front().done) {
            ready.push_back(std::move(jobs.front()));
            jobs.pop_front();
            ++frontSeq;
        }
        if (!ready.empty() && !drainPosted) {
            drainPosted = true;
            std::weak_ptr<State> weak = self;
            CAppUI::Post([weak] {
                if (auto state = weak.lock()) state->Drain();
            });
        }
    }
}

void CTaskList::State::Drain() {
    const uint64_t start = platform::TickCountMs();
    std::map<int, std::set<std::wstring>> held;
    for (;;) {
        Job job;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (ready.empty()) {
                drainPosted = false;
                return;
            }
            if (platform::TickCountMs() - start >= kVisitMs) {
                // Back to the loop (layout, paint, input); the rest comes at the next visit.
                std::weak_ptr<State> weak = self;
                CAppUI::Post([weak] {
                    if (auto state = weak.lock()) state->Drain();
                });
                return;
            }
            job = std::move(ready.front());
            ready.pop_front();
        }
        Apply(job, held);
    }
}

void CTaskList::State::Apply(Job& job, std::map<int, std::set<std::wstring>>& held) {
    const bool alive = owner && wnd && CAppUI::IsWindowAlive(wnd);
    Op& op = ops[job.op];
    if (alive && job.generation == generation[job.page].load()) {
        auto cached = held.find(job.page);
        if (cached == held.end()) {
            std::set<std::wstring> paths;
            if (CListUI* list = owner->PageList(job.page)) {
                for (int i = 0, n = list->GetCount(); i < n; ++i)
                    paths.insert(list->GetItemAt(i)->GetUserData());
            }
            cached = held.emplace(job.page, std::move(paths)).first;
        }
        if (cached->second.count(job.path)) {
            wnd->PostMessage(MSG_NOTICE, 0, 0);
        } else if (!job.usable || !owner->AddRow(job.page, job.path, job.facts)) {
            ++op.unusable;
        } else {
            cached->second.insert(job.path);
        }
    }
    if (--op.remaining <= 0) {
        // Files that could not be read as media are named once per request.
        if (op.unusable > 0 && alive) wnd->PostMessage(MSG_NOTICE, 1, 0);
        ops.erase(job.op);
    }
    outstanding.fetch_sub(1);
}

void CTaskList::State::StopProbing() {
    std::vector<std::thread> running;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        running.swap(threads);
    }
    wake.notify_all();
    for (std::thread& t : running) t.join();
}
