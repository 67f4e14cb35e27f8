// The batch start handlers. A batch thread walks its page's list once, reads each row's settings
// from the row's named controls, queues one job per row on the worker pool and waits until every
// job it queued has run (or was dropped by a stopped pool); then it tells the window.
#include "app/BatchHandlers.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <set>
#include <vector>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/WorkThreadPool.h"
#include "engine/WorkerSupport.h"
#include "logging/Log.h"
#include "platform/Platform.h"
#include "ui/Messages.h"
#include "ui/MsgWnd.h"
#include "ui/RowLookup.h"
#include "uikit/UIlib.h"

namespace {

constexpr int kPageCount = 8;
constexpr uint32_t kFailedColor = 0xFFF1707A;
constexpr uint32_t kNormalTextColor = 0xFF333333;
const wchar_t* const kZeroTime = L"00:00:00.000";

// The list each page's batch walks.
const wchar_t* const kBatchLists[kPageCount] = {
    L"list_cutoutfile", L"list_formatfile", L"list_mergefile", L"list_extractoutfile",
    L"list_speedfile",  L"list_volumefile", L"list_noisefile", L"list_addbgmfile",
};

// The end of one page's batch thread, waited for by IsRunning.
struct PageThread {
    std::mutex mutex;
    std::condition_variable cv;
    bool ended = false;

    void End() {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        cv.notify_all();
    }
    bool WaitEnded(int ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return ended; });
    }
};

// Output names handed to jobs that have not written them yet. A name stays reserved until its job
// is over, so two rows of one batch (or of two batches) never get the same free name.
std::mutex g_reservedMutex;
std::set<std::wstring> g_reserved;

// The path itself when it is free, else "<folder><name>_<n><ext>" for the first free n; the
// result is reserved until Release.
std::wstring ReserveFreePath(const std::wstring& path) {
    std::wstring folder, name, ext;
    CCommon::OnSplitPath(path, &folder, &name, &ext);
    std::lock_guard<std::mutex> lock(g_reservedMutex);
    std::wstring candidate = path;
    for (int n = 1; (g_reserved.count(candidate) != 0 || platform::PathExists(candidate)) &&
                    n <= CCommon::kMaxFreeNameTries;
         ++n) {
        candidate = folder + name + L"_" + std::to_wstring(n) + ext;
    }
    g_reserved.insert(candidate);
    return candidate;
}

void ReleasePath(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_reservedMutex);
    g_reserved.erase(path);
}

// Prefix removal: the text after the prefix when the text contains it, otherwise empty.
std::wstring StripPrefix(const std::wstring& text, const std::wstring& prefix) {
    std::wstring out;
    CCommon::OnStripPrefix(text, prefix, out);
    return out;
}

std::wstring DropLast(const std::wstring& text, size_t count) {
    return text.size() > count ? text.substr(0, text.size() - count) : std::wstring();
}

using rows::Child;
using rows::RowOf;

void SetUserData(CControlUI* row, const wchar_t* name, const std::wstring& value) {
    if (CControlUI* c = Child(row, name)) c->SetUserData(value);
}

// Row i of a page's list, or null when there is no such row or the list itself is gone (the
// window was closed while the batch thread still walked it).
CControlUI* RowAt(CListUI* list, int i) {
    CUILockGuard lock(UILock());
    return CControlUI::IsAlive(list) ? list->GetItemAt(i) : nullptr;
}

}  // namespace

// One batch: its done counter and the jobs it still has on the pool. The record is shared with
// the jobs' callables, so a job that ends after its batch thread still counts into live memory.
struct BatchRun {
    std::atomic<int> doneCount{0};
    std::atomic<int> pending{0};   // queued jobs not yet run or dropped
    std::atomic<int> inFlight{0};  // jobs a worker is running now
};

