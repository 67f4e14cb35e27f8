// The progress ticker writing into real row controls of the UI library (no window needed).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/ProgressTicker.h"
#include "uikit/UIlib.h"

namespace {

struct Shown {
    uint32_t ms;
    int bar;
    std::wstring label;
};

class TickerOnControls : public ::testing::Test {
protected:
    void SetUp() override {
        bar_.SetMaxValue(100);
        CProgressTicker::SetSleepFunction([this](uint32_t ms) {
            shown_.push_back({ms, bar_.GetValue(), label_.GetText()});
        });
    }
    void TearDown() override { CProgressTicker::SetSleepFunction(nullptr); }

    CProgressUI bar_;
    CLabelUI label_;
    std::vector<Shown> shown_;
};

TEST_F(TickerOnControls, StepsColoursAndFailure) {
    bar_.SetForeColor(0xFFF1707A);  // left red by an earlier failure
    label_.SetTextColor(0xFFF1707A);
    {
        CProgressTicker ticker(&bar_, &label_, false);
        EXPECT_EQ(bar_.GetForeColor(), 0xFF7ED321u);
        EXPECT_EQ(label_.GetTextColor(), 0xFF333333u);
        int target = ticker.Target();
        ASSERT_GE(target, 40);
        ASSERT_LE(target, 89);
        ticker.Finish(L"/nonexistent/result.mp3");
        ASSERT_EQ(shown_.size(), static_cast<size_t>(target + (101 - target)));
        for (int i = 0; i <= 100; ++i) {
            EXPECT_EQ(shown_[static_cast<size_t>(i)].bar, i);
            EXPECT_EQ(shown_[static_cast<size_t>(i)].label, std::to_wstring(i) + L"%");
            EXPECT_EQ(shown_[static_cast<size_t>(i)].ms, i < target ? 100u : 50u);
        }
    }
    EXPECT_EQ(bar_.GetValue(), 100);
    EXPECT_EQ(label_.GetText(), L"失败");
    EXPECT_EQ(bar_.GetForeColor(), 0xFFF1707Au);
    EXPECT_EQ(label_.GetTextColor(), 0xFFF1707Au);
}

TEST_F(TickerOnControls, AbsentBarOrLabelIsTolerated) {
    {
        CProgressTicker ticker(nullptr, &label_, true);
        EXPECT_LE(ticker.Target(), 79);
        ticker.Finish(L"/nonexistent/x.wav");
    }
    EXPECT_EQ(label_.GetText(), L"失败");
    {
        CProgressTicker ticker(&bar_, nullptr, false);
        ticker.Finish(L"/nonexistent/x.wav");
    }
    EXPECT_EQ(bar_.GetValue(), 100);
    EXPECT_EQ(bar_.GetForeColor(), 0xFFF1707Au);
    CProgressTicker none(nullptr, nullptr, false);
    none.Finish(L"/nonexistent/x.wav");
    EXPECT_EQ(shown_.size(), 3u * 101u);
}

}  // namespace
