// Reduce on WAV files written byte by byte here: the exact output file for a 16-bit input as the
// noise worker makes it, and hostile files (non-finite samples, absurd headers).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "denoise/NoiseReducer.h"
#include "denoise/SoundFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "support/WavBytes.h"

using testsupport::PutLe;
using testsupport::TempDir;
using testsupport::WavBytes;

namespace {

std::string FloatData(const std::vector<float>& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(float));
}

std::vector<float> LoadSamples(const std::wstring& path) {
    denoise::AudioBuffer audio;
    EXPECT_TRUE(denoise::ReadAudioFile(path, &audio));
    return audio.samples;
}

std::vector<float> Tone(size_t count, float amplitude) {
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = amplitude * static_cast<float>(std::sin(0.07 * double(i)));
    return v;
}

// 16-bit samples of a pitched tone over noise from a fixed generator (the same bytes on every build).
std::string Pcm16Data(size_t count, unsigned rate) {
    std::string data;
    uint32_t state = 12345;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const double t = double(i) / rate;
        const double tone = std::fmod(t, 0.9) < 0.5 ? 0.4 * std::sin(2 * M_PI * 220.0 * t) : 0.0;
        const double noise = (double(state >> 16) / 65536.0 - 0.5) * 0.05;
        PutLe(&data, static_cast<uint16_t>(static_cast<int16_t>(std::lround((tone + noise) * 32767.0))), 2);
    }
    return data;
}

