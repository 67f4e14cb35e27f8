// The operation workers of CAudioProcess (one input file of a batch becomes one output file, and the
// job's row controls show the outcome) and the merge: every source becomes an MP3 piece in parallel
// on the pool, the pieces are joined by the tool's concat demuxer and the joined file is encoded
// once more into the final MP3. Each operation runs inside one CWorkerScope, which writes its
// records from here and removes its temporary files on every path.
#include <atomic>
#include <cwctype>
#include <memory>

#include "common/Common.h"
#include "denoise/NoiseReducer.h"
#include "engine/AacBridge.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "engine/WorkThreadPool.h"
#include "engine/WorkerSupport.h"
#include "platform/Platform.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControls.h"

using workers::CWorkerScope;
using workers::DeleteTemp;
using workers::FolderOf;
using workers::LowerExt;
using workers::MakeCommand;
using workers::TickText;

namespace {

bool Exists(const std::wstring& path) {
    return !path.empty() && platform::PathExists(path);
}

// A job succeeded when its output is there and not empty.
bool Produced(const std::wstring& path) {
    return !path.empty() && CCommon::OnGetFileSize(path) > 0;
}

// Format conversion, shared by the pool worker and the single-row action. Returns the output size
// and whether the row may be updated (false when the retry could not find a temporary folder).
bool FormatSteps(CWorkerScope& scope, const _tagAsyncParam& job, uint64_t* size) {
    const std::wstring ext = LowerExt(job.input);
    ToolCommand last;
    if (ext == L".aac") {
        last = MakeCommand(CmdTemplate::Convert,
                           {job.input, job.start, job.length, job.extra, job.output, job.progressPath});
        scope.Run(last);
        if (!Exists(job.output)) {
            if (LowerExt(job.output) == L".wav") {
                OnDecoderAAC(job.input.c_str(), job.output.c_str());
            } else {
                // The decoded copy lies beside the input under a name nothing else uses.
                const std::wstring wav = scope.ReserveTemp(FolderOf(job.input), TickText(), L".wav");
                OnDecoderAAC(job.input.c_str(), wav.c_str());
                last = MakeCommand(CmdTemplate::Convert,
                                   {wav, job.start, job.length, job.extra, job.output, job.progressPath});
                scope.Run(last);
                DeleteTemp(wav);
            }
        }
    } else {
        last = MakeCommand(CCommandCatalogue::SelectConvert(job.output),
                           {job.input, job.start, job.length, job.extra, job.output, job.progressPath});
        scope.Run(last);
    }

    *size = CCommon::OnGetFileSize(job.output);
    if (*size == 0) {
        // One retry through a temporary copy of the input made by the tool itself.
        std::wstring tempFolder = platform::TempFolder();
        if (tempFolder.empty() || !platform::IsFolder(tempFolder)) {
            return false;
        }
        if (tempFolder.back() != L'/') {
            tempFolder += L'/';
        }
        std::wstring name, inExt;
        CCommon::OnSplitPath(job.input, nullptr, &name, &inExt);
        std::wstring temp = tempFolder + name + inExt;
        CAudioProcess::OnMakeUniqueName(temp, true);
        // Parallel jobs on inputs of the same name must not share the copy.
        std::wstring tempFolderPart, tempName, tempExt;
        CCommon::OnSplitPath(temp, &tempFolderPart, &tempName, &tempExt);
        temp = scope.ReserveTemp(tempFolderPart, tempName, tempExt);
        scope.Run(MakeCommand(CmdTemplate::ConvertBare, {job.input, job.extra, temp}));
        last.ReplaceAll(job.input, temp);
        scope.Run(last);
        DeleteTemp(temp);
        *size = CCommon::OnGetFileSize(job.output);
    }
    return true;
}

// The size label of a format row: the size, or the failure text in the failure colour when the
// output is missing or empty.
void ShowSize(CControlUI* label, uint64_t size) {
    if (label == nullptr) {
        return;
    }
    if (size == 0) {
        label->SetTextColor(CProgressTicker::kFailedColor);
        label->SetText(L"失败");
        return;
    }
    std::wstring text;
    CCommon::OnFormatFileSize(size, text);
    if (text.empty()) {
        text = L"0.0KB";
    }
    label->SetText(L"大小：" + text);
}

// The end state of a format row's convert button: enabled and titled "转换" again; after a
// success it is hidden and the row's "btn_openfile" shown, after a failure it stays for a retry.
void FinishFormatButton(CControlUI* button, bool succeeded) {
    if (button == nullptr) {
        return;
    }
    button->SetEnabled(true);
    button->SetText(L"转换");
    if (!succeeded) {
        return;
    }
    button->SetVisible(false);
    if (auto* parent = dynamic_cast<CContainerUI*>(button->GetParent())) {
        if (CControlUI* open = parent->FindSubControl(L"btn_openfile")) {
            open->SetVisible(true);
        }
    }
}

// The status label of a cut or extract row: "已剪切" when the output was written, "失败" in the
// failure colour when it is missing or empty.
void MarkCut(CControlUI* label, const std::wstring& output) {
    if (label == nullptr) {
        return;
    }
    if (Produced(output)) {
        label->SetTextColor(0xFF347AEB);
        label->SetText(L"已剪切");
    } else {
        label->SetTextColor(CProgressTicker::kFailedColor);
        label->SetText(L"失败");
    }
}

int NoiseLevel(CControlUI* label) {
    return label != nullptr ? static_cast<int>(label->GetTag()) : 0;
}

// One denoiser run on 16 kHz mono input. Only one runs at a time in the process; the lock is held
// for the run alone, never while a row's progress animates.
bool Denoise(const std::wstring& in, const std::wstring& out, int level) {
    std::lock_guard<std::mutex> lock(DenoiseLock);
    NoiseReducer reducer;
    reducer.SetLevel(level);
    return reducer.Reduce(in, out, level);
}

// The join of OnMergeNoiseAudio, logged in the calling operation's scope: the concat of the list
// into `output`, then the progress file is deleted.
void MergeNoise(CWorkerScope& scope, const std::wstring& output, const std::wstring& list,
                const std::wstring& progressPath) {
    scope.Run(MakeCommand(CmdTemplate::Concat, {list, output, progressPath}));
    DeleteTemp(progressPath);
}

// The piece path of a long noise job: cut, convert and denoise each piece, join them and, for a
// compressed output, encode the joined file.
void NoisePieces(CWorkerScope& scope, const std::wstring& source, const _tagAsyncParam& job,
                 uint32_t durationMs, bool wavOutput, const std::wstring& temp, const std::wstring& list,
                 CProgressTicker& progress, int level) {
    scope.Log(L">> 超过30s...\n");
    const auto plan = CAudioProcess::OnPlanNoisePieces(durationMs, SegmentLength.load());
    std::vector<std::wstring> pieces;
    for (const auto& [startMs, lengthMs] : plan) {
        const std::wstring piece = scope.ReserveTemp(temp, CCommon::OnGetTimestampName(), L".wav");
        const std::wstring tick = TickText();
        const std::wstring prog = scope.ReserveTemp(temp, tick + tick, L"");
        scope.Run(
            MakeCommand(CmdTemplate::PieceToSpeech16k, {source, CCommon::FormatTimeCode(startMs),
                                                        CCommon::FormatTimeCode(lengthMs), piece, prog}),
            L"szCmdLine : ");
        DeleteTemp(prog);
        pieces.push_back(piece);
    }
    progress.Mark(82);

    std::vector<std::wstring> cleans;
    for (const auto& piece : pieces) {
        const std::wstring clean = scope.ReserveTemp(temp, CCommon::OnGetTimestampName(), L".wav");
        Denoise(piece, clean, level);
        DeleteTemp(piece);
        if (Exists(clean)) {
            cleans.push_back(clean);
        } else {
            // A piece the denoiser could not handle is left out, so the join still succeeds.
            scope.Log(L" >>降噪失败 ：" + clean + L"\n");
        }
    }
    // The list is written once, whole, and closed before any tool reads it.
    workers::WriteList(list, cleans);
    scope.Log(L"Linker : " + list + L"\n");
    progress.Mark(87);

    const std::wstring mergeProg = scope.ReserveTemp(temp, TickText(), L"");
    if (wavOutput) {
        MergeNoise(scope, job.output, list, mergeProg);
    } else {
        const std::wstring joined = scope.ReserveTemp(temp, CCommon::OnGetTimestampName(), L".wav");
        MergeNoise(scope, joined, list, mergeProg);
        scope.Log(L"OnMergeNoiseAudio : " + joined + L"\n");
        if (!Exists(joined)) {
            scope.Log(L"file is not exist : " + joined + L"\n");
        }
        const std::wstring prog = scope.ReserveTemp(L"", job.progressPath + TickText(), L"");
        scope.Run(MakeCommand(CmdTemplate::DenoisedToMp3, {joined, job.output, prog}), L"Finish Noise : ");
    }
    for (const auto& clean : cleans) DeleteTemp(clean);
    DeleteTemp(list);
}

}  // namespace

