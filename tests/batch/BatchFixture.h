// A window with the main window's named controls (start button, animation, output folder choice,
// the tool tab layout and its eight lists) on the headless backend, the batch handlers over it,
// rows built from row layouts, and media generated with ffmpeg.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/BatchHandlers.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "engine/WorkThreadPool.h"
#include "platform/Platform.h"
#include "support/HeadlessUi.h"
#include "support/TestSupport.h"
#include "ui/Messages.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

inline std::string U8(const std::wstring& s) {
    return platform::ToUtf8(s);
}

struct PostedNote {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
};

class CBatchTestWnd : public CWindowUI {
public:
    std::wstring GetWindowClassName() const override { return L"BatchTestWnd"; }
    std::wstring GetSkinFile() override { return L"batchmain.xml"; }
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override {
        if (msg == MSG_NOTICE || msg == MSG_BATCH_DONE) posted.push_back({msg, wParam, lParam});
        handled = false;
        return 0;
    }
    size_t Count(uint32_t msg, intptr_t lParam) const {
        return static_cast<size_t>(std::count_if(posted.begin(), posted.end(), [&](const PostedNote& n) {
            return n.msg == msg && n.lParam == lParam;
        }));
    }
    std::vector<PostedNote> posted;
};

class BatchTest : public ::testing::Test, protected testsupport::HeadlessUi {
protected:
    static void SetUpTestSuite() {
        platform::InitLocale();  // MediaInfo opens non-ASCII paths only under a UTF-8 locale
        CProgressTicker::SetSleepFunction([](uint32_t) {});
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        ASSERT_FALSE(testsupport::FfmpegPath().empty()) << "ffmpeg is needed for these tests";
    }
    static void TearDownTestSuite() { CProgressTicker::SetSleepFunction(nullptr); }

    void SetUp() override {
        ::setenv("XDG_CACHE_HOME", (dir_.Path() + "cache").c_str(), 1);
        platform::CreateFolders(dir_.WFile(L"tmp"));
        ::setenv("TMPDIR", (dir_.Path() + "tmp").c_str(), 1);
        platform::CreateFolders(dir_.WFile(L"in"));
        platform::CreateFolders(dir_.WFile(L"out"));
        wnd_ = std::make_unique<CBatchTestWnd>();
        ASSERT_TRUE(wnd_->Create(nullptr, L"batch", 0, 0, 0, 0));
        wnd_->ShowWindow(true);
        driver->Pump();
        pool_.StartWith(2, 2);
        batch_ = std::make_unique<CBatchHandlers>(wnd_.get());
        batch_->SetPool(&pool_);
        // The pauses between rows stay short; polling still yields the processor.
        batch_->SetSleepFunction([](uint32_t ms) { platform::SleepMs(std::min<uint32_t>(ms, 2)); });
        batch_->SetMessageSink([this](const std::wstring& text) { messages_.push_back(text); });
    }

    void TearDown() override {
        for (int page = 0; page < 8; ++page) {
            driver->PumpUntil([&] { return !batch_->IsRunning(page, 0); }, 120000);
        }
        driver->PumpUntil([&] { return !batch_->IsSingleRunning(); }, 120000);
        pool_.Stop();
        batch_.reset();
        driver->Pump();
        wnd_.reset();
    }

    std::wstring In(const std::wstring& name) const { return dir_.WFile(L"in/" + name); }
    std::wstring Out(const std::wstring& name) const { return dir_.WFile(L"out/" + name); }

    CListUI* List(const wchar_t* name) const { return wnd_->FindControlAs<CListUI>(name); }
    template <class T = CControlUI>
    static T* Child(CControlUI* row, const std::wstring& name) {
        return dynamic_cast<T*>(dynamic_cast<CContainerUI*>(row)->FindSubControl(name));
    }

