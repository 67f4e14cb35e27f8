#include "app/Version.h"

#include <cstdio>
#include <cstdlib>

#ifndef TW_VERSION
#define TW_VERSION ""
#endif

std::wstring TwFormatVersion(const std::string& dotted) {
    long parts[4] = {0, 0, 0, 0};
    int count = 0;
    const char* p = dotted.c_str();
    while (*p && count < 4) {
        if (*p < '0' || *p > '9') break;
        char* end = nullptr;
        parts[count++] = std::strtol(p, &end, 10);
        p = end;
        if (*p != '.') break;
        ++p;
    }
    if (count == 0) return L"";
    wchar_t text[64];
    std::swprintf(text, 64, L"%ld.%ld.%ld.%ld", parts[0], parts[1], parts[2], parts[3]);
    return text;
}

std::wstring TwVersionText() {
    return TwFormatVersion(TW_VERSION);
}
