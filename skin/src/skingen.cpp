// skingen: makes every image of the skin from the sources in skin/src at build time.
//
//   skingen <images.txt> <source folder> <output folder> <rsvg-convert>
//
// Each line of images.txt names one file of the archive, its logical size and a recipe (see the
// head of images.txt). Vector recipes are written as SVG into <output>/.svg/ and rasterised by
// rsvg-convert at the logical size and at twice that size ("<stem>@2x.png"); the animated GIF is
// drawn and encoded here, since it is made of flat rectangles. The program exits non-zero, naming
// the line, when a source is missing or a rasterisation fails, so a broken image breaks the build
// instead of shipping a skin with holes.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string name;  // file name in the archive, may hold one folder ("conver/1.png")
    int width = 0;
    int height = 0;
    std::string recipe;
    std::vector<std::string> args;
    int line = 0;
};

struct Context {
    fs::path source;  // skin/src
    fs::path output;  // staging folder of the images
    std::string rsvg;
    std::map<std::string, std::string> glyphs;  // glyph name -> inner SVG markup
};

bool ReadText(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// "x/name.png" -> "x/name@2x.png"
std::string DoubleName(const std::string& name) {
    const auto dot = name.rfind('.');
    return name.substr(0, dot) + "@2x" + name.substr(dot);
}

// The markup between the root <svg ...> and </svg> of a glyph file; the root's own stroke
// defaults are applied again by the wrapper of each recipe.
bool GlyphBody(Context& ctx, const std::string& glyph, std::string* body) {
    auto it = ctx.glyphs.find(glyph);
    if (it != ctx.glyphs.end()) {
        *body = it->second;
        return true;
    }
    std::string text;
    if (!ReadText(ctx.source / "glyphs" / (glyph + ".svg"), &text)) return false;
    const auto open = text.find("<svg");
    const auto openEnd = open == std::string::npos ? open : text.find('>', open);
    const auto close = text.rfind("</svg>");
    if (openEnd == std::string::npos || close == std::string::npos || close < openEnd) return false;
    *body = text.substr(openEnd + 1, close - openEnd - 1);
    ctx.glyphs[glyph] = *body;
    return true;
}

// A glyph drawn as a `size`-pixel square with its top-left corner at (x, y).
std::string PlaceGlyph(const std::string& body, double x, double y, double size, const std::string& colour,
                       double strokeWidth = 2) {
    std::ostringstream s;
    s << "<g transform=\"translate(" << x << ' ' << y << ") scale(" << size / 24.0 << ")\" color=\"" << colour
      << "\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"" << strokeWidth
      << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">" << body << "</g>";
    return s.str();
}

std::string SvgOpen(int w, int h) {
    std::ostringstream s;
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << h
      << "\" viewBox=\"0 0 " << w << ' ' << h << "\">\n";
    return s.str();
}

// The one type family of the skin; CJK capable, so the invitation line renders as text.
const char* kFont = "font-family=\"Noto Sans CJK SC, Noto Sans CJK, sans-serif\"";

bool SvgFor(Context& ctx, const Entry& e, std::string* svg, std::string* error) {
    const auto need = [&](size_t n) {
        if (e.args.size() >= n) return true;
        *error = "recipe " + e.recipe + " needs " + std::to_string(n) + " arguments";
        return false;
    };
    std::string body;
    const auto glyph = [&](const std::string& name) {
        if (GlyphBody(ctx, name, &body)) return true;
        *error = "no glyph glyphs/" + name + ".svg";
        return false;
    };
    std::ostringstream s;
    if (e.recipe == "art") {
        if (!need(1)) return false;
        if (!ReadText(ctx.source / "art" / e.args[0], svg)) {
            *error = "no picture art/" + e.args[0];
            return false;
        }
        return true;
    }
    if (e.recipe == "glyph") {
        if (!need(2) || !glyph(e.args[0])) return false;
        // The 24-px grid maps onto the whole image; thin sizes keep a readable stroke.
        const double stroke = std::max(e.width, e.height) <= 16 ? 2.1 : 2.0;
        s << SvgOpen(e.width, e.height)
          << PlaceGlyph(body, 0, 0, std::min(e.width, e.height), e.args[1], stroke) << "\n</svg>\n";
    } else if (e.recipe == "tile") {
        if (!need(3) || !glyph(e.args[0])) return false;
        const double w = e.width, h = e.height, g = w * 0.5;
        s << SvgOpen(e.width, e.height)
          << "<defs><linearGradient id=\"t\" x1=\"0\" y1=\"0\" x2=\"0.35\" y2=\"1\">"
          << "<stop offset=\"0\" stop-color=\"" << e.args[1] << "\"/><stop offset=\"1\" stop-color=\""
          << e.args[2] << "\"/></linearGradient></defs>\n"
          << "<rect x=\"0\" y=\"0\" width=\"" << w << "\" height=\"" << h << "\" rx=\"" << w * 0.27
          << "\" fill=\"url(#t)\"/>\n"
          << "<rect x=\"0.5\" y=\"0.5\" width=\"" << w - 1 << "\" height=\"" << h - 1 << "\" rx=\""
          << w * 0.27 - 0.5 << "\" fill=\"none\" stroke=\"#FFFFFF\" stroke-opacity=\"0.18\"/>\n"
          << PlaceGlyph(body, (w - g) / 2, (h - g) / 2, g, "#FFFFFF", 1.9) << "\n</svg>\n";
    } else if (e.recipe == "disc") {
        if (!need(4) || !glyph(e.args[0])) return false;
        const double w = e.width, r = w / 2 - 0.5, g = w * 0.56;
        s << SvgOpen(e.width, e.height) << "<circle cx=\"" << w / 2 << "\" cy=\"" << w / 2 << "\" r=\"" << r
          << "\" fill=\"" << e.args[1] << "\" stroke=\"" << e.args[2] << "\"/>\n"
          << PlaceGlyph(body, (w - g) / 2 + (e.args[0] == "play" ? 0.6 : 0), (w - g) / 2, g, e.args[3])
          << "\n</svg>\n";
    } else if (e.recipe == "dropzone") {
        if (!need(2) || !glyph(e.args[0])) return false;
        const bool hot = e.args[1] == "hot";
        const double w = e.width, h = e.height, cx = w / 2, cy = h * 0.40;
        const char* accent = "#347AEB";
        s << SvgOpen(e.width, e.height) << "<rect x=\"1\" y=\"1\" width=\"" << w - 2 << "\" height=\""
          << h - 2 << "\" rx=\"12\" fill=\"" << (hot ? "#F3F7FE" : "#FAFBFC") << "\" stroke=\""
          << (hot ? accent : "#C9D1DD") << "\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n"
          << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"38\" fill=\"" << (hot ? accent : "#EAF1FD")
          << "\"/>\n"
          << PlaceGlyph(body, cx - 17, cy - 17, 34, hot ? "#FFFFFF" : accent, 1.8)
          << "\n"
          // A small "+" badge says that a click adds files.
          << "<circle cx=\"" << cx + 27 << "\" cy=\"" << cy + 27 << "\" r=\"11\" fill=\"#FFFFFF\" stroke=\""
          << (hot ? accent : "#C9D1DD") << "\" stroke-width=\"1.2\"/>\n"
          << "<path d=\"M" << cx + 27 << ' ' << cy + 21.5 << "v11M" << cx + 21.5 << ' ' << cy + 27
          << "h11\" stroke=\"" << accent << "\" stroke-width=\"2\" stroke-linecap=\"round\"/>\n"
          << "<text x=\"" << cx << "\" y=\"" << cy + 74 << "\" " << kFont
          << " font-size=\"13\" text-anchor=\"middle\" fill=\"" << (hot ? accent : "#5B6577")
          << "\">点击添加文件或拖拽文件到这里</text>\n"
          << "<text x=\"" << cx << "\" y=\"" << cy + 96 << "\" " << kFont
          << " font-size=\"12\" text-anchor=\"middle\" fill=\"#8A94A6\">支持批量添加</text>\n"
          << "</svg>\n";
    } else if (e.recipe == "spinner") {
        if (!need(2)) return false;
        const int index = std::stoi(e.args[0]), count = std::max(1, std::stoi(e.args[1]));
        const double w = e.width, h = e.height, cx = 24, cy = h / 2, r = 7;
        const double angle = 360.0 * index / count;
        // A quarter-and-a-bit arc over a faint ring, turned one step per frame.
        const double a0 = -90 * M_PI / 180, a1 = (-90 + 110) * M_PI / 180;
        s << SvgOpen(e.width, e.height) << "<rect x=\"0\" y=\"0\" width=\"" << w << "\" height=\"" << h
          << "\" rx=\"" << h / 2 << "\" fill=\"#347AEB\"/>\n"
          << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"" << r
          << "\" fill=\"none\" stroke=\"#FFFFFF\" stroke-opacity=\"0.3\" stroke-width=\"2.2\"/>\n"
          << "<path transform=\"rotate(" << angle << ' ' << cx << ' ' << cy << ")\" d=\"M"
          << cx + r * std::cos(a0) << ' ' << cy + r * std::sin(a0) << "A" << r << ' ' << r << " 0 0 1 "
          << cx + r * std::cos(a1) << ' ' << cy + r * std::sin(a1)
          << "\" fill=\"none\" stroke=\"#FFFFFF\" stroke-width=\"2.2\" stroke-linecap=\"round\"/>\n"
          << "<text x=\"" << (cx + r + w) / 2 + 1 << "\" y=\"" << cy + 4.6 << "\" " << kFont
          << " font-size=\"13\" text-anchor=\"middle\" fill=\"#FFFFFF\">处理中…</text>\n"
          << "</svg>\n";
    } else {
        *error = "unknown recipe " + e.recipe;
        return false;
    }
    *svg = s.str();
    return true;
}

bool Run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Rasterise(const Context& ctx, const fs::path& svg, const std::string& name, int w, int h) {
    for (int scale : {1, 2}) {
        const fs::path out = ctx.output / (scale == 1 ? name : DoubleName(name));
        fs::create_directories(out.parent_path());
        if (!Run({ctx.rsvg, "--width", std::to_string(w * scale), "--height", std::to_string(h * scale),
                  "--output", out.string(), svg.string()}))
            return false;
    }
    return true;
}

// ---- The animated GIF: equaliser bars on the preview slate ------------------------------------

struct Rgb {
    int r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {static_cast<int>(std::lround(a.r + (b.r - a.r) * t)),
            static_cast<int>(std::lround(a.g + (b.g - a.g) * t)),
            static_cast<int>(std::lround(a.b + (b.b - a.b) * t))};
}

// GIF variable-width LZW of one frame of 8-bit indexes, packed into 255-byte sub-blocks.
std::string LzwEncode(const std::vector<uint8_t>& pixels, int minBits) {
    const int clear = 1 << minBits, end = clear + 1;
    std::string out;
    uint32_t acc = 0;
    int accBits = 0;
    int bits = minBits + 1, next = end + 1;
    std::unordered_map<uint32_t, int> table;
    auto emit = [&](int code) {
        acc |= static_cast<uint32_t>(code) << accBits;
        accBits += bits;
        while (accBits >= 8) {
            out.push_back(static_cast<char>(acc & 0xFF));
            acc >>= 8;
            accBits -= 8;
        }
    };
    emit(clear);
    int prefix = pixels.empty() ? 0 : pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | pixels[i];
        auto it = table.find(key);
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            table[key] = next++;
            // The decoder adds its entry one code later, so the width grows one code later too.
            if (next > (1 << bits) && bits < 12) ++bits;
        } else {
            emit(clear);
            table.clear();
            next = end + 1;
            bits = minBits + 1;
        }
        prefix = pixels[i];
    }
    emit(prefix);
    emit(end);
    if (accBits > 0) out.push_back(static_cast<char>(acc & 0xFF));
    std::string blocks;
    blocks.push_back(static_cast<char>(minBits));
    for (size_t i = 0; i < out.size(); i += 255) {
        const size_t n = std::min<size_t>(255, out.size() - i);
        blocks.push_back(static_cast<char>(n));
        blocks.append(out, i, n);
    }
    blocks.push_back('\0');
    return blocks;
}