    // A row from a row layout, appended to a list, with the source path as its user data.
    CControlUI* AddRow(const wchar_t* list, const wchar_t* layout, const std::wstring& path) {
        CBuilderUI builder;
        CControlUI* row = builder.Create(layout, wnd_.get());
        EXPECT_NE(row, nullptr) << U8(builder.GetLastError());
        row->SetUserData(path);
        List(list)->Add(row);
        return row;
    }
    // A format row as the task list fills it: output name, format label with channel mode,
    // quality with the WAV codec, duration.
    CControlUI* AddFormatRow(const std::wstring& path, const std::wstring& outName,
                             const std::wstring& extLabel, uint64_t channels = 0,
                             const std::wstring& quality = L"质量：128kb/s",
                             const std::wstring& wavCodec = L"") {
        CControlUI* row = AddRow(L"list_formatfile", L"listitemformat.xml", path);
        Child(row, L"outfile")->SetText(outName);
        Child(row, L"outfileext")->SetText(extLabel);
        Child(row, L"outfileext")->SetTag(channels);
        Child(row, L"outfilequality")->SetText(quality);
        Child(row, L"outfilequality")->SetUserData(wavCodec);
        MediaFacts facts;
        CCommon::OnGetMediaFileInfo(path, facts);
        Child(row, L"outfiletime")->SetText(L"时长：" + CCommon::FormatTimeCode(facts.durationMs));
        Child(row, L"outfiletime")->SetTag(facts.durationMs);
        return row;
    }
    // A segment row of the cut or extract page.
    CControlUI* AddSegmentRow(const wchar_t* list, const std::wstring& source, const std::wstring& name,
                              uint32_t startMs, uint32_t endMs) {
        CControlUI* row = AddRow(list, L"listitemcutout.xml", source);
        Child(row, L"filename")->SetText(name);
        Child(row, L"filetime")->SetUserData(CCommon::FormatTimeCode(startMs));
        Child(row, L"filetime")->SetTag(endMs - startMs);
        return row;
    }
    // A row whose "filetime" carries the duration in its tag (merge, background music).
    CControlUI* AddTimedRow(const wchar_t* list, const wchar_t* layout, const std::wstring& path) {
        CControlUI* row = AddRow(list, layout, path);
        MediaFacts facts;
        CCommon::OnGetMediaFileInfo(path, facts);
        Child(row, L"filetime")->SetText(L"时长：" + CCommon::FormatTimeCode(facts.durationMs));
        Child(row, L"filetime")->SetTag(facts.durationMs);
        return row;
    }

    void ShowPage(int page) {
        wnd_->FindControlAs<CTabLayoutUI>(L"tab_outfileext_Audio")->SelectItem(page);
        driver->Pump();
    }
    void UseCustomFolder(const std::wstring& folder) {
        ASSERT_TRUE(driver->SelectOption(wnd_.get(), L"opt_CustomDir"));
        wnd_->FindControl(L"outpath")->SetText(folder);
    }
    // Presses start on a page and waits until its batch has told the window it is done.
    bool RunPage(int page, int timeoutMs = 120000) {
        ShowPage(page);
        const size_t before = wnd_->Count(MSG_BATCH_DONE, page);
        batch_->OnStartClick();
        return driver->PumpUntil(
            [&] { return wnd_->Count(MSG_BATCH_DONE, page) > before && !batch_->IsRunning(page, 0); },
            timeoutMs);
    }

    // Mean square of the first channel's samples (s16) of a media file, decoded by ffmpeg.
    double MeanSquare(const std::wstring& path) {
        const std::string raw = dir_.File("tmp/level.raw");
        if (!testsupport::RunFfmpeg(
                {"-i", U8(path), "-ac", "1", "-f", "s16le", "-acodec", "pcm_s16le", raw})) {
            return -1;
        }
        std::string bytes;
        platform::ReadFileBytes(platform::FromUtf8(raw), &bytes);
        platform::DeleteFilePath(platform::FromUtf8(raw));
        double sum = 0;
        const size_t n = bytes.size() / 2;
        for (size_t i = 0; i < n; ++i) {
            const int16_t v = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                   (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
            sum += static_cast<double>(v) * v;
        }
        return n > 0 ? sum / static_cast<double>(n) : -1;
    }
    static std::vector<std::wstring> FilesIn(const std::wstring& folder) {
        std::vector<platform::FolderEntry> entries;
        platform::ListFolder(folder, &entries);
        std::vector<std::wstring> names;
        for (const auto& e : entries) names.push_back(e.name);
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<CBatchTestWnd> wnd_;
    CWorkThreadPoolImpl pool_;
    std::unique_ptr<CBatchHandlers> batch_;
    std::vector<std::wstring> messages_;
};
