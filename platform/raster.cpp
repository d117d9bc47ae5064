#include "platform/raster.h"

#include <cmath>
#include <cstdlib>

#include "platform/real.h"

namespace som {

void Rect::add(const Rect& r) {
    if (r.empty()) return;
    if (empty()) {
        *this = r;
        return;
    }
    x0 = std::min(x0, r.x0);
    y0 = std::min(y0, r.y0);
    x1 = std::max(x1, r.x1);
    y1 = std::max(y1, r.y1);
}

Image::Image(int width, int height, std::uint8_t fill)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

Rect put_pixel(Image& image, int x, int y, std::uint8_t colour) {
    if (!image.contains(x, y)) return {};
    image.set(x, y, colour);
    return {x, y, x, y};
}

namespace {

// Cohen–Sutherland outcodes against the image.
enum : unsigned { inside = 0, left = 1, right = 2, above = 4, below = 8 };

unsigned outcode(long x, long y, long xmax, long ymax) {
    unsigned code = inside;
    if (x < 0) code |= left;
    else if (x > xmax) code |= right;
    if (y < 0) code |= above;
    else if (y > ymax) code |= below;
    return code;
}

// Clips the segment to the image in place; false when nothing of it is inside.
// Products are formed in 64 bits: 16-bit end points can put them past 32.
bool clip(long& x1, long& y1, long& x2, long& y2, long xmax, long ymax) {
    unsigned c1 = outcode(x1, y1, xmax, ymax);
    unsigned c2 = outcode(x2, y2, xmax, ymax);
    for (;;) {
        if ((c1 | c2) == 0) return true;
        if ((c1 & c2) != 0) return false;
        const unsigned out = c1 != 0 ? c1 : c2;
        long x, y;
        if (out & below) {
            x = x1 + (x2 - x1) * (ymax - y1) / (y2 - y1);
            y = ymax;
        } else if (out & above) {
            x = x1 + (x2 - x1) * (0 - y1) / (y2 - y1);
            y = 0;
        } else if (out & right) {
            y = y1 + (y2 - y1) * (xmax - x1) / (x2 - x1);
            x = xmax;
        } else {
            y = y1 + (y2 - y1) * (0 - x1) / (x2 - x1);
            x = 0;
        }
        if (out == c1) {
            x1 = x, y1 = y;
            c1 = outcode(x1, y1, xmax, ymax);
        } else {
            x2 = x, y2 = y;
            c2 = outcode(x2, y2, xmax, ymax);
        }
    }
}

}  // namespace

Rect draw_line(Image& image, int ax, int ay, int bx, int by, std::uint8_t colour) {
    if (image.width() == 0 || image.height() == 0) return {};
    long x1 = ax, y1 = ay, x2 = bx, y2 = by;
    if (!clip(x1, y1, x2, y2, image.width() - 1, image.height() - 1)) return {};

    const long dx = std::labs(x2 - x1), dy = std::labs(y2 - y1);
    const long sx = x2 >= x1 ? 1 : -1, sy = y2 >= y1 ? 1 : -1;
    const bool x_major = dx >= dy;
    const long major = x_major ? dx : dy, minor = x_major ? dy : dx;

    long x = x1, y = y1;
    long decision = 2 * minor - major;
    for (long i = 0; i <= major; ++i) {
        image.set(static_cast<int>(x), static_cast<int>(y), colour);
        if (decision >= 0) {  // exactly 0 steps diagonally
            if (x_major) y += sy;
            else x += sx;
            decision -= 2 * major;
        }
        decision += 2 * minor;
        if (x_major) x += sx;
        else y += sy;
    }
    return {static_cast<int>(std::min(x1, x2)), static_cast<int>(std::min(y1, y2)),
            static_cast<int>(std::max(x1, x2)), static_cast<int>(std::max(y1, y2))};
}

Rect draw_circle(Image& image, int x, int y, unsigned radius, std::uint8_t colour) {
    Rect changed;
    if (radius == 0) return changed;
    if (radius == 1) return put_pixel(image, x, y, colour);

    const Real r = radius;
    const Real n = rintl(r * sqrtl(6.0L));
    const Real step = 90.0L / n;
    for (Real theta = 0.0L; theta <= 91.0L; theta += step) {
        const Real angle = theta * PI / 180.0L;
        const int dx = static_cast<int>(rintl(r * cosl(angle)));
        const int dy = static_cast<int>(rintl(r * sinl(angle)));
        changed.add(put_pixel(image, x + dx, y - dy, colour));
        changed.add(put_pixel(image, x - dx, y - dy, colour));
        changed.add(put_pixel(image, x + dx, y + dy, colour));
        changed.add(put_pixel(image, x - dx, y + dy, colour));
    }
    return changed;
}

}  // namespace som
