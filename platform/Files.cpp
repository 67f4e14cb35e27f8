#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Platform.h"

namespace platform {
namespace {

std::string N(const std::wstring& path) {
    return ToUtf8(path);
}

bool StatPath(const std::wstring& path, struct stat* st) {
    if (path.empty()) return false;
    return ::stat(N(path).c_str(), st) == 0;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

}  // namespace

bool PathExists(const std::wstring& path) {
    struct stat st {};
    return StatPath(path, &st);
}

bool IsFolder(const std::wstring& path) {
    struct stat st {};
    return StatPath(path, &st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::wstring& path) {
    struct stat st {};
    return StatPath(path, &st) && S_ISREG(st.st_mode);
}

int64_t FileSize(const std::wstring& path) {
    struct stat st {};
    if (!StatPath(path, &st) || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool CopyFileNoOverwrite(const std::wstring& from, const std::wstring& to) {
    int in = ::open(N(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    // O_EXCL: an existing destination is never touched.
    int out = ::open(N(to).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[1 << 16];
    for (;;) {
        ssize_t got = ::read(in, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        if (!WriteAll(out, buf, static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(N(to).c_str());  // only the partial copy we created ourselves
    return ok;
}

bool DeleteFilePath(const std::wstring& path) {
    if (path.empty()) return false;
    if (::unlink(N(path).c_str()) == 0) return true;
    return errno == ENOENT;
}

bool RenameNoOverwrite(const std::wstring& from, const std::wstring& to) {
    // link + unlink gives "fail when the destination exists" without a race.
    if (::link(N(from).c_str(), N(to).c_str()) != 0) return false;
    ::unlink(N(from).c_str());
    return true;
}

bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries) {
    if (entries) entries->clear();
    std::string base = N(folder);
    DIR* dir = ::opendir(base.empty() ? "." : base.c_str());
    if (!dir) return false;
    if (!base.empty() && base.back() != '/') base.push_back('/');
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool isDir = false;
        if (e->d_type == DT_DIR) {
            isDir = true;
        } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            isDir = ::stat((base + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (entries) entries->push_back({FromUtf8(name), isDir});
    }
    ::closedir(dir);
    if (entries)
        std::sort(entries->begin(), entries->end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

bool CreateFolders(const std::wstring& folder, unsigned mode) {
    std::string path = N(folder);
    if (path.empty()) return false;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string part = path.substr(0, pos);
            if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
        }
    }
    return IsFolder(folder);
}

bool IsFolderWritable(const std::wstring& folder) {
    std::string probe = N(folder);
    if (probe.empty()) return false;
    if (probe.back() != '/') probe.push_back('/');
    probe += ".tw-write-check-XXXXXX";
    int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
    int fd = ::open(N(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
    int fd = ::open(N(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string data;
    char buf[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        data.append(buf, static_cast<size_t>(got));
    }
    ::close(fd);
    if (bytes) *bytes = std::move(data);
    return true;
}

}  // namespace platform
