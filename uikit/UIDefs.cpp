#include "uikit/UIDefs.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

UIRect UIRect::Intersect(const UIRect& o) const {
    return UIRect{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                  std::min(bottom, o.bottom)}
        .Clamped();
}

namespace {

std::wstring Trim(const std::wstring& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::iswspace(s[a])) ++a;
    while (b > a && std::iswspace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

// Reads up to `max` integers separated by commas (spaces allowed).
int ReadInts(const std::wstring& text, int* out, int max) {
    int n = 0;
    const wchar_t* p = text.c_str();
    while (*p && n < max) {
        while (*p == L' ' || *p == L',' || *p == L'\t') ++p;
        if (!*p) break;
        wchar_t* end = nullptr;
        long v = std::wcstol(p, &end, 10);
        if (end == p) break;
        out[n++] = static_cast<int>(v);
        p = end;
    }
    return n;
}

}  // namespace

bool UIParseColor(const std::wstring& textIn, uint32_t* argb) {
    std::wstring text = Trim(textIn);
    if (text.empty()) return false;
    int base = 10;
    size_t start = 0;
    if (text[0] == L'#') {
        base = 16;
        start = 1;
    } else if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        start = 2;
    }
    std::wstring digits = text.substr(start);
    if (digits.empty() || digits.size() > 10) return false;
    for (wchar_t c : digits) {
        if (base == 16 ? !std::iswxdigit(c) : !std::iswdigit(c)) return false;
    }
    unsigned long long v = std::wcstoull(digits.c_str(), nullptr, base);
    if (v > 0xFFFFFFFFull) return false;
    uint32_t value = static_cast<uint32_t>(v);
    // "#RRGGBB" is an opaque colour.
    if (text[0] == L'#' && digits.size() == 6) value |= 0xFF000000u;
    *argb = value;
    return true;
}

std::wstring UIFormatColor(uint32_t argb) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"#%08X", argb);
    return buf;
}

bool UIParseRect(const std::wstring& text, UIRect* rc) {
    int v[4] = {0, 0, 0, 0};
    if (ReadInts(text, v, 4) == 0) return false;
    *rc = UIRect{v[0], v[1], v[2], v[3]};
    return true;
}

bool UIParseSize(const std::wstring& text, UISize* sz) {
    int v[2] = {0, 0};
    if (ReadInts(text, v, 2) == 0) return false;
    *sz = UISize{v[0], v[1]};
    return true;
}

bool UIParseBool(const std::wstring& textIn) {
    std::wstring t = Trim(textIn);
    for (auto& c : t) c = static_cast<wchar_t>(std::towlower(c));
    return t == L"true" || t == L"1" || t == L"yes";
}

int UIParseInt(const std::wstring& text, int fallback) {
    int v = 0;
    if (ReadInts(text, &v, 1) == 0) return fallback;
    return v;
}

std::recursive_mutex& UILock() {
    static std::recursive_mutex lock;
    return lock;
}
