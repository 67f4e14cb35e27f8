// The operation workers of CAudioProcess (one input file of a batch becomes one output file, and the
// job's row controls show the outcome) and the merge: every source becomes an MP3 piece in parallel
// on the pool, the pieces are joined by the tool's concat demuxer and the joined file is encoded
// once more into the final MP3.
#include <atomic>
#include <cwctype>
#include <filesystem>
#include <fstream>

#include "common/Common.h"
#include "denoise/NoiseReducer.h"
#include "engine/AacBridge.h"
#include "engine/AudioProcess.h"
#include "engine/WorkThreadPool.h"
#include "engine/WorkerSupport.h"
#include "logging/Log.h"
#include "platform/Platform.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControls.h"

using workers::DeleteTemp;
using workers::FolderOf;
using workers::ListLine;
using workers::LowerExt;
using workers::MakeCommand;
using workers::RunCommand;
using workers::TickText;

namespace {

bool SameFile(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    std::error_code ec;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::path(platform::ToUtf8(a)), ec);
    if (ec) return a == b;
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::path(platform::ToUtf8(b)), ec);
    if (ec) return a == b;
    return ca == cb;
}

// The job's paths made safe before any tool runs: the input is never written to or deleted, and a
// progress file is always one this job owns (the tool overwrites it and the worker deletes it).
_tagAsyncParam Guarded(_tagAsyncParam job) {
    if (SameFile(job.output, job.input)) {
        TW_LOG_INFO(L"output is the input, not written : " << job.output << L"\n");
        job.output.clear();
    }
    if (job.progressPath.empty() || platform::PathExists(job.progressPath) ||
        SameFile(job.progressPath, job.output)) {
        std::wstring folder = FolderOf(job.progressPath);
        if (folder.empty() || !platform::IsFolder(folder)) {
            folder = platform::TempFolder();
        }
        job.progressPath = CAudioProcess::OnReserveTempName(folder, TickText(), L"");
    }
    return job;
}

_tagAsyncParam Copy(void* param) {
    auto* job = static_cast<_tagAsyncParam*>(param);
    return Guarded(job != nullptr ? *job : _tagAsyncParam{});
}

bool Exists(const std::wstring& path) {
    return !path.empty() && platform::PathExists(path);
}

bool EndsWithMp3Exactly(const std::wstring& path) {
    return path.size() >= 4 &&
           (path.compare(path.size() - 4, 4, L".mp3") == 0 || path.compare(path.size() - 4, 4, L".MP3") == 0);
}

// Replaces the argument that names the input (and the same text in the log line) by another path;
// other arguments that merely contain the input's text are left alone.
ToolCommand ReplaceInput(ToolCommand command, const std::wstring& input, const std::wstring& replacement) {
    for (auto& arg : command.argv) {
        if (arg == input || arg == L"./" + input) {
            arg = replacement;
        }
    }
    size_t pos = 0;
    const std::wstring quoted = L"\"" + input + L"\"";
    while ((pos = command.text.find(quoted, pos)) != std::wstring::npos) {
        command.text.replace(pos, quoted.size(), L"\"" + replacement + L"\"");
        pos += replacement.size() + 2;
    }
    return command;
}

// Format conversion, shared by the pool worker and the single-row action. Returns the output size
// and whether the row may be updated (false when the retry could not find a temporary folder).
bool FormatSteps(const _tagAsyncParam& job, uint64_t* size) {
    const std::wstring ext = LowerExt(job.input);
    ToolCommand last;
    if (ext == L".aac") {
        last = MakeCommand(CmdTemplate::Convert,
                           {job.input, job.start, job.length, job.extra, job.output, job.progressPath});
        RunCommand(last);
        if (!Exists(job.output)) {
            if (LowerExt(job.output) == L".wav") {
                OnDecoderAAC(job.input.c_str(), job.output.c_str());
            } else {
                // The decoded copy lies beside the input under a name nothing else uses.
                const std::wstring wav =
                    CAudioProcess::OnReserveTempName(FolderOf(job.input), TickText(), L".wav");
                OnDecoderAAC(job.input.c_str(), wav.c_str());
                last = MakeCommand(CmdTemplate::Convert,
                                   {wav, job.start, job.length, job.extra, job.output, job.progressPath});
                RunCommand(last);
                DeleteTemp(wav);
            }
        }
    } else {
        CmdTemplate t = EndsWithMp3Exactly(job.output) ? CmdTemplate::ConvertMp3 : CmdTemplate::Convert;
        last = MakeCommand(t, {job.input, job.start, job.length, job.extra, job.output, job.progressPath});
        RunCommand(last);
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
        temp = CAudioProcess::OnReserveTempName(tempFolderPart, tempName, tempExt);
        RunCommand(MakeCommand(CmdTemplate::ConvertBare, {job.input, job.extra, temp}));
        RunCommand(ReplaceInput(last, job.input, temp));
        DeleteTemp(temp);
        *size = CCommon::OnGetFileSize(job.output);
    }
    return true;
}

