// The canvas the programs draw on: an image, the current colour, and what has changed
// since the window last repainted, all under one lock. The program thread draws; a window
// thread (if any) copies the changed region out under the same lock. Once the canvas is
// marked dead (its window closed or its display lost), drawing is dropped.
//
// Colours are 16-bit indices; only 0–255 are ever passed, and the low 8 bits are kept.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/raster.h"

namespace som {

class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    void set_color(std::uint16_t colour);
    std::uint16_t color() const;
    void line(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
    void circle(std::int16_t x, std::int16_t y, std::uint16_t radius);
    void put_pixel(std::int16_t x, std::int16_t y, std::uint16_t colour);

    // Window side. `copy(image, region)` runs under the lock with the region changed since
    // the last call (the whole image after mark_all_changed); the region is then cleared.
    // Nothing is called when nothing changed. Returns whether `copy` ran.
    template <class Copy>
    bool take_changes(Copy&& copy) {
        std::lock_guard lock(mutex_);
        if (changed_.empty()) return false;
        copy(static_cast<const Image&>(image_), changed_);
        changed_ = Rect{};
        return true;
    }
    void mark_all_changed();

    // The window is gone: later drawing is dropped.
    void kill();
    bool dead() const;

    // A copy of the image as it stands (for pictures and tests).
    Image snapshot() const;

private:
    mutable std::mutex mutex_;
    const int width_, height_;
    Image image_;
    Rect changed_;
    std::uint16_t colour_ = 15;
    bool dead_ = false;
};

}  // namespace som
