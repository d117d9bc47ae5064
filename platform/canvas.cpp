#include "platform/canvas.h"

namespace som {

Canvas::Canvas(int width, int height) : width_(width), height_(height), image_(width, height) {}

void Canvas::set_color(std::uint16_t colour) {
    std::lock_guard lock(mutex_);
    colour_ = colour;
}

std::uint16_t Canvas::color() const {
    std::lock_guard lock(mutex_);
    return colour_;
}

void Canvas::line(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
    std::lock_guard lock(mutex_);
    if (dead_) return;
    changed_.add(draw_line(image_, x1, y1, x2, y2, static_cast<std::uint8_t>(colour_)));
}

void Canvas::circle(std::int16_t x, std::int16_t y, std::uint16_t radius) {
    std::lock_guard lock(mutex_);
    if (dead_) return;
    changed_.add(draw_circle(image_, x, y, radius, static_cast<std::uint8_t>(colour_)));
}

void Canvas::put_pixel(std::int16_t x, std::int16_t y, std::uint16_t colour) {
    std::lock_guard lock(mutex_);
    if (dead_) return;
    changed_.add(som::put_pixel(image_, x, y, static_cast<std::uint8_t>(colour)));
}

void Canvas::mark_all_changed() {
    std::lock_guard lock(mutex_);
    changed_ = Rect{0, 0, width_ - 1, height_ - 1};
}

void Canvas::kill() {
    std::lock_guard lock(mutex_);
    dead_ = true;
}

bool Canvas::dead() const {
    std::lock_guard lock(mutex_);
    return dead_;
}

Image Canvas::snapshot() const {
    std::lock_guard lock(mutex_);
    return image_;
}

}  // namespace som
