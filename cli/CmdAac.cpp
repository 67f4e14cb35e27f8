// tonewright-cli decode-aac IN OUT and aac-length IN: the in-process AAC bridge.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "common/Common.h"
#include "engine/AacBridge.h"
#include "engine/AudioProcess.h"
#include "platform/Platform.h"

namespace {

int RunDecodeAac(const std::vector<std::string>& args) {
    if (args.size() != 2) return cli::UsageError("decode-aac", "expected IN OUT");
    if (!cli::CheckInputAndNewOutput(args[0], args[1])) return 1;
    const std::wstring in = platform::FromUtf8(args[0]);
    const std::wstring out = platform::FromUtf8(args[1]);

    // The WAV is written under a temporary name in the output's folder and renamed when it is
    // complete, so an interrupted or failed run never leaves a half-written file under the
    // requested name; an interruption removes the temporary file.
    std::wstring folder, name, ext;
    CCommon::OnSplitPath(out, &folder, &name, &ext);
    const std::wstring temp = CAudioProcess::OnReserveTempName(folder, L"." + name + ext + L".part", L"");
    const std::string tempUtf8 = platform::ToUtf8(temp);
    if (!platform::RemoveOnInterrupt(tempUtf8)) {
        std::fprintf(stderr, "tonewright-cli: output path too long: %s\n", args[1].c_str());
        return 1;
    }
    aac::DecodeReport report;
    const bool complete = aac::DecodeToWav(in, temp, &report);
    const bool written = platform::IsRegularFile(temp) && report.framesDecoded > 0 && report.error.empty();
    bool renamed = false;
    if (written) {
        renamed = platform::RenameNoOverwrite(temp, out);
    }
    if (!renamed) platform::DeleteFilePath(temp);
    platform::KeepAfterInterrupt(tempUtf8);

    if (!written) {
        std::fprintf(stderr, "tonewright-cli: could not decode %s: %s; nothing was written\n",
                     args[0].c_str(),
                     report.error.empty() ? "not an ADTS/ADIF AAC stream" : report.error.c_str());
        return 1;
    }
    if (!renamed) {
        std::fprintf(stderr,
                     "tonewright-cli: %s appeared while decoding, not overwriting; nothing was written\n",
                     args[1].c_str());
        return 1;
    }
    int status = 0;
    if (report.formatChanged) {
        std::fprintf(stderr,
                     "tonewright-cli: the stream changes to %lu Hz, channel layout %u after %.3f s; only the "
                     "part before the change (%lu Hz, %u channels) was written\n",
                     report.newSampleRate, report.newChannelConfig, report.SecondsWritten(),
                     report.sampleRate, report.channels);
        status = 1;
    }
    if (report.framesLost > 0) {
        std::fprintf(stderr,
                     "tonewright-cli: %llu damaged frame(s) could not be decoded: about %.3f s of audio lost "
                     "(%llu bytes skipped); the rest was written (%.3f s)\n",
                     static_cast<unsigned long long>(report.framesLost), report.SecondsLost(),
                     static_cast<unsigned long long>(report.bytesSkipped), report.SecondsWritten());
        status = 1;
    }
    (void)complete;
    std::printf("%s\n", args[1].c_str());
    return status;
}

int RunAacLength(const std::vector<std::string>& args) {
    if (args.size() != 1) return cli::UsageError("aac-length", "expected IN");
    // Only regular files are read: a pipe or a device could hang the walk or give made-up
    // lengths.
    if (!cli::CheckInput(args[0])) return 1;
    const std::wstring in = platform::FromUtf8(args[0]);
    int kbps = -1;
    const double seconds = OnGetAACLength(in.c_str(), &kbps);
    if (seconds <= 0.0) {
        std::fprintf(stderr, "tonewright-cli: no valid ADTS AAC frame found: %s\n", args[0].c_str());
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
