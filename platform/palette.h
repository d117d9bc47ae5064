// The canvas palette: the standard VGA default palette, each 6-bit component times 4.
// 0 black, 1–15 the sixteen text colours (15 = (252, 252, 252)), 16–31 a grey ramp,
// 32–247 nine hue circles of 24 (three intensities × three saturations), 248–255 black.
#pragma once

#include <array>
#include <cstdint>

namespace som {

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

using Palette = std::array<Rgb, 256>;

const Palette& canvas_palette();

}  // namespace som
