#include "engine/CommandCatalogue.h"

#include <array>
#include <cwctype>

#include "common/Common.h"
#include "platform/Platform.h"

namespace {

struct Entry {
    const wchar_t* name;
    std::wstring text;
    std::vector<std::wstring> placeholders;
};

const std::array<Entry, kCmdTemplateCount>& Table() {
    static const std::array<Entry, kCmdTemplateCount> table = {{
        {L"CutCoverBitrate",
         L"\"%s\" -i \"%s\" -ss %s -t %s -vn -ab %d \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"start", L"len", L"bps", L"out", L"prog"}},
        {L"CutCover",
         L"\"%s\" -i \"%s\" -ss %s -t %s -vn \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"start", L"len", L"out", L"prog"}},
        {L"CutPlain",
         L"\"%s\" -i \"%s\" -ss %s -t %s \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"start", L"len", L"out", L"prog"}},
        {L"CutBitrate",
         L"\"%s\" -i \"%s\" -ss %s -t %s -ab %d \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"start", L"len", L"bps", L"out", L"prog"}},
        {L"Convert",
         L"\"%s\" -i \"%s\" -ss %s -t %s %s \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"start", L"len", L"args", L"out", L"prog"}},
        {L"ConvertMp3",
         L"\"%s\" -i \"%s\" -ss %s -t %s -acodec libmp3lame %s \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"start", L"len", L"args", L"out", L"prog"}},
        {L"ConvertBare", L"\"%s\" -i \"%s\" %s \"%s\"", {L"tool", L"in", L"args", L"out"}},
        {L"Speed",
         L"\"%s\" -i \"%s\" -filter:a \"%s\" -vn \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"filter", L"out", L"prog"}},
        {L"VolumeCover",
         L"\"%s\" -i \"%s\" -af %s -vn \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"filter", L"out", L"prog"}},
        {L"Volume",
         L"\"%s\" -i \"%s\" -af %s \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"filter", L"out", L"prog"}},
        {L"ToSpeech16k",
         L"\"%s\" -i \"%s\" -acodec pcm_s16le -ac 1 -ar 16000 \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"out", L"prog"}},
        {L"ToSpeech16kQuiet",
         L"\"%s\" -i \"%s\" -acodec pcm_s16le -ac 1 -ar 16000 \"%s\"",
         {L"tool", L"in", L"out"}},
        {L"PieceToSpeech16k",
         L"\"%s\" -i \"%s\" -ss %s -t %s -acodec pcm_s16le -ac 1 -ar 16000 \"%s\" -hide_banner -y -progress "
         L"\"%s\"",
         {L"tool", L"in", L"start", L"len", L"out", L"prog"}},
        {L"DenoisedToMp3",
         L"\"%s\" -i \"%s\" -acodec libmp3lame -ac 2 -ar 48000 -b:a 128k \"%s\" -hide_banner -y -progress "
         L"\"%s\"",
         {L"tool", L"in", L"out", L"prog"}},
        {L"DenoisedToMp3Wav",
         L"\"%s\" -i \"%s\" -acodec libmp3lame -ac 2 -ar 48000 -b:a 128k  \"%s\" -hide_banner -y -progress "
         L"\"%s\"",
         {L"tool", L"in", L"out", L"prog"}},
        {L"BgmLoopCover",
         L"\"%s\" -i \"%s\" -i \"%s\" -filter_complex \"[1:a]aloop = loop = -1:size = 2e+09[out]; "
         L"[out][0:a]amix\" -ss 0 -t %s -vn \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"bgm", L"len", L"out", L"prog"}},
        {L"BgmLoop",
         L"\"%s\" -i \"%s\" -i \"%s\" -filter_complex \"[1:a]aloop = loop = -1:size = 2e+09[out]; "
         L"[out][0:a]amix\" -ss 0 -t %s \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"bgm", L"len", L"out", L"prog"}},
        {L"BgmOnceCover",
         L"\"%s\" -i \"%s\" -i \"%s\" -filter_complex \"[1:a]aloop = loop = 0:size = 2e+09[out]; "
         L"[out][0:a]amix\" -ss 0 -t %s -vn \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"bgm", L"len", L"out", L"prog"}},
        {L"BgmOnce",
         L"\"%s\" -i \"%s\" -i \"%s\" -filter_complex \"[1:a]aloop = loop = 0:size = 2e+09[out]; "
         L"[out][0:a]amix\" -ss 0 -t %s \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"bgm", L"len", L"out", L"prog"}},
        {L"Concat",
         L"\"%s\" -f concat -safe 0 -i \"%s\" -c copy \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"list", L"out", L"prog"}},
        {L"MergeToMp3",
         L"\"%s\" -i \"%s\" -ar %d -ac 2 -ab %dk -f mp3 \"%s\" -hide_banner -y -progress \"%s\"",
         {L"tool", L"in", L"sr", L"kbps", L"out", L"prog"}},
    }};
    return table;
}

const Entry& EntryOf(CmdTemplate t) {
    size_t i = static_cast<size_t>(t);
    if (i >= Table().size()) i = static_cast<size_t>(CmdTemplate::CutPlain);
    return Table()[i];
}

bool IsPathPlaceholder(const std::wstring& name) {
    return name == L"in" || name == L"out" || name == L"bgm" || name == L"list" || name == L"prog";
}

// The argument form of a path: a relative path gets "./" so the tool never takes it for an
// option ("-name.mp3") or a protocol ("name:x.mp3").
std::wstring PathArgument(const std::wstring& path) {
    if (path.empty() || path[0] == L'/') return path;
    return L"./" + path;
}

std::vector<std::wstring> SplitBlanks(const std::wstring& text) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : text) {
        if (std::iswspace(static_cast<wint_t>(c))) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

std::wstring LowerExtension(const std::wstring& path) {
    std::wstring ext;
    CCommon::OnSplitPath(path, nullptr, nullptr, &ext);
    return platform::ToLower(ext);
}

// Removes `count` characters from the end (all of them when the text is shorter).
std::wstring DropLast(const std::wstring& text, size_t count) {
    return text.size() <= count ? std::wstring() : text.substr(0, text.size() - count);
}

}  // namespace

void ToolCommand::ReplaceAll(const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return;
    for (auto& a : argv) {
        if (a == from || a == L"./" + from) a = to;
    }
    const std::wstring quotedFrom = L"\"" + from + L"\"";
    const std::wstring quotedTo = L"\"" + to + L"\"";
    size_t pos = 0;
    while ((pos = text.find(quotedFrom, pos)) != std::wstring::npos) {
        text.replace(pos, quotedFrom.size(), quotedTo);
        pos += quotedTo.size();
    }
}

const wchar_t* CCommandCatalogue::Name(CmdTemplate t) {
    return EntryOf(t).name;
}
const std::wstring& CCommandCatalogue::TemplateText(CmdTemplate t) {
    return EntryOf(t).text;
}
const std::vector<std::wstring>& CCommandCatalogue::Placeholders(CmdTemplate t) {
    return EntryOf(t).placeholders;
}

ToolCommand CCommandCatalogue::Make(CmdTemplate t, const std::vector<CmdValue>& values) {
    const Entry& e = EntryOf(t);
    ToolCommand cmd;
    auto value = [&](size_t i) -> const std::wstring& {
        static const std::wstring empty;
        return i < values.size() ? values[i].text : empty;
    };

    // One pass over the template: the text gets every value verbatim; the argument vector is the
    // template split at blanks outside double quotes, the quotes themselves removed.
    size_t next = 0;         // index of the next placeholder
    std::wstring arg;        // the argument being built
    bool inArg = false;      // something (maybe an empty quoted value) belongs to `arg`
    bool quoted = false;     // inside a double-quoted part of the template
    bool splitArgs = false;  // `arg` is exactly the unquoted "args" placeholder
    auto flush = [&]() {
        if (splitArgs) {
            for (auto& w : SplitBlanks(arg)) cmd.argv.push_back(w);
        } else if (inArg) {
            cmd.argv.push_back(arg);
        }
        arg.clear();
        inArg = false;
        splitArgs = false;
    };
    const std::wstring& tpl = e.text;
    for (size_t i = 0; i < tpl.size(); ++i) {
        wchar_t c = tpl[i];
        if (c == L'%' && i + 1 < tpl.size() && (tpl[i + 1] == L's' || tpl[i + 1] == L'd')) {
            const std::wstring& name = next < e.placeholders.size() ? e.placeholders[next] : std::wstring();
            const std::wstring& v = value(next);
            ++next;
            ++i;
            cmd.text += v;
            bool whole = !inArg && !quoted && (i + 1 >= tpl.size() || tpl[i + 1] == L' ');
            if (name == L"args" && whole) {
                splitArgs = true;
                arg = v;
            } else {
                arg += IsPathPlaceholder(name) && quoted ? PathArgument(v) : v;
            }
            inArg = true;
            continue;
        }
        cmd.text += c;
        if (c == L'"') {
            quoted = !quoted;
            inArg = true;
        } else if (c == L' ' && !quoted) {
            flush();
        } else {
            arg += c;
            inArg = true;
        }
    }
    flush();
    return cmd;
}

bool CCommandCatalogue::CutUsesBitrate(const std::wstring& input) {
    std::wstring ext = LowerExtension(input);
    return ext == L".mp3" || ext == L".wav";
}

CmdTemplate CCommandCatalogue::SelectCut(const std::wstring& input, bool hasCover, int bps,
                                         bool* decodeAacFirst) {
    if (decodeAacFirst) *decodeAacFirst = false;
    bool useBitrate = bps > 0 && CutUsesBitrate(input);
    if (hasCover) return useBitrate ? CmdTemplate::CutCoverBitrate : CmdTemplate::CutCover;
    if (LowerExtension(input) == L".aac") {
        if (decodeAacFirst) *decodeAacFirst = true;
        return CmdTemplate::CutPlain;
    }
    return useBitrate ? CmdTemplate::CutBitrate : CmdTemplate::CutPlain;
}

CmdTemplate CCommandCatalogue::SelectConvert(const std::wstring& output) {
    if (output.size() >= 4) {
        std::wstring tail = output.substr(output.size() - 4);
        if (tail == L".mp3" || tail == L".MP3") return CmdTemplate::ConvertMp3;
    }
    return CmdTemplate::Convert;
}

CmdTemplate CCommandCatalogue::SelectBackgroundMusic(bool loop, bool hasCover) {
    if (loop) return hasCover ? CmdTemplate::BgmLoopCover : CmdTemplate::BgmLoop;
    return hasCover ? CmdTemplate::BgmOnceCover : CmdTemplate::BgmOnce;
}

std::wstring CCommandCatalogue::BuildFormatArgs(const std::wstring& extText, const std::wstring& qualityText,
                                                int channels, const std::wstring& sampleCodec,
                                                const std::wstring& input, bool inputHasCover) {
    std::wstring fmt;
    CCommon::OnStripPrefix(extText, L"格式：", fmt);
    fmt = platform::ToLower(fmt);
    std::wstring quality;
    if (CCommon::OnStripPrefix(qualityText, L"质量：", quality)) quality = DropLast(quality, 3);

    std::wstring args;
    auto append = [&](const std::wstring& part) {
        if (!args.empty()) args += L' ';
        args += part;
    };
    if (fmt != L"flac") {
        if (channels == 1)
            args = L"-ac 1";
        else if (channels == 2)
            args = L"-ac 2";
        if (fmt == L"wav") {
            if (!sampleCodec.empty()) append(L"-acodec " + sampleCodec);
            if (!quality.empty()) append(L"-ab " + quality);
        } else if (fmt == L"ogg") {
            args += L" -acodec libvorbis";
        } else if (!quality.empty()) {
            append(L"-ab " + quality);
        }
    }
    if (LowerExtension(input) == L".mp3" && inputHasCover) args += L" -vn ";
    return args;
}

std::wstring CCommandCatalogue::BuildSpeedFilter(const std::wstring& multiplierText) {
    return L"atempo=" + DropLast(multiplierText, 1);
}

std::wstring CCommandCatalogue::BuildVolumeFilter(const std::wstring& multiplierText) {
    return L"volume=" + DropLast(multiplierText, 1);
}

void CCommandCatalogue::MergeRates(const std::wstring& joinedFile, int* sampleRate, int* kbps) {
    int32_t bitRate = 0;
    int32_t rate = CCommon::OnGetAudioRates(joinedFile, bitRate);
    if (sampleRate) *sampleRate = rate;
    if (kbps) *kbps = bitRate / 1000;
}
