// tonewright-cli probe FILE...: one JSON object of media facts per file, one per line.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "platform/Platform.h"

namespace {

using cli::JsonString;

int RunProbe(const std::vector<std::string>& args) {
    if (args.empty()) return cli::UsageError("probe", "no file given");
    if (!cli::CheckDependencies({"ffprobe"}, true)) return 1;
    CAudioProcess::OnInstallProbeHooks();
    int status = 0;
    bool abandoned = false;
    for (const auto& arg : args) {
        std::wstring path = platform::FromUtf8(arg);
        MediaFacts facts;
        // Only readable regular files are probed; anything else gets a line with empty facts and
        // a message naming the cause. A name that is not valid UTF-8 is refused rather than
        // probing some other file.
        const std::string problem = cli::InputProblem(arg);
        if (problem.empty()) {
            const uint64_t started = platform::TickCountMs();
            CCommon::ProbeForListRow(path, facts);
            if (facts.durationMs == 0 && platform::TickCountMs() - started >= CCommon::kProbeTimeoutMs) {
                // The probe gave up on this file; asking again would only wait again.
                std::fprintf(stderr, "tonewright-cli: cannot be probed within %u s, unprobeable: %s\n",
                             CCommon::kProbeTimeoutMs / 1000, arg.c_str());
                abandoned = true;
                status = 1;
            } else {
                facts.audioFormat = CCommon::OnGetAudioFormat(path);
                int32_t overall = 0;
                facts.sampleRate = CCommon::OnGetAudioRates(path, overall);
                facts.encodedLibrary = CCommon::OnGetEncodedLibrary(path);
                facts.hasCover = CCommon::OnHasCover(path);
            }
        } else {
            std::fprintf(stderr, "tonewright-cli: %s: %s\n", problem.c_str(), arg.c_str());
            facts = MediaFacts{};
            status = 1;
        }
        std::string line = "{\"path\":" + JsonString(path) + ",\"fileName\":" + JsonString(facts.fileName) +
                           ",\"fileSize\":" + std::to_string(facts.fileSize) +
                           ",\"durationMs\":" + std::to_string(facts.durationMs) +
                           ",\"bitRate\":" + std::to_string(facts.bitRate) +
                           ",\"audioFormat\":" + JsonString(facts.audioFormat) +
                           ",\"sampleRate\":" + std::to_string(facts.sampleRate) +
                           ",\"encodedLibrary\":" + JsonString(facts.encodedLibrary) +
                           ",\"hasCover\":" + (facts.hasCover ? "true" : "false") + "}\n";
        std::fputs(line.c_str(), stdout);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // A probe the library is still busy with would keep running into the exit's clean-up: leave
    // at once instead.
    if (abandoned) std::_Exit(status);
    return status;
}

}  // namespace

TW_CLI_COMMAND("probe", "probe FILE...", "print the media facts of files as JSON lines", RunProbe);
