// Portable logic of the stampmenu64 shell extension: everything that needs no Windows API.
// The DLL (shellext/win/) and the native unit tests both compile this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stampmenu {

// Class identifier of the extension object, in braces, and the handler name.
inline constexpr const wchar_t* kClsidText = L"{5B2739F7-8D51-49D0-9CFB-3F873E9C37C1}";
inline constexpr const wchar_t* kHandlerName = L"stampmenu64";
inline constexpr const wchar_t* kCompanionName = L"Stampwarden.exe";
inline constexpr const wchar_t* kDefaultTitle = L"启动Markvault";
inline constexpr const wchar_t* kIconLocationPrefix = L"StampShellIcon";
inline constexpr int kIconResourceId = 101;
inline constexpr int kIconSizes[] = {256, 128, 64, 48, 32, 16};

// Most characters of the menu title, of icon text and of one selected path kept for the extension test.
inline constexpr std::size_t kMaxTitle = 64;
inline constexpr std::size_t kMaxIconText = 259;
// Longest command line a new process accepts, without the terminating zero.
inline constexpr std::size_t kMaxCommandLine = 32766;

// ---- Windows version ----------------------------------------------------------------------------

// The version as major * 256 + minor, the form every version rule compares against.
constexpr std::uint32_t VersionCode(std::uint32_t major, std::uint32_t minor) {
    return major * 256 + minor;
}
inline constexpr std::uint32_t kVersionVista = VersionCode(6, 0);
inline constexpr std::uint32_t kVersionXp = VersionCode(5, 1);

// Largest number of paths passed to one start of the companion program.
constexpr std::size_t BatchSizeFor(std::uint32_t versionCode) {
    return versionCode <= kVersionXp ? 4 : 100;
}

// ---- Registration table -------------------------------------------------------------------------

enum class RegType { Text, Number };

// What the "%s" of a text datum receives.
enum class DataArg { None, ServerPath, CompanionPath, Clsid };

struct RegEntry {
    const wchar_t* subKeyFormat;  // "%s" receives the class identifier in braces
    const wchar_t* valueName;     // nullptr: the key's default value
    RegType type;
    const wchar_t* textFormat;  // for Text entries
    DataArg arg;
    std::uint32_t number;  // for Number entries
};

// The ordered registration table; every root is HKEY_CLASSES_ROOT.
const std::vector<RegEntry>& RegistrationTable();

// One table entry with its sub-key and text formatted.
struct RegValue {
    std::wstring subKey;
    std::wstring valueName;  // empty: default value
    RegType type = RegType::Text;
    std::wstring text;
    std::uint32_t number = 0;
};

// Substitutes the first "%s" of format with arg; a literal "%%" becomes "%". Only that one
// directive is understood, so a path holding '%' characters is copied verbatim and never
// read as a format.
std::wstring FormatOne(std::wstring_view format, std::wstring_view arg);

// The folder of a path up to and including its last '\' (empty when it has none).
std::wstring FolderOf(std::wstring_view path);

// The path of the companion program beside the server file.
std::wstring CompanionPathFor(std::wstring_view serverPath);

// The table with every sub-key and datum formatted for the given server file.
std::vector<RegValue> FormatRegistration(std::wstring_view serverPath);

// Sub-keys removed by unregistration, in the order they are deleted.
std::vector<std::wstring> UnregistrationKeys();

// The settings key under HKEY_CLASSES_ROOT.
std::wstring SettingsKey();

// ---- Settings -----------------------------------------------------------------------------------

struct Settings {
    std::wstring title = kDefaultTitle;
    std::optional<std::wstring> path;
    std::optional<std::wstring> custom;  // present (even empty) adds " " + custom after the program
    bool showIcon = true;
    bool dynamic = false;
    std::uint32_t maxText = 25;
    std::optional<std::wstring> customIcon;
};

// Access to the stored values: a text or a 32-bit number by value name, nothing when absent.
struct SettingsSource {
    std::function<std::optional<std::wstring>(const wchar_t*)> text;
    std::function<std::optional<std::uint32_t>(const wchar_t*)> number;
};

// Reads every setting, leaving the default for each absent value. A source without functions
// (the settings key is missing) leaves all defaults.
Settings ReadSettings(const SettingsSource& source);

// ---- Extension rules ----------------------------------------------------------------------------

// The extension of the last path component with its dot, or empty. A dot followed later by a
// space or a separator does not start an extension.
std::wstring_view ExtensionOf(std::wstring_view path);

std::wstring ToLower(std::wstring_view text);
std::wstring ToUpper(std::wstring_view text);

// Whether the lower-cased extension of the first selected item gets the menu entry: it must occur
// in the supported-extension text, which is empty, so only items without extension qualify.
bool OffersEntry(std::wstring_view lowerExtension);

// Text drawn on a file's icon: its extension without dot, at most maxText (never more than 259)
// characters, upper-cased.
std::wstring IconTextFor(std::wstring_view fileName, std::uint32_t maxText);

// Copies text into a buffer of capacity characters (terminator included), cutting what does not
// fit. Returns the number of characters copied; nothing is written when capacity is 0.
std::size_t CopyCut(std::wstring_view text, wchar_t* buffer, std::size_t capacity);

// ---- Command lines ------------------------------------------------------------------------------

// The head of every command line: the program in double quotes, then " " + custom when present.
std::wstring CommandHead(std::wstring_view program, const std::optional<std::wstring>& custom);

// Command lines for the selected items: the head followed by up to batchSize times
// ' "path"'. A batch also ends early when the next path would push the command line past
// kMaxCommandLine, so no path is ever dropped by a failed start; a single path too long for any
// command line still gets its own batch.
std::vector<std::wstring> BuildCommandLines(std::wstring_view head, const std::vector<std::wstring>& paths,
                                            std::size_t batchSize);

// ---- Icon badge ---------------------------------------------------------------------------------

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

struct Rgb {
    std::uint8_t r, g, b;
};
inline constexpr Rgb kBadgeFill{1, 1, 60};
inline constexpr Rgb kBadgeText{250, 250, 250};
inline constexpr const wchar_t* kBadgeFont = L"Courier New";

// Font height for an icon of size s.
constexpr int BadgeFontHeight(int s) {
    return 2 * s / 5;
}

struct BadgeLayout {
    int width = 0;   // text extent width, clamped to s - 2
    int height = 0;  // text extent height, clamped to s - 2
    Rect box;        // the filled rounded rectangle, also the blended source area
    int corner = 0;  // corner size of the rounded rectangle
    Rect text;       // where the text is drawn
    Rect target;     // the width x height area the box is blended into
};

BadgeLayout LayoutBadge(int s, int textWidth, int textHeight);

// Where a badge may be drawn: a large icon of at least 32 pixels with some text, Dynamic on.
constexpr bool WantsBadge(bool dynamic, bool largeAsked, int largeSize, std::size_t textLength) {
    return dynamic && largeAsked && largeSize >= 32 && textLength > 0;
}

// ---- Icon location ------------------------------------------------------------------------------

struct IconLocation {
    std::wstring location;
    bool notFileName = false;  // GIL_NOTFILENAME: Extract makes the icon
};

IconLocation LocateIcon(bool defaultAsked, bool dynamic, std::wstring_view iconText,
                        const std::optional<std::wstring>& customIcon, std::wstring_view serverPath);

}  // namespace stampmenu
