#include <gtest/gtest.h>

#include "platform/Platform.h"

namespace {
struct Result {
    bool started = false;
    int code = -1;
    std::string output;
};
Result Cli(std::vector<std::string> args) {
    args.insert(args.begin(), TW_CLI_PATH);
    Result r;
    r.started = platform::RunProcessCapture(args, &r.output, &r.code);
    return r;
}
}  // namespace

TEST(Cli, HelpAndVersion) {
    Result help = Cli({"--help"});
    ASSERT_TRUE(help.started);
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.output.find("usage: tonewright-cli COMMAND"), std::string::npos);
    Result version = Cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.output, std::string("tonewright-cli ") + TW_VERSION + "\n");
}

TEST(Cli, UsageErrorsExitNonZero) {
    Result none = Cli({});
    EXPECT_EQ(none.code, 2);
    EXPECT_NE(none.output.find("usage:"), std::string::npos);
    Result unknown = Cli({"frobnicate", "x"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.output.find("unknown command 'frobnicate'"), std::string::npos);
}
