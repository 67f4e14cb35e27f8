// tonewright-cli presets: the dialog's list order as JSON lines, from a chosen folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

std::string RunCli(const std::vector<std::string>& args, int* code) {
    std::vector<std::string> argv = {TW_CLI_PATH, "presets"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    EXPECT_TRUE(platform::RunProcessCapture(argv, &out, code));
    return out;
}

TEST(CliPresets, PrintsBuiltinUserAndRecentPresetsInTheDialogsOrder) {
    testsupport::TempDir dir;
    ASSERT_TRUE(
        platform::WriteFileBytes(dir.WFile(L"format.cfg"), "WAV|录音 \"A\"|128kb/s,WAV|CBR|pcm_s24le|2#"));
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"recent.cfg"), "MP3|高音质|256kb/s,MP3|||0#"));
    int code = -1;
    std::string out = RunCli({"--folder", dir.Path()}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(
        out,
        "{\"source\":\"builtin\",\"audioType\":\"\",\"title\":\"与源文件相同\",\"detail\":\"与源文件相同\","
        "\"encoderMode\":\"\",\"wavCodec\":\"\",\"channelMode\":0}\n"
        "{\"source\":\"builtin\",\"audioType\":\"\",\"title\":\"高音质\",\"detail\":\"256kb/s,MP3\","
        "\"encoderMode\":\"\",\"wavCodec\":\"\",\"channelMode\":0}\n"
        "{\"source\":\"builtin\",\"audioType\":\"\",\"title\":\"中等音质\",\"detail\":\"128kb/s,MP3\","
        "\"encoderMode\":\"\",\"wavCodec\":\"\",\"channelMode\":0}\n"
        "{\"source\":\"builtin\",\"audioType\":\"\",\"title\":\"低音质\",\"detail\":\"96kb/s,MP3\","
        "\"encoderMode\":\"\",\"wavCodec\":\"\",\"channelMode\":0}\n"
        "{\"source\":\"user\",\"audioType\":\"WAV\",\"title\":\"录音 \\\"A\\\"\",\"detail\":\"128kb/s,WAV\","
        "\"encoderMode\":\"CBR\",\"wavCodec\":\"pcm_s24le\",\"channelMode\":2}\n"
        "{\"source\":\"recent\",\"audioType\":\"MP3\",\"title\":\"高音质\",\"detail\":\"256kb/s,MP3\","
        "\"encoderMode\":\"\",\"wavCodec\":\"\",\"channelMode\":0}\n");
}

TEST(CliPresets, EmptyFolderListsOnlyTheBuiltinsAndBadArgumentsAreRefused) {
    testsupport::TempDir dir;
    int code = -1;
    std::string out = RunCli({"--folder", dir.Path()}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
    EXPECT_EQ(out.find("\"user\""), std::string::npos);
    RunCli({"--bogus"}, &code);
    EXPECT_EQ(code, 2);
}

}  // namespace
