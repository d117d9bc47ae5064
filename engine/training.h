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
    Real nearest = Y(1, 1);  // Y[GYOZTESI, GYOZTESJ], kept at hand
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J)
            if (Y(I, J) < nearest) {
                GYOZTESI = static_cast<std::uint16_t>(I);
                GYOZTESJ = static_cast<std::uint16_t>(J);
                nearest = Y(I, J);
            }
}

// The neighbourhood factor e^(((−1.0 · D2) · 0.5) / SIGM2T), computed afresh each time.
struct PlainNeighbourhood {
    void begin_step(Real) {}
    Real operator()(std::int32_t D2, Real SIGMT) {
        const Real SIGM2T = SIGMT * SIGMT;
        return EXP(((-1.0L * static_cast<Real>(D2)) * 0.5L) / SIGM2T);
    }
};

// The same factor, computed once per distinct D2 and kept while SIGMT stays the same
// (every step once the width has reached its floor). The same operations on the same
// operands: bit for bit the plain factor.
template <int MaxD2>
class CachedNeighbourhood {
public:
    // Once per step: a new width makes every kept factor stale.
    void begin_step(Real SIGMT) {
        if (SIGMT != sigmt_) {
            sigmt_ = SIGMT;
            ++generation_;
        }
    }

    Real operator()(std::int32_t D2, Real SIGMT) {
        if (D2 < 0 || D2 > MaxD2) runtime_error(value_out_of_range);
        Entry& e = entries_[D2];
        if (e.generation != generation_) {
            e.factor = plain_(D2, SIGMT);
            e.generation = generation_;
        }
        return e.factor;
    }

private:
    struct Entry {
        Real factor = 0;
        unsigned generation = 0;
    };
    PlainNeighbourhood plain_;
    Real sigmt_ = -1;  // no width yet
    unsigned generation_ = 0;
    Entry entries_[MaxD2 + 1];
};

// The largest squared lattice distance of an X × Y lattice.
template <class L>
inline constexpr int max_D2 = (L::XNEUR - 1) * (L::XNEUR - 1) + (L::YNEUR - 1) * (L::YNEUR - 1);

// One training step.
template <class L, class Neighbourhood = PlainNeighbourhood>
void train_step(L& map, const Sample& x, Real ALFAT, Real SIGMT, Distances<L>& Y,
                Neighbourhood&& neighbourhood = {}) {
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            Real d = (map.W1(I, J) - x.X1) * (map.W1(I, J) - x.X1) +
                     (map.W2(I, J) - x.X2) * (map.W2(I, J) - x.X2);
            if constexpr (L::solid) d = d + (map.W3(I, J) - x.X3) * (map.W3(I, J) - x.X3);
            Y(I, J) = d;
        }

    std::uint16_t GYOZTESI, GYOZTESJ;
    find_winner<L>(Y, GYOZTESI, GYOZTESJ);

    neighbourhood.begin_step(SIGMT);
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            const std::int32_t di = sub32(I, GYOZTESI), dj = sub32(J, GYOZTESJ);
            const std::int32_t D2 = add32(mul32(di, di), mul32(dj, dj));
            // h = ALFAT · e^(−D2 / (2·SIGMT²))
            const Real h = ALFAT * neighbourhood(D2, SIGMT);
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