// ---- Format conversion ---------------------------------------------------------------------------

int CAudioProcess::OnAsyncFormatAudio(void* param) {
    CWorkerScope scope(L"OnAsyncFormatAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    uint64_t size = 0;
    if (FormatSteps(scope, job, &size)) {
        ShowSize(job.controlA, size);
        FinishFormatButton(job.controlB, size > 0);
    }
    return 0;
}

int CAudioProcess::OnSingleFormatAudio(std::wstring input, std::wstring output, std::wstring progressPath,
                                       std::wstring start, std::wstring length, std::wstring args,
                                       CControlUI* sizeLabel) {
    CWorkerScope scope(L"OnSingleFormatAudio");
    _tagAsyncParam raw;
    raw.input = std::move(input);
    raw.output = std::move(output);
    raw.progressPath = std::move(progressPath);
    raw.start = std::move(start);
    raw.length = std::move(length);
    raw.extra = std::move(args);
    const _tagAsyncParam job = scope.TakeJob(&raw);
    uint64_t size = 0;
    if (FormatSteps(scope, job, &size)) {
        ShowSize(sizeLabel, size);
    }
    return 0;
}

bool CAudioProcess::OnMakeUniqueName(std::wstring& path, bool rename) {
    if (!platform::PathExists(path)) {
        return false;
    }
    if (!rename) {
        return true;
    }
    std::wstring folder, name, ext;
    CCommon::OnSplitPath(path, &folder, &name, &ext);
    for (int n = 1; n <= CCommon::kMaxFreeNameTries; ++n) {
        std::wstring candidate = folder + name + L"(" + std::to_wstring(n) + L")" + ext;
        if (!platform::PathExists(candidate)) {
            path = candidate;
            return false;
        }
    }
    return true;  // no free name: the path stays taken
}

// ---- Cut and extract -----------------------------------------------------------------------------

int CAudioProcess::OnAsyncCutAudio(void* param) {
    CWorkerScope scope(L"OnAsyncCutAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    const bool cover = CCommon::OnHasCover(job.input);
    int32_t bps = 0;
    if (CCommandCatalogue::CutUsesBitrate(job.input)) {
        CCommon::OnGetAudioRates(job.input, bps);
    }
    bool decodeFirst = false;
    const CmdTemplate t = CCommandCatalogue::SelectCut(job.input, cover, bps, &decodeFirst);
    if (decodeFirst) {
        const std::wstring wav = scope.ReserveTemp(FolderOf(job.input), TickText(), L".wav");
        OnDecoderAAC(job.input.c_str(), wav.c_str());
        scope.Run(
            MakeCommand(CmdTemplate::CutPlain, {wav, job.start, job.length, job.output, job.progressPath}));
        DeleteTemp(wav);
    } else if (t == CmdTemplate::CutCoverBitrate || t == CmdTemplate::CutBitrate) {
        scope.Run(MakeCommand(
            t, {job.input, job.start, job.length, static_cast<int>(bps), job.output, job.progressPath}));
    } else {
        scope.Run(MakeCommand(t, {job.input, job.start, job.length, job.output, job.progressPath}));
    }
    MarkCut(job.controlA, job.output);
    return 0;
}

int CAudioProcess::OnAsyncExtractAudio(void* param) {
    CWorkerScope scope(L"OnAsyncExtractAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    scope.Run(
        MakeCommand(CmdTemplate::CutPlain, {job.input, job.start, job.length, job.output, job.progressPath}));
    MarkCut(job.controlA, job.output);
    return 0;
}

// ---- Speed, volume and background music ------------------------------------------------------------

int CAudioProcess::OnAsyncSpeedAudio(void* param) {
    CWorkerScope scope(L"OnAsyncSpeedAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    CProgressTicker progress(job.controlA, job.controlB, false);
    scope.Run(MakeCommand(CmdTemplate::Speed, {job.input, job.extra, job.output, job.progressPath}));
    progress.FinishAfterReturn(job.output);
    return 0;
}

int CAudioProcess::OnAsyncVolumeAudio(void* param) {
    CWorkerScope scope(L"OnAsyncVolumeAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    CProgressTicker progress(job.controlA, job.controlB, false);
    const CmdTemplate t = CCommandCatalogue::SelectVolume(CCommon::OnHasCover(job.input));
    scope.Run(MakeCommand(t, {job.input, job.extra, job.output, job.progressPath}));
    progress.FinishAfterReturn(job.output);
    return 0;
}

int CAudioProcess::OnAsyncComplexAudio(void* param) {
    CWorkerScope scope(L"OnAsyncComplexAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    auto* row = dynamic_cast<CContainerUI*>(job.controlA);
    auto find = [row](const wchar_t* name) -> CControlUI* {
        return row != nullptr ? row->FindSubControl(name) : nullptr;
    };
    std::wstring music;
    if (CControlUI* button = find(L"btn_itemaddbgm")) {
        music = button->GetUserData();
    }
    uint32_t lengthMs = 0;
    if (CControlUI* time = find(L"filetime")) {
        lengthMs = static_cast<uint32_t>(time->GetTag());
    }
    bool loop = true;
    if (auto* option = dynamic_cast<COptionUI*>(find(L"OpitemLoop"))) {
        loop = option->IsSelected();
    }
    CProgressTicker progress(find(L"progress"), find(L"ProgressValue"), false);
    const bool cover = CCommon::OnHasCover(job.input) || (!music.empty() && CCommon::OnHasCover(music));
    const CmdTemplate t = CCommandCatalogue::SelectBackgroundMusic(loop, cover);
    scope.Run(
        MakeCommand(t, {job.input, music, CCommon::FormatTimeCode(lengthMs), job.output, job.progressPath}));
    progress.FinishAfterReturn(job.output);
    return 0;
}

// ---- Noise removal -----------------------------------------------------------------------------------

int CAudioProcess::OnAsyncNoiseAudio(void* param) {
    CWorkerScope scope(L"OnAsyncNoiseAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    const bool wavOutput = platform::ToLower(job.extra) == L"wav";
    const int level = NoiseLevel(job.controlB);
    const uint32_t segment = SegmentLength.load();

    CProgressTicker progress(job.controlA, job.controlB, true);
    CProgressTicker::Sleep(10);
    const std::wstring temp = CCommon::OnGetMergeTempPath();
    const std::wstring list = scope.ReserveTemp(temp, TickText(), L".txt");

    // The compressed output of a single-file job: denoise into `clean`, then encode (the encode
    // after a denoise is serialised as well). The row's bar keeps its own pace meanwhile and
    // finishes after the worker has returned.
    auto denoiseAndEncode = [&](const std::wstring& speech, const std::wstring& clean, CmdTemplate encode,
                                const wchar_t* prefix) {
        Denoise(speech, clean, level);
        if (!Exists(clean)) {
            scope.Log(L" >>降噪失败 ：" + clean + L"\n");
        }
        std::lock_guard<std::mutex> lock(DenoiseLock);
        scope.Run(MakeCommand(encode, {clean, job.output, job.progressPath}), prefix);
    };

    MediaFacts facts;
    std::wstring speech;
    const bool wavInput = LowerExt(job.input) == L".wav";
    if (!wavInput) {
        speech = scope.ReserveTemp(temp, TickText(), L".wav");
        if (wavOutput) {
            scope.Run(MakeCommand(CmdTemplate::ToSpeech16k, {job.input, speech, job.progressPath}));
        } else {
            scope.Run(MakeCommand(CmdTemplate::ToSpeech16kQuiet, {job.input, speech}));
        }
        CCommon::OnGetMediaFileInfo(speech, facts);
    } else {
        CCommon::OnGetMediaFileInfo(job.input, facts);
    }

    if (facts.durationMs > segment) {
        NoisePieces(scope, job.input, job, facts.durationMs, wavOutput, temp, list, progress, level);
    } else if (!wavInput) {
        if (wavOutput) {
            Denoise(speech, job.output, level);
        } else {
            denoiseAndEncode(speech, scope.ReserveTemp(temp, TickText(), L".wav"), CmdTemplate::DenoisedToMp3,
                             L">> CmdLine : ");
        }
    } else {
        speech = scope.ReserveTemp(temp, CCommon::OnGetTimestampName(), L".wav");
        const std::wstring prog = scope.ReserveTemp(L"", job.progressPath + TickText(), L"");
        scope.Run(MakeCommand(CmdTemplate::ToSpeech16k, {job.input, speech, prog}));
        DeleteTemp(prog);
        if (wavOutput) {
            Denoise(speech, job.output, level);
        } else {
            // The denoised copy lies beside the input under a name nothing else uses.
            denoiseAndEncode(speech, scope.ReserveTemp(FolderOf(job.input), TickText(), L""),
                             CmdTemplate::DenoisedToMp3Wav, L"CmdLine : ");
        }
    }

    progress.FinishAfterReturn(job.output);
    return 0;
}

// ---- Merge ----------------------------------------------------------------------------------------------

int CAudioProcess::OnAsyncMergeAudio(void* param) {
    CWorkerScope scope(L"OnAsyncMergeAudio");
    const _tagAsyncParam job = scope.TakeJob(static_cast<_tagAsyncParam*>(param));
    const CmdTemplate t = CCommon::OnHasCover(job.input) ? CmdTemplate::CutCover : CmdTemplate::CutPlain;
    scope.Run(MakeCommand(t, {job.input, job.start, job.length, job.output, job.progressPath}));

    MediaFacts facts;
    CCommon::OnGetMediaFileInfo(job.output, facts);
    const uint64_t size = CCommon::OnGetFileSize(job.output);
    if (size == 0 || facts.durationMs == 0) {
        scope.Log(L">>Try Other method...\n");
        DeleteTemp(job.output);
        DeleteTemp(job.progressPath);
        const std::wstring temp = CCommon::OnGetMergeTempPath();
        const std::wstring wav = scope.ReserveTemp(temp, CCommon::OnGetTimestampName(), L".wav");
        scope.Run(
            MakeCommand(CmdTemplate::CutPlain, {job.input, job.start, job.length, wav, job.progressPath}));
        DeleteTemp(job.progressPath);
        scope.Run(MakeCommand(CmdTemplate::CutPlain,
                              {wav, L"00:00:00.000", job.length, job.output, job.progressPath}));
    }
    return 0;
}

int CAudioProcess::OnMergeAudio(std::wstring output, std::wstring list, std::wstring progressPath) {
    CWorkerScope scope(nullptr);
    scope.Temp(progressPath);
    const std::wstring joined =
        scope.ReserveTemp(CCommon::OnGetMergeTempPath(), CCommon::OnGetTimestampName(), L".mp3");
    scope.Run(MakeCommand(CmdTemplate::Concat, {list, joined, progressPath}), L"Linker: ");
    DeleteTemp(progressPath);

    int sampleRate = 0;
    int kbps = 0;
    workers::MergeEncodeRates(joined, &sampleRate, &kbps);
    scope.Run(MakeCommand(CmdTemplate::MergeToMp3, {joined, sampleRate, kbps, output, progressPath}),
              L"Merge : ");
    return 0;
}

int CAudioProcess::OnMergeNoiseAudio(std::wstring output, std::wstring list, std::wstring progressPath) {
    CWorkerScope scope(nullptr);
    MergeNoise(scope, output, list, progressPath);
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
    CWorkerScope scope(nullptr);
    std::wstring outputFolder = outputFolderIn;
    if (!outputFolder.empty() && outputFolder.back() != L'/') {
        outputFolder += L'/';
    }
    int copied = 0;
    const std::wstring temp = CCommon::OnGetMergeTempPath();
    const std::wstring list = scope.ReserveTemp(temp, TickText(), L".txt");
    // The final name carries the time stamp; an existing file of that name is never overwritten.
    const std::wstring output =
        OnReserveTempName(outputFolder, L"合成文件-" + CCommon::OnGetTimestampName(), L".mp3");
    const std::wstring progress = OnReserveTempName(outputFolder, TickText(), L"");

    // The batch waits for exactly the pieces it queued; a pool stopped meanwhile releases it.
    auto latch = std::make_shared<CBatchLatch>();
    std::vector<std::wstring> pieces;
    for (size_t i = 0; i < sources.size(); ++i) {
        const MergeSource& source = sources[i];
        // A backslash is an ordinary character of a file name here and stays as it is; ListLine quotes it.
        const std::wstring piece = scope.ReserveTemp(temp, CCommon::OnGetTimestampName(), L".mp3");
        std::wstring ext;
        CCommon::OnSplitPath(source.path, nullptr, nullptr, &ext);
        const bool lame =
            ext == L".mp3" &&
            platform::ToLower(CCommon::OnGetEncodedLibrary(source.path)).find(L"lame") != std::wstring::npos;
        if (lame && workers::CoversWholeFile(source)) {
            platform::CopyFileNoOverwrite(source.path, piece);
            ++copied;
        } else {
            auto job = std::make_unique<_tagAsyncParam>();
            job->input = source.path;
            job->output = piece;
            job->progressPath = OnReserveTempName(temp, TickText(), L"");
            job->start = source.start.empty() ? L"00:00:00.000" : source.start;
            job->length = source.length;
            pool.Submit(std::move(job), &CAudioProcess::OnAsyncMergeAudio, latch);
        }
        pieces.push_back(piece);
        if (i + 1 < sources.size()) {
            // Keeps consecutive tick and stamp names apart (they are also reserved above).
            platform::SleepMs(50);
        }
    }
    // The list is written whole and closed before any tool reads it, so no piece's tool
    // inherits it.
    workers::WriteList(list, pieces);
    if (latch->Wait()) {
        OnMergeAudio(output, list, progress);
    } else {
        scope.Log(L"merge abandoned, the pool stopped : " + output + L"\n");
    }
    if (copiedCount != nullptr) {
        *copiedCount = copied;
    }
    return output;
}
