// planeanim — a 10 × 10 lattice unfolding over the disk, played as an animation.
#include "engine/engine.h"

using namespace som;

constexpr Row planeanim_row{
    .XNEUR      = 10,
    .YNEUR      = 10,
    .components = 2,
    .start      = Start::uniform,
    .domain     = Domain::disk,
    .steps      = 500,
    .cadence    = 3,
    .delay      = 100,
    .colouring  = Colouring::none,
};

struct planeanim : Engine<planeanim_row> {
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

SOM_PROGRAM(planeanim)