struct CBatchHandlers::State {
    mutable std::mutex mutex;
    CWindowUI* wnd = nullptr;  // null once the handlers are gone
    std::shared_ptr<PageThread> pages[kPageCount];
    std::atomic<int> singleRunning{0};
    std::wstring mergeOutput;
    int animationDelayMs = 50;
    SleepFn sleep;
    MessageFn message;
    CWorkThreadPoolImpl* pool = nullptr;

    CWindowUI* Wnd() const {
        std::lock_guard<std::mutex> lock(mutex);
        return wnd;
    }
    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) const {
        std::lock_guard<std::mutex> lock(mutex);
        if (wnd != nullptr) wnd->PostMessage(msg, wParam, lParam);
    }
    void Sleep(uint32_t ms) const {
        SleepFn fn;
        {
            std::lock_guard<std::mutex> lock(mutex);
            fn = sleep;
        }
        if (fn) {
            fn(ms);
        } else {
            platform::SleepMs(ms);
        }
    }
    CWorkThreadPoolImpl& Pool() const {
        std::lock_guard<std::mutex> lock(mutex);
        if (pool != nullptr) return *pool;
        return CSingletonWorkThreadPool::Instance();
    }
    CControlUI* Find(const wchar_t* name) const {
        CWindowUI* w = Wnd();
        return w != nullptr ? w->FindControl(name) : nullptr;
    }
    CListUI* List(int page) const {
        return page >= 0 && page < kPageCount ? dynamic_cast<CListUI*>(Find(kBatchLists[page])) : nullptr;
    }

    // False (and notice 7) when the custom folder is chosen but empty.
    bool OutputFolderChosen() const {
        auto* oldDir = dynamic_cast<COptionUI*>(Find(L"opt_OldDir"));
        CControlUI* outpath = Find(L"outpath");
        if (oldDir != nullptr && !oldDir->IsSelected() &&
            (outpath == nullptr || outpath->GetText().empty())) {
            Post(MSG_NOTICE, 7, 0);
            return false;
        }
        return true;
    }
    // The output folder of one input, with its trailing "/", read anew for every row.
    std::wstring OutputFolder(const std::wstring& input) const {
        auto* oldDir = dynamic_cast<COptionUI*>(Find(L"opt_OldDir"));
        if (oldDir == nullptr || oldDir->IsSelected()) {
            std::wstring folder;
            CCommon::OnGetFolderOfPath(input, folder);
            return folder;
        }
        CControlUI* outpath = Find(L"outpath");
        std::wstring folder = outpath != nullptr ? outpath->GetText() : std::wstring();
        if (!folder.empty() && folder.back() != L'/') folder += L'/';
        return folder;
    }
};

