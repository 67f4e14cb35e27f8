// One batch of 20 generated files converted to MP3 through `tonewright-cli convert` (the headless
// main window, its batch thread and the worker pool) and through a sequential ffmpeg loop with the
// same encoder settings, in the same run.
//   RESULT cli_batch ours_s=... peer_s=... ratio=...   (ratio = peer / ours: how many times faster)
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"

#ifndef TW_CLI_PATH
#define TW_CLI_PATH "tonewright-cli"
#endif

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 20;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20.0;
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    const std::string cli = platform::FindExecutable(TW_CLI_PATH);
    if (ffmpeg.empty() || cli.empty()) {
        std::fprintf(stderr, "bench_cli_batch: ffmpeg or tonewright-cli not found\n");
        return 1;
    }
    const std::string dir = bench::MakeScratchFolder("tw-bench-cli-batch");
    if (dir.empty()) return 1;
    std::vector<std::string> inputs;
    for (int i = 0; i < files; ++i) {
        const std::string in = dir + "in" + std::to_string(i) + ".wav";
        if (!bench::Run(
                {ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                 "sine=frequency=" + std::to_string(300 + 10 * i) + ":duration=" + std::to_string(seconds),
                 "-ac", "2", "-ar", "44100", in})) {
            return 1;
        }
        inputs.push_back(in);
    }

    double oursCpu = 0, peerCpu = 0;
    int round = 0;
    const double ours = bench::BestSeconds(
        [&] {
            const std::string out = dir + "ours" + std::to_string(round++);
            std::vector<std::string> argvCli = {cli,         "convert", "--to",  "mp3",
                                                "--quality", "128kb/s", "--out", out};
            argvCli.insert(argvCli.end(), inputs.begin(), inputs.end());
            int code = -1;
            return platform::RunProcess(argvCli, &code) && code == 0;
        },
        RUSAGE_CHILDREN, 1, &oursCpu);
    round = 0;
    const double peer = bench::BestSeconds(
        [&] {
            const std::string out = dir + "peer" + std::to_string(round++) + "/";
            platform::CreateFolders(platform::FromUtf8(out));
            for (size_t i = 0; i < inputs.size(); ++i) {
                if (!bench::Run({ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-i", inputs[i],
                                 "-acodec", "libmp3lame", "-ab", "128k", out + std::to_string(i) + ".mp3"})) {
                    return false;
                }
            }
            return true;
        },
        RUSAGE_CHILDREN, 1, &peerCpu);

    bench::Run({"rm", "-rf", dir});
    if (ours < 0 || peer < 0) {
        std::fprintf(stderr, "bench_cli_batch: a run failed\n");
        return 1;
    }
    std::printf(
        "RESULT cli_batch ours_s=%.3f peer_s=%.3f ratio=%.3f files=%d seconds_each=%.1f ours_cpu_s=%.3f "
        "peer_cpu_s=%.3f\n",
        ours, peer, peer / ours, files, seconds, oursCpu, peerCpu);
    return 0;
}
