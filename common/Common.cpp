#include "common/Common.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include "logging/Log.h"
#include "platform/Platform.h"

namespace {

std::mutex g_hookMutex;
CCommon::OpenFilesHook g_openFilesHook;
CCommon::BrowseFolderHook g_browseFolderHook;

const std::wstring kAudioFilterText =
    L"All Supported Formats(*.wav;*.flac;*.aac;*.mp3;*.ogg;*.3gpp;*.amr;*.m4a;*.wma;)" +
    std::wstring(13, L'\t');
const std::wstring kAudioApeFilterText =
    L"All Supported Formats(*.wav;*.flac;*.aac;*.mp3;*.ogg;*.3gpp;*.amr;*.m4a;*.wma;*.ape;)" +
    std::wstring(13, L'\t');
const std::wstring kVideoFilterText =
    L"All Supported Formats(*.wtv;*.ogv;*.mxf;*.vro;*.webm;*.divx;*.avi;*.mp4;*.mpg;" +
    std::wstring(7, L'\t') + L"*.mka;*.mpeg;*.vob;*.3gp;*.asf;*.rm;*.rmvb;*.dat;*.mov;*.f4v;*.m4v;*.mkv;)" +
    std::wstring(7, L'\t');

bool ToolAcceptsApe(int tool) {
    return tool == 0 || tool == 1;
}

}  // namespace

const std::vector<std::wstring>& CCommon::AudioExtensions() {
    static const std::vector<std::wstring> list = {L".wav",  L".flac", L".aac", L".mp3", L".ogg",
                                                   L".3gpp", L".amr",  L".m4a", L".wma"};
    return list;
}

const std::vector<std::wstring>& CCommon::VideoScanExtensions() {
    static const std::vector<std::wstring> list = {
        L".swf",  L".wtv", L".ogv",  L".mxf", L".vro", L".webm", L".divx", L".avi", L".mp4",
        L".mpg",  L".mka", L".mpeg", L".vob", L".3gp", L".3g2",  L".wmv",  L".asf", L".rm",
        L".rmvb", L".dat", L".mov",  L".flv", L".f4v", L".m4v",  L".mkv"};
    return list;
}

std::wstring CCommon::OnGetFilterText(int tool) {
    if (tool == 0 || tool == 1) return kAudioApeFilterText;
    if (tool == 3) return kVideoFilterText;
    if (tool == 2 || (tool >= 4 && tool <= 7)) return kAudioFilterText;
    return {};
}

std::wstring CCommon::OnGetFilterPatterns(int tool) {
    if (tool == 0 || tool == 1) return L"*.wav;*.flac;*.aac;*.mp3;*.ogg;*.3gpp;*.amr;*.m4a;*.wma;*.ape";
    if (tool == 3)
        return L"*.wtv;*.ogv;*.mxf;*.vro;*.webm;*.divx;*.avi;*.mp4;*.mpg;" + std::wstring(7, L'\t') +
               L"*.mka;*.mpeg;*.vob;*.3gp;*.asf;*.rm;*.rmvb;*.dat;*.mov;*.f4v;*.m4v;*.mkv";
    if (tool == 2 || (tool >= 4 && tool <= 7))
        return L"*.wav;*.flac;*.aac;*.mp3;*.ogg;*.3gpp;*.amr;*.m4a;*.wma";
    return {};
}

std::vector<std::wstring> CCommon::OnKeepDialogFiles(int tool, const std::wstring& folder,
                                                     const std::vector<std::wstring>& names) {
    std::vector<std::wstring> kept;
    const std::wstring filter = OnGetFilterText(tool);
    if (filter.empty()) return kept;
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'/') base.push_back(L'/');
    for (const auto& name : names) {
        if (name.empty()) continue;
        std::wstring ext;
        OnSplitPath(name, nullptr, nullptr, &ext);
        // A plain substring test, as the dialog does: ".3gp" is kept because "*.3gpp" contains
        // it, and a name without extension is kept because the empty text occurs everywhere.
        if (filter.find(platform::ToLower(ext)) != std::wstring::npos) kept.push_back(base + name);
    }
    return kept;
}

void CCommon::SetOpenFilesHook(OpenFilesHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_openFilesHook = std::move(hook);
}

void CCommon::SetBrowseFolderHook(BrowseFolderHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_browseFolderHook = std::move(hook);
}

std::vector<std::wstring> CCommon::OnOpenMediaFiles(int tool, void* owner) {
    if (tool < 0 || tool > 7) return {};
    OpenFilesHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_openFilesHook;
    }
    std::wstring folder;
    std::vector<std::wstring> names;
    if (!hook || !hook(owner, OnGetFilterText(tool), OnGetFilterPatterns(tool), &folder, &names)) return {};
    return OnKeepDialogFiles(tool, folder, names);
}

bool CCommon::OnBrowseFolder(void* owner, std::wstring& folder) {
    BrowseFolderHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_browseFolderHook;
    }
    std::wstring chosen;
    if (!hook || !hook(owner, &chosen)) return false;
    folder = chosen;
    return true;
}

std::vector<std::wstring> CCommon::OnScanFolder(const std::wstring& folder, int tool) {
    std::vector<std::wstring> result;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder(folder, &entries)) return result;
    std::wstring base = folder;
    if (base.empty() || base.back() != L'/') base.push_back(L'/');
    for (const auto& entry : entries) {
        if (entry.isFolder) continue;
        std::wstring ext;
        OnSplitPath(entry.name, nullptr, nullptr, &ext);
        ext = platform::ToLower(ext);
        bool keep = false;
        if (tool == 3) {
            for (const auto& v : VideoScanExtensions()) keep = keep || ext == v;
        } else if (tool >= 0 && tool <= 7) {
            for (const auto& a : AudioExtensions()) keep = keep || ext == a;
            keep = keep || (ToolAcceptsApe(tool) && ext == L".ape");
        }
        if (keep) result.push_back(base + entry.name);
    }
    return result;
}

