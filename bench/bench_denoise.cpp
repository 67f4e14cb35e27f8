// Noise reducer speed: Reduce (file reading and writing included) against ffmpeg's afftdn filter on
// the same 10-minute, 16 kHz mono file of speech-like sound over steady noise, as the noise worker
// feeds it. Prints realtime factors (best and median of the runs), the peak memory of each, and,
// last, "RESULT denoise ours_x=... peer_x=... ratio=... ours_median_x=... peer_median_x=...
// median_ratio=...".
#include <sndfile.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "denoise/NoiseReducer.h"
#include "platform/Platform.h"

namespace {

constexpr int kRate = 16000;
constexpr double kSeconds = 600.0;
constexpr int kRuns = 5;

// Voiced syllables (a harmonic series with a wandering pitch and three formants) at about four
// per second, grouped into phrases with pauses, over steady low-passed white noise.
std::vector<short> MakeNoisySpeech() {
    const size_t count = static_cast<size_t>(kSeconds * kRate);
    std::vector<short> pcm(count);
    std::mt19937 rng(42);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    double phase = 0.0;
    float lowpassed = 0.0f;
    const double formants[3] = {600.0, 1400.0, 2600.0};
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f0 = 140.0 + 40.0 * std::sin(2 * M_PI * 0.37 * t) + 15.0 * std::sin(2 * M_PI * 2.1 * t);
        phase += 2 * M_PI * f0 / kRate;
        if (phase > 2 * M_PI) phase -= 2 * M_PI;
        const double syllable = std::pow(std::max(0.0, std::sin(2 * M_PI * 3.7 * t)), 2.0);
        const bool inPhrase = std::fmod(t, 3.1) < 2.2;
        double voice = 0.0;
        if (inPhrase && syllable > 0.0) {
            const double shift = 1.0 + 0.25 * std::sin(2 * M_PI * 1.3 * t);
            for (int h = 1; h * f0 < 3800.0; ++h) {
                const double f = h * f0;
                double gain = 0.0;
                for (double formant : formants) {
                    const double d = (f - formant * shift) / 250.0;
                    gain += std::exp(-d * d);
                }
                voice += gain / h * std::sin(h * phase);
            }
        }
        lowpassed = 0.7f * lowpassed + 0.3f * gauss(rng);
        const double sample = 0.25 * syllable * voice + 0.02 * lowpassed;
        pcm[i] = static_cast<short>(std::lround(std::clamp(sample, -1.0, 1.0) * 32767.0));
    }
    return pcm;
}

bool WritePcm16(const std::string& path, const std::vector<short>& pcm) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = kRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    const sf_count_t n = sf_write_short(f, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    return sf_close(f) == 0 && n == static_cast<sf_count_t>(pcm.size());
}

// Peak resident memory, in MiB, of one Reduce run in a child process of its own (-1 on failure).
double ReducePeakMiB(const std::string& input, const std::string& output) {
    platform::DeleteFilePath(platform::FromUtf8(output));
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        NoiseReducer reducer;
        _exit(reducer.Reduce(platform::FromUtf8(input), platform::FromUtf8(output), 1) ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main() {
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    if (ffmpeg.empty()) {
        std::fprintf(stderr, "bench_denoise: ffmpeg not found\n");
        return 1;
    }
    const std::string folder = bench::MakeScratchFolder("tw-bench-denoise");
    if (folder.empty()) return 1;
    const std::string input = folder + "speech.wav", ours = folder + "ours.wav", peer = folder + "afftdn.wav";

    std::printf("generating %.0f s of noisy speech at %d Hz mono...\n", kSeconds, kRate);
    if (!WritePcm16(input, MakeNoisySpeech())) {
        std::fprintf(stderr, "bench_denoise: cannot write %s\n", input.c_str());
        return 1;
    }

    // The three contenders take turns, run after run, so that a busy moment of the machine weighs on
    // all of them alike; best and median of each are reported.
    auto reduce = [&](bool parallel) {
        platform::DeleteFilePath(platform::FromUtf8(ours));
        NoiseReducer reducer;
        reducer.SetParallel(parallel);
        return reducer.Reduce(platform::FromUtf8(input), platform::FromUtf8(ours), 1);
    };
    auto afftdn = [&] {
        int code = -1;
        return platform::RunProcess({ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-i", input, "-af",
                                     "afftdn", "-c:a", "pcm_f32le", peer},
                                    &code) &&
               code == 0;
    };
    std::vector<double> singleRuns, oursRuns, peerRuns;
    double oursCpu = 0, peerCpu = 0, singleCpu = 0;
    for (int run = 0; run < kRuns; ++run) {
        double cpu = 0;
        singleRuns.push_back(bench::BestSeconds([&] { return reduce(false); }, RUSAGE_SELF, 1, &cpu));
        singleCpu += cpu / kRuns;
        oursRuns.push_back(bench::BestSeconds([&] { return reduce(true); }, RUSAGE_SELF, 1, &cpu));
        oursCpu += cpu / kRuns;
        peerRuns.push_back(bench::BestSeconds(afftdn, RUSAGE_CHILDREN, 1, &cpu));
        peerCpu += cpu / kRuns;
    }
    auto best = [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    };  // -1: failed
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double singleSeconds = best(singleRuns), oursSeconds = best(oursRuns), peerSeconds = best(peerRuns);
    // Only ffmpeg has run as a child so far: the children's peak is its peak.
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const double peerMiB = static_cast<double>(children.ru_maxrss) / 1024.0;
    const double oursMiB = ReducePeakMiB(input, ours);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (oursSeconds <= 0 || peerSeconds <= 0 || singleSeconds <= 0) {
        std::fprintf(stderr, "bench_denoise: a run failed\n");
        return 1;
    }
    const double oursX = kSeconds / oursSeconds, peerX = kSeconds / peerSeconds;
    std::printf("Reduce (read + reduce + write): %.3f s, %.0fx realtime (%.3f s processor time)\n",
                oursSeconds, oursX, oursCpu);
    std::printf("Reduce on one thread:           %.3f s, %.0fx realtime (%.3f s processor time)\n",
                singleSeconds, kSeconds / singleSeconds, singleCpu);
    std::printf("ffmpeg -af afftdn:              %.3f s, %.0fx realtime (%.3f s processor time)\n",
                peerSeconds, peerX, peerCpu);
    std::printf("peak memory: Reduce %.1f MiB, ffmpeg -af afftdn %.1f MiB (input %.1f MiB as 32-bit float)\n",
                oursMiB, peerMiB, kSeconds * kRate * sizeof(float) / (1024.0 * 1024.0));
    const double oursMedianX = kSeconds / median(oursRuns), peerMedianX = kSeconds / median(peerRuns);
    std::printf("median of %d runs: Reduce %.0fx, ffmpeg -af afftdn %.0fx realtime\n", kRuns, oursMedianX,
                peerMedianX);
    std::printf(
        "RESULT denoise ours_x=%.0f peer_x=%.0f ratio=%.2f ours_median_x=%.0f peer_median_x=%.0f "
        "median_ratio=%.2f\n",
        oursX, peerX, oursX / peerX, oursMedianX, peerMedianX, oursMedianX / peerMedianX);
    return 0;
}
