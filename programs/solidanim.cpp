// solidanim — a 10 × 10 lattice filling the ball, played as an animation; depth shown as colour.
#include "engine/engine.h"

using namespace som;

constexpr Row solidanim_row{
    .XNEUR      = 10,                      // neurons along I
    .YNEUR      = 10,                      // neurons along J
    .components = 3,                       // W1, W2, W3: depth shown as colour
    .start      = Start::uniform,          // starting weights
    .domain     = Domain::ball,            // training inputs
    .steps      = 1000,                    // training steps
    .cadence    = 5,                       // a display pass after every 5th step
    .delay      = 100,                     // ms each pass stays on screen
    .colouring  = Colouring::none,         // after the first pause
};

struct solidanim : Engine<solidanim_row> {
    static void run() {
        DALFA = (ALFA0 - ALFA1) / ALFAN;
        DSIGM = (SIGM0 - SIGM1) / SIGMN;
        RANDOMIZE();
        GRAFIKA();
        CIRCLE(300, 300, 300);
        SULYOK();
        TANUL();
        READLN();
    }
};

SOM_PROGRAM(solidanim)
