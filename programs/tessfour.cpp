// tessfour — a 2 × 2 lattice trained on the disk, then the disk painted by winning neuron.
#include "engine/engine.h"

using namespace som;

constexpr Row tessfour_row{
    .XNEUR      = 2,
    .YNEUR      = 2,
    .components = 2,
    .start      = Start::uniform,
    .domain     = Domain::disk,
    .steps      = 10000,
    .cadence    = 0,
    .delay      = 0,
    .colouring  = Colouring::raster,
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
