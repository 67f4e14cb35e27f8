// Rules of the workers that need no external tool: the noise pieces, reserved temporary names and
// the concat-list lines.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "engine/AudioProcess.h"
#include "engine/WorkerSupport.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

TEST(NoisePieces, ExactSegmentIsOnePieceAndOneMoreMillisecondMakesTwo) {
    using Plan = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(CAudioProcess::OnPlanNoisePieces(900000, 900000), (Plan{{0, 900000}}));
    EXPECT_EQ(CAudioProcess::OnPlanNoisePieces(900001, 900000), (Plan{{0, 900000}, {900000, 1}}));
    EXPECT_EQ(CAudioProcess::OnPlanNoisePieces(1800000, 900000), (Plan{{0, 900000}, {900000, 900000}}));
    EXPECT_EQ(CAudioProcess::OnPlanNoisePieces(2500, 1000), (Plan{{0, 1000}, {1000, 1000}, {2000, 500}}));
    EXPECT_TRUE(CAudioProcess::OnPlanNoisePieces(0, 900000).empty());
    EXPECT_TRUE(CAudioProcess::OnPlanNoisePieces(5000, 0).empty());
    for (const auto& [start, length] : CAudioProcess::OnPlanNoisePieces(4000000, 900000)) {
        EXPECT_GT(length, 0u) << "piece at " << start;
    }
    EXPECT_EQ(SegmentLength.load(), 900000u);
}

TEST(TempNames, ParallelJobsInTheSameMillisecondGetDistinctNames) {
    testsupport::TempDir dir;
    std::set<std::wstring> names;
    std::mutex m;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                std::wstring name = CAudioProcess::OnReserveTempName(dir.WPath(), L"12345", L".wav");
                std::lock_guard<std::mutex> lock(m);
                names.insert(name);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(names.count(dir.WFile(L"12345.wav")), 1u);
    EXPECT_EQ(names.count(dir.WFile(L"12345_1.wav")), 1u);

    // An existing file is never handed out.
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"999.txt"), "user data"));
    EXPECT_EQ(CAudioProcess::OnReserveTempName(dir.WPath(), L"999", L".txt"), dir.WFile(L"999_1.txt"));
}

TEST(ConcatList, PlainPathsStayAsTheyAreOthersAreQuoted) {
    EXPECT_EQ(workers::ListLine(L"/home/u/.cache/ZXSonivert/2026-12-08_10_00_00_001.mp3"),
              "file /home/u/.cache/ZXSonivert/2026-12-08_10_00_00_001.mp3\n");
    EXPECT_EQ(workers::ListLine(L"/tmp/合成/a.mp3"), "file /tmp/合成/a.mp3\n");
    EXPECT_EQ(workers::ListLine(L"/my dir/it's.mp3"), "file '/my dir/it'\\''s.mp3'\n");
}
