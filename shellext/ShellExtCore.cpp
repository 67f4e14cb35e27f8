#include "shellext/ShellExtCore.h"

#include <algorithm>
#include <cwctype>

namespace stampmenu {

const std::vector<RegEntry>& RegistrationTable() {
    static const std::vector<RegEntry> table = {
        {L"CLSID\\%s", nullptr, RegType::Text, L"stampmenu64", DataArg::None, 0},
        {L"CLSID\\%s\\InprocServer32", nullptr, RegType::Text, L"%s", DataArg::ServerPath, 0},
        {L"CLSID\\%s\\InprocServer32", L"ThreadingModel", RegType::Text, L"Apartment", DataArg::None, 0},
        {L"CLSID\\%s\\Settings", L"Title", RegType::Text, kDefaultTitle, DataArg::None, 0},
        {L"CLSID\\%s\\Settings", L"Path", RegType::Text, L"%s", DataArg::CompanionPath, 0},
        {L"CLSID\\%s\\Settings", L"Custom", RegType::Text, L"", DataArg::None, 0},
        {L"CLSID\\%s\\Settings", L"ShowIcon", RegType::Number, nullptr, DataArg::None, 1},
        {L"CLSID\\%s\\Settings", L"Dynamic", RegType::Number, nullptr, DataArg::None, 1},
        {L"CLSID\\%s\\Settings", L"Maxtext", RegType::Number, nullptr, DataArg::None, 25},
        {L"*\\shellex\\ContextMenuHandlers\\stampmenu64", nullptr, RegType::Text, L"%s", DataArg::Clsid, 0},
        {L"Directory\\shellex\\ContextMenuHandlers\\stampmenu64", nullptr, RegType::Text, L"%s",
         DataArg::Clsid, 0},
    };
    return table;
}

std::wstring FormatOne(std::wstring_view format, std::wstring_view arg) {
    std::wstring out;
    out.reserve(format.size() + arg.size());
    bool used = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size()) {
            if (format[i + 1] == L'%') {
                out += L'%';
                ++i;
                continue;
            }
            if (format[i + 1] == L's' && !used) {
                out += arg;
                used = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::wstring FolderOf(std::wstring_view path) {
    const auto slash = path.find_last_of(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return std::wstring(path.substr(0, slash + 1));
}

std::wstring CompanionPathFor(std::wstring_view serverPath) {
    return FolderOf(serverPath) + kCompanionName;
}

std::vector<RegValue> FormatRegistration(std::wstring_view serverPath) {
    const std::wstring companion = CompanionPathFor(serverPath);
    std::vector<RegValue> values;
    for (const RegEntry& e : RegistrationTable()) {
        RegValue v;
        v.subKey = FormatOne(e.subKeyFormat, kClsidText);
        v.valueName = e.valueName ? e.valueName : L"";
        v.type = e.type;
        if (e.type == RegType::Number) {
            v.number = e.number;
        } else {
            std::wstring_view arg;
            switch (e.arg) {
                case DataArg::None:
                    break;
                case DataArg::ServerPath:
                    arg = serverPath;
                    break;
                case DataArg::CompanionPath:
                    arg = companion;
                    break;
                case DataArg::Clsid:
                    arg = kClsidText;
                    break;
            }
            v.text = FormatOne(e.textFormat, arg);
        }
        values.push_back(std::move(v));
    }
    return values;
}

std::vector<std::wstring> UnregistrationKeys() {
    return {
        L"*\\shellex\\ContextMenuHandlers\\stampmenu64",
        L"Directory\\shellex\\ContextMenuHandlers\\stampmenu64",
        FormatOne(L"CLSID\\%s\\InprocServer32", kClsidText),
        FormatOne(L"CLSID\\%s\\Settings", kClsidText),
        FormatOne(L"CLSID\\%s", kClsidText),
    };
}

std::wstring SettingsKey() {
    return FormatOne(L"CLSID\\%s\\Settings", kClsidText);
}

Settings ReadSettings(const SettingsSource& source) {
    Settings s;
    if (source.text) {
        if (auto title = source.text(L"Title")) s.title = title->substr(0, kMaxTitle);
        s.path = source.text(L"Path");
        s.custom = source.text(L"Custom");
        s.customIcon = source.text(L"CustomIcon");
    }
    if (source.number) {
        if (auto v = source.number(L"ShowIcon")) s.showIcon = *v != 0;
        if (auto v = source.number(L"Dynamic")) s.dynamic = *v != 0;
        if (auto v = source.number(L"Maxtext")) s.maxText = *v;
    }
    return s;
}

std::wstring_view ExtensionOf(std::wstring_view path) {
    std::size_t dot = std::wstring_view::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c == L'\\' || c == L'/' || c == L' ') {
            dot = std::wstring_view::npos;
        } else if (c == L'.') {
            dot = i;
        }
    }
    if (dot == std::wstring_view::npos) return {};
    return path.substr(dot);
}

std::wstring ToLower(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

std::wstring ToUpper(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return out;
}

bool OffersEntry(std::wstring_view lowerExtension) {
    constexpr std::wstring_view kSupported = L"";
    return kSupported.find(lowerExtension) != std::wstring_view::npos;
}

std::wstring IconTextFor(std::wstring_view fileName, std::uint32_t maxText) {
    std::wstring_view ext = ExtensionOf(fileName);
    if (!ext.empty()) ext.remove_prefix(1);
    const std::size_t keep = std::min<std::size_t>({ext.size(), maxText, kMaxIconText});
    return ToUpper(ext.substr(0, keep));
}

std::size_t CopyCut(std::wstring_view text, wchar_t* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return 0;
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = L'\0';
    return n;
}

std::wstring CommandHead(std::wstring_view program, const std::optional<std::wstring>& custom) {
    std::wstring head = L"\"";
    head += program;
    head += L"\"";
    if (custom) {
        head += L" ";
        head += *custom;
    }
    return head;
}

std::vector<std::wstring> BuildCommandLines(std::wstring_view head, const std::vector<std::wstring>& paths,
                                            std::size_t batchSize) {
    std::vector<std::wstring> lines;
    if (batchSize == 0) batchSize = 1;
    std::wstring line;
    std::size_t inLine = 0;
    for (const std::wstring& path : paths) {
        const std::size_t added = path.size() + 3;  // space and two quotes
        if (inLine > 0 && (inLine == batchSize || line.size() + added > kMaxCommandLine)) {
            lines.push_back(std::move(line));
            inLine = 0;
        }
        if (inLine == 0) line.assign(head);
        line += L" \"";
        line += path;
        line += L"\"";
        ++inLine;
    }
    if (inLine > 0) lines.push_back(std::move(line));
    return lines;
}

BadgeLayout LayoutBadge(int s, int textWidth, int textHeight) {
    BadgeLayout b;
    const int limit = std::max(0, s - 2);
    b.width = std::clamp(textWidth, 0, limit);
    b.height = std::clamp(textHeight, 0, limit);
    b.box = {s - b.width - 2, s - b.height - 2, s, s};
    b.corner = BadgeFontHeight(s) / 3;
    b.text = {s - b.width - 1, s - b.height - 1, s - 1, s - 1};
    b.target = {s - b.width - 2, s - b.height - 2, s - 2, s - 2};
    return b;
}

IconLocation LocateIcon(bool defaultAsked, bool dynamic, std::wstring_view iconText,
                        const std::optional<std::wstring>& customIcon, std::wstring_view serverPath) {
    IconLocation loc;
    if (defaultAsked || iconText.empty() || !dynamic) {
        loc.location = customIcon ? *customIcon : std::wstring(serverPath);
        return loc;
    }
    loc.location = kIconLocationPrefix;
    loc.location += iconText;
    loc.notFileName = true;
    return loc;
}

}  // namespace stampmenu
