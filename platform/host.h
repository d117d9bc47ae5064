// What a program runs on: a canvas, a console, a clock. A program's procedures
// (INITGRAPH, READLN, KEYPRESSED, DELAY, RANDOMIZE, …) reach the host installed for the
// process: the desktop host (an SDL window and the terminal) in the eight programs, an
// in-memory host in the headless runner and the tests.
#pragma once

#include <cstdint>

namespace som {

class Canvas;

class Host {
public:
    virtual ~Host() = default;

    // INITGRAPH: opens the canvas and returns once it is shown; nullptr when it cannot
    // be opened (the host has said why on standard error).
    virtual Canvas* open_canvas() = 0;
    // READLN: one line from the console, discarded.
    virtual void read_line() = 0;
    // KEYPRESSED: never waits and never consumes the key.
    virtual bool key_pressed() = 0;
    // DELAY.
    virtual void delay(std::uint16_t ms) = 0;
    // What RANDOMIZE seeds the generator with: the millisecond tick.
    virtual std::uint32_t clock_tick() = 0;
    // What the program is doing now ("training", "press Enter in the console"), for a
    // user who has only the window to look at.
    virtual void show_activity(const char* /*activity*/) {}
};

// Milliseconds since an arbitrary start (the system's boot), wrapping at 2³².
std::uint32_t millisecond_tick();

void install_host(Host& host);
Host& host();

}  // namespace som
