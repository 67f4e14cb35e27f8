// Output format presets: the four built-in choices, the user's own presets ("format.cfg") and the
// list of the last ten picks ("recent.cfg"). Both files hold records "type|title|detail|encoder
// mode|WAV codec|channel mode#" one after another, in UTF-8, without line breaks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct FormatPreset {
    std::wstring audioType;    // "MP3", "WAV", ... (empty for the built-in presets)
    std::wstring title;        // display name
    std::wstring detail;       // quality, ",", type: "256kb/s,MP3"
    std::wstring encoderMode;  // "VBR", "CBR" or empty for the default mode
    std::wstring wavCodec;     // "pcm_s8le" ... "pcm_s32le"
    int32_t channelMode = 0;   // 0 same as the source, 1 mono, 2 stereo

    bool operator==(const FormatPreset& other) const = default;
};

namespace presets {

// The recent list keeps at most this many picks, oldest first.
constexpr size_t kRecentCapacity = 10;
// A record of this many bytes or more is not read.
constexpr size_t kMaxRecordBytes = 260;
// The default WAV sample codec of a new preset.
inline constexpr wchar_t kDefaultWavCodec[] = L"pcm_s16le";

// Characters that would break a record: the field separator and the record terminator.
bool IsForbiddenPresetChar(wchar_t ch);
// The text without "|" and "#".
std::wstring WithoutForbiddenChars(std::wstring_view text);

// The folder that holds "format.cfg" and "recent.cfg" (with a trailing "/"): beside the program
// when its folder is writable, else the per-user configuration folder. SetFolder redirects it
// (tests, or a command-line option); an empty text returns to the default.
std::wstring Folder();
void SetFolder(const std::wstring& folder);
std::wstring FormatFilePath();
std::wstring RecentFilePath();

// The records of a file's bytes. A record of kMaxRecordBytes bytes or more and a record with
// fewer than four "|" are skipped; a record with exactly four "|" takes its WAV codec and channel
// mode from the record read before it; bytes after the last "#" are ignored.
std::vector<FormatPreset> ParseRecords(std::string_view bytes);
// The bytes of a file holding the presets, in list order. "|" and "#" inside a field are left out
// so that one text cannot split or end a record.
std::string SerializeRecords(const std::vector<FormatPreset>& list);

// Reads a presets file (a missing or unreadable file gives an empty list).
std::vector<FormatPreset> LoadFile(const std::wstring& path);
// Replaces a presets file: the bytes go to a temporary file in the same folder, which is then
// renamed over the old one, so a failed write never leaves a cut-off file. False on failure (the
// old file is kept).
bool SaveFile(const std::wstring& path, const std::vector<FormatPreset>& list);

}  // namespace presets

// The four built-in presets, always listed first: "与源文件相同", "高音质", "中等音质", "低音质".
const std::vector<FormatPreset>& BuiltinFormatPresets();

// The user presets of "format.cfg" and the recent picks of "recent.cfg", in file order.
std::vector<FormatPreset> LoadFormatPresets();
std::vector<FormatPreset> LoadRecentPresets();
// Rewrite the files; a failure keeps the old file and is not reported.
void SaveFormatPresets(const std::vector<FormatPreset>& list);
void SaveRecentPresets(const std::vector<FormatPreset>& list);
// Appends a pick to the recent list (dropping the oldest when it already holds ten or more) and
// saves "recent.cfg".
void AddRecentPreset(std::vector<FormatPreset>& recent, const FormatPreset& preset);