void ShowSize(CControlUI* label, uint64_t size) {
    if (label == nullptr) {
        return;
    }
    std::wstring text;
    CCommon::OnFormatFileSize(size, text);
    if (text.empty()) {
        text = L"0.0KB";
    }
    label->SetText(L"大小：" + text);
}

void MarkCut(CControlUI* label) {
    if (label == nullptr) {
        return;
    }
    label->SetTextColor(0xFF347AEB);
    label->SetText(L"已剪切");
}

int NoiseLevel(CControlUI* label) {
    return label != nullptr ? static_cast<int>(label->GetTag()) : 0;
}

// The denoiser on 16 kHz mono input; the caller holds DenoiseLock.
bool Denoise(const std::wstring& in, const std::wstring& out, int level) {
    NoiseReducer reducer;
    reducer.SetLevel(level);
    return reducer.Reduce(in, out, level);
}

// The piece path of a long noise job: cut, convert and denoise each piece, join them and, for a
// compressed output, encode the joined file.
void NoisePieces(const std::wstring& source, const _tagAsyncParam& job, uint32_t durationMs, bool wavOutput,
                 const std::wstring& temp, const std::wstring& list, CProgressTicker& progress, int level) {
    TW_LOG_INFO(L">> 超过30s...\n");
    const auto plan = CAudioProcess::OnPlanNoisePieces(durationMs, SegmentLength.load());
    std::vector<std::wstring> pieces;
    for (const auto& [startMs, lengthMs] : plan) {
        const std::wstring piece =
            CAudioProcess::OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".wav");
        const std::wstring tick = TickText();
        const std::wstring prog = CAudioProcess::OnReserveTempName(temp, tick + tick, L"");
        RunCommand(
            MakeCommand(CmdTemplate::PieceToSpeech16k, {source, CCommon::FormatTimeCode(startMs),
                                                        CCommon::FormatTimeCode(lengthMs), piece, prog}),
            L"szCmdLine : ");
        DeleteTemp(prog);
        pieces.push_back(piece);
    }
    progress.Mark(82);

    std::vector<std::wstring> cleans;
    {
        std::ofstream out(platform::ToUtf8(list), std::ios::binary | std::ios::trunc);
        for (const auto& piece : pieces) {
            std::lock_guard<std::mutex> lock(DenoiseLock);
            std::wstring clean =
                CAudioProcess::OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".wav");
            Denoise(piece, clean, level);
            for (auto& c : clean) {
                if (c == L'\\') c = L'/';
            }
            DeleteTemp(piece);
            if (Exists(clean)) {
                out << ListLine(clean);
                out.flush();
                cleans.push_back(clean);
            } else {
                // A piece the denoiser could not handle is left out, so the join still succeeds.
                TW_LOG_INFO(L" >>降噪失败 ：" << clean << L"\n");
            }
        }
    }
    TW_LOG_INFO(L"Linker : " << list << L"\n");
    progress.Mark(87);

    const std::wstring mergeProg = CAudioProcess::OnReserveTempName(temp, TickText(), L"");
    if (wavOutput) {
        CAudioProcess::OnMergeNoiseAudio(job.output, list, mergeProg);
        for (const auto& clean : cleans) DeleteTemp(clean);
    } else {
        const std::wstring joined =
            CAudioProcess::OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".wav");
        CAudioProcess::OnMergeNoiseAudio(joined, list, mergeProg);
        TW_LOG_INFO(L"OnMergeNoiseAudio : " << joined << L"\n");
        if (!Exists(joined)) {
            TW_LOG_INFO(L"file is not exist : " << joined << L"\n");
        }
        const std::wstring prog = CAudioProcess::OnReserveTempName(L"", job.progressPath + TickText(), L"");
        RunCommand(MakeCommand(CmdTemplate::DenoisedToMp3, {joined, job.output, prog}), L"Finish Noise : ");
        for (const auto& clean : cleans) DeleteTemp(clean);
        DeleteTemp(prog);
        DeleteTemp(joined);
    }
    DeleteTemp(list);
}

}  // namespace

