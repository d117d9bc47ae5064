#include "platform/graph.h"

#include <cstdio>
#include <ctime>

#include "platform/canvas.h"
#include "platform/host.h"
#include "platform/process.h"

namespace som {
namespace {

Host* installed_host = nullptr;
Canvas* canvas = nullptr;
std::mt19937 generator;

Canvas& drawing_canvas() {
    if (canvas == nullptr) {
        std::fputs("Error: Not in graphics mode (use InitGraph and test GraphResult afterwards)\n",
                   stderr);
        end_process(1);
    }
    return *canvas;
}

}  // namespace

std::uint32_t millisecond_tick() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void install_host(Host& host) { installed_host = &host; }

Host& host() { return *installed_host; }

void DETECTGRAPH(std::int16_t& driver, std::int16_t& mode) {
    // One driver: the largest 256-colour canvas the display allows.
    driver = 1;
    mode = 0;
}

void INITGRAPH(std::int16_t, std::int16_t, const char*) { canvas = host().open_canvas(); }

void SETCOLOR(std::uint16_t colour) { drawing_canvas().set_color(colour); }

void LINE(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
    drawing_canvas().line(x1, y1, x2, y2);
}

void CIRCLE(std::int16_t x, std::int16_t y, std::uint16_t radius) {
    drawing_canvas().circle(x, y, radius);
}

void PUTPIXEL(std::int16_t x, std::int16_t y, std::uint16_t colour) {
    drawing_canvas().put_pixel(x, y, colour);
}

void READLN() {
    host().show_activity("press Enter in the console");
    host().read_line();
}

bool KEYPRESSED() { return host().key_pressed(); }

void DELAY(std::uint16_t ms) { host().delay(ms); }

void RANDOMIZE() { generator.seed(host().clock_tick()); }

std::uint32_t RANDOM(std::uint32_t n) { return random_below(generator, n); }

Canvas* current_canvas() { return canvas; }

void show_activity(const char* activity) { host().show_activity(activity); }

void reset_graphics() { canvas = nullptr; }

}  // namespace som
