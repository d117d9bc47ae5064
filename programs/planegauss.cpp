// planegauss — a 10 × 10 lattice trained on a Gaussian cloud; no outline.
#include "engine/engine.h"

using namespace som;

constexpr Row planegauss_row{
    .XNEUR      = 10,
    .YNEUR      = 10,
    .components = 2,
    .start      = Start::gauss,
    .domain     = Domain::gauss,
    .steps      = 10000,
    .cadence    = 0,
    .delay      = 0,
    .colouring  = Colouring::none,
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
