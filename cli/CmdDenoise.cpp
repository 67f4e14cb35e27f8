// tonewright-cli denoise IN OUT [LEVEL]: the noise reducer on one file.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "denoise/NoiseReducer.h"
#include "denoise/SoundFile.h"
#include "platform/Platform.h"

namespace {

// Ctrl-C or a termination request while the output is being written: the temporary file goes, then
// the signal takes its usual course (the exit status shows it).
extern "C" void RemoveOutputAndDie(int signalNumber) {
    denoise::RemovePendingOutputs();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

void CatchInterruptions() {
    struct sigaction action {};
    action.sa_handler = RemoveOutputAndDie;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signalNumber, &action, nullptr);
}

// One message per cause, naming the file it concerns.
std::string FailureText(const NoiseReducer& reducer, const std::string& in, const std::string& out) {
    const int systemError = reducer.LastSystemError();
    const std::string why = systemError != 0 ? std::string(" (") + std::strerror(systemError) + ")" : "";
    switch (reducer.LastError()) {
        case ReduceError::InputNotFound:
            return "input file not found: " + in;
        case ReduceError::InputNotReadable:
            return "cannot read the input: " + in;
        case ReduceError::InputNotAudio:
            return "the input is not WAV, MP3 or other audio the noise reducer can read: " + in;
        case ReduceError::InputBadLayout:
            return "the input's header claims " + std::to_string(reducer.ClaimedSampleRate()) + " Hz and " +
                   std::to_string(reducer.ClaimedChannels()) +
                   " channels, which no real audio file has (at most " +
                   std::to_string(denoise::kMaxSampleRate) + " Hz and " +
                   std::to_string(denoise::kMaxChannels) + " channels): " + in;
        case ReduceError::InputChanged:
            return "the input changed or could not be read again while it was being reduced: " + in;
        case ReduceError::SameFile:
            return "the output names the input file itself: " + out;
        case ReduceError::OutputDanglingLink:
            return "the output is a symbolic link to nothing, not writing through it: " + out;
        case ReduceError::OutputCannotCreate:
            return "cannot create the output (missing or read-only folder, or a name the file system "
                   "refuses)" +
                   why + ": " + out;
        case ReduceError::OutputNoSpace:
            return "no space left for the output" + why + "; nothing was written: " + out;
        case ReduceError::OutputTooLarge:
            return "the output would be larger than a WAV file can describe (4 GiB): " + out;
        case ReduceError::OutputWriteFailed:
            return "writing the output failed" + why + "; nothing was written: " + out;
        case ReduceError::NoMemory:
            return "not enough memory to reduce the noise of: " + in;
        case ReduceError::MissingPath:
        case ReduceError::None:
            break;
    }
    return "noise reduction failed: " + in;
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
    CatchInterruptions();
    NoiseReducer reducer;
    if (!reducer.Reduce(in, out, level)) {
        std::fprintf(stderr, "tonewright-cli: %s\n", FailureText(reducer, args[0], args[1]).c_str());
        return 1;
    }
    std::printf("%s\n", args[1].c_str());
    return 0;
}

}  // namespace

TW_CLI_COMMAND("denoise", "denoise IN OUT [LEVEL]",
               "reduce steady background noise (LEVEL 0, 1 or 2) into a 32-bit float WAV", RunDenoise);
