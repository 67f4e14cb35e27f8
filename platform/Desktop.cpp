#include "platform/Platform.h"

namespace platform {
namespace {

// file:// URI with every byte outside the unreserved set percent-encoded.
std::string FileUri(const std::wstring& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : ToUtf8(path)) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                     c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

}  // namespace

bool OpenInDesktop(const std::wstring& path) {
    if (path.empty() || !PathExists(path)) return false;
    return SpawnDetached({"xdg-open", ToUtf8(path)});
}

bool ShowInFileManager(const std::wstring& path) {
    if (path.empty() || !PathExists(path)) return false;
    int code = -1;
    bool ran =
        RunProcess({"dbus-send", "--session", "--print-reply", "--reply-timeout=2000",
                    "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                    "org.freedesktop.FileManager1.ShowItems", "array:string:" + FileUri(path), "string:"},
                   &code);
    if (ran && code == 0) return true;
    std::wstring folder = path;
    size_t slash = folder.rfind(L'/');
    if (slash != std::wstring::npos) folder.resize(slash + 1);
    return OpenInDesktop(folder);
}

}  // namespace platform
