// Merge: every source becomes an MP3 piece (in parallel on the pool), the pieces are joined by the
// tool's concat demuxer and the joined file is encoded once more into the final MP3.
#include <atomic>
#include <fstream>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/WorkThreadPool.h"
#include "engine/WorkerSupport.h"
#include "logging/Log.h"
#include "platform/Platform.h"
#include "uikit/UIContainer.h"

using workers::DeleteTemp;
using workers::ListLine;
using workers::MakeCommand;
using workers::RunCommand;
using workers::TickText;

namespace {

// A LAME MP3 is copied as its piece only when its row keeps the whole file; a chosen range still
// needs the cut, or the merged file would contain the parts the user left out.
bool CoversWholeFile(const MergeSource& source) {
    if (!source.start.empty() && CCommon::OnParseTimeCode(source.start) != 0) {
        return false;
    }
    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(source.path, facts);
    // Probes of the same MP3 may differ by a frame or two (encoder padding).
    constexpr uint32_t kToleranceMs = 50;
    return facts.durationMs != 0 &&
           CCommon::OnParseTimeCode(source.length) + kToleranceMs >= facts.durationMs;
}

}  // namespace

int CAudioProcess::OnAsyncMergeAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncMergeAudio" << L"...\n");
    auto* source = static_cast<_tagAsyncParam*>(param);
    const _tagAsyncParam job = source != nullptr ? *source : _tagAsyncParam{};
    const CmdTemplate t = CCommon::OnHasCover(job.input) ? CmdTemplate::CutCover : CmdTemplate::CutPlain;
    RunCommand(MakeCommand(t, {job.input, job.start, job.length, job.output, job.progressPath}));

    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(job.output, facts);
    const uint64_t size = CCommon::OnGetFileSize(job.output);
    if (size == 0 || facts.durationMs == 0) {
        TW_LOG_INFO(L">>Try Other method...\n");
        DeleteTemp(job.output);
        DeleteTemp(job.progressPath);
        const std::wstring temp = CCommon::OnGetMergeTempPath();
        const std::wstring wav = OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".wav");
        RunCommand(
            MakeCommand(CmdTemplate::CutPlain, {job.input, job.start, job.length, wav, job.progressPath}));
        DeleteTemp(job.progressPath);
        RunCommand(MakeCommand(CmdTemplate::CutPlain,
                               {wav, L"00:00:00.000", job.length, job.output, job.progressPath}));
        DeleteTemp(wav);
    }
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncMergeAudio" << L"...\n");
    return 0;
}

int CAudioProcess::OnMergeAudio(std::wstring output, std::wstring list, std::wstring progressPath) {
    TW_LOG_INFO(L">> IN " << L"OnMergeAudio" << L"...\n");
    const std::wstring joined =
        OnReserveTempName(CCommon::OnGetMergeTempPath(), CCommon::OnGetTimestampName(), L".mp3");
    const ToolCommand concat = MakeCommand(CmdTemplate::Concat, {list, joined, progressPath});
    RunCommand(concat, L"Linker: ");
    DeleteTemp(progressPath);

    int sampleRate = 0;
    int kbps = 0;
    CCommandCatalogue::MergeRates(joined, &sampleRate, &kbps);
    if (platform::IsRegularFile(joined)) {
        // A joined file the probe could not measure still gets encoded, at common rates.
        if (sampleRate <= 0) sampleRate = 44100;
        if (kbps <= 0) kbps = 128;
    }
    RunCommand(MakeCommand(CmdTemplate::MergeToMp3, {joined, sampleRate, kbps, output, progressPath}),
               L"Merge : ");
    DeleteTemp(joined);
    DeleteTemp(progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnMergeAudio" << L"...\n");
    return 0;
}

int CAudioProcess::OnMergeNoiseAudio(std::wstring output, std::wstring list, std::wstring progressPath) {
    RunCommand(MakeCommand(CmdTemplate::Concat, {list, output, progressPath}));
    DeleteTemp(progressPath);
    return 0;
}

MergeSource CAudioProcess::OnReadMergeRow(CControlUI* row) {
    MergeSource source;
    if (row == nullptr) {
        return source;
    }
    source.path = row->GetUserData();
    source.start = L"00:00:00.000";
    uint32_t lengthMs = 0;
    if (auto* container = dynamic_cast<CContainerUI*>(row)) {
        if (CControlUI* time = container->FindSubControl(L"filetime")) {
            if (!time->GetUserData().empty()) {
                source.start = time->GetUserData();
            }
            lengthMs = static_cast<uint32_t>(time->GetTag());
        }
    }
    source.length = CCommon::FormatTimeCode(lengthMs);
    return source;
}

std::wstring CAudioProcess::OnRunMergeBatch(const std::vector<MergeSource>& sources,
                                            const std::wstring& outputFolderIn, CWorkThreadPoolImpl& pool,
                                            int* copiedCount) {
    std::wstring outputFolder = outputFolderIn;
    if (!outputFolder.empty() && outputFolder.back() != L'/') {
        outputFolder += L'/';
    }
    int copied = 0;
    TW_LOG_INFO(L">> IN " << L"OnRunMergeBatch" << L"...\n");
    const std::wstring temp = CCommon::OnGetMergeTempPath();
    const std::wstring list = OnReserveTempName(temp, TickText(), L".txt");
    // The final name carries the time stamp; an existing file of that name is never overwritten.
    const std::wstring output =
        OnReserveTempName(outputFolder, L"合成文件-" + CCommon::OnGetTimestampName(), L".mp3");
    const std::wstring progress = OnReserveTempName(outputFolder, TickText(), L"");

    std::atomic<int> doneCount{0};
    std::vector<std::wstring> pieces;
    {
        std::ofstream out(platform::ToUtf8(list), std::ios::binary | std::ios::trunc);
        for (size_t i = 0; i < sources.size(); ++i) {
            const MergeSource& source = sources[i];
            std::wstring piece = OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".mp3");
            for (auto& c : piece) {
                if (c == L'\\') c = L'/';
            }
            std::wstring ext;
            CCommon::OnSplitPath(source.path, nullptr, nullptr, &ext);
            const bool lame = ext == L".mp3" &&
                              platform::ToLower(CCommon::OnGetEncodedLibrary(source.path)).find(L"lame") !=
                                  std::wstring::npos;
            if (lame && CoversWholeFile(source)) {
                platform::CopyFileNoOverwrite(source.path, piece);
                doneCount.fetch_add(1);
                ++copied;
            } else {
                auto job = std::make_unique<_tagAsyncParam>();
                job->input = source.path;
                job->output = piece;
                job->progressPath = OnReserveTempName(temp, TickText(), L"");
                job->start = source.start.empty() ? L"00:00:00.000" : source.start;
                job->length = source.length;
                pool.Submit(std::move(job), &CAudioProcess::OnAsyncMergeAudio, &doneCount);
            }
            out << ListLine(piece);
            out.flush();
            pieces.push_back(piece);
            if (i + 1 < sources.size()) {
                // Keeps consecutive tick and stamp names apart (they are also reserved above).
                platform::SleepMs(50);
            }
        }
    }
    while (doneCount.load() < static_cast<int>(sources.size())) {
        platform::SleepMs(10);
    }
    OnMergeAudio(output, list, progress);
    for (const auto& piece : pieces) {
        DeleteTemp(piece);
    }
    DeleteTemp(list);
    if (copiedCount != nullptr) {
        *copiedCount = copied;
    }
    TW_LOG_INFO(L">> OUT " << L"OnRunMergeBatch" << L"...\n");
    return output;
}
