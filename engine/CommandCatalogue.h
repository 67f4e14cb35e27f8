// The catalogue of every command line the program hands to the external tool. Each template keeps
// its exact text (what the log shows after ">> CmdLine :") and is also split into the argument
// vector that is actually started: every placeholder becomes one whole argument, so paths with
// blanks, quotes, "#", leading dashes or non-ASCII characters reach the tool intact and no
// command is ever cut at a fixed length.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

enum class CmdTemplate {
    CutCoverBitrate,
    CutCover,
    CutPlain,
    CutBitrate,
    Convert,
    ConvertMp3,
    ConvertBare,
    Speed,
    VolumeCover,
    Volume,
    ToSpeech16k,
    ToSpeech16kQuiet,
    PieceToSpeech16k,
    DenoisedToMp3,
    DenoisedToMp3Wav,
    BgmLoopCover,
    BgmLoop,
    BgmOnceCover,
    BgmOnce,
    Concat,
    MergeToMp3,
};
inline constexpr int kCmdTemplateCount = 21;

// One placeholder value: text as it is, integers in decimal.
struct CmdValue {
    CmdValue(std::wstring v) : text(std::move(v)) {}
    CmdValue(const wchar_t* v) : text(v ? v : L"") {}
    template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                            !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char>,
                                        int> = 0>
    CmdValue(T v) : text(std::to_wstring(v)) {}
    std::wstring text;
};

// A formatted command: the exact text for the log and the argument vector that is run.
struct ToolCommand {
    std::wstring text;
    std::vector<std::wstring> argv;

    bool Empty() const { return argv.empty() || argv[0].empty(); }
    // Replaces the path `from` by `to` wherever it stands as a whole: every argument that is
    // `from` (or "./" + `from`) and every quoted "\"from\"" in the text (the format worker's retry
    // runs the last command again on a temporary copy of its input). An argument that merely
    // contains the text - an output "/a/x.wav.mp3" next to an input "/a/x.wav" - is left alone.
    void ReplaceAll(const std::wstring& from, const std::wstring& to);
};

class CCommandCatalogue {
public:
    // The name used by the workers ("CutPlain", ...), the template text with its "%s"/"%d"
    // placeholders, and the placeholder names in order ("tool", "in", "start", ...).
    static const wchar_t* Name(CmdTemplate t);
    static const std::wstring& TemplateText(CmdTemplate t);
    static const std::vector<std::wstring>& Placeholders(CmdTemplate t);

    // Fills the template with the values in the order of Placeholders(t). A missing value counts
    // as empty text, surplus values are ignored. The text is the plain printf-style result; in the
    // argument vector a path ("in", "out", "bgm", "list", "prog") that is relative gets "./" in
    // front, so a name with a leading dash or a colon is never read as an option or a protocol,
    // and the format arguments ("args") are split at blanks into separate options.
    static ToolCommand Make(CmdTemplate t, const std::vector<CmdValue>& values);

    // ---- Selection rules --------------------------------------------------------------------
    // Cut: `bps` is the input's bit rate (only read for ".mp3"/".wav" inputs). For an ".aac"
    // input without a cover `decodeAacFirst` is set: the input is decoded to a WAV first and
    // CutPlain is applied to that WAV.
    static CmdTemplate SelectCut(const std::wstring& input, bool hasCover, int bps, bool* decodeAacFirst);
    // Whether a cut of this input reads the bit rate at all (".mp3" or ".wav", any case).
    static bool CutUsesBitrate(const std::wstring& input);
    // Format conversion: ConvertMp3 when the output ends in exactly ".mp3" or ".MP3", else Convert.
    static CmdTemplate SelectConvert(const std::wstring& output);
    static CmdTemplate SelectVolume(bool hasCover) {
        return hasCover ? CmdTemplate::VolumeCover : CmdTemplate::Volume;
    }
    // Background music: `loop` is the row's loop option (true when the row has none); `hasCover`
    // when the main input or the music file carries a cover.
    static CmdTemplate SelectBackgroundMusic(bool loop, bool hasCover);

    // ---- Placeholder rules ------------------------------------------------------------------
    // The format-conversion *args* from the row: `extText` is the "outfileext" text ("格式：MP3"),
    // `qualityText` the "outfilequality" text ("质量：128kb/s"), `channels` the ext cell's tag
    // (0 same as source, 1, 2), `sampleCodec` the quality cell's user data ("pcm_s16le" or empty),
    // `input` the source path and `inputHasCover` its cover test.
    static std::wstring BuildFormatArgs(const std::wstring& extText, const std::wstring& qualityText,
                                        int channels, const std::wstring& sampleCodec,
                                        const std::wstring& input, bool inputHasCover);
    // The speed and volume filters from the row's multiplier text ("1.25倍" gives "atempo=1.25").
    static std::wstring BuildSpeedFilter(const std::wstring& multiplierText);
    static std::wstring BuildVolumeFilter(const std::wstring& multiplierText);
    // MergeToMp3's rates, read from the joined file: sample rate in Hz and bit rate in kbit/s
    // (bit/s divided by 1000).
    static void MergeRates(const std::wstring& joinedFile, int* sampleRate, int* kbps);
};
