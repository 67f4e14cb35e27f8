#include <unistd.h>

#include <cstdlib>

#include "platform/Platform.h"

namespace platform {
namespace {

std::wstring WithSlash(std::wstring path) {
    if (path.empty() || path.back() != L'/') path.push_back(L'/');
    return path;
}

// $VAR when it is set to an absolute path, else $HOME + fallback.
std::wstring XdgBase(const char* var, const char* homeRelative) {
    const char* v = std::getenv(var);
    if (v && v[0] == '/') return WithSlash(FromUtf8(v));
    const char* home = std::getenv("HOME");
    std::wstring base = home && home[0] ? FromUtf8(home) : std::wstring(L"/tmp");
    return WithSlash(WithSlash(base) + FromUtf8(homeRelative));
}

// An installed program: its folder is the "bin" of a prefix whose "share/applications" holds the
// program's desktop entry. That folder belongs to the system (or to the package manager, even
// when the program runs as root and could write there), so the program's own files go to the
// user's folders instead.
bool IsInstalledProgramFolder(const std::wstring& exeFolder) {
    static const std::wstring kBin = L"/bin/";
    if (exeFolder.size() <= kBin.size() ||
        exeFolder.compare(exeFolder.size() - kBin.size(), kBin.size(), kBin) != 0)
        return false;
    std::wstring prefix = exeFolder.substr(0, exeFolder.size() - kBin.size() + 1);
    return PathExists(prefix + L"share/applications/org.tonewright.Tonewright.desktop");
}

}  // namespace

std::wstring ExePath() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    buf.resize(static_cast<size_t>(n));
    return FromUtf8(buf);
}

std::wstring ExeFolder() {
    std::wstring exe = ExePath();
    size_t slash = exe.rfind(L'/');
    if (slash == std::wstring::npos) return {};
    return exe.substr(0, slash + 1);
}

std::wstring UserConfigFolder() {
    return XdgBase("XDG_CONFIG_HOME", ".config") + L"tonewright/";
}
std::wstring UserStateFolder() {
    return XdgBase("XDG_STATE_HOME", ".local/state") + L"tonewright/";
}
std::wstring UserCacheBase() {
    return XdgBase("XDG_CACHE_HOME", ".cache");
}

std::wstring TempFolder() {
    const char* t = std::getenv("TMPDIR");
    if (t && t[0] == '/') return WithSlash(FromUtf8(t));
    return L"/tmp/";
}

std::wstring BesideProgramOr(const std::wstring& fallback) {
    std::wstring exeFolder = ExeFolder();
    if (!exeFolder.empty() && IsFolderWritable(exeFolder) && !IsInstalledProgramFolder(exeFolder))
        return exeFolder;
    CreateFolders(fallback, 0700);
    return WithSlash(fallback);
}

}  // namespace platform
