// The inner state of CTaskList, shared by its source files: the window, the installed editor and
// busy check, and the background probe (job queue, probe threads, operations in flight).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "ui/TaskList.h"

class CControlUI;

namespace tasklist {
extern const wchar_t* const kPageLists[8];
extern const wchar_t* const kRowLayouts[8];
}  // namespace tasklist

struct CTaskList::State {
    CWindowUI* wnd = nullptr;
    CTaskList* owner = nullptr;  // cleared when the task list goes
    EditorFn editor;
    std::function<bool(int page)> busy;

    // Page of a source or segment list of the window, -1 for other lists.
    int PageOfList(CListUI* list) const;
    // Posts notice 4 and answers true while page's batch runs.
    bool RefuseWhileBusy(int page);
    static void RelinkMerge(CListUI* list);

    // ---- Background probe -----------------------------------------------------------------
    // One file to probe for a page. Jobs leave the queue in submission order once done.
    struct Job {
        uint64_t seq = 0;
        uint64_t op = 0;
        int page = 0;
        uint64_t generation = 0;
        std::wstring path;
        MediaFacts facts;
        bool usable = false;
        bool done = false;
    };
    // One add request (a dialog pick, a folder, a drop), tracked on the UI thread only.
    struct Op {
        int remaining = 0;
        int unusable = 0;
    };

    std::weak_ptr<State> self;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;      // not yet handed to the UI thread, in order
    uint64_t frontSeq = 0;     // seq of jobs.front()
    uint64_t nextSeq = 0;      // seq of the next job submitted
    uint64_t nextTake = 0;     // seq of the first job no thread has taken
    std::deque<Job> ready;     // done jobs, in order, for the UI thread
    bool drainPosted = false;  // a Drain is queued for the UI thread
    std::vector<std::thread> threads;
    int threadCount = 2;
    bool stopping = false;
    std::atomic<uint64_t> generation[8] = {};  // a clear of the page drops its older jobs
    std::atomic<int> outstanding{0};           // jobs submitted and not yet applied
    std::map<uint64_t, Op> ops;                // UI thread
    uint64_t nextOp = 1;                       // UI thread

    void SetThreadCount(int count);
    void BumpGeneration(int page);
    // UI thread: filters the paths for the page and queues the accepted ones.
    void Submit(int page, const std::vector<std::wstring>& paths);
    void ProbeLoop();
    // UI thread: rows for the probed jobs, in order, for a few milliseconds; the rest waits for
    // the next visit so that the window keeps answering.
    void Drain();
    // UI thread: the row of one probed job (duplicate rule, unusable files, notice 1 at the end of
    // its request). `held` caches the sources of the page's list for this visit.
    void Apply(Job& job, std::map<int, std::set<std::wstring>>& held);
    void StopProbing();
};
