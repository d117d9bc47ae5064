// planeskew — a 10 × 10 lattice trained on a disk whose right half is four times denser.
#include "engine/engine.h"

using namespace som;

constexpr Row planeskew_row{
    .XNEUR      = 10,                      // neurons along I
    .YNEUR      = 10,                      // neurons along J
    .components = 2,                       // W1, W2
    .start      = Start::uniform,          // starting weights
    .domain     = Domain::skewed_disk,     // training inputs
    .steps      = 10000,                   // training steps
    .cadence    = 0,                       // no display passes
    .delay      = 0,                       // no delay
    .colouring  = Colouring::none,         // after the first pause
};

struct planeskew : Engine<planeskew_row> {
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

SOM_PROGRAM(planeskew)