void Put16(std::string& s, int v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// Bars rise from a base line and mirror faintly below it; each bar follows its own sine of a
// whole number of cycles per loop, so the last frame leads smoothly into the first.
std::string EqualiserGif(int width, int height, int scale, int frames, int delayCs) {
    const int w = width * scale, h = height * scale;
    // Palette: 0-15 slate background rows, 16-31 bar shades (light at the top), 32-39 mirror.
    std::vector<Rgb> palette(64, Rgb{0, 0, 0});
    for (int i = 0; i < 16; ++i) palette[i] = Mix({0x2C, 0x35, 0x47}, {0x1D, 0x24, 0x31}, i / 15.0);
    for (int i = 0; i < 16; ++i) palette[16 + i] = Mix({0x9C, 0xC2, 0xFF}, {0x34, 0x7A, 0xEB}, i / 15.0);
    for (int i = 0; i < 8; ++i) palette[32 + i] = Mix({0x2E, 0x48, 0x78}, {0x22, 0x2B, 0x3B}, i / 7.0);
    palette[40] = {0x3A, 0x46, 0x5B};  // base line

    const int bars = 28, barW = 12 * scale, gap = 8 * scale;
    const int left = (w - (bars * (barW + gap) - gap)) / 2;
    const int base = 168 * scale, maxH = 118 * scale, mirrorGap = 4 * scale;

    std::string gif = "GIF89a";
    Put16(gif, w);
    Put16(gif, h);
    gif.push_back(static_cast<char>(0xF5));  // global table of 2^(5+1) colours, 8-bit source
    gif.push_back('\0');
    gif.push_back('\0');
    for (const Rgb& c : palette) {
        gif.push_back(static_cast<char>(c.r));
        gif.push_back(static_cast<char>(c.g));
        gif.push_back(static_cast<char>(c.b));
    }
    gif += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever

    std::vector<uint8_t> px(static_cast<size_t>(w) * h);
    for (int f = 0; f < frames; ++f) {
        for (int y = 0; y < h; ++y)
            std::fill_n(px.begin() + static_cast<ptrdiff_t>(y) * w, w, static_cast<uint8_t>(y * 16 / h));
        for (int x = left; x < w - left; ++x) px[static_cast<size_t>(base) * w + x] = 40;
        for (int b = 0; b < bars; ++b) {
            const double envelope = 0.45 + 0.55 * std::sin(M_PI * (b + 0.5) / bars);
            const int cycles = 1 + (b * 7) % 3;
            const double phase = b * 2.39996;
            const double level = 0.5 + 0.5 * std::sin(2 * M_PI * cycles * f / frames + phase);
            const int barH = std::max(4 * scale, static_cast<int>(maxH * envelope * (0.18 + 0.82 * level)));
            const int x0 = left + b * (barW + gap);
            for (int y = base - barH; y < base; ++y) {
                const int shade = std::clamp((y - (base - maxH)) * 16 / maxH, 0, 15);
                for (int x = x0; x < x0 + barW; ++x) {
                    // Rounded top: the two outer columns start one scaled pixel lower.
                    if ((x == x0 || x == x0 + barW - 1) && y < base - barH + scale) continue;
                    px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(16 + shade);
                }
            }
            const int mirrorH = barH * 3 / 10;
            for (int y = base + mirrorGap; y < base + mirrorGap + mirrorH && y < h; ++y) {
                const int shade = std::clamp((y - base - mirrorGap) * 8 / std::max(1, mirrorH), 0, 7);
                for (int x = x0; x < x0 + barW; ++x)
                    px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(32 + shade);
            }
        }
        gif += std::string("\x21\xF9\x04\x04", 4);  // graphic control: keep the frame, no transparency
        Put16(gif, delayCs);
        gif.push_back('\0');
        gif.push_back('\0');
        gif.push_back(static_cast<char>(0x2C));
        Put16(gif, 0);
        Put16(gif, 0);
        Put16(gif, w);
        Put16(gif, h);
        gif.push_back('\0');
        gif += LzwEncode(px, 6);
    }
    gif.push_back(static_cast<char>(0x3B));
    return gif;
}

bool ParseManifest(const fs::path& path, std::vector<Entry>* entries, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path.string();
        return false;
    }
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        const auto hash = text.find('#');
        // A colour "#RRGGBB" is an argument, a "#" at the start of a word after blanks only is a comment.
        const auto first = text.find_first_not_of(" \t");
        if (first == std::string::npos || (hash != std::string::npos && hash == first)) continue;
        std::istringstream words(text);
        Entry e;
        e.line = line;
        if (!(words >> e.name >> e.width >> e.height >> e.recipe) || e.width <= 0 || e.height <= 0) {
            *error = path.string() + ":" + std::to_string(line) + ": expected name width height recipe";
            return false;
        }
        std::string a;
        while (words >> a) e.args.push_back(a);
        entries->push_back(std::move(e));
    }
    return true;
}

}  // namespace

