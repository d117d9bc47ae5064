// solidfit — a 10 × 10 lattice trained on the ball; depth shown as colour.
#include "engine/engine.h"

using namespace som;

constexpr Row solidfit_row{
    .XNEUR      = 10,
    .YNEUR      = 10,
    .components = 3,
    .start      = Start::uniform,
    .domain     = Domain::ball,
    .steps      = 10000,
    .cadence    = 0,
    .delay      = 0,
    .colouring  = Colouring::none,
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
