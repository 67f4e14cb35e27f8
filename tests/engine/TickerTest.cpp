// The progress ticker on a fast time base: the step sequence, the colours and the failure mark.
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

// Records every write and, at each step of the time base, the bar and label shown.
class RecordingSink : public TickerSink {
public:
    void SetBar(int value) override {
        std::lock_guard<std::mutex> l(m);
        bar = value;
    }
    void SetBarColor(uint32_t argb) override {
        std::lock_guard<std::mutex> l(m);
        barColor = argb;
    }
    void SetLabel(const std::wstring& text) override {
        std::lock_guard<std::mutex> l(m);
        label = text;
    }
    void SetLabelColor(uint32_t argb) override {
        std::lock_guard<std::mutex> l(m);
        labelColor = argb;
    }
    std::mutex m;
    int bar = -1;
    std::wstring label = L"-";
    uint32_t barColor = 0;
    uint32_t labelColor = 0;
};

struct Step {
    uint32_t ms;
    int bar;
    std::wstring label;
};

// Installs a time base that does not wait but records what the row showed at every step.
class FastTime {
public:
    explicit FastTime(RecordingSink* sink) {
        CProgressTicker::SetSleepFunction([this, sink](uint32_t ms) {
            std::lock_guard<std::mutex> l(sink->m);
            steps.push_back({ms, sink->bar, sink->label});
        });
    }
    ~FastTime() { CProgressTicker::SetSleepFunction(nullptr); }
    std::vector<Step> steps;
};

TEST(TickerTarget, RangesAndWeights) {
    std::map<int, int> seen;
    for (int r = 0; r < 900; ++r) {
        int t = CProgressTicker::TargetFromDraw(r, false);
        ASSERT_GE(t, 40);
        ASSERT_LE(t, 89);
        ++seen[t];
    }
    EXPECT_EQ(seen[45], 10);  // reached from r mod 90 == 5 only
    EXPECT_EQ(seen[55], 20);  // from 15 and from 55: twice as likely
    EXPECT_EQ(CProgressTicker::TargetFromDraw(49, false), 89);
    EXPECT_EQ(CProgressTicker::TargetFromDraw(50, false), 50);
    for (int r = 0; r < 800; ++r) {
        int t = CProgressTicker::TargetFromDraw(r, true);
        ASSERT_GE(t, 40);
        ASSERT_LE(t, 79);
    }
    EXPECT_EQ(CProgressTicker::TargetFromDraw(39, true), 79);
    EXPECT_EQ(CProgressTicker::TargetFromDraw(40, true), 40);
    int chosen = CProgressTicker::ChooseTarget(true);
    EXPECT_GE(chosen, 40);
    EXPECT_LE(chosen, 79);
}

TEST(Ticker, FullAnimationThenHundredPercent) {
    testsupport::TempDir dir;
    std::wstring output = dir.WFile(L"out.wav");
    ASSERT_TRUE(platform::WriteFileBytes(output, "x"));
    auto sink = std::make_shared<RecordingSink>();
    sink->barColor = CProgressTicker::kFailedColor;  // a row reused after a failure
    sink->labelColor = CProgressTicker::kFailedColor;
    FastTime time(sink.get());
    {
        CProgressTicker ticker(sink, 42);
        EXPECT_EQ(ticker.Target(), 42);
        ticker.Finish(output);
    }
    // 0 … 41 at 100 ms, then 42 … 100 at 50 ms.
    ASSERT_EQ(time.steps.size(), 42u + 59u);
    for (int i = 0; i < 42; ++i) {
        EXPECT_EQ(time.steps[i].ms, 100u);
        EXPECT_EQ(time.steps[i].bar, i);
        EXPECT_EQ(time.steps[i].label, std::to_wstring(i) + L"%");
    }
    for (int i = 42; i <= 100; ++i) {
        const Step& s = time.steps[static_cast<size_t>(i)];
        EXPECT_EQ(s.ms, 50u);
        EXPECT_EQ(s.bar, i);
        EXPECT_EQ(s.label, std::to_wstring(i) + L"%");
    }
    EXPECT_EQ(sink->bar, 100);
    EXPECT_EQ(sink->label, L"100%");
    EXPECT_EQ(sink->barColor, CProgressTicker::kNormalBarColor);
    EXPECT_EQ(sink->labelColor, CProgressTicker::kNormalLabelColor);
}

