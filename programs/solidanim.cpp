// solidanim — a 10 × 10 lattice filling the ball, played as an animation; depth shown as colour.
#include "engine/engine.h"

using namespace som;

constexpr Row solidanim_row{
    .XNEUR      = 10,
    .YNEUR      = 10,
    .components = 3,
    .start      = Start::uniform,
    .domain     = Domain::ball,
    .steps      = 1000,
    .cadence    = 5,
    .delay      = 100,
    .colouring  = Colouring::none,
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
