// chainanim — a 40 × 1 chain unfolding over the disk, then random points painted by winning neuron until a key is pressed.
#include "engine/engine.h"

using namespace som;

constexpr Row chainanim_row{
    .XNEUR      = 40,
    .YNEUR      = 1,
    .components = 2,
    .start      = Start::uniform,
    .domain     = Domain::disk,
    .steps      = 1000,
    .cadence    = 2,
    .delay      = 30,
    .colouring  = Colouring::random_points,
};

struct chainanim : Engine<chainanim_row> {
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
    }
};

SOM_PROGRAM(chainanim)