uint64_t Checksum(const std::string& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

TEST(NoiseReducerInput, SixteenBitFilesGiveTheirFixedOutputBytesWithOneAndTwoThreads) {
    TempDir dir;
    const std::wstring mono = dir.WFile(L"mono.wav"), stereo = dir.WFile(L"stereo.wav");
    ASSERT_TRUE(
        platform::WriteFileBytes(mono, WavBytes(1, 1, 16000, 16, Pcm16Data(16000 * 12 + 123, 16000))));
    ASSERT_TRUE(
        platform::WriteFileBytes(stereo, WavBytes(1, 2, 44100, 16, Pcm16Data(44100 * 2 * 2 + 6, 44100))));
    struct {
        const std::wstring& input;
        int level;
        uint64_t checksum;
    } cases[] = {{mono, 1, 0xca379bb818bd9345ull}, {stereo, 2, 0xf71e0915c0f7eeb0ull}};
    for (const auto& c : cases) {
        for (bool parallel : {false, true}) {
            const std::wstring out = dir.WFile(L"out.wav");
            platform::DeleteFilePath(out);
            NoiseReducer reducer;
            reducer.SetParallel(parallel);
            ASSERT_TRUE(reducer.Reduce(c.input, out, c.level));
            std::string bytes;
            ASSERT_TRUE(platform::ReadFileBytes(out, &bytes));
            EXPECT_EQ(Checksum(bytes), c.checksum) << std::hex << Checksum(bytes) << std::dec << " level "
                                                   << c.level << " parallel " << parallel;
        }
    }
}

TEST(NoiseReducerInput, NonFiniteSamplesCountAsSilenceAndHugeOnesAreClamped) {
    TempDir dir;
    const size_t count = 16000 + 55;
    const std::vector<float> clean = Tone(count, 0.3f);
    for (float bad : {std::nanf(""), INFINITY, -INFINITY}) {
        std::vector<float> samples = clean, zeroed = clean;
        samples[5000] = bad;
        zeroed[5000] = 0.0f;
        ASSERT_TRUE(
            platform::WriteFileBytes(dir.WFile(L"bad.wav"), WavBytes(3, 1, 16000, 32, FloatData(samples))));
        ASSERT_TRUE(
            platform::WriteFileBytes(dir.WFile(L"zero.wav"), WavBytes(3, 1, 16000, 32, FloatData(zeroed))));
        for (const wchar_t* name : {L"bad-out.wav", L"zero-out.wav"})
            platform::DeleteFilePath(dir.WFile(name));
        NoiseReducer reducer;
        ASSERT_TRUE(reducer.Reduce(dir.WFile(L"bad.wav"), dir.WFile(L"bad-out.wav"), 1));
        ASSERT_TRUE(reducer.Reduce(dir.WFile(L"zero.wav"), dir.WFile(L"zero-out.wav"), 1));
        const auto out = LoadSamples(dir.WFile(L"bad-out.wav"));
        ASSERT_EQ(out.size(), count);
        // Exactly the reduction of the same file with that sample silent.
        EXPECT_EQ(
            std::memcmp(out.data(), LoadSamples(dir.WFile(L"zero-out.wav")).data(), count * sizeof(float)), 0)
            << bad;
        double energy = 0;
        for (float v : out) energy += double(v) * v;
        EXPECT_GT(energy, 1.0) << bad;  // the tone is still there
    }
    // In memory as well, one huge value among ordinary ones: everything stays finite and bounded.
    for (float huge : {3e38f, -3.4e38f, 2e7f}) {
        std::vector<float> samples = clean;
        samples[7000] = huge;
        std::vector<float> out(count);
        NoiseReducer reducer;
        ASSERT_TRUE(reducer.ReduceSamples(samples.data(), count, 16000, out.data()));
        for (size_t i = 0; i < count; ++i) {
            ASSERT_TRUE(std::isfinite(out[i])) << huge << " at " << i;
            ASSERT_LE(std::fabs(out[i]), 2 * NoiseReducer::kSampleLimit) << i;
        }
        // The frame-by-frame steps tame their samples the same way.
        NoiseReducerState st;
        ASSERT_TRUE(NoiseReducer::Init(&st, 16000, 20));
        std::vector<float> frame(320, 0.1f), result(320);
        frame[3] = huge;
        frame[4] = std::nanf("");
        ASSERT_TRUE(NoiseReducer::EstimateNoise(&st, frame.data(), false));
        ASSERT_TRUE(NoiseReducer::EstimateNoise(&st, nullptr, true));
        ASSERT_TRUE(reducer.ProcessFrame(&st, frame.data(), result.data()));
        ASSERT_TRUE(reducer.ProcessFrame(&st, frame.data(), result.data()));
        for (float v : result) ASSERT_TRUE(std::isfinite(v)) << huge;
        for (unsigned k = 0; k < st.binCount; ++k) ASSERT_TRUE(std::isfinite(st.noisePower[k])) << k;
        NoiseReducer::Release(&st);
    }
}

TEST(NoiseReducerInput, HeadersClaimingImpossibleRatesOrChannelsAreRefusedBeforeWork) {
    TempDir dir;
    const std::string data(258 - 44, '\x01');
    struct {
        uint32_t channels, rate;
    } claims[] = {{1, 9999100}, {1, 2147483647u}, {1, 768001}, {1, 4294967295u}, {2000, 16000}, {1, 49}};
    for (const auto& claim : claims) {
        const std::wstring in = dir.WFile(L"absurd.wav"), out = dir.WFile(L"out.wav");
        ASSERT_TRUE(platform::WriteFileBytes(in, WavBytes(1, claim.channels, claim.rate, 16, data)));
        ASSERT_EQ(platform::FileSize(in), 258);
        NoiseReducer reducer;
        EXPECT_FALSE(reducer.Reduce(in, out, 0)) << claim.rate;
        EXPECT_FALSE(platform::PathExists(out));
        // The audio library takes these rates: the reducer's own check refuses them.
        if (claim.rate == 9999100 || claim.rate == 2147483647u || claim.rate == 49) {
            EXPECT_EQ(reducer.LastError(), ReduceError::InputBadLayout) << claim.rate;
        }
        if (reducer.LastError() == ReduceError::InputBadLayout) {
            EXPECT_EQ(reducer.ClaimedSampleRate(), claim.rate);
            EXPECT_EQ(reducer.ClaimedChannels(), claim.channels);
        } else {
            // The audio library itself may already refuse a header this far out.
            EXPECT_EQ(reducer.LastError(), ReduceError::InputNotAudio) << claim.rate;
        }
    }
    // The highest real rate still works, and the state refuses a higher one.
    const std::wstring in = dir.WFile(L"768k.wav"), out = dir.WFile(L"768k-out.wav");
    ASSERT_TRUE(platform::WriteFileBytes(in, WavBytes(3, 1, 768000, 32, FloatData(Tone(40000, 0.2f)))));
    NoiseReducer reducer;
    EXPECT_TRUE(reducer.Reduce(in, out, 0));
    EXPECT_EQ(LoadSamples(out).size(), 40000u);
    NoiseReducerState st;
    EXPECT_FALSE(NoiseReducer::Init(&st, NoiseReducer::kMaxSampleRate + 1, 20));
    EXPECT_EQ(st.window, nullptr);
}

namespace {

// Names in `folder` other than the ones given (left-over temporary files show up here).
std::vector<std::string> OtherEntries(const std::string& folder, const std::vector<std::string>& known) {
    std::vector<std::string> other;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end()) other.push_back(name);
    }
    return other;
}