namespace {

using StatePtr = std::shared_ptr<CBatchHandlers::State>;

std::wstring TempBase(const std::wstring& folder) {
    return CAudioProcess::OnReserveTempName(folder, workers::TickText(), L"");
}

// Queues one job. The output name stays reserved until the job is over; the job counts into the
// batch when it has run. False when the pool was stopped (nothing was queued).
bool Queue(CWorkThreadPoolImpl& pool, const std::shared_ptr<BatchRun>& run,
           std::unique_ptr<_tagAsyncParam> job, int (*worker)(void*)) {
    if (pool.IsStarted() && !pool.IsRunning()) {
        ReleasePath(job->output);
        return false;
    }
    // The ticket lives in the callable, which the pool destroys after the done counter was
    // incremented or when it drops the job; either way the job is no longer pending.
    struct Ticket {
        std::shared_ptr<BatchRun> run;
        std::wstring output;
        Ticket(std::shared_ptr<BatchRun> r, std::wstring o) : run(std::move(r)), output(std::move(o)) {
            run->pending.fetch_add(1);
        }
        ~Ticket() {
            ReleasePath(output);
            run->pending.fetch_sub(1);
        }
    };
    auto ticket = std::make_shared<Ticket>(run, job->output);
    pool.Submit(
        std::move(job),
        [ticket, worker](void* param) {
            ticket->run->inFlight.fetch_add(1);
            const int result = worker(param);
            ticket->run->inFlight.fetch_sub(1);
            return result;
        },
        &run->doneCount);
    return true;
}

// Waits until every job the batch queued has run, or until the pool was stopped and nothing of
// this batch runs any more (its queued jobs are dropped then).
void WaitForBatch(const StatePtr& s, CWorkThreadPoolImpl& pool, const BatchRun& run) {
    while (run.pending.load() > 0) {
        if (pool.IsStarted() && !pool.IsRunning() && run.inFlight.load() == 0) break;
        s->Sleep(10);
    }
}

// The end of every batch: segment rows may be removed again, the page is idle, the window knows.
void EndBatch(const StatePtr& s, int page, const std::shared_ptr<PageThread>& thread) {
    if (CListUI* list = s->List(page)) {
        CUILockGuard lock(UILock());
        for (int i = 0; i < list->GetCount(); ++i) {
            if (CControlUI* button = Child(list->GetItemAt(i), L"btn_Removefileout"))
                button->SetEnabled(true);
        }
    }
    thread->End();
    s->Post(MSG_BATCH_DONE, 0, page);
}

// ---- Format page ---------------------------------------------------------------------------------

// What a format row asks for, read from its labels.
struct FormatJob {
    bool ok = false;
    std::wstring output, tempBase, start, length, options;
};

std::wstring FormatOptions(const std::wstring& extLower, uint64_t channels, const std::wstring& quality,
                           const std::wstring& wavCodec, const std::wstring& input) {
    std::wstring options;
    auto append = [&options](const std::wstring& part) {
        if (!options.empty()) options += L' ';
        options += part;
    };
    if (extLower != L"flac") {
        if (channels == 1) append(L"-ac 1");
        if (channels == 2) append(L"-ac 2");
        const std::wstring rate = DropLast(quality, 3);
        if (extLower == L"wav") {
            if (!wavCodec.empty()) append(L"-acodec " + wavCodec);
            if (!rate.empty()) append(L"-ab " + rate);
        } else if (extLower == L"ogg") {
            options += L" -acodec libvorbis";
        } else if (!rate.empty()) {
            append(L"-ab " + rate);
        }
    }
    std::wstring inExt;
    CCommon::OnSplitPath(input, nullptr, nullptr, &inExt);
    if (platform::ToLower(inExt) == L".mp3" && CCommon::OnHasCover(input)) options += L" -vn ";
    return options;
}

// Steps 2-7 of a format row: output path, temp base, times and options; the open button learns the
// output. A row without an output extension is refused (it would write "name.").
FormatJob ReadFormatRow(const StatePtr& s, CControlUI* row, const std::wstring& input) {
    FormatJob job;
    CControlUI* extLabel = Child(row, L"outfileext");
    CControlUI* qualityLabel = Child(row, L"outfilequality");
    CControlUI* timeLabel = Child(row, L"outfiletime");
    CControlUI* outfile = Child(row, L"outfile");
    const std::wstring ext =
        extLabel != nullptr ? StripPrefix(extLabel->GetText(), L"格式：") : std::wstring();
    const uint64_t channels = extLabel != nullptr ? extLabel->GetTag() : 0;
    const std::wstring quality =
        qualityLabel != nullptr ? StripPrefix(qualityLabel->GetText(), L"质量：") : std::wstring();
    const std::wstring wavCodec = qualityLabel != nullptr ? qualityLabel->GetUserData() : std::wstring();
    job.start = timeLabel != nullptr ? timeLabel->GetUserData() : std::wstring();
    if (job.start.empty()) job.start = kZeroTime;
    job.length = timeLabel != nullptr ? StripPrefix(timeLabel->GetText(), L"时长：") : std::wstring();
    if (ext.empty() || input.empty()) {
        TW_LOG_INFO(L"format row without output format, not converted : " << input << L"\n");
        return job;
    }
    const std::wstring folder = s->OutputFolder(input);
    if (outfile != nullptr) {
        job.output = ReserveFreePath(folder + outfile->GetText() + L"." + ext);
    }
    job.tempBase = TempBase(folder);
    job.options = FormatOptions(platform::ToLower(ext), channels, quality, wavCodec, input);
    SetUserData(row, L"btn_openfile", job.output);
    job.ok = !job.output.empty();
    return job;
}

// A refused format row shows the failure and gets its convert button back.
void RefuseFormatRow(CControlUI* row, CControlUI* convert) {
    if (CControlUI* size = Child(row, L"outfilesize")) {
        size->SetTextColor(kFailedColor);
        size->SetText(L"失败");
    }
    if (convert != nullptr) {
        convert->SetText(L"转换");
        convert->SetEnabled(true);
    }
}

// Walks a page's rows in order; a row that is gone counts as done at once.
template <typename Handle>
void ForEachRow(CListUI* list, int count, BatchRun& run, Handle&& handle) {
    for (int i = 0; i < count; ++i) {
        CControlUI* row = RowAt(list, i);
        if (row == nullptr) {
            run.doneCount.fetch_add(1);
            continue;
        }
        handle(row);
    }
}

void OnStartHandleFormatProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                             const std::shared_ptr<BatchRun>& shared) {
    CWorkThreadPoolImpl& pool = s->Pool();
    ForEachRow(list, count, run, [&](CControlUI* row) {
        const std::wstring input = row->GetUserData();
        CControlUI* convert = Child(row, L"formatconvertaudio");
        CControlUI* open = Child(row, L"btn_openfile");
        if (convert != nullptr && open != nullptr) {
            if (convert->IsEnabled() && convert->IsOwnVisible()) {
                convert->SetEnabled(false);
                convert->SetText(L"转换中");
            } else if (open->IsOwnVisible()) {
                open->SetVisible(false);
                convert->SetVisible(true);
                convert->SetEnabled(false);
                convert->SetText(L"转换中");
            } else {
                run.doneCount.fetch_add(1);  // its own conversion is under way
                return;
            }
        }
        FormatJob f = ReadFormatRow(s, row, input);
        if (!f.ok) {
            RefuseFormatRow(row, convert);
            run.doneCount.fetch_add(1);
            return;
        }
        auto job = std::make_unique<_tagAsyncParam>();
        job->input = input;
        job->output = f.output;
        job->progressPath = f.tempBase;
        job->start = f.start;
        job->length = f.length;
        job->extra = f.options;
        job->controlA = Child(row, L"outfilesize");
        job->controlB = convert;
        if (!Queue(pool, shared, std::move(job), &CAudioProcess::OnAsyncFormatAudio))
            run.doneCount.fetch_add(1);
    });
}