// ---- Format conversion ---------------------------------------------------------------------------

int CAudioProcess::OnAsyncFormatAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncFormatAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
    uint64_t size = 0;
    if (FormatSteps(job, &size)) {
        ShowSize(job.controlA, size);
        if (CControlUI* button = job.controlB) {
            button->SetEnabled(true);
            button->SetText(L"转换");
            button->SetVisible(false);
            if (auto* parent = dynamic_cast<CContainerUI*>(button->GetParent())) {
                if (CControlUI* open = parent->FindSubControl(L"btn_openfile")) {
                    open->SetVisible(true);
                }
            }
        }
    }
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncFormatAudio" << L"...\n");
    return 0;
}

int CAudioProcess::OnSingleFormatAudio(std::wstring input, std::wstring output, std::wstring progressPath,
                                       std::wstring start, std::wstring length, std::wstring args,
                                       CControlUI* sizeLabel) {
    TW_LOG_INFO(L">> IN " << L"OnSingleFormatAudio" << L"...\n");
    _tagAsyncParam raw;
    raw.input = std::move(input);
    raw.output = std::move(output);
    raw.progressPath = std::move(progressPath);
    raw.start = std::move(start);
    raw.length = std::move(length);
    raw.extra = std::move(args);
    const _tagAsyncParam job = Guarded(std::move(raw));
    uint64_t size = 0;
    if (FormatSteps(job, &size)) {
        ShowSize(sizeLabel, size);
    }
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnSingleFormatAudio" << L"...\n");
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
    TW_LOG_INFO(L">> IN " << L"OnAsyncCutAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
    const bool cover = CCommon::OnHasCover(job.input);
    int32_t bps = 0;
    if (CCommandCatalogue::CutUsesBitrate(job.input)) {
        CCommon::OnGetAudioRates(job.input, bps);
    }
    bool decodeFirst = false;
    const CmdTemplate t = CCommandCatalogue::SelectCut(job.input, cover, bps, &decodeFirst);
    if (decodeFirst) {
        const std::wstring wav = OnReserveTempName(FolderOf(job.input), TickText(), L".wav");
        OnDecoderAAC(job.input.c_str(), wav.c_str());
        RunCommand(
            MakeCommand(CmdTemplate::CutPlain, {wav, job.start, job.length, job.output, job.progressPath}));
        DeleteTemp(wav);
    } else if (t == CmdTemplate::CutCoverBitrate || t == CmdTemplate::CutBitrate) {
        RunCommand(MakeCommand(
            t, {job.input, job.start, job.length, static_cast<int>(bps), job.output, job.progressPath}));
    } else {
        RunCommand(MakeCommand(t, {job.input, job.start, job.length, job.output, job.progressPath}));
    }
    MarkCut(job.controlA);
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncCutAudio" << L"...\n");
    return 0;
}

int CAudioProcess::OnAsyncExtractAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncExtractAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
    RunCommand(
        MakeCommand(CmdTemplate::CutPlain, {job.input, job.start, job.length, job.output, job.progressPath}));
    MarkCut(job.controlA);
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncExtractAudio" << L"...\n");
    return 0;
}

// ---- Speed, volume and background music ------------------------------------------------------------

int CAudioProcess::OnAsyncSpeedAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncSpeedAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
    CProgressTicker progress(job.controlA, job.controlB, false);
    RunCommand(MakeCommand(CmdTemplate::Speed, {job.input, job.extra, job.output, job.progressPath}));
    progress.Finish(job.output);
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncSpeedAudio" << L"...\n");
    return 0;
}

int CAudioProcess::OnAsyncVolumeAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncVolumeAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
    CProgressTicker progress(job.controlA, job.controlB, false);
    const CmdTemplate t = CCommandCatalogue::SelectVolume(CCommon::OnHasCover(job.input));
    RunCommand(MakeCommand(t, {job.input, job.extra, job.output, job.progressPath}));
    progress.Finish(job.output);
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncVolumeAudio" << L"...\n");
    return 0;
}

