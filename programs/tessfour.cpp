// tessfour — a 2 × 2 lattice trained on the disk, then the disk painted by winning neuron.
#include "engine/engine.h"

using namespace som;

constexpr Row tessfour_row{
    .XNEUR      = 2,                       // neurons along I
    .YNEUR      = 2,                       // neurons along J
    .components = 2,                       // W1, W2
    .start      = Start::uniform,          // starting weights
    .domain     = Domain::disk,            // training inputs
    .steps      = 10000,                   // training steps
    .cadence    = 0,                       // no display passes
    .delay      = 0,                       // no delay
    .colouring  = Colouring::raster,       // after the first pause
};

struct tessfour : Engine<tessfour_row> {
    static void run() {
        DALFA = (ALFA0 - ALFA1) / ALFAN;
        DSIGM = (SIGM0 - SIGM1) / SIGMN;
        RANDOMIZE();
        GRAFIKA();
        CIRCLE(300, 300, 300);
        SULYOK();
        TANUL();
        READLN();
        SZINEZ();
        READLN();
        RAJZOL();
        READLN();
    }
};

SOM_PROGRAM(tessfour)
