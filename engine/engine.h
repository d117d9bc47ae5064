// The map engine. A program is a catalogue row (its lattice, domain, steps, display
// passes and colouring, all compile-time constants) and a run sequence; deriving from
// Engine<row> gives the run sequence its procedures, with their own names:
//
//   SULYOK   random starting weights
//   TANUL    the training run, with the display passes of the animated programs, ending
//            with one drawing of the trained lattice
//   GRAFIKA  open the canvas
//   RAJZOL   draw the lattice;  TOROL  erase it (solid programs)
//   SZINEZ   paint the disk by winning neuron
//
// The engine reaches the canvas, the console, the clock and the generator only through
// `Io` (the platform procedures in the programs; recorders in tests), so the same code
// runs in a window and on an in-memory canvas.
#pragma once

#include <cstdint>

#include "engine/colouring.h"
#include "engine/drawing.h"
#include "engine/lattice.h"
#include "engine/observer.h"
#include "engine/samplers.h"
#include "engine/training.h"
#include "platform/graph.h"

namespace som {

enum class Colouring { none, raster, random_points };

// One row of the catalogue.
struct Row {
    int XNEUR;             // neurons along I
    int YNEUR;             // neurons along J
    int components;        // 2, or 3 in the solid programs (W3 shown as colour)
    Start start;           // starting weights: uniform over the disk (ball), or Gaussian
    Domain domain;         // where the training inputs come from
    int steps;             // training steps
    int cadence;           // a display pass after every cadence-th step; 0 for none
    std::uint16_t delay;   // ms a display pass stays on screen
    Colouring colouring;   // what follows the first pause
};

// The platform procedures, as the engine's Io.
struct PlatformIo {
    static std::uint32_t random(std::uint32_t n) { return RANDOM(n); }
    static void set_color(std::uint16_t c) { SETCOLOR(c); }
    static void line(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
        LINE(x1, y1, x2, y2);
    }
    static void put_pixel(std::int16_t x, std::int16_t y, std::uint16_t c) { PUTPIXEL(x, y, c); }
    static void delay(std::uint16_t ms) { DELAY(ms); }
    static bool key_pressed() { return KEYPRESSED(); }
    static void activity(const char* what) { show_activity(what); }
};

template <Row R, class Io = PlatformIo>
struct Engine : Schedule {
    static constexpr int XNEUR = R.XNEUR;
    static constexpr int YNEUR = R.YNEUR;
    using Map = Lattice<R.XNEUR, R.YNEUR, R.components>;

    // The program-wide data: the weights and the two decrements.
    static inline Map map;
    static inline Real DALFA = 0;
    static inline Real DSIGM = 0;
    static inline Io io;

    static void GRAFIKA() {
        std::int16_t GD, GM;
        DETECTGRAPH(GD, GM);
        INITGRAPH(GD, GM, "");
    }

    static void SULYOK() { initial_weights<R.start>(map, RANDOM); }

    static void RAJZOL() { draw_lattice(map, io); }

    static void TOROL() { erase_lattice(map, io); }

    static void TANUL() {
        io.activity("training");
        Distances<Map> Y;
        CachedNeighbourhood<max_D2<Map>> neighbourhood;
        Rates rates;
        std::int32_t N = 0;
        do {
            N = add32(N, 1);
            const Sample x = draw_sample<R.domain>(RANDOM);
            train_step(map, x, rates.ALFAT, rates.SIGMT, Y, neighbourhood);
            if (step_observer != nullptr) report_step(N, rates);
            rates.lower(DALFA, DSIGM);
            if constexpr (R.cadence != 0)
                if (N % R.cadence == 0) display_pass();
        } while (!(N >= R.steps));
        RAJZOL();
    }

    static void SZINEZ() {
        static_assert(R.colouring != Colouring::none, "this program paints no regions");
        if constexpr (R.colouring == Colouring::raster) {
            io.activity("painting the regions");
            colour_raster(map, io);
        } else if constexpr (R.colouring == Colouring::random_points) {
            io.activity("painting — press a key in the console to stop");
            colour_random_points(map, io);
            RAJZOL();
        }
    }

private:
    static std::uint32_t RANDOM(std::uint32_t n) { return io.random(n); }

    static void report_step(int N, const Rates& rates) {
        const Real* W3 = nullptr;
        if constexpr (Map::solid) W3 = map.W3.data();
        step_observer({N, rates.ALFAT, rates.SIGMT, XNEUR, YNEUR, R.components, R.domain,
                       map.W1.data(), map.W2.data(), W3});
    }

    // The lattice after this step, shown for a moment and erased.
    static void display_pass() {
        if constexpr (Map::solid) {
            RAJZOL();
            io.delay(R.delay);
            TOROL();
        } else {
            io.set_color(15);
            RAJZOL();
            io.delay(R.delay);
            io.set_color(0);
            RAJZOL();
            io.set_color(15);
        }
    }
};

}  // namespace som

// Ends a program's file: its entry point, or its entry in the headless runner.
#ifdef SOM_HEADLESS_RUNNER
#include "engine/weights_text.h"
#include "tools/runner_registry.h"
#define SOM_PROGRAM(name)                                          \
    static const som::RunnerEntry som_runner_entry_##name{         \
        #name, &name::run, [] { return som::weights_text(name::map); }, &name::SULYOK, \
        &name::TANUL};
#else
#include "platform/desktop.h"
#define SOM_PROGRAM(name) \
    int main() { som::run_program(#name, &name::run); }
#endif
