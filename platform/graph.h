// The procedures a program calls, with their own names: the canvas (DETECTGRAPH,
// INITGRAPH, SETCOLOR, LINE, CIRCLE, PUTPIXEL), the console (READLN, KEYPRESSED), DELAY
// and the generator (RANDOMIZE, RANDOM). They act on the process's one canvas and one
// generator through the installed host.
//
// Drawing before INITGRAPH succeeded writes "Error: Not in graphics mode (use InitGraph
// and test GraphResult afterwards)" to standard error and ends the program with status 1.
#pragma once

#include <cstdint>
#include <random>

namespace som {

class Canvas;

void DETECTGRAPH(std::int16_t& driver, std::int16_t& mode);
void INITGRAPH(std::int16_t driver, std::int16_t mode, const char* driver_path);
void SETCOLOR(std::uint16_t colour);
void LINE(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2);
void CIRCLE(std::int16_t x, std::int16_t y, std::uint16_t radius);
void PUTPIXEL(std::int16_t x, std::int16_t y, std::uint16_t colour);

void READLN();
bool KEYPRESSED();
void DELAY(std::uint16_t ms);

void RANDOMIZE();
std::uint32_t RANDOM(std::uint32_t n);

// ⌊u·n⌋ with u = g()/2³²: one draw of the generator per call.
inline std::uint32_t random_below(std::mt19937& g, std::uint32_t n) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(g()) * n) >> 32);
}

// The canvas INITGRAPH opened (nullptr before, or when it failed).
Canvas* current_canvas();
// Tells the host what the program is doing, for the window's title.
void show_activity(const char* activity);
// Forget the canvas and reseed nothing: for runs of several programs in one process.
void reset_graphics();

}  // namespace som
