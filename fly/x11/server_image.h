// Pictures in the X server's own image layouts, ready for PutImage: 32 bits a pixel in
// its byte order (depth 24 is stored in 32 bits too), and outlines one bit a pixel in its
// bitmap unit, bit order and row padding.
#pragma once

#include <xcb/xcb.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace gnatter::x11 {

// pixelAt(x, y) gives the 0xAARRGGBB word of each pixel; rows are width * 4 bytes.
template <class PixelAt>
std::vector<std::uint8_t> serverPixels(const xcb_setup_t* setup, int width, int height, PixelAt pixelAt) {
    const bool lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 4);
    std::uint8_t* out = pixels.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, out += 4) {
            const std::uint32_t v = pixelAt(x, y);
            for (int b = 0; b < 4; ++b) out[lsbFirst ? b : 3 - b] = std::uint8_t(v >> (8 * b));
        }
    }
    return pixels;
}

// inside(x, y) tells the outline's pixels; rowBytes gets the padded length of a row.
template <class Inside>
std::vector<std::uint8_t> serverMask(const xcb_setup_t* setup, int width, int height, Inside inside, int& rowBytes) {
    const bool lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    const int pad = setup->bitmap_format_scanline_pad;
    const int unitBytes = std::max(1, setup->bitmap_format_scanline_unit / 8);
    const bool bitLsbFirst = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_LSB_FIRST;
    rowBytes = (width + pad - 1) / pad * pad / 8;
    std::vector<std::uint8_t> mask(std::size_t(rowBytes) * std::size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!inside(x, y)) continue;
            int byte = x / 8;
            if (lsbFirst != bitLsbFirst) byte = byte / unitBytes * unitBytes + (unitBytes - 1 - byte % unitBytes);
            mask[std::size_t(y) * std::size_t(rowBytes) + std::size_t(byte)] |=
                std::uint8_t(1u << (bitLsbFirst ? x % 8 : 7 - x % 8));
        }
    }
    return mask;
}

}  // namespace gnatter::x11
