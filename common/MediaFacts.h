// The facts the media probe learns about one file.
#pragma once

#include <cstdint>
#include <string>

struct MediaFacts {
    std::wstring
        fileName;  // the name MediaInfo reports for "FileName"; empty when it could not open the file
    uint64_t fileSize = 0;        // bytes, from the file system
    uint32_t durationMs = 0;      // 0 = unknown
    int32_t bitRate = 0;          // overall bit rate in bit/s; 0 = unknown
    std::wstring audioFormat;     // format of the first audio stream
    int32_t sampleRate = 0;       // of the first audio stream, in Hz
    std::wstring encodedLibrary;  // encoder library named in the general section
    bool hasCover = false;        // an embedded cover picture
};
