// TimeFieldSet on the cut editor's layout: filling groups, typing with the duration and 59 limits,
// normalising and the minimum length.
#include "EditorFixture.h"
#include "ui/TimeControl.h"

namespace {

class TimeFieldsTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        wnd = Layout(L"EditAudioWnd.xml");
        fields = std::make_unique<TimeFieldSet>(wnd.get(), 1, &guard);
        fields->Bind();
        // The owner's part: every "textchanged" of a box it did not write itself is validated.
        wnd->onNotify = [this](TNotifyUI& msg) {
            if (msg.sType == L"textchanged" && !guard && msg.pSender &&
                msg.pSender->GetName().rfind(L"cuttime", 0) == 0)
                lastParse = fields->ValidateEdit(msg.pSender, TimeFieldSet::kKindCut);
        };
    }
    std::wstring Text(const std::wstring& name) { return wnd->FindControl(name)->GetText(); }

    std::unique_ptr<CHostWnd> wnd;
    std::unique_ptr<TimeFieldSet> fields;
    bool guard = false;
    uint32_t lastParse = 0;
};

TEST_F(TimeFieldsTest, BindZeroesAndDurationFillsEndAndLength) {
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kCutStart), L"00:00:00.000");
    fields->SetDuration(TimeFieldSet::kCutStart, 300000);
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kCutEnd), L"00:05:00.000");
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kCutLength), L"00:01:40.000");
    EXPECT_EQ(fields->GetMinLength(), 30000u);
    EXPECT_EQ(fields->GetCutDuration(), 300000u);
    // The set's own writes were made behind the guard: nothing was validated.
    EXPECT_EQ(lastParse, 0u);
    EXPECT_FALSE(guard);
    // Extract groups are not in the editor's layout: skipped without harm.
    fields->SetDuration(TimeFieldSet::kExtractStart, 5000);
    EXPECT_EQ(fields->GetExtractDuration(), 5000u);
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kExtractEnd), L"00:00:00.000");
}

TEST_F(TimeFieldsTest, TypingBeyondFiftyNineOrTheDurationDropsTheLastCharacter) {
    fields->SetDuration(TimeFieldSet::kCutStart, 600000);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartMinutes", L"7"));
    EXPECT_EQ(Text(L"cuttimeStartMinutes"), L"7");  // accepted and left as typed
    EXPECT_EQ(lastParse, 7u * 60000u);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartMinutes", L"5", false));
    EXPECT_EQ(Text(L"cuttimeStartMinutes"), L"07");  // 75 > 59: the 5 is dropped
    EXPECT_EQ(lastParse, 7u * 60000u);

    // Seconds above 59 are refused too; hours only against the duration.
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartSeconds", L"60"));
    EXPECT_EQ(Text(L"cuttimeStartSeconds"), L"06");
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartHours", L"1"));
    EXPECT_EQ(Text(L"cuttimeStartHours"), L"00");
}

TEST_F(TimeFieldsTest, EditBeyondTheDurationIsRefused) {
    fields->SetDuration(TimeFieldSet::kCutStart, 90000);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartMinutes", L"2"));
    EXPECT_EQ(Text(L"cuttimeStartMinutes"), L"00");
    EXPECT_EQ(lastParse, 0u);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeStartMinutes", L"1"));
    EXPECT_EQ(Text(L"cuttimeStartMinutes"), L"1");
    EXPECT_EQ(lastParse, 60000u);
    // The length group's only bound while typing is the duration.
    wnd->FindControlAs<CTabLayoutUI>(L"TabCutMethod")->SelectItem(2);
    ASSERT_TRUE(driver->Type(wnd.get(), L"cuttimeLengthSeconds", L"1"));
    EXPECT_EQ(fields->GroupMs(TimeFieldSet::kCutLength), 1000u);
    // Boxes of another kind are not checked.
    EXPECT_EQ(fields->ValidateEdit(wnd->FindControl(L"cuttimeStartMinutes"), TimeFieldSet::kKindExtract), 0u);
    EXPECT_EQ(fields->ValidateEdit(wnd->FindControl(L"editCutName"), TimeFieldSet::kKindCut), 0u);
}

TEST_F(TimeFieldsTest, NormaliseRewritesBoxesAndRaisesTheLength) {
    fields->SetDuration(TimeFieldSet::kCutStart, 300000);
    guard = true;
    wnd->FindControl(L"cuttimeLengthHours")->SetText(L"");
    wnd->FindControl(L"cuttimeLengthMinutes")->SetText(L"0");
    wnd->FindControl(L"cuttimeLengthSeconds")->SetText(L"1");
    wnd->FindControl(L"cuttimeLengthMillSeconds")->SetText(L"0");
    guard = false;
    EXPECT_EQ(fields->GroupMs(TimeFieldSet::kCutLength), 1000u);  // empty reads as 0
    fields->NormaliseGroup(TimeFieldSet::kCutLength);
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kCutLength), L"00:00:30.000");

    guard = true;
    wnd->FindControl(L"cuttimeStartHours")->SetText(L"");
    wnd->FindControl(L"cuttimeStartSeconds")->SetText(L"7");
    guard = false;
    fields->NormaliseGroup(TimeFieldSet::kCutStart);
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kCutStart), L"00:00:07.000");

    fields->SetGroup(TimeFieldSet::kCutLength, 2000);
    EXPECT_EQ(fields->ClampLength(), 300000u);
    EXPECT_EQ(fields->GroupMs(TimeFieldSet::kCutLength), 30000u);
    fields->Reset(TimeFieldSet::kCutLength);
    EXPECT_EQ(fields->ReadGroup(TimeFieldSet::kCutLength), L"00:00:00.000");
}

}  // namespace
