// Media probe speed on one 10-minute file of each kind the list rows meet: the ADTS header scan
// against ffprobe on a raw AAC stream, and the list-row chain (MediaInfo) against ffprobe on an
// MP3. Prints milliseconds per probe and, last, "RESULT probe adts_ms=... ffprobe_ms=... ratio=...".
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "common/Common.h"
#include "platform/Platform.h"

namespace {

constexpr int kRuns = 5;

template <typename Fn>
double BestMs(Fn fn) {
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

bool Encode(const std::string& ffmpeg, const std::vector<std::string>& codec, const std::string& out) {
    std::vector<std::string> argv = {ffmpeg,
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=440:sample_rate=44100:duration=600",
                                     "-ac",
                                     "2"};
    argv.insert(argv.end(), codec.begin(), codec.end());
    argv.push_back(out);
    int code = -1;
    return platform::RunProcess(argv, &code) && code == 0;
}

}  // namespace

int main() {
    platform::InitLocale();
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    if (ffmpeg.empty() || platform::FindExecutable("ffprobe").empty()) {
        std::fprintf(stderr, "bench_probe: needs ffmpeg and ffprobe on PATH\n");
        return 1;
    }
    const std::string folder = bench::MakeScratchFolder("tw-bench-probe");
    if (folder.empty()) return 1;
    const std::string aac = folder + "long.aac";
    const std::string mp3 = folder + "long.mp3";
    std::printf("encoding 600 s of ADTS AAC and MP3...\n");
    if (!Encode(ffmpeg, {"-c:a", "aac", "-b:a", "128k", "-f", "adts"}, aac) ||
        !Encode(ffmpeg, {"-c:a", "libmp3lame", "-b:a", "128k"}, mp3)) {
        std::fprintf(stderr, "bench_probe: encoding failed\n");
        std::filesystem::remove_all(folder);
        return 1;
    }
    const std::wstring waac = platform::FromUtf8(aac);
    const std::wstring wmp3 = platform::FromUtf8(mp3);

    uint32_t adtsLength = 0;
    int32_t bps = 0;
    double adtsMs = BestMs([&] { adtsLength = CCommon::OnParseAdtsLength(waac, bps); });
    uint32_t toolLength = 0;
    double ffprobeAacMs = BestMs([&] { CCommon::OnProbeWithTool(waac, toolLength, bps); });
    std::printf("ADTS AAC   header scan %8.2f ms (%u ms)   ffprobe %8.2f ms (%u ms)\n", adtsMs, adtsLength,
                ffprobeAacMs, toolLength);

    MediaFacts facts;
    double rowMs = BestMs([&] { CCommon::ProbeForListRow(wmp3, facts); });
    double ffprobeMp3Ms = BestMs([&] { CCommon::OnProbeWithTool(wmp3, toolLength, bps); });
    std::printf("MP3        list-row    %8.2f ms (%u ms)   ffprobe %8.2f ms (%u ms)\n", rowMs,
                facts.durationMs, ffprobeMp3Ms, toolLength);

    std::printf("RESULT probe adts_ms=%.2f ffprobe_ms=%.2f ratio=%.2f\n", adtsMs, ffprobeAacMs,
                adtsMs > 0 ? ffprobeAacMs / adtsMs : 0.0);
    std::filesystem::remove_all(folder);
    return 0;
}
