#include "platform/palette.h"

namespace som {
namespace {

struct Vga {
    std::uint8_t r, g, b;  // 6-bit components
};

constexpr Vga text_colours[16] = {
    {0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},  {42, 0, 0},   {42, 0, 42},
    {42, 21, 0},  {42, 42, 42}, {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
    {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63},
};

constexpr std::uint8_t grey_ramp[16] = {0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63};

// Each hue circle runs blue → magenta → red → yellow → green → cyan → blue in 24 steps
// between a low and a high level, through three levels in between.
constexpr std::uint8_t circle_levels[9][5] = {
    {0, 16, 31, 47, 63},  {31, 39, 47, 55, 63}, {45, 49, 54, 58, 63},  // high intensity
    {0, 7, 14, 21, 28},   {14, 17, 21, 24, 28}, {20, 22, 24, 26, 28},  // medium
    {0, 4, 8, 12, 16},    {8, 10, 12, 14, 16},  {11, 12, 13, 15, 16},  // low
};

void add_hue_circle(Palette& palette, int first, const std::uint8_t (&v)[5]) {
    const std::uint8_t lo = v[0], hi = v[4];
    int i = first;
    auto put = [&](std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        palette[i++] = {std::uint8_t(r * 4), std::uint8_t(g * 4), std::uint8_t(b * 4)};
    };
    for (int k = 0; k < 4; ++k) put(v[k], lo, hi);      // blue → magenta
    for (int k = 4; k > 0; --k) put(hi, lo, v[k]);      // magenta → red
    for (int k = 0; k < 4; ++k) put(hi, v[k], lo);      // red → yellow
    for (int k = 4; k > 0; --k) put(v[k], hi, lo);      // yellow → green
    for (int k = 0; k < 4; ++k) put(lo, hi, v[k]);      // green → cyan
    for (int k = 4; k > 0; --k) put(lo, v[k], hi);      // cyan → blue
}

Palette make_palette() {
    Palette palette{};  // 248–255 stay black
    for (int i = 0; i < 16; ++i) {
        const Vga c = text_colours[i];
        palette[i] = {std::uint8_t(c.r * 4), std::uint8_t(c.g * 4), std::uint8_t(c.b * 4)};
    }
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t g = std::uint8_t(grey_ramp[i] * 4);
        palette[16 + i] = {g, g, g};
    }
    for (int c = 0; c < 9; ++c) add_hue_circle(palette, 32 + 24 * c, circle_levels[c]);
    return palette;
}

}  // namespace

const Palette& canvas_palette() {
    static const Palette palette = make_palette();
    return palette;
}

}  // namespace som
