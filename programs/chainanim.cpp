// chainanim — a 40 × 1 chain unfolding over the disk, then random points of the disk
// painted by winning neuron until a key is pressed.
#include "engine/engine.h"

using namespace som;

constexpr Row chainanim_row{
    .XNEUR      = 40,                      // neurons along I
    .YNEUR      = 1,                       // neurons along J
    .components = 2,                       // W1, W2
    .start      = Start::uniform,          // starting weights
    .domain     = Domain::disk,            // training inputs
    .steps      = 1000,                    // training steps
    .cadence    = 2,                       // a display pass after every 2nd step
    .delay      = 30,                      // ms each pass stays on screen
    .colouring  = Colouring::random_points, // after the first pause
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
