// The one JSON string writer of the commands that print JSON lines.
#include <cstdio>
#include <string>

#include "cli/Command.h"
#include "platform/Platform.h"

namespace cli {

std::string JsonString(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : platform::ToUtf8(text)) {
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

}  // namespace cli