// ---- The other pages ---------------------------------------------------------------------------------

void OnStartHandleCutOrExtract(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                               const std::shared_ptr<BatchRun>& shared, bool cut) {
    CWorkThreadPoolImpl& pool = s->Pool();
    ForEachRow(list, count, run, [&](CControlUI* row) {
        const std::wstring input = row->GetUserData();
        const std::wstring folder = s->OutputFolder(input);
        CControlUI* name = Child(row, L"filename");
        CControlUI* time = Child(row, L"filetime");
        if (name == nullptr || name->GetText().empty()) {
            // No segment name: there is nothing to write to.
            if (CControlUI* size = Child(row, L"filesize")) {
                size->SetTextColor(kFailedColor);
                size->SetText(L"失败");
            }
            run.doneCount.fetch_add(1);
            return;
        }
        auto job = std::make_unique<_tagAsyncParam>();
        job->input = input;
        job->output = ReserveFreePath(folder + name->GetText());
        job->progressPath = TempBase(folder);
        job->start = time != nullptr ? time->GetUserData() : std::wstring();
        if (job->start.empty()) job->start = kZeroTime;
        job->length = CCommon::FormatTimeCode(time != nullptr ? static_cast<uint32_t>(time->GetTag()) : 0);
        job->controlA = Child(row, L"filesize");
        SetUserData(row, L"btn_openfileout", job->output);
        if (CControlUI* size = job->controlA) {
            if (cut) size->SetTextColor(kNormalTextColor);
            size->SetText(L"剪切中");
        }
        if (!Queue(pool, shared, std::move(job),
                   cut ? &CAudioProcess::OnAsyncCutAudio : &CAudioProcess::OnAsyncExtractAudio)) {
            run.doneCount.fetch_add(1);
        }
    });
}

void OnStartHandleCutProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                          const std::shared_ptr<BatchRun>& shared) {
    OnStartHandleCutOrExtract(s, list, count, run, shared, true);
}

void OnStartHandleExtractProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                              const std::shared_ptr<BatchRun>& shared) {
    OnStartHandleCutOrExtract(s, list, count, run, shared, false);
}

void OnStartHandleSpeedOrVolume(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                                const std::shared_ptr<BatchRun>& shared, bool speed) {
    CWorkThreadPoolImpl& pool = s->Pool();
    ForEachRow(list, count, run, [&](CControlUI* row) {
        const std::wstring input = row->GetUserData();
        std::wstring name, ext;
        CCommon::OnSplitPath(input, nullptr, &name, &ext);
        CControlUI* value = Child(row, L"sliderValue");
        auto job = std::make_unique<_tagAsyncParam>();
        job->input = input;
        job->output = ReserveFreePath(s->OutputFolder(input) + name + ext);
        job->progressPath = TempBase(s->OutputFolder(input));
        job->extra =
            (speed ? L"atempo=" : L"volume=") + DropLast(value != nullptr ? value->GetText() : L"", 1);
        job->controlA = Child(row, L"progress");
        job->controlB = Child(row, L"ProgressValue");
        std::wstring outFolder;
        CCommon::OnGetFolderOfPath(job->output, outFolder);
        SetUserData(row, L"btn_openfile", job->output);
        SetUserData(row, L"btn_openpath", outFolder);
        if (!Queue(pool, shared, std::move(job),
                   speed ? &CAudioProcess::OnAsyncSpeedAudio : &CAudioProcess::OnAsyncVolumeAudio)) {
            run.doneCount.fetch_add(1);
        }
        s->Sleep(50);
    });
}

void OnStartHandleSpeedProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                            const std::shared_ptr<BatchRun>& shared) {
    OnStartHandleSpeedOrVolume(s, list, count, run, shared, true);
}

void OnStartHandleVolumeProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                             const std::shared_ptr<BatchRun>& shared) {
    OnStartHandleSpeedOrVolume(s, list, count, run, shared, false);
}

// Output folder + the input's numbered name ("<name>_<n><ext>", counter kept for the batch),
// made free in the output folder.
std::wstring NumberedOutput(const StatePtr& s, const std::wstring& input, int& counter,
                            const std::wstring& ext) {
    std::wstring name;
    if (!CCommon::OnGetFreeNumberedName(input, name, counter, ext)) return {};
    return ReserveFreePath(s->OutputFolder(input) + name);
}

void OnStartHandleNoiseProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                            const std::shared_ptr<BatchRun>& shared) {
    CWorkThreadPoolImpl& pool = s->Pool();
    int counter = 1;
    ForEachRow(list, count, run, [&](CControlUI* row) {
        const std::wstring input = row->GetUserData();
        CControlUI* outExt = Child(row, L"comboNoiseOutExt");
        const std::wstring ext = outExt != nullptr ? outExt->GetText() : std::wstring();
        auto job = std::make_unique<_tagAsyncParam>();
        job->input = input;
        job->output = NumberedOutput(s, input, counter, L"." + ext);
        job->progressPath = TempBase(s->OutputFolder(input));
        job->extra = ext;
        job->controlA = Child(row, L"progress");
        job->controlB = Child(row, L"ProgressValue");
        if (auto* rank = dynamic_cast<CComboUI*>(Child(row, L"comboNoiseRank"))) {
            if (job->controlB != nullptr)
                job->controlB->SetTag(static_cast<uint64_t>(std::max(0, rank->GetCurSel())));
        }
        std::wstring outFolder;
        CCommon::OnGetFolderOfPath(job->output, outFolder);
        SetUserData(row, L"btn_listopenfile", job->output);
        SetUserData(row, L"btn_openpath", outFolder);
        if (!Queue(pool, shared, std::move(job), &CAudioProcess::OnAsyncNoiseAudio))
            run.doneCount.fetch_add(1);
        s->Sleep(50);
    });
}

void OnStartHandleBgmProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                          const std::shared_ptr<BatchRun>& shared) {
    TW_LOG_INFO(L">> IN " << L"OnStartHandleBgmProc" << L"...\n");
    CWorkThreadPoolImpl& pool = s->Pool();
    int counter = 1;
    for (int i = 0; i < count; ++i) {
        CControlUI* row = RowAt(list, i);
        CControlUI* music = Child(row, L"btn_itemaddbgm");
        if (row == nullptr || music == nullptr || music->GetUserData().empty()) {
            run.doneCount.fetch_add(1);  // no music chosen for this row
            continue;
        }
        const std::wstring input = row->GetUserData();
        auto job = std::make_unique<_tagAsyncParam>();
        job->input = input;
        job->output = NumberedOutput(s, input, counter, L"");
        job->progressPath = TempBase(s->OutputFolder(input));
        job->controlA = row;
        std::wstring outFolder;
        CCommon::OnGetFolderOfPath(job->output, outFolder);
        SetUserData(row, L"btn_openfile", job->output);
        SetUserData(row, L"btn_openpath", outFolder);
        if (!Queue(pool, shared, std::move(job), &CAudioProcess::OnAsyncComplexAudio))
            run.doneCount.fetch_add(1);
        s->Sleep(50);
    }
    TW_LOG_INFO(L">> OUT " << L"OnStartHandleBgmProc" << L"...\n");
}

// ---- Merge page ----------------------------------------------------------------------------------

// A LAME MP3 is copied as its piece only when its row keeps the whole file; a chosen range still
// needs the cut, or the merged file would contain what the user left out.
bool CopiesAsPiece(const MergeSource& source) {
    std::wstring ext;
    CCommon::OnSplitPath(source.path, nullptr, nullptr, &ext);
    if (ext != L".mp3") return false;
    if (platform::ToLower(CCommon::OnGetEncodedLibrary(source.path)).find(L"lame") == std::wstring::npos) {
        return false;
    }
    if (!source.start.empty() && CCommon::OnParseTimeCode(source.start) != 0) return false;
    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(source.path, facts);
    constexpr uint32_t kToleranceMs = 50;  // probes of one MP3 may differ by a frame
    return facts.durationMs != 0 &&
           CCommon::OnParseTimeCode(source.length) + kToleranceMs >= facts.durationMs;
}

