// Random points of the four input domains, and the random starting weights. Every draw
// comes from `RANDOM(n)` (0 … n − 1), in a fixed order, so that a seed fixes a run.
//
//   disk         whole-number points with X1² + X2² ≤ 300², by rejection
//   skewed disk  the same, X1 made negative in one draw of five, positive otherwise
//   ball         whole-number points with X1² + X2² + X3² ≤ 300², by rejection
//   Gaussian     Box–Muller, both coordinates from one pair (U1, U2), no bound
//
// A rejected candidate is drawn again whole; there is no limit on attempts.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/lattice.h"

namespace som {

enum class Domain { disk, skewed_disk, ball, gauss };

// A whole number from −300 to 300: the subtraction is done before it becomes a real.
template <class Random>
Real centred_601(Random& RANDOM) {
    return static_cast<Real>(sub32(static_cast<std::int32_t>(RANDOM(601)), 300));
}

// k/1000 for k = 1 … 999: RANDOM(999)/1000 + 0.001, each operation rounded to extended.
template <class Random>
Real uniform_999(Random& RANDOM) {
    return static_cast<Real>(RANDOM(999)) / 1000.0L + 0.001L;
}

template <class Random>
Sample sample_disk(Random& RANDOM) {
    for (;;) {
        Sample s;
        s.X1 = centred_601(RANDOM);
        s.X2 = centred_601(RANDOM);
        const Real R = sqrtl(s.X1 * s.X1 + s.X2 * s.X2);
        if (!(R > 300.0L)) return s;
    }
}

template <class Random>
Sample sample_skewed_disk(Random& RANDOM) {
    for (;;) {
        Sample s;
        s.X1 = centred_601(RANDOM);
        s.X2 = centred_601(RANDOM);
        if (RANDOM(5) == 0) s.X1 = -1.0L * fabsl(s.X1);
        else s.X1 = fabsl(s.X1);
        const Real R = sqrtl(s.X1 * s.X1 + s.X2 * s.X2);
        if (!(R > 300.0L)) return s;
    }
}

template <class Random>
Sample sample_ball(Random& RANDOM) {
    for (;;) {
        Sample s;
        s.X1 = centred_601(RANDOM);
        s.X2 = centred_601(RANDOM);
        s.X3 = centred_601(RANDOM);
        const Real R = sqrtl((s.X1 * s.X1 + s.X2 * s.X2) + s.X3 * s.X3);
        if (!(R > 300.0L)) return s;
    }
}

// Box–Muller with standard deviation `sd`:
//   X1 = √(−2 ln U1) · cos(2 · U2 · π) · sd,  X2 = √(−2 ln U1) · sin(2 · U2 · π) · sd
template <class Random>
Sample sample_gauss(Random& RANDOM, Real sd) {
    Sample s;
    const Real U1 = uniform_999(RANDOM);
    const Real U2 = uniform_999(RANDOM);
    s.X1 = sqrtl(-2.0L * logl(U1)) * cosl(2.0L * U2 * PI) * sd;
    s.X2 = sqrtl(-2.0L * logl(U1)) * sinl(2.0L * U2 * PI) * sd;
    return s;
}

template <Domain D, class Random>
Sample draw_sample(Random& RANDOM) {
    if constexpr (D == Domain::disk) return sample_disk(RANDOM);
    else if constexpr (D == Domain::skewed_disk) return sample_skewed_disk(RANDOM);
    else if constexpr (D == Domain::ball) return sample_ball(RANDOM);
    else return sample_gauss(RANDOM, 130.0L);
}

// Starting weights: every neuron, I outer and J inner, gets its final value before the
// next one is started.
enum class Start { uniform, gauss };

template <Start S, class L, class Random>
void initial_weights(L& map, Random& RANDOM) {
    for (int I = 1; I <= L::XNEUR; ++I) {
        for (int J = 1; J <= L::YNEUR; ++J) {
            Sample w;
            if constexpr (S == Start::gauss) w = sample_gauss(RANDOM, 110.0L);
            else if constexpr (L::solid) w = sample_ball(RANDOM);
            else w = sample_disk(RANDOM);
            map.W1(I, J) = w.X1;
            map.W2(I, J) = w.X2;
            if constexpr (L::solid) map.W3(I, J) = w.X3;
        }
    }
}

}  // namespace som
