// planeskew — a 10 × 10 lattice trained on a disk whose right half is four times denser.
#include "engine/engine.h"

using namespace som;

constexpr Row planeskew_row{
    .XNEUR      = 10,
    .YNEUR      = 10,
    .components = 2,
    .start      = Start::uniform,
    .domain     = Domain::skewed_disk,
    .steps      = 10000,
    .cadence    = 0,
    .delay      = 0,
    .colouring  = Colouring::none,
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
