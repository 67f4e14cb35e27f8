// Worker pool speed: a batch of 20 format conversions (WAV to 128 kbit/s MP3) through the pool
// and the format worker, against a plain sequential loop of ffmpeg with the same command, in the
// same run on the same inputs. Prints "RESULT pool ours_s=... peer_s=... ratio=..." where ratio is
// the sequential time divided by the pool time.
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchUtil.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"

namespace {

constexpr int kFiles = 20;
constexpr int kSeconds = 40;
constexpr int kRounds = 2;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const std::string ffmpeg = platform::FindExecutable("ffmpeg");
    if (ffmpeg.empty()) {
        std::fprintf(stderr, "ffmpeg not found\n");
        return 1;
    }
    char templ[] = "/tmp/tw-bench-pool-XXXXXX";
    if (::mkdtemp(templ) == nullptr) return 1;
    const std::string dir = std::string(templ) + "/";
    std::filesystem::create_directories(dir + "ours");
    std::filesystem::create_directories(dir + "peer");

    std::vector<std::string> inputs;
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = dir + "in" + std::to_string(i) + ".wav";
        const std::string source = "sine=frequency=" + std::to_string(220 + 20 * i) +
                                   ":sample_rate=44100:duration=" + std::to_string(kSeconds);
        if (!bench::Run({ffmpeg, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", source,
                         "-ac", "2", path})) {
            std::fprintf(stderr, "could not generate %s\n", path.c_str());
            return 1;
        }
        inputs.push_back(path);
    }
    const std::wstring length = CCommon::FormatTimeCode(kSeconds * 1000);

    // Only real work is timed: the row animation's steps do not wait.
    CProgressTicker::SetSleepFunction([](uint32_t) {});

    // Ours: the batch through the pool, as a format page's batch thread queues it.
    size_t threads = 0;
    // The most format jobs that ran at the same moment (shows the pool's parallelism even when
    // other load leaves the tools less than a core each).
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    auto worker = [&running, &peak](void* job) {
        const int now = running.fetch_add(1) + 1;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        const int result = CAudioProcess::OnAsyncFormatAudio(job);
        running.fetch_sub(1);
        return result;
    };
    auto runOurs = [&]() {
        CWorkThreadPoolImpl pool;
        pool.Start(5);
        threads = pool.ThreadCount();
        std::atomic<int> done{0};
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFiles; ++i) {
            auto job = std::make_unique<_tagAsyncParam>();
            job->input = platform::FromUtf8(inputs[i]);
            job->output = platform::FromUtf8(dir + "ours/out" + std::to_string(i) + ".mp3");
            platform::DeleteFilePath(job->output);
            job->progressPath = CAudioProcess::OnReserveTempName(
                platform::FromUtf8(dir + "ours/"), std::to_wstring(platform::TickCount32()), L"");
            job->start = L"00:00:00.000";
            job->length = length;
            job->extra = L"-ab 128k";
            pool.Submit(std::move(job), worker, &done);
        }
        while (done.load() < kFiles) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const double took = Since(start);
        pool.Stop();
        return took;
    };
    // Peer: the same commands one after another.
    auto runPeer = [&]() {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kFiles; ++i) {
            const std::string out = dir + "peer/out" + std::to_string(i) + ".mp3";
            bench::Run({ffmpeg, "-i", inputs[i], "-ss", "00:00:00.000", "-t", platform::ToUtf8(length),
                        "-acodec", "libmp3lame", "-ab", "128k", out, "-hide_banner", "-y", "-loglevel",
                        "error"});
        }
        return Since(start);
    };
    // Alternating rounds, best of each, so a burst of other load on the machine hurts both alike.
    double ours = 1e30;
    double peer = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        // CPU seconds of the tools per wall second: how many cores the run really got.
        double cpu = bench::CpuSeconds(RUSAGE_CHILDREN);
        const double peerRun = runPeer();
        const double peerCores = (bench::CpuSeconds(RUSAGE_CHILDREN) - cpu) / peerRun;
        cpu = bench::CpuSeconds(RUSAGE_CHILDREN);
        const double oursRun = runOurs();
        const double oursCores = (bench::CpuSeconds(RUSAGE_CHILDREN) - cpu) / oursRun;
        peer = std::min(peer, peerRun);
        ours = std::min(ours, oursRun);
        std::printf("round %d: ours_s=%.3f (%.2f cores busy) peer_s=%.3f (%.2f cores busy)\n", round + 1,
                    oursRun, oursCores, peerRun, peerCores);
    }

    int produced = 0;
    for (int i = 0; i < kFiles; ++i) {
        if (std::filesystem::exists(dir + "ours/out" + std::to_string(i) + ".mp3")) ++produced;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    // The speed-up needs idle cores; the machine's load is printed so a low ratio can be read.
    std::string load;
    platform::ReadFileBytes(L"/proc/loadavg", &load);
    std::printf(
        "files=%d seconds_each=%d pool_threads=%zu peak_jobs_at_once=%d produced=%d hardware_threads=%u "
        "loadavg=%s",
        kFiles, kSeconds, threads, peak.load(), produced, std::thread::hardware_concurrency(),
        load.empty() ? "?\n" : load.c_str());
    std::printf("RESULT pool ours_s=%.3f peer_s=%.3f ratio=%.2f\n", ours, peer, ours > 0 ? peer / ours : 0.0);
    return produced == kFiles ? 0 : 1;
}
