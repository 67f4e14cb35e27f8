// tonewright-cli denoise IN OUT [LEVEL]: the noise reducer on one file.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "denoise/NoiseReducer.h"
#include "platform/Platform.h"

namespace {

std::wstring ParentFolder(const std::wstring& path) {
    const auto slash = path.rfind(L'/');
    if (slash == std::wstring::npos) return L".";
    return slash == 0 ? L"/" : path.substr(0, slash);
}

int RunDenoise(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3) return cli::UsageError("denoise", "expected IN OUT [LEVEL]");
    int level = 0;
    if (args.size() == 3) {
        if (args[2] != "0" && args[2] != "1" && args[2] != "2") {
            return cli::UsageError("denoise", "LEVEL must be 0, 1 or 2, not '" + args[2] + "'");
        }
        level = args[2][0] - '0';
    }
    const std::wstring in = platform::FromUtf8(args[0]);
    const std::wstring out = platform::FromUtf8(args[1]);
    if (!cli::CheckInputAndNewOutput(args[0], args[1])) return 1;
    NoiseReducer reducer;
    if (!reducer.Reduce(in, out, level)) {
        if (!platform::IsFolderWritable(ParentFolder(out))) {
            std::fprintf(stderr, "tonewright-cli: cannot write the output: %s\n", args[1].c_str());
        } else {
            std::fprintf(stderr,
                         "tonewright-cli: noise reduction failed (input not readable as WAV or MP3, or "
                         "output not written): %s\n",
                         args[0].c_str());
        }
        return 1;
    }
    std::printf("%s\n", args[1].c_str());
    return 0;
}

}  // namespace

TW_CLI_COMMAND("denoise", "denoise IN OUT [LEVEL]",
               "reduce steady background noise (LEVEL 0, 1 or 2) into a 32-bit float WAV", RunDenoise);
