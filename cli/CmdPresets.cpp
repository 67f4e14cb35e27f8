// tonewright-cli presets [--folder DIR]: every output format preset as the output format dialog
// lists it (built-in, then the user presets of "format.cfg", then the recent picks of
// "recent.cfg"), one JSON object per line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "common/FormatPresets.h"
#include "platform/Platform.h"

namespace {

void Print(const char* source, const FormatPreset& p) {
    std::string line = std::string("{\"source\":\"") + source +
                       "\",\"audioType\":" + cli::JsonString(p.audioType) +
                       ",\"title\":" + cli::JsonString(p.title) + ",\"detail\":" + cli::JsonString(p.detail) +
                       ",\"encoderMode\":" + cli::JsonString(p.encoderMode) +
                       ",\"wavCodec\":" + cli::JsonString(p.wavCodec) +
                       ",\"channelMode\":" + std::to_string(p.channelMode) + "}\n";
    std::fputs(line.c_str(), stdout);
}

int RunPresets(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--folder" && i + 1 < args.size()) {
            presets::SetFolder(platform::FromUtf8(args[++i]));
        } else {
            return cli::UsageError("presets", "unexpected argument: " + args[i]);
        }
    }
    for (const FormatPreset& p : BuiltinFormatPresets()) Print("builtin", p);
    for (const FormatPreset& p : LoadFormatPresets()) Print("user", p);
    for (const FormatPreset& p : LoadRecentPresets()) Print("recent", p);
    std::fflush(stdout);
    return 0;
}

}  // namespace

TW_CLI_COMMAND("presets", "presets [--folder DIR]",
               "list the output format presets (built-in, format.cfg, recent.cfg) as JSON lines", RunPresets);
