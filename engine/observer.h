// A look at the training from outside, for measurements: when set, the observer sees the
// lattice after every step. It must not draw and must not touch the program's generator,
// so a run is the same with or without it.
#pragma once

#include "engine/samplers.h"
#include "platform/real.h"

namespace som {

struct StepReport {
    int N;                    // the step just done
    Real ALFAT, SIGMT;        // the rate and width it used
    int XNEUR, YNEUR;
    int components;           // 2 or 3
    Domain domain;            // where the inputs come from
    const Real *W1, *W2, *W3; // row by row, J fastest; W3 null in planar lattices
};

inline void (*step_observer)(const StepReport&) = nullptr;

}  // namespace som
