// The built-in icon of the shell extension: a white stamp on a rounded blue tile, drawn in code
// at every size of the icon group and written as an .ico file for the DLL's resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stampmenu {

// Straight (not premultiplied) RGBA pixels, rows top to bottom.
struct RgbaImage {
    int size = 0;
    std::vector<std::uint8_t> rgba;  // size * size * 4
    const std::uint8_t* At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * size + x) * 4]; }
};

// Draws the icon at size x size pixels with anti-aliased edges.
RgbaImage DrawStampIcon(int size);

// An .ico file holding one 32-bit image (with its AND mask) per given size, in that order.
std::vector<std::uint8_t> EncodeIco(const std::vector<RgbaImage>& images);

// Draws every size of the built-in icon group and writes the .ico file; false on a write error.
bool WriteStampIcon(const std::string& path);

}  // namespace stampmenu
