// planeanim — a 10 × 10 lattice unfolding over the disk, played as an animation.
#include "engine/engine.h"

using namespace som;

constexpr Row planeanim_row{
    .XNEUR      = 10,                      // neurons along I
    .YNEUR      = 10,                      // neurons along J
    .components = 2,                       // W1, W2
    .start      = Start::uniform,          // starting weights
    .domain     = Domain::disk,            // training inputs
    .steps      = 500,                     // training steps
    .cadence    = 3,                       // a display pass after every 3rd step
    .delay      = 100,                     // ms each pass stays on screen
    .colouring  = Colouring::none,         // after the first pause
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