// Runs Reduce in a child process whose files may not grow past `bytes`; the child exits with the
// number of the error Reduce reported (0 when it claimed success).
int ReduceLimitedError(const std::wstring& in, const std::wstring& out, rlim_t bytes) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        NoiseReducer reducer;
        _exit(reducer.Reduce(in, out, 0) ? 0 : static_cast<int>(reducer.LastError()));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST(NoiseReducerInput, OutputsAppearWholeOrNotAtAllAndLinksAreKept) {
    TempDir dir;
    const std::wstring in = dir.WFile(L"in.wav");
    ASSERT_TRUE(platform::WriteFileBytes(in, WavBytes(1, 1, 16000, 16, Pcm16Data(32000, 16000))));
    const std::string before = "the user's earlier file";

    // A write that runs out of room: an existing output keeps its bytes, no temporary file stays.
    const std::wstring existing = dir.WFile(L"existing.wav");
    ASSERT_TRUE(platform::WriteFileBytes(existing, before));
    EXPECT_EQ(ReduceLimitedError(in, existing, 50000), static_cast<int>(ReduceError::OutputNoSpace));
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(existing, &bytes));
    EXPECT_EQ(bytes, before);
    EXPECT_EQ(OtherEntries(dir.Path(), {"in.wav", "existing.wav"}), std::vector<std::string>{});

    // A link to nothing is refused and left alone; nothing is created where it points.
    const std::string dangling = dir.File("dangling.wav");
    ASSERT_EQ(::symlink(dir.File("nowhere/target.wav").c_str(), dangling.c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("missing.wav").c_str(), dir.File("dangling2.wav").c_str()), 0);
    NoiseReducer reducer;
    EXPECT_FALSE(reducer.Reduce(in, platform::FromUtf8(dangling), 0));
    EXPECT_EQ(reducer.LastError(), ReduceError::OutputDanglingLink);
    EXPECT_FALSE(reducer.Reduce(in, dir.WFile(L"dangling2.wav"), 0));
    EXPECT_EQ(reducer.LastError(), ReduceError::OutputDanglingLink);
    EXPECT_FALSE(platform::PathExists(dir.WFile(L"missing.wav")));
    struct stat link {};
    EXPECT_EQ(::lstat(dangling.c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));

    // A link to a file: a failed run keeps both, a complete one replaces the file behind the link.
    const std::string linked = dir.File("linked.wav");
    ASSERT_EQ(::symlink("existing.wav", linked.c_str()), 0);
    EXPECT_EQ(ReduceLimitedError(in, platform::FromUtf8(linked), 50000),
              static_cast<int>(ReduceError::OutputNoSpace));
    ASSERT_TRUE(platform::ReadFileBytes(existing, &bytes));
    EXPECT_EQ(bytes, before);
    ASSERT_TRUE(reducer.Reduce(in, platform::FromUtf8(linked), 0));
    EXPECT_EQ(::lstat(linked.c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(LoadSamples(existing).size(), 32000u);

    // A folder that cannot be written: its own error, naming the output, not the input.
    EXPECT_FALSE(reducer.Reduce(in, dir.WFile(L"no/such/folder/out.wav"), 0));
    EXPECT_EQ(reducer.LastError(), ReduceError::OutputCannotCreate);
    EXPECT_FALSE(reducer.Reduce(dir.WFile(L"absent.wav"), dir.WFile(L"out.wav"), 0));
    EXPECT_EQ(reducer.LastError(), ReduceError::InputNotFound);
    EXPECT_FALSE(reducer.Reduce(in, in, 0));
    EXPECT_EQ(reducer.LastError(), ReduceError::SameFile);
    EXPECT_EQ(
        OtherEntries(dir.Path(), {"in.wav", "existing.wav", "dangling.wav", "dangling2.wav", "linked.wav"}),
        std::vector<std::string>{});
}