int Generate(int argc, char** argv);

int main(int argc, char** argv) {
    try {
        return Generate(argc, argv);
    } catch (const std::exception& e) {
        // A malformed number in the manifest ends here rather than in an unexplained abort.
        std::fprintf(stderr, "skingen: %s\n", e.what());
        return 1;
    }
}

int Generate(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: skingen <images.txt> <source folder> <output folder> <rsvg-convert>\n");
        return 2;
    }
    Context ctx;
    ctx.source = argv[2];
    ctx.output = argv[3];
    ctx.rsvg = argv[4];
    std::vector<Entry> entries;
    std::string error;
    if (!ParseManifest(argv[1], &entries, &error)) {
        std::fprintf(stderr, "skingen: %s\n", error.c_str());
        return 1;
    }
    const fs::path svgFolder = ctx.output / ".svg";
    std::string list;
    for (const Entry& e : entries) {
        const auto fail = [&](const std::string& why) {
            std::fprintf(stderr, "skingen: %s:%d (%s): %s\n", argv[1], e.line, e.name.c_str(), why.c_str());
            return 1;
        };
        if (e.recipe == "equaliser") {
            const int frames = e.args.size() > 0 ? std::stoi(e.args[0]) : 16;
            const int delay = e.args.size() > 1 ? std::stoi(e.args[1]) : 8;
            if (!WriteBytes(ctx.output / e.name, EqualiserGif(e.width, e.height, 1, frames, delay)) ||
                !WriteBytes(ctx.output / DoubleName(e.name),
                            EqualiserGif(e.width, e.height, 2, frames, delay)))
                return fail("cannot write the GIF");
        } else {
            std::string svg;
            if (!SvgFor(ctx, e, &svg, &error)) return fail(error);
            const fs::path svgPath = svgFolder / (e.name + ".svg");
            if (!WriteBytes(svgPath, svg)) return fail("cannot write " + svgPath.string());
            if (!Rasterise(ctx, svgPath, e.name, e.width, e.height)) return fail("rsvg-convert failed");
        }
        list += e.name + "\n" + DoubleName(e.name) + "\n";
    }
    // The list of made files, read by the packing step.
    if (!WriteBytes(ctx.output / ".images.txt", list)) return 1;
    return 0;
}
