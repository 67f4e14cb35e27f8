// tonewright-cli probe FILE...: one JSON object of media facts per file, one per line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "common/Common.h"
#include "engine/AudioProcess.h"
#include "platform/Platform.h"

namespace {

// A readable regular file (a folder, a device or a file without read permission is not).
bool Readable(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok;
}

std::string JsonString(const std::wstring& text) {
    std::string utf8 = platform::ToUtf8(text);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

int RunProbe(const std::vector<std::string>& args) {
    if (args.empty()) return cli::UsageError("probe", "no file given");
    CAudioProcess::OnInstallProbeHooks();
    int status = 0;
    for (const auto& arg : args) {
        std::wstring path = platform::FromUtf8(arg);
        MediaFacts facts;
        // A name that is not valid UTF-8 cannot be carried as text to the probe; it counts as
        // unreadable rather than probing some other file.
        bool representable = platform::ToUtf8(path) == arg;
        if (representable && Readable(arg)) {
            CCommon::ProbeForListRow(path, facts);
            facts.audioFormat = CCommon::OnGetAudioFormat(path);
            int32_t overall = 0;
            facts.sampleRate = CCommon::OnGetAudioRates(path, overall);
            facts.encodedLibrary = CCommon::OnGetEncodedLibrary(path);
            facts.hasCover = CCommon::OnHasCover(path);
        } else {
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
    return status;
}

}  // namespace

TW_CLI_COMMAND("probe", "probe FILE...", "print the media facts of files as JSON lines", RunProbe);
