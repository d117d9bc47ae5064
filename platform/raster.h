// The raster core: a W × H image of 8-bit palette indices and the three ways the programs
// draw on it. Pure code: no window, no locks, no files.
//
//   draw_line    Cohen–Sutherland clipping to the image (intersections by integer
//                division truncating toward 0), then Bresenham from the first end point,
//                max(|dx|, |dy|) + 1 pixels, a decision value of exactly 0 stepping
//                diagonally.
//   draw_circle  radius 0 draws nothing, radius 1 the centre; otherwise, with
//                n = ROUND(r·√6), θ runs from 0° in steps of 90°/n while θ ≤ 91°,
//                each step setting (x ± ROUND(r·cos θ), y ∓ ROUND(r·sin θ)).
//   put_pixel    one pixel.
//
// Pixels outside the image are skipped silently. Each call returns the rectangle it may
// have changed (empty when nothing was drawn), so a caller can track what to repaint.
#pragma once

#include <cstdint>
#include <vector>

namespace som {

struct Rect {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // inclusive corners; x1 < x0 when empty

    bool empty() const { return x1 < x0 || y1 < y0; }
    void add(const Rect& r);
    void add(int x, int y) { add(Rect{x, y, x, y}); }
};

class Image {
public:
    Image() = default;
    Image(int width, int height, std::uint8_t fill = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    std::uint8_t get(int x, int y) const { return pixels_[index(x, y)]; }
    void set(int x, int y, std::uint8_t c) { pixels_[index(x, y)] = c; }
    const std::uint8_t* row(int y) const { return pixels_.data() + index(0, y); }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

    bool operator==(const Image&) const = default;

private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }

    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

Rect draw_line(Image& image, int x1, int y1, int x2, int y2, std::uint8_t colour);
Rect draw_circle(Image& image, int x, int y, unsigned radius, std::uint8_t colour);
Rect put_pixel(Image& image, int x, int y, std::uint8_t colour);

}  // namespace som
