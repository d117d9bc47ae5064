// planegauss — a 10 × 10 lattice trained on a Gaussian cloud; no outline.
#include "engine/engine.h"

using namespace som;

constexpr Row planegauss_row{
    .XNEUR      = 10,                      // neurons along I
    .YNEUR      = 10,                      // neurons along J
    .components = 2,                       // W1, W2
    .start      = Start::gauss,            // starting weights
    .domain     = Domain::gauss,           // training inputs
    .steps      = 10000,                   // training steps
    .cadence    = 0,                       // no display passes
    .delay      = 0,                       // no delay
    .colouring  = Colouring::none,         // after the first pause
};

struct planegauss : Engine<planegauss_row> {
    static void run() {
        DALFA = (ALFA0 - ALFA1) / ALFAN;
        DSIGM = (SIGM0 - SIGM1) / SIGMN;
        RANDOMIZE();
        GRAFIKA();
        SULYOK();
        TANUL();
        READLN();
    }
};

SOM_PROGRAM(planegauss)
