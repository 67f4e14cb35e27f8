#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "shellext/ShellExtCore.h"
#include "shellext/StampIcon.h"

using namespace stampmenu;

namespace {

std::uint32_t Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Read16(b, at) | (Read16(b, at + 2) << 16);
}

TEST(StampIcon, DrawnWithTransparentCornersAndOpaqueMiddle) {
    for (int s : kIconSizes) {
        SCOPED_TRACE(s);
        const RgbaImage img = DrawStampIcon(s);
        ASSERT_EQ(img.rgba.size(), static_cast<std::size_t>(s) * s * 4);
        EXPECT_EQ(img.At(0, 0)[3], 0);
        EXPECT_EQ(img.At(s - 1, s - 1)[3], 0);
        EXPECT_EQ(img.At(s / 2, s / 2)[3], 255);
        EXPECT_EQ(img.At(s / 2, s / 2)[0], 255);  // the white stamp
        EXPECT_LT(img.At(s / 8, s / 2)[0], 100);  // the blue tile
    }
    // Edges are anti-aliased at the large size.
    const RgbaImage big = DrawStampIcon(256);
    bool partial = false;
    for (std::size_t i = 3; i < big.rgba.size(); i += 4) partial |= big.rgba[i] > 0 && big.rgba[i] < 255;
    EXPECT_TRUE(partial);
}

TEST(StampIcon, IcoHoldsEverySizeWithMask) {
    std::vector<RgbaImage> images;
    for (int s : kIconSizes) images.push_back(DrawStampIcon(s));
    const std::vector<std::uint8_t> ico = EncodeIco(images);
    ASSERT_GE(ico.size(), 6u + 16u * 6);
    EXPECT_EQ(Read16(ico, 0), 0u);
    EXPECT_EQ(Read16(ico, 2), 1u);
    ASSERT_EQ(Read16(ico, 4), 6u);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(kIconSizes[i]);
        const std::size_t e = 6 + 16 * i;
        const int s = kIconSizes[i];
        EXPECT_EQ(ico[e], s == 256 ? 0 : s);
        EXPECT_EQ(Read16(ico, e + 6), 32u);  // bits per pixel
        const std::uint32_t bytes = Read32(ico, e + 8), offset = Read32(ico, e + 12);
        const std::uint32_t mask = static_cast<std::uint32_t>(((s + 31) / 32) * 4 * s);
        EXPECT_EQ(bytes, 40u + static_cast<std::uint32_t>(s) * s * 4 + mask);
        ASSERT_LE(offset + bytes, ico.size());
        EXPECT_EQ(Read32(ico, offset), 40u);
        EXPECT_EQ(Read32(ico, offset + 4), static_cast<std::uint32_t>(s));
        EXPECT_EQ(Read32(ico, offset + 8), static_cast<std::uint32_t>(2 * s));
        // The first mask row (bottom row of the image) marks its transparent corner pixel.
        const std::size_t maskStart = offset + 40 + static_cast<std::size_t>(s) * s * 4;
        EXPECT_EQ(ico[maskStart] & 0x80, 0x80);
        // Bottom-up BGRA: the centre pixel is the opaque white stamp.
        const std::size_t centre = offset + 40 + (static_cast<std::size_t>(s - 1 - s / 2) * s + s / 2) * 4;
        EXPECT_EQ(ico[centre + 3], 255);
    }
}

TEST(StampIcon, WrittenFileMatchesTheEncoding) {
    const auto path = std::filesystem::temp_directory_path() / "stampmenu_icon_test.ico";
    ASSERT_TRUE(WriteStampIcon(path.string()));
    std::ifstream f(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                                          std::istreambuf_iterator<char>());
    std::vector<RgbaImage> images;
    for (int s : kIconSizes) images.push_back(DrawStampIcon(s));
    EXPECT_EQ(bytes, EncodeIco(images));
    std::filesystem::remove(path);
    EXPECT_FALSE(WriteStampIcon("/nonexistent-folder/x/icon.ico"));
}

}  // namespace