void OnStartHandleMergeProc(const StatePtr& s, CListUI* list, int count, BatchRun& run,
                            const std::shared_ptr<BatchRun>& shared) {
    CWorkThreadPoolImpl& pool = s->Pool();
    CControlUI* first = RowAt(list, 0);
    const std::wstring folder = s->OutputFolder(first != nullptr ? first->GetUserData() : std::wstring());
    const std::wstring temp = CCommon::OnGetMergeTempPath();
    const std::wstring listFile = CAudioProcess::OnReserveTempName(temp, workers::TickText(), L".txt");
    const std::wstring output =
        ReserveFreePath(folder + L"合成文件-" + CCommon::OnGetTimestampName() + L".mp3");
    const std::wstring finalTemp = TempBase(folder);
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->mergeOutput.clear();
    }
    std::vector<std::wstring> pieces;
    {
        std::ofstream out(platform::ToUtf8(listFile), std::ios::binary | std::ios::trunc);
        for (int i = 0; i < count; ++i) {
            CControlUI* row = RowAt(list, i);
            if (row == nullptr) {
                run.doneCount.fetch_add(1);
                continue;
            }
            const MergeSource source = CAudioProcess::OnReadMergeRow(row);
            std::wstring piece =
                CAudioProcess::OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".mp3");
            for (auto& c : piece) {
                if (c == L'\\') c = L'/';
            }
            if (CopiesAsPiece(source)) {
                platform::CopyFileNoOverwrite(source.path, piece);
                run.doneCount.fetch_add(1);
            } else {
                auto job = std::make_unique<_tagAsyncParam>();
                job->input = source.path;
                job->output = piece;
                job->progressPath = TempBase(temp);
                job->start = source.start.empty() ? kZeroTime : source.start;
                job->length = source.length;
                if (!Queue(pool, shared, std::move(job), &CAudioProcess::OnAsyncMergeAudio)) {
                    run.doneCount.fetch_add(1);
                }
            }
            out << workers::ListLine(piece);
            out.flush();
            pieces.push_back(piece);
            s->Sleep(50);
        }
    }
    WaitForBatch(s, pool, run);
    const bool stopped = pool.IsStarted() && !pool.IsRunning();
    if (!stopped) CAudioProcess::OnMergeAudio(output, listFile, finalTemp);
    for (const auto& piece : pieces) workers::DeleteTemp(piece);
    workers::DeleteTemp(listFile);
    workers::DeleteTemp(finalTemp);
    ReleasePath(output);
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->mergeOutput = output;
    }
    s->Post(MSG_NOTICE, 8, 8);
}

using PageProc = void (*)(const StatePtr&, CListUI*, int, BatchRun&, const std::shared_ptr<BatchRun>&);
const PageProc kPageProcs[kPageCount] = {
    &OnStartHandleCutProc,   &OnStartHandleFormatProc, &OnStartHandleMergeProc, &OnStartHandleExtractProc,
    &OnStartHandleSpeedProc, &OnStartHandleVolumeProc, &OnStartHandleNoiseProc, &OnStartHandleBgmProc,
};

// The batch thread of one page: the row walk, the wait, the end.
void RunBatch(StatePtr s, int page, std::shared_ptr<PageThread> thread) {
    auto run = std::make_shared<BatchRun>();
    CListUI* list = s->List(page);
    const int count = list != nullptr ? list->GetCount() : 0;
    if (list != nullptr && count > 0) {
        kPageProcs[page](s, list, count, *run, run);
        if (page != static_cast<int>(ToolKind::Merge)) WaitForBatch(s, s->Pool(), *run);
    }
    EndBatch(s, page, thread);
}

// ---- Single-row conversion -------------------------------------------------------------------------

void OnSingleFormatProc(StatePtr s, CControlUI* button) {
    button->SetText(L"转换中");
    button->SetEnabled(false);
    CControlUI* row = RowOf(button);
    CControlUI* remove = Child(row, L"btn_Removefile");
    if (remove != nullptr) remove->SetEnabled(false);
    const std::wstring input = row != nullptr ? row->GetUserData() : std::wstring();
    FormatJob f = ReadFormatRow(s, row, input);
    if (!f.ok) {
        RefuseFormatRow(row, button);
        if (remove != nullptr) remove->SetEnabled(true);
        return;
    }
    CAudioProcess::OnSingleFormatAudio(input, f.output, f.tempBase, f.start, f.length, f.options,
                                       Child(row, L"outfilesize"));
    ReleasePath(f.output);
    button->SetUserData(f.output);
    if (CControlUI* open = Child(row, L"btn_openfile")) {
        open->SetVisible(true);
        open->SetUserData(f.output);
    }
    if (remove != nullptr) remove->SetEnabled(true);
    button->SetEnabled(true);
    button->SetText(L"转换");
    button->SetVisible(false);
}

