// Files the program is opened with: which of the program's arguments count as files, and where
// the main window puts them (headless, on the real layout and skin, media probed for real).
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "app/MainFrameWnd.h"
#include "app/Startup.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

TEST(OpenFilesArguments, KeepsExistingPathsMadeAbsoluteAndDecodesFileAddresses) {
    testsupport::TempDir dir;
    const std::string odd = dir.File("-a b#音.wav");  // blank, "#", leading "-", non-ASCII
    const std::string plain = dir.File("plain.mp3");
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(odd), "x"));
    ASSERT_TRUE(platform::WriteFileBytes(platform::FromUtf8(plain), "x"));

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    const std::string encoded = "file://" + dir.Path() + "-a%20b%23%E9%9F%B3.wav";
    const char* argv[] = {"tonewright",  "-platform", "offscreen",        "plain.mp3", encoded.c_str(),
                          "missing.wav", "",          "file:///x%00.wav", odd.c_str(), nullptr};
    std::vector<std::wstring> files = CStartup::FilesFromArguments(9, argv);
    ASSERT_EQ(chdir(cwd), 0);

    // The relative name is made absolute; the address is decoded; options, missing files, empty
    // text and an address hiding a NUL are passed over.
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], platform::FromUtf8(plain));
    EXPECT_EQ(files[1], platform::FromUtf8(odd));
    EXPECT_EQ(files[2], platform::FromUtf8(odd));
}

class OpenFilesWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(CSkinUI::LoadEmbedded());
        media = new testsupport::TempDir();
        ASSERT_TRUE(testsupport::MakeTone(media->File("one.wav"), 1.0));
        ASSERT_TRUE(testsupport::MakeTone(media->File("two.mp3"), 1.0));
        ASSERT_TRUE(testsupport::MakeVideo(media->File("clip.mp4"), 1.0));
    }
    static void TearDownTestSuite() {
        delete media;
        media = nullptr;
    }
    void SetUp() override {
        backend = std::make_unique<CHeadlessBackendUI>(true);
        CAppUI::SetBackend(backend.get());
        driver = std::make_unique<CTestDriverUI>(*backend);
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        wnd = std::make_unique<CMainFrameWnd>(L"", options);
        wnd->SetMessageHook([this](int, const std::wstring& text) {
            notices.push_back(text);
            return 1;
        });
        ASSERT_TRUE(wnd->Create(nullptr, kMainWindowTitle, 0, 0, 900, 590));
        wnd->ShowWindow(true);
        driver->Pump();
    }
    void TearDown() override {
        driver->PumpUntil([&] { return !wnd->Tasks().Pending(); });
        wnd.reset();
        driver->Pump();
        driver.reset();
        CAppUI::SetBackend(nullptr);
        backend.reset();
    }
    int Rows(int page) { return wnd->Tasks().PageList(page)->GetCount(); }
    void Open(const std::vector<std::string>& names) {
        std::vector<std::wstring> paths;
        for (const auto& n : names) paths.push_back(platform::FromUtf8(media->File(n)));
        wnd->OpenFiles(paths);
        ASSERT_TRUE(driver->PumpUntil([&] { return !wnd->Tasks().Pending(); }));
    }

    static testsupport::TempDir* media;
    std::unique_ptr<CHeadlessBackendUI> backend;
    std::unique_ptr<CTestDriverUI> driver;
    std::unique_ptr<CMainFrameWnd> wnd;
    std::vector<std::wstring> notices;
};
testsupport::TempDir* OpenFilesWindowTest::media = nullptr;

TEST_F(OpenFilesWindowTest, FromHomeAudioGoesToTheFormatPageAndTheStateSaysSo) {
    ASSERT_FALSE(wnd->IsToolView());
    EXPECT_EQ(wnd->StateText().rfind("view=home\n", 0), 0u);
    wnd->OpenFiles({});  // nothing to open leaves the home view alone
    EXPECT_FALSE(wnd->IsToolView());

    Open({"one.wav", "two.mp3"});
    EXPECT_TRUE(wnd->IsToolView());
    EXPECT_EQ(wnd->CurrentPage(), CMainFrameWnd::kPageFormat);
    EXPECT_EQ(Rows(CMainFrameWnd::kPageFormat), 2);
    EXPECT_EQ(wnd->StateText(), "view=tool\npage=1\nrows=2\npending=0\n");

    // Opened again: the duplicate rule of a drop applies.
    Open({"one.wav"});
    EXPECT_EQ(Rows(CMainFrameWnd::kPageFormat), 2);
    EXPECT_FALSE(notices.empty());
}

TEST_F(OpenFilesWindowTest, FromHomeVideosOnlyGoToTheExtractPage) {
    Open({"clip.mp4"});
    EXPECT_EQ(wnd->CurrentPage(), CMainFrameWnd::kPageExtract);
    EXPECT_EQ(Rows(CMainFrameWnd::kPageExtract), 1);
}

TEST_F(OpenFilesWindowTest, FromHomeAudioWithAVideoGoesToTheFormatPage) {
    Open({"clip.mp4", "one.wav"});
    EXPECT_EQ(wnd->CurrentPage(), CMainFrameWnd::kPageFormat);
    EXPECT_EQ(Rows(CMainFrameWnd::kPageFormat), 1);
}

TEST_F(OpenFilesWindowTest, InAToolPageFilesGoToThatPage) {
    wnd->OpenTool(CMainFrameWnd::kPageVolume);
    driver->Pump();
    Open({"two.mp3", "clip.mp4"});  // the video is not for this page: refused with the notice
    EXPECT_EQ(wnd->CurrentPage(), CMainFrameWnd::kPageVolume);
    EXPECT_EQ(Rows(CMainFrameWnd::kPageVolume), 1);
    EXPECT_EQ(Rows(CMainFrameWnd::kPageFormat), 0);
}

}  // namespace