int CAudioProcess::OnAsyncComplexAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncComplexAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
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
    RunCommand(
        MakeCommand(t, {job.input, music, CCommon::FormatTimeCode(lengthMs), job.output, job.progressPath}));
    progress.Finish(job.output);
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncComplexAudio" << L"...\n");
    return 0;
}

// ---- Noise removal -----------------------------------------------------------------------------------

int CAudioProcess::OnAsyncNoiseAudio(void* param) {
    TW_LOG_INFO(L">> IN " << L"OnAsyncNoiseAudio" << L"...\n");
    const _tagAsyncParam job = Copy(param);
    const bool wavOutput = platform::ToLower(job.extra) == L"wav";
    const int level = NoiseLevel(job.controlB);
    const uint32_t segment = SegmentLength.load();

    CProgressTicker progress(job.controlA, job.controlB, true);
    CProgressTicker::Sleep(10);
    const std::wstring temp = CCommon::OnGetMergeTempPath();
    const std::wstring list = OnReserveTempName(temp, TickText(), L".txt");
    int stepFrom = -1;  // -1: from the ticker's target

    if (LowerExt(job.input) != L".wav") {
        const std::wstring speech = OnReserveTempName(temp, TickText(), L".wav");
        if (wavOutput) {
            RunCommand(MakeCommand(CmdTemplate::ToSpeech16k, {job.input, speech, job.progressPath}));
        } else {
            RunCommand(MakeCommand(CmdTemplate::ToSpeech16kQuiet, {job.input, speech}));
        }
        MediaFacts facts;
        CCommon::OnGetMediaFileInfo(speech, facts);
        if (facts.durationMs <= segment) {
            std::lock_guard<std::mutex> lock(DenoiseLock);
            if (wavOutput) {
                Denoise(speech, job.output, level);
            } else {
                const std::wstring clean = OnReserveTempName(temp, TickText(), L".wav");
                Denoise(speech, clean, level);
                progress.Wait();
                progress.StepRange(progress.Target(), 90);
                RunCommand(MakeCommand(CmdTemplate::DenoisedToMp3, {clean, job.output, job.progressPath}));
                DeleteTemp(clean);
                stepFrom = 91;
            }
        } else {
            NoisePieces(job.input, job, facts.durationMs, wavOutput, temp, list, progress, level);
        }
        DeleteTemp(job.progressPath);
        DeleteTemp(speech);
    } else {
        MediaFacts facts;
        CCommon::OnGetMediaFileInfo(job.input, facts);
        if (facts.durationMs <= segment) {
            const std::wstring speech = OnReserveTempName(temp, CCommon::OnGetTimestampName(), L".wav");
            const std::wstring prog = OnReserveTempName(L"", job.progressPath + TickText(), L"");
            RunCommand(MakeCommand(CmdTemplate::ToSpeech16k, {job.input, speech, prog}));
            DeleteTemp(prog);
            if (wavOutput) {
                std::lock_guard<std::mutex> lock(DenoiseLock);
                Denoise(speech, job.output, level);
            } else {
                // The denoised copy lies beside the input under a name nothing else uses.
                const std::wstring clean = OnReserveTempName(FolderOf(job.input), TickText(), L"");
                std::lock_guard<std::mutex> lock(DenoiseLock);
                Denoise(speech, clean, level);
                progress.Wait();
                progress.StepRange(progress.Target(), 90);
                if (!Exists(clean)) {
                    TW_LOG_INFO(L" >>降噪失败 ：" << clean << L"\n");
                }
                RunCommand(MakeCommand(CmdTemplate::DenoisedToMp3Wav, {clean, job.output, job.progressPath}),
                           L"CmdLine : ");
                DeleteTemp(job.progressPath);
                DeleteTemp(clean);
                stepFrom = 91;
            }
            DeleteTemp(speech);
        } else {
            NoisePieces(job.input, job, facts.durationMs, wavOutput, temp, list, progress, level);
        }
    }

    progress.Wait();
    progress.StepRange(stepFrom < 0 ? progress.Target() : stepFrom, 100);
    progress.MarkFailedIfMissing(job.output);
    DeleteTemp(list);
    DeleteTemp(job.progressPath);
    TW_LOG_INFO(L">> OUT " << L"OnAsyncNoiseAudio" << L"...\n");
    return 0;
}

// ---- Merge ----------------------------------------------------------------------------------------------

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
    const _tagAsyncParam job = Copy(param);
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