// The modal message dialog with one text (caption "消息对话框", 360 x 180, centred on the window).
void ShowMessageDialog(CWindowUI* owner, const std::wstring& text) {
    CMsgWnd::ShowMessage(owner, CMsgWnd::kOtherMsg, text);
}

}  // namespace

CBatchHandlers::CBatchHandlers(CWindowUI* mainWnd) : m_state(std::make_shared<State>()) {
    m_state->wnd = mainWnd;
}

CBatchHandlers::~CBatchHandlers() {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->wnd = nullptr;
}

void CBatchHandlers::OnStartClick() {
    const StatePtr& s = m_state;
    if (!s->OutputFolderChosen()) return;
    auto* tab = dynamic_cast<CTabLayoutUI*>(s->Find(L"tab_outfileext_Audio"));
    const int page = tab != nullptr ? tab->GetCurSel() : -1;
    CListUI* list = s->List(page);
    if (list == nullptr) return;
    if (list->GetCount() == 0) {
        if (page == static_cast<int>(ToolKind::Cut) || page == static_cast<int>(ToolKind::Extract)) {
            const std::wstring text = L"请添加输出列表，如有疑问请联系客服！";
            MessageFn sink;
            {
                std::lock_guard<std::mutex> lock(s->mutex);
                sink = s->message;
            }
            if (sink) {
                sink(text);
            } else {
                ShowMessageDialog(s->Wnd(), text);
            }
        }
        return;
    }
    // A row whose batch runs cannot be removed: its controls are written by the jobs.
    for (int i = 0; i < list->GetCount(); ++i) {
        if (CControlUI* b = Child(list->GetItemAt(i), L"btn_Removefile")) b->SetEnabled(false);
        if (CControlUI* b = Child(list->GetItemAt(i), L"btn_Removefileout")) b->SetEnabled(false);
    }
    CWorkThreadPoolImpl& pool = s->Pool();
    if (!pool.IsStarted()) pool.Start(5);

    auto thread = std::make_shared<PageThread>();
    int delay = 0;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->pages[page] = thread;
        delay = s->animationDelayMs;
    }
    std::thread(RunBatch, s, page, thread).detach();

    if (CControlUI* start = s->Find(L"btn_conver")) start->SetVisible(false);
    if (CControlUI* gif = s->Find(L"gif_conver")) {
        if (auto* frames = dynamic_cast<CFrameAnimUI*>(gif)) {
            if (delay > 0) {
                frames->SetInterval(delay);
                frames->Start();
            }
        } else if (auto* anim = dynamic_cast<CGifAnimUI*>(gif)) {
            if (delay > 0) anim->PlayGif();
        }
        gif->SetVisible(true);
    }
}

void CBatchHandlers::OnSingleFormatClick(CControlUI* button) {
    if (button == nullptr || !m_state->OutputFolderChosen()) return;
    m_state->singleRunning.fetch_add(1);
    std::thread([s = m_state, button] {
        OnSingleFormatProc(s, button);
        s->singleRunning.fetch_sub(1);
    }).detach();
}

bool CBatchHandlers::IsRunning(int page, int waitMs) const {
    if (page < 0 || page >= kPageCount) return false;
    std::shared_ptr<PageThread> thread;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        thread = m_state->pages[page];
    }
    return thread != nullptr && !thread->WaitEnded(waitMs);
}

bool CBatchHandlers::IsSingleRunning() const {
    return m_state->singleRunning.load() > 0;
}

std::wstring CBatchHandlers::MergeOutputPath() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->mergeOutput;
}

void CBatchHandlers::SetAnimationDelayMs(int ms) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->animationDelayMs = ms;
}

void CBatchHandlers::SetSleepFunction(SleepFn fn) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->sleep = std::move(fn);
}

void CBatchHandlers::SetMessageSink(MessageFn fn) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->message = std::move(fn);
}

void CBatchHandlers::SetPool(CWorkThreadPoolImpl* pool) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->pool = pool;
}
