// The path checks every command shares: one message per real cause, so that a folder, a pipe, a
// device, a link loop or an over-long path is never reported as "not found".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "common/Common.h"
#include "platform/Platform.h"

namespace cli {
namespace {

bool ValidUtf8Name(const std::string& path) {
    return platform::ToUtf8(platform::FromUtf8(path)) == path;
}

std::string ErrnoProblem(int error, bool input) {
    switch (error) {
        case ENOENT:
            return input ? "input file not found" : "folder of the output not found";
        case ENOTDIR:
            return "a part of the path is not a folder";
        case ELOOP:
            return "symbolic link loop (too many levels of links)";
        case ENAMETOOLONG:
            return "path too long";
        case EACCES:
        case EPERM:
            return "permission denied";
        default:
            return std::string("cannot be used: ") + std::strerror(error);
    }
}

std::string TypeProblem(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a pipe (FIFO), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "is not a regular file";
}

}  // namespace

std::string InputProblem(const std::string& path) {
    if (path.empty()) return "empty file name";
    if (!ValidUtf8Name(path)) return "name is not valid UTF-8 (rename the file)";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ErrnoProblem(errno, true);
    if (!S_ISREG(st.st_mode)) return TypeProblem(st.st_mode);
    // Readability: O_NONBLOCK keeps a file swapped for a FIFO since the stat from blocking.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ErrnoProblem(errno, true);
    struct stat opened {};
    const bool regular = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode);
    ::close(fd);
    return regular ? std::string() : TypeProblem(opened.st_mode);
}

bool CheckInput(const std::string& path) {
    const std::string problem = InputProblem(path);
    if (problem.empty()) return true;
    std::fprintf(stderr, "tonewright-cli: %s: %s\n", problem.c_str(), path.c_str());
    return false;
}

std::string NewOutputProblem(const std::string& path) {
    if (path.empty()) return "empty output name";
    if (!ValidUtf8Name(path)) return "output name is not valid UTF-8 (choose another name)";
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) return "output is a symbolic link, not writing through it";
        return "output already exists, not overwriting";
    }
    if (errno != ENOENT) return ErrnoProblem(errno, false);
    // The folder must exist: report that rather than a failed write later.
    std::wstring folder;
    if (CCommon::OnGetFolderOfPath(platform::FromUtf8(path), folder) && !platform::IsFolder(folder)) {
        return "folder of the output not found";
    }
    return {};
}

bool CheckDependencies(const std::vector<std::string>& tools, bool needMediaInfo) {
    for (const auto& tool : tools) {
        const std::string found = platform::ToUtf8(CCommon::OnGetToolPath(platform::FromUtf8(tool)));
        if (found.empty() || platform::FindExecutable(found).empty()) {
            std::fprintf(stderr,
                         "tonewright-cli: %s is missing: install it or put it in the \"Core\" folder beside "
                         "the program\n",
                         tool.c_str());
            return false;
        }
    }
    if (needMediaInfo && !CCommon::OnBindMediaInfo()) {
        std::fprintf(stderr, "tonewright-cli: the MediaInfo library (libmediainfo.so.0) cannot be loaded\n");
        return false;
    }
    return true;
}

}  // namespace cli
