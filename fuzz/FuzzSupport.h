// Helpers shared by the fuzz targets: the fuzz input as a file (for the parts that read paths).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A private folder for this process's scratch files, made once ("/dev/shm" when it exists, so that
// the file writes stay in memory).
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string pattern =
            (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/tw-fuzz-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern + "/";
    }();
    return folder;
}

// Writes the input to `name` in the scratch folder and returns the full path.
inline std::string WriteInput(const char* name, const uint8_t* data, size_t size) {
    const std::string path = ScratchFolder() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

}  // namespace fuzz
