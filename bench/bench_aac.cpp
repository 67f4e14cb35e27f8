// AAC bridge speed: OnDecoderAAC against the faad command-line decoder (the same FAAD2 library)
// decoding one 10-minute ADTS file to a 16-bit WAV, with ffmpeg's decoder for reference.
// Prints realtime factors and, last, "RESULT aac ours_x=... peer_x=... ratio=...".
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "engine/AacBridge.h"
#include "platform/Platform.h"

namespace {

constexpr double kSeconds = 600.0;
constexpr int kRuns = 5;

}  // namespace

int main() {
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    const std::string faad = platform::FindExecutable("faad");
    if (ffmpeg.empty() || faad.empty()) {
        std::fprintf(stderr, "bench_aac: needs ffmpeg and faad on PATH\n");
        return 1;
    }
    const std::string folder = bench::MakeScratchFolder("tw-bench-aac");
    if (folder.empty()) return 1;
    const std::string input = folder + "music.aac";
    const std::string ours = folder + "ours.wav", peer = folder + "faad.wav", ref = folder + "ffmpeg.wav";

    // Stereo 44.1 kHz at 128 kbit/s: two tones with a slow vibrato over pink noise, so that every
    // band carries signal, as in music.
    std::printf("encoding %.0f s of stereo ADTS AAC...\n", kSeconds);
    const std::string d = std::to_string(static_cast<int>(kSeconds));
    if (!bench::Run(
            {ffmpeg,
             "-hide_banner",
             "-loglevel",
             "error",
             "-y",
             "-f",
             "lavfi",
             "-i",
             "aevalsrc=0.3*sin(2*PI*(330+20*sin(2*PI*0.5*t))*t)|0.3*sin(2*PI*(440+30*sin(2*PI*0.3*t))*t):s="
             "44100:d=" +
                 d,
             "-f",
             "lavfi",
             "-i",
             "anoisesrc=color=pink:amplitude=0.1:sample_rate=44100:d=" + d,
             "-filter_complex",
             "[1:a]aformat=channel_layouts=stereo[n];[0:a][n]amix=inputs=2:normalize=0",
             "-c:a",
             "aac",
             "-b:a",
             "128k",
             "-f",
             "adts",
             input})) {
        std::fprintf(stderr, "bench_aac: cannot make %s\n", input.c_str());
        return 1;
    }

    const std::wstring wideIn = platform::FromUtf8(input), wideOut = platform::FromUtf8(ours);
    double oursCpu = 0, peerCpu = 0, refCpu = 0;
    const double oursSeconds = bench::BestSeconds(
        [&] {
            platform::DeleteFilePath(wideOut);
            return OnDecoderAAC(wideIn.c_str(), wideOut.c_str());
        },
        RUSAGE_SELF, kRuns, &oursCpu);
    const double peerSeconds = bench::BestSeconds(
        [&] {
            return bench::Run({faad, "-q", "-o", peer, input});
        },
        RUSAGE_CHILDREN, kRuns, &peerCpu);
    const double refSeconds = bench::BestSeconds(
        [&] {
            return bench::Run(
                {ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-i", input, "-c:a", "pcm_s16le", ref});
        },
        RUSAGE_CHILDREN, kRuns, &refCpu);
    const int64_t oursBytes = platform::FileSize(wideOut),
                  peerBytes = platform::FileSize(platform::FromUtf8(peer));
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (oursSeconds <= 0 || peerSeconds <= 0 || refSeconds <= 0) {
        std::fprintf(stderr, "bench_aac: a run failed\n");
        return 1;
    }
    const double oursX = kSeconds / oursSeconds, peerX = kSeconds / peerSeconds, refX = kSeconds / refSeconds;
    std::printf("OnDecoderAAC:  %.3f s, %.0fx realtime (%.3f s processor time, %lld bytes)\n", oursSeconds,
                oursX, oursCpu, static_cast<long long>(oursBytes));
    std::printf("faad:          %.3f s, %.0fx realtime (%.3f s processor time, %lld bytes)\n", peerSeconds,
                peerX, peerCpu, static_cast<long long>(peerBytes));
    std::printf("ffmpeg:        %.3f s, %.0fx realtime (%.3f s processor time)\n", refSeconds, refX, refCpu);
    std::printf("RESULT aac ours_x=%.0f peer_x=%.0f ratio=%.2f\n", oursX, peerX, oursX / peerX);
    return 0;
}
