// tonewright-cli decode-aac IN OUT and aac-length IN: the in-process AAC bridge.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "engine/AacBridge.h"
#include "platform/Platform.h"

namespace {

int RunDecodeAac(const std::vector<std::string>& args) {
    if (args.size() != 2) return cli::UsageError("decode-aac", "expected IN OUT");
    const std::wstring in = platform::FromUtf8(args[0]);
    const std::wstring out = platform::FromUtf8(args[1]);
    if (!cli::CheckInputAndNewOutput(args[0], args[1])) return 1;
    if (!OnDecoderAAC(in.c_str(), out.c_str())) {
        std::fprintf(stderr,
                     "tonewright-cli: could not decode %s into %s (not an ADTS/ADIF AAC stream, or the "
                     "output could not be written)%s\n",
                     args[0].c_str(), args[1].c_str(),
                     platform::PathExists(out) ? "; the partial output was kept" : "");
        return 1;
    }
    std::printf("%s\n", args[1].c_str());
    return 0;
}

int RunAacLength(const std::vector<std::string>& args) {
    if (args.size() != 1) return cli::UsageError("aac-length", "expected IN");
    const std::wstring in = platform::FromUtf8(args[0]);
    if (!platform::PathExists(in) || platform::IsFolder(in)) {
        std::fprintf(stderr, "tonewright-cli: input file not found: %s\n", args[0].c_str());
        return 1;
    }
    int kbps = -1;
    const double seconds = OnGetAACLength(in.c_str(), &kbps);
    if (seconds <= 0.0) {
        std::fprintf(stderr, "tonewright-cli: not an ADTS AAC stream: %s\n", args[0].c_str());
        return 1;
    }
    if (kbps < 0) {
        std::printf("%.3f s, bit rate unknown\n", seconds);
    } else {
        std::printf("%.3f s, %d kbit/s\n", seconds, kbps);
    }
    return 0;
}

}  // namespace

TW_CLI_COMMAND("decode-aac", "decode-aac IN OUT", "decode a raw AAC file (ADTS or ADIF) to a 16-bit PCM WAV",
               RunDecodeAac);
TW_CLI_COMMAND("aac-length", "aac-length IN", "print the duration (s) and bit rate (kbit/s) of an ADTS file",
               RunAacLength);
