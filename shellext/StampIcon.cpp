#include "shellext/StampIcon.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "shellext/ShellExtCore.h"

namespace stampmenu {
namespace {

// Distance-free inside tests in unit coordinates (0..1 across the icon).
bool InRoundRect(double x, double y, double l, double t, double r, double b, double radius) {
    if (x < l || x > r || y < t || y > b) return false;
    const double cx = std::clamp(x, l + radius, r - radius);
    const double cy = std::clamp(y, t + radius, b - radius);
    const double dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
}

bool InCircle(double x, double y, double cx, double cy, double radius) {
    const double dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
}

// The white stamp: a round knob, a neck, a wide foot and the printed line beneath it.
bool InStamp(double x, double y) {
    return InCircle(x, y, 0.5, 0.30, 0.115) || InRoundRect(x, y, 0.43, 0.36, 0.57, 0.58, 0.02) ||
           InRoundRect(x, y, 0.25, 0.56, 0.75, 0.70, 0.04) || InRoundRect(x, y, 0.22, 0.76, 0.78, 0.81, 0.02);
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

RgbaImage DrawStampIcon(int size) {
    RgbaImage img;
    img.size = size;
    img.rgba.assign(static_cast<std::size_t>(size) * size * 4, 0);
    constexpr int kSub = 4;  // 4 x 4 samples per pixel
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int tile = 0, stamp = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const double ux = (x + (sx + 0.5) / kSub) / size;
                    const double uy = (y + (sy + 0.5) / kSub) / size;
                    if (!InRoundRect(ux, uy, 0.04, 0.04, 0.96, 0.96, 0.18)) continue;
                    ++tile;
                    if (InStamp(ux, uy)) ++stamp;
                }
            }
            std::uint8_t* p = &img.rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            if (tile == 0) continue;
            // Tile colour: a vertical blue gradient; the stamp mixes in white by its coverage.
            const double v = static_cast<double>(y) / std::max(1, size - 1);
            const double base[3] = {30 + 20 * v, 110 - 40 * v, 200 - 50 * v};
            const double w = static_cast<double>(stamp) / tile;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(std::lround(base[c] * (1 - w) + 255 * w));
            p[3] = static_cast<std::uint8_t>(tile * 255 / (kSub * kSub));
        }
    }
    return img;
}

std::vector<std::uint8_t> EncodeIco(const std::vector<RgbaImage>& images) {
    std::vector<std::vector<std::uint8_t>> blobs;
    for (const RgbaImage& img : images) {
        const int s = img.size;
        const std::uint32_t maskStride = static_cast<std::uint32_t>(((s + 31) / 32) * 4);
        const std::uint32_t colourBytes = static_cast<std::uint32_t>(s) * s * 4;
        std::vector<std::uint8_t> b;
        Put32(b, 40);
        Put32(b, static_cast<std::uint32_t>(s));
        Put32(b, static_cast<std::uint32_t>(2 * s));  // colour image and mask stacked
        Put16(b, 1);
        Put16(b, 32);
        Put32(b, 0);
        Put32(b, colourBytes + maskStride * s);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        for (int y = s - 1; y >= 0; --y) {
            for (int x = 0; x < s; ++x) {
                const std::uint8_t* p = img.At(x, y);
                b.insert(b.end(), {p[2], p[1], p[0], p[3]});
            }
        }
        for (int y = s - 1; y >= 0; --y) {
            std::vector<std::uint8_t> row(maskStride, 0);
            for (int x = 0; x < s; ++x) {
                if (img.At(x, y)[3] == 0) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
            b.insert(b.end(), row.begin(), row.end());
        }
        blobs.push_back(std::move(b));
    }
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int s = images[i].size;
        out.push_back(static_cast<std::uint8_t>(s >= 256 ? 0 : s));
        out.push_back(static_cast<std::uint8_t>(s >= 256 ? 0 : s));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<std::uint32_t>(blobs[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(blobs[i].size());
    }
    for (const auto& b : blobs) out.insert(out.end(), b.begin(), b.end());
    return out;
}

bool WriteStampIcon(const std::string& path) {
    std::vector<RgbaImage> images;
    for (int s : kIconSizes) images.push_back(DrawStampIcon(s));
    const std::vector<std::uint8_t> bytes = EncodeIco(images);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    f.close();
    return static_cast<bool>(f);
}

}  // namespace stampmenu
