// solidfit — a 10 × 10 lattice trained on the ball; depth shown as colour.
#include "engine/engine.h"

using namespace som;

constexpr Row solidfit_row{
    .XNEUR      = 10,                      // neurons along I
    .YNEUR      = 10,                      // neurons along J
    .components = 3,                       // W1, W2, W3: depth shown as colour
    .start      = Start::uniform,          // starting weights
    .domain     = Domain::ball,            // training inputs
    .steps      = 10000,                   // training steps
    .cadence    = 0,                       // no display passes
    .delay      = 0,                       // no delay
    .colouring  = Colouring::none,         // after the first pause
};

struct solidfit : Engine<solidfit_row> {
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

SOM_PROGRAM(solidfit)
