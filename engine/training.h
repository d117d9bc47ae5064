// Training: one step pulls every neuron towards a sample by a Gaussian of its lattice
// distance from the winner; a run of steps lowers the learning rate and the width
// linearly to their floors.
#pragma once

#include <cstdint>

#include "engine/lattice.h"
#include "engine/samplers.h"

namespace som {

// The schedule, the same in every program.
struct Schedule {
    static constexpr Real ALFA0 = 0.065L;    // learning rate of the first step
    static constexpr Real ALFA1 = 0.00011L;  // its floor
    static constexpr int  ALFAN = 10000;     // steps of its fall from ALFA0 to ALFA1
    static constexpr Real SIGM0 = 2.4L;      // neighbourhood width of the first step, lattice units
    static constexpr Real SIGM1 = 0.6L;      // its floor
    static constexpr int  SIGMN = 5500;      // steps of its fall from SIGM0 to SIGM1
};

// Y[I, J]: squared distance from the sample to neuron (I, J), rebuilt every step.
template <class L>
using Distances = Grid<L::XNEUR, L::YNEUR>;

// The winner: the first neuron in lattice order at the smallest distance (a tie goes to
// the earlier one, since only a strictly smaller distance replaces it).
template <class L>
void find_winner(const Distances<L>& Y, std::uint16_t& GYOZTESI, std::uint16_t& GYOZTESJ) {
    GYOZTESI = 1;
    GYOZTESJ = 1;
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J)
            if (Y(I, J) < Y(GYOZTESI, GYOZTESJ)) {
                GYOZTESI = static_cast<std::uint16_t>(I);
                GYOZTESJ = static_cast<std::uint16_t>(J);
            }
}

// One training step.
template <class L>
void train_step(L& map, const Sample& x, Real ALFAT, Real SIGMT, Distances<L>& Y) {
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            Real d = (map.W1(I, J) - x.X1) * (map.W1(I, J) - x.X1) +
                     (map.W2(I, J) - x.X2) * (map.W2(I, J) - x.X2);
            if constexpr (L::solid) d = d + (map.W3(I, J) - x.X3) * (map.W3(I, J) - x.X3);
            Y(I, J) = d;
        }

    std::uint16_t GYOZTESI, GYOZTESJ;
    find_winner<L>(Y, GYOZTESI, GYOZTESJ);

    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            const std::int32_t di = sub32(I, GYOZTESI), dj = sub32(J, GYOZTESJ);
            const Real D2 = add32(mul32(di, di), mul32(dj, dj));
            const Real SIGM2T = SIGMT * SIGMT;
            // h = ALFAT · e^(−D2 / (2·SIGMT²))
            const Real h = ALFAT * EXP(((-1.0L * D2) * 0.5L) / SIGM2T);
            // W ← h · (X − W) + W
            map.W1(I, J) = h * (x.X1 - map.W1(I, J)) + map.W1(I, J);
            map.W2(I, J) = h * (x.X2 - map.W2(I, J)) + map.W2(I, J);
            if constexpr (L::solid) map.W3(I, J) = h * (x.X3 - map.W3(I, J)) + map.W3(I, J);
        }
}

// The learning rate and the width, lowered after each step and clamped at their floors.
struct Rates {
    Real ALFAT = Schedule::ALFA0;
    Real SIGMT = Schedule::SIGM0;

    void lower(Real DALFA, Real DSIGM) {
        ALFAT = ALFAT - DALFA;
        if (ALFAT < Schedule::ALFA1) ALFAT = Schedule::ALFA1;
        SIGMT = SIGMT - DSIGM;
        if (SIGMT < Schedule::SIGM1) SIGMT = Schedule::SIGM1;
    }
};

}  // namespace som
