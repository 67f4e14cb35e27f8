#include "common/FormatPresets.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "common/Common.h"
#include "platform/Platform.h"

namespace presets {
namespace {

std::mutex g_folderMutex;
std::wstring g_folder;  // empty: the default folder

std::wstring WithSlash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'/') folder += L'/';
    return folder;
}

std::wstring FieldText(std::string_view bytes) {
    return platform::FromUtf8(bytes);
}

}  // namespace

bool IsForbiddenPresetChar(wchar_t ch) {
    return ch == L'|' || ch == L'#';
}

std::wstring WithoutForbiddenChars(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t ch : text)
        if (!IsForbiddenPresetChar(ch)) out += ch;
    return out;
}

std::wstring Folder() {
    {
        std::lock_guard<std::mutex> lock(g_folderMutex);
        if (!g_folder.empty()) return g_folder;
    }
    return platform::BesideProgramOr(platform::UserConfigFolder());
}

void SetFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_folder = WithSlash(folder);
}

std::wstring FormatFilePath() {
    return Folder() + L"format.cfg";
}

std::wstring RecentFilePath() {
    return Folder() + L"recent.cfg";
}

std::vector<FormatPreset> ParseRecords(std::string_view bytes) {
    std::vector<FormatPreset> list;
    // The WAV codec and channel mode of the record read before (for records with four "|").
    std::wstring lastCodec;
    int32_t lastChannels = 0;
    size_t start = 0;
    for (size_t hash = bytes.find('#'); hash != std::string_view::npos; hash = bytes.find('#', start)) {
        std::string_view record = bytes.substr(start, hash - start);
        start = hash + 1;
        if (record.size() >= kMaxRecordBytes) continue;  // this record only; the next ones are read
        std::vector<std::string_view> fields;
        size_t from = 0;
        while (fields.size() < 5) {
            size_t bar = record.find('|', from);
            if (bar == std::string_view::npos) break;
            fields.push_back(record.substr(from, bar - from));
            from = bar + 1;
        }
        if (fields.size() < 4) continue;
        FormatPreset preset;
        preset.audioType = FieldText(fields[0]);
        preset.title = FieldText(fields[1]);
        preset.detail = FieldText(fields[2]);
        preset.encoderMode = FieldText(fields[3]);
        if (fields.size() == 5) {
            preset.wavCodec = FieldText(fields[4]);
            long long number = CCommon::OnLeadingInteger(FieldText(record.substr(from)));
            preset.channelMode = static_cast<int32_t>(number);
            lastCodec = preset.wavCodec;
            lastChannels = preset.channelMode;
        } else {
            preset.wavCodec = lastCodec;
            preset.channelMode = lastChannels;
        }
        list.push_back(std::move(preset));
    }
    return list;
}

std::string SerializeRecords(const std::vector<FormatPreset>& list) {
    std::string out;
    for (const FormatPreset& p : list) {
        for (const std::wstring* field : {&p.audioType, &p.title, &p.detail, &p.encoderMode, &p.wavCodec}) {
            out += platform::ToUtf8(WithoutForbiddenChars(*field));
            out += '|';
        }
        out += std::to_string(p.channelMode);
        out += '#';
    }
    return out;
}

std::vector<FormatPreset> LoadFile(const std::wstring& path) {
    std::string bytes;
    if (!platform::ReadFileBytes(path, &bytes)) return {};
    return ParseRecords(bytes);
}

bool SaveFile(const std::wstring& path, const std::vector<FormatPreset>& list) {
    static std::atomic<unsigned> counter{0};
    std::wstring temp = path + L".tmp" + std::to_wstring(::getpid()) + L"_" + std::to_wstring(++counter);
    if (!platform::WriteFileBytes(temp, SerializeRecords(list))) {
        platform::DeleteFilePath(temp);
        return false;
    }
    // rename() replaces the old file in one step: readers see either the old or the new content.
    if (std::rename(platform::ToUtf8(temp).c_str(), platform::ToUtf8(path).c_str()) != 0) {
        platform::DeleteFilePath(temp);
        return false;
    }
    return true;
}

}  // namespace presets

const std::vector<FormatPreset>& BuiltinFormatPresets() {
    static const std::vector<FormatPreset> builtins = {
        {L"", L"与源文件相同", L"与源文件相同", L"", L"", 0},
        {L"", L"高音质", L"256kb/s,MP3", L"", L"", 0},
        {L"", L"中等音质", L"128kb/s,MP3", L"", L"", 0},
        {L"", L"低音质", L"96kb/s,MP3", L"", L"", 0},
    };
    return builtins;
}

std::vector<FormatPreset> LoadFormatPresets() {
    return presets::LoadFile(presets::FormatFilePath());
}

std::vector<FormatPreset> LoadRecentPresets() {
    return presets::LoadFile(presets::RecentFilePath());
}

void SaveFormatPresets(const std::vector<FormatPreset>& list) {
    presets::SaveFile(presets::FormatFilePath(), list);
}

void SaveRecentPresets(const std::vector<FormatPreset>& list) {
    presets::SaveFile(presets::RecentFilePath(), list);
}

void AddRecentPreset(std::vector<FormatPreset>& recent, const FormatPreset& preset) {
    FormatPreset picked = preset;  // `preset` may be an element of `recent` itself
    // A hand-edited file may hold more than ten picks: trim to make room for this one.
    while (recent.size() >= presets::kRecentCapacity) recent.erase(recent.begin());
    recent.push_back(std::move(picked));
    SaveRecentPresets(recent);
}
