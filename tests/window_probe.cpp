// A stand-in for a program, for the window tests: opens a Window and does what standard
// input tells it, one command a line, answering on standard output.
//
//   window_probe NAME
//     open fails            → exit status 3 (open() has said why on standard error)
//     open succeeds         → "open W H" (the canvas size)
//   commands:
//     line C X1 Y1 X2 Y2    draw a line in colour C
//     circle C X Y R        draw a circle in colour C
//     pixel C X Y           set one pixel
//     sync                  → "synced" once everything before it is drawn
//     activity TEXT         show_activity(TEXT) → "ok"
//     draw                  → "drawing", then keep drawing lines between commands
//     close                 Window::close() → "closed dead=0|1"
//     release               destroy the Window object → "released"
//     exit                  → "exit lines=N", then end_process(0)
//   and on its own, once: "dead" as soon as the canvas is seen dead.
// End of input ends the probe with status 0 as well.
//
// Like the programs, it runs with floating-point traps on and ends through end_process.
#include <fenv.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "platform/canvas.h"
#include "platform/process.h"
#include "platform/window.h"

namespace {

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::int16_t coord(long v) { return static_cast<std::int16_t>(v); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: window_probe NAME\n", stderr);
        return 2;
    }
    feenableexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);

    std::unique_ptr<som::Window> window = som::Window::open(argv[1]);
    if (!window) som::end_process(3);
    som::Canvas* canvas = &window->canvas();
    say("open " + std::to_string(canvas->width()) + " " + std::to_string(canvas->height()));

    bool drawing = false, told_dead = false;
    long lines = 0;
    std::uint32_t seed = 12345;
    auto next = [&](int bound) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(bound));
    };
    std::string input;

    for (;;) {
        if (drawing && canvas != nullptr) {
            for (int i = 0; i < 64; ++i, ++lines) {
                canvas->set_color(static_cast<std::uint16_t>(1 + lines % 255));
                canvas->line(coord(next(canvas->width())), coord(next(canvas->height())),
                             coord(next(canvas->width())), coord(next(canvas->height())));
            }
        }
        if (!told_dead && canvas != nullptr && canvas->dead()) {
            told_dead = true;
            say("dead");
        }

        pollfd p{0, POLLIN, 0};
        const int ready = poll(&p, 1, drawing ? 0 : 10);
        if (ready < 0 && errno != EINTR) som::end_process(4);
        if (ready <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) som::end_process(0);
        input.append(buffer, static_cast<std::size_t>(n));

        for (auto end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
            const std::string command = input.substr(0, end);
            input.erase(0, end + 1);
            std::istringstream words(command);
            std::string verb;
            words >> verb;
            long c = 0, a = 0, b = 0, d = 0, e = 0;
            if (verb == "exit") {
                say("exit lines=" + std::to_string(lines));
                som::end_process(0);
            } else if (canvas == nullptr) {
                say("released already");
            } else if (verb == "line" && words >> c >> a >> b >> d >> e) {
                canvas->set_color(static_cast<std::uint16_t>(c));
                canvas->line(coord(a), coord(b), coord(d), coord(e));
            } else if (verb == "circle" && words >> c >> a >> b >> d) {
                canvas->set_color(static_cast<std::uint16_t>(c));
                canvas->circle(coord(a), coord(b), static_cast<std::uint16_t>(d));
            } else if (verb == "pixel" && words >> c >> a >> b) {
                canvas->put_pixel(coord(a), coord(b), static_cast<std::uint16_t>(c));
            } else if (verb == "sync") {
                say("synced");
            } else if (verb == "activity") {
                std::string text;
                std::getline(words >> std::ws, text);
                window->show_activity(text);
                say("ok");
            } else if (verb == "draw") {
                drawing = true;
                say("drawing");
            } else if (verb == "close") {
                window->close();
                say(std::string("closed dead=") + (canvas->dead() ? "1" : "0"));
            } else if (verb == "release") {
                window.reset();
                canvas = nullptr;
                drawing = false;
                say("released");
            } else {
                say("unknown command: " + command);
            }
        }
    }
}
