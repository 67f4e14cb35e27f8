// The program's version text, "%d.%d.%d.%d", from the version the build sets.
#pragma once

#include <string>

// The running program's version ("0.1.0" from the build becomes "0.1.0.0").
std::wstring TwVersionText();
// The "%d.%d.%d.%d" text of a dotted version: missing parts are 0, parts beyond the fourth are
// ignored; empty when the text holds no number at all.
std::wstring TwFormatVersion(const std::string& dotted);