bool CCommon::OnIsFolder(const std::wstring& path) {
    return platform::IsFolder(path);
}

bool CCommon::OnGetExeFolder(std::wstring& folder) {
    std::wstring f = platform::ExeFolder();
    if (f.empty()) return false;
    folder = f;
    return true;
}

bool CCommon::OnGetFolderOfPath(const std::wstring& path, std::wstring& folder) {
    size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos) return false;
    folder = path.substr(0, slash + 1);
    return true;
}

void CCommon::OnSplitPath(const std::wstring& path, std::wstring* folder, std::wstring* name,
                          std::wstring* ext) {
    size_t slash = path.rfind(L'/');
    size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < nameStart) dot = path.size();
    if (folder) *folder = path.substr(0, nameStart);
    if (name) *name = path.substr(nameStart, dot - nameStart);
    if (ext) *ext = path.substr(dot);
}

namespace {
std::wstring Numbered(const std::wstring& folder, const std::wstring& name, long long n,
                      const std::wstring& ext) {
    return folder + name + L"_" + std::to_wstring(n) + ext;
}
}  // namespace

std::wstring CCommon::OnGetFreePath(const std::wstring& path) {
    if (!platform::PathExists(path)) return path;
    std::wstring folder, name, ext;
    OnSplitPath(path, &folder, &name, &ext);
    for (int n = 1; n <= kMaxFreeNameTries; ++n) {
        std::wstring candidate = Numbered(folder, name, n, ext);
        if (!platform::PathExists(candidate)) return candidate;
    }
    return {};
}

bool CCommon::OnGetFreeNumberedName(const std::wstring& path, std::wstring& name, int& counter,
                                    const std::wstring& replacementExt) {
    std::wstring folder, stem, ext;
    OnSplitPath(path, &folder, &stem, &ext);
    if (!replacementExt.empty()) ext = replacementExt;
    for (int tries = 0; tries < kMaxFreeNameTries; ++tries) {
        long long n = counter;
        if (counter < 2147483647) ++counter;
        std::wstring candidate = Numbered(folder, stem, n, ext);
        if (!platform::PathExists(candidate)) {
            name = candidate.substr(folder.size());
            return true;
        }
    }
    name.clear();
    return false;
}

std::wstring CCommon::OnGetTimestampName() {
    platform::LocalTime t = platform::NowLocal();
    wchar_t buf[64];
    std::swprintf(buf, 64, L"%d-%02d-%02d_%02d_%02d_%02d_%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return buf;
}

std::wstring CCommon::OnGetMergeTempPath() {
    std::wstring path = platform::UserCacheBase() + L"ZXSonivert/";
    platform::CreateFolders(path, 0700);
    TW_LOG_INFO(L" >> MergePath : " << path);
    return path;
}

int CCommon::OnGetOsLevel() {
    return 2;
}

void CCommon::OnFormatTimeCode(uint32_t ms, std::wstring& text) {
    uint32_t h, m, s, milli;
    OnSplitTimeCode(ms, h, m, s, milli);
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%.2u:%.2u:%.2u.%.3u", h, m, s, milli);
    text = buf;
}

std::wstring CCommon::FormatTimeCode(uint32_t ms) {
    std::wstring text;
    OnFormatTimeCode(ms, text);
    return text;
}

uint32_t CCommon::OnComposeTimeCode(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t ms) {
    return ms + hours * 3600000u + minutes * 60000u + seconds * 1000u;
}

void CCommon::OnSplitTimeCode(uint32_t ms, uint32_t& hours, uint32_t& minutes, uint32_t& seconds,
                              uint32_t& millis) {
    hours = ms / 3600000u;
    minutes = (ms % 3600000u) / 60000u;
    seconds = (ms % 60000u) / 1000u;
    millis = ms % 1000u;
}

uint32_t CCommon::OnParseTimeCode(const std::wstring& text) {
    size_t first = text.find(L':');
    if (first == std::wstring::npos) return 0;
    long long hours = OnLeadingInteger(text.substr(0, first));
    long long minutes = 0;
    float seconds = 0.0f;
    size_t second = text.find(L':', first + 1);
    if (second != std::wstring::npos) {
        minutes = OnLeadingInteger(text.substr(first + 1, second - first - 1));
        std::string rest = platform::ToUtf8(text.substr(second + 1));
        seconds = static_cast<float>(std::strtod(rest.c_str(), nullptr));
    }
    // Single precision at each step, as the time fields have always computed it.
    float total = static_cast<float>((hours * 60 + minutes) * 60) + seconds;
    float product = total * 1000.0f;
    if (!(product > 0.0f)) return 0;  // negative or NaN
    if (product >= 4294967295.0f) return 4294967295u;
    return static_cast<uint32_t>(product);
}

bool CCommon::OnStripPrefix(const std::wstring& text, const std::wstring& prefix, std::wstring& out) {
    if (text.find(prefix) == std::wstring::npos) return false;
    out = text.substr(std::min(prefix.size(), text.size()));
    return true;
}

long long CCommon::OnLeadingInteger(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        if (value < 100000000000LL) value = value * 10 + (text[i] - L'0');
        ++i;
    }
    return negative ? -value : value;
}

std::string CCommon::OnToUtf8(const std::wstring& text) {
    return platform::ToUtf8(text);
}