TEST(Ticker, FinishAfterReturnFreesThePoolThreadAndTheJobEndsWithTheRow) {
    testsupport::TempDir dir;
    const std::wstring output = dir.WFile(L"out.wav");
    ASSERT_TRUE(platform::WriteFileBytes(output, "x"));
    auto sink = std::make_shared<RecordingSink>();
    FastTime time(sink.get());

    // Outside a pool the row is finished when the call returns.
    {
        CProgressTicker ticker(sink, 45);
        ticker.FinishAfterReturn(output);
        EXPECT_EQ(sink->label, L"100%");
    }

    // On a pool thread the worker returns at once; the job counts finished only with its row.
    auto pooled = std::make_shared<RecordingSink>();
    CWorkThreadPoolImpl pool;
    pool.StartWith(1, 1);
    auto latch = std::make_shared<CBatchLatch>();
    std::atomic<bool> returned{false};
    pool.Submit(
        std::make_unique<_tagAsyncParam>(),
        [&](void*) {
            CProgressTicker ticker(pooled, 70);
            ticker.FinishAfterReturn(dir.WFile(L"missing.wav"));
            returned = true;
            return 0;
        },
        latch);
    ASSERT_TRUE(latch->WaitFor(std::chrono::seconds(60)));
    EXPECT_TRUE(returned.load());
    std::lock_guard<std::mutex> l(pooled->m);
    EXPECT_EQ(pooled->bar, 100);
    EXPECT_EQ(pooled->label, L"失败") << "the missing output is marked after the last step";
    EXPECT_EQ(pooled->barColor, CProgressTicker::kFailedColor);
}

TEST(Ticker, NoiseMarksAndPartialSteps) {
    auto sink = std::make_shared<RecordingSink>();
    FastTime time(sink.get());
    CProgressTicker ticker(sink, 40);
    ticker.Wait();
    ticker.StepRange(ticker.Target(), 90);
    ticker.Mark(82);
    EXPECT_EQ(sink->label, L"90%") << "a mark below the value shown is ignored";
    ticker.StepRange(91, 100);
    EXPECT_EQ(sink->label, L"100%");
    EXPECT_EQ(time.steps.size(), 40u + 51u + 10u);
    EXPECT_FALSE(ticker.MarkFailedIfMissing(platform::ExePath()));
    EXPECT_EQ(sink->labelColor, CProgressTicker::kNormalLabelColor);
}

TEST(Ticker, RunOfAMissingToolStillAnimatesAndEndsRed) {
    auto sink = std::make_shared<RecordingSink>();
    FastTime time(sink.get());
    CCommon::SetToolPathOverride(L"ffmpeg", L"/nonexistent/Core/ffmpeg");
    CProgressTicker ticker(sink, 60);
    testsupport::TempDir dir;
    std::wstring out = dir.WFile(L"never.mp3");
    ToolCommand cmd = CAudioProcess::OnMakeCommand(
        CmdTemplate::Speed, {dir.WFile(L"in.mp3"), L"atempo=2", out, dir.WFile(L"progress")});
    EXPECT_FALSE(CAudioProcess::OnRunProcess(cmd));
    CCommon::SetToolPathOverride(L"ffmpeg", L"");
    ticker.Finish(out);
    EXPECT_EQ(time.steps.size(), 60u + 41u);
    EXPECT_EQ(sink->bar, 100);
    EXPECT_EQ(sink->label, L"失败");
    EXPECT_EQ(sink->barColor, CProgressTicker::kFailedColor);
}

// Every value a row receives, in order, from the thread and from the worker.
class SequenceSink : public RecordingSink {
public:
    void SetBar(int value) override {
        RecordingSink::SetBar(value);
        std::lock_guard<std::mutex> l(m);
        bars.push_back(value);
    }
    std::vector<int> bars;
};

TEST(Ticker, WorkerMarksAndFinishingStepsNeverLowerTheValueShown) {
    auto sink = std::make_shared<SequenceSink>();
    // The thread pauses at 10 until the worker has set its fixed mark, as a quick tool run does.
    std::mutex gate;
    std::condition_variable opened;
    bool marked = false;
    CProgressTicker::SetSleepFunction([&](uint32_t ms) {
        if (ms != CProgressTicker::kTickMs) return;
        std::unique_lock<std::mutex> l(gate);
        int bar;
        {
            std::lock_guard<std::mutex> sl(sink->m);
            bar = sink->bar;
        }
        if (bar == 10) opened.wait(l, [&] { return marked; });
    });
    {
        CProgressTicker ticker(sink, 79);
        while (ticker.Shown() < 10) std::this_thread::yield();
        ticker.Mark(82);
        {
            std::lock_guard<std::mutex> l(gate);
            marked = true;
        }
        opened.notify_all();
        ticker.Mark(87);
        ticker.Wait();
        ticker.StepRange(ticker.Target(), 100);
    }
    CProgressTicker::SetSleepFunction(nullptr);
    ASSERT_FALSE(sink->bars.empty());
    for (size_t i = 1; i < sink->bars.size(); ++i) {
        ASSERT_GT(sink->bars[i], sink->bars[i - 1]) << "step " << i;
    }
    EXPECT_EQ(sink->bars.back(), 100);
    EXPECT_EQ(sink->label, L"100%");
    // 0 … 10 from the thread, the marks 82 and 87, then 88 … 100.
    EXPECT_EQ(sink->bars.size(), 11u + 2u + 13u);
}
}  // namespace
