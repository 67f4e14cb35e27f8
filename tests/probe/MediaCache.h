// Test media shared by every process of a suite. CTest runs each test in a process of its own, so
// media made in SetUpTestSuite would be made again for every test; here each file is made once
// under $TW_TEST_TMP and appears whole through a rename, so parallel test processes are safe.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/Platform.h"

namespace mediacache {

// The shared folder `name` (with a trailing "/"), created when missing.
inline std::string Folder(const std::string& name) {
    const char* base = std::getenv("TW_TEST_TMP");
    std::string root = base && *base ? base : platform::ToUtf8(platform::TempFolder()) + "tw-tests";
    std::string folder = root + "/" + name + "/";
    platform::CreateFolders(platform::FromUtf8(folder));
    return folder;
}

// Path of `file` in `folder`; made with `make` (given a temporary path with the same extension)
// unless it exists. Empty when it could not be made.
inline std::string File(const std::string& folder, const std::string& file,
                        const std::function<bool(const std::string&)>& make) {
    std::string path = folder + file;
    if (platform::FileSize(platform::FromUtf8(path)) > 0) return path;
    std::string temp = folder + ".part-" + std::to_string(::getpid()) + "-" + file;
    if (!make(temp)) {
        platform::DeleteFilePath(platform::FromUtf8(temp));
        return {};
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) return {};
    return path;
}

}  // namespace mediacache
