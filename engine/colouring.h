// Region colouring: a point of the disk takes the colour of its winning neuron, the
// neuron nearest to it (squared distances, the first in lattice order on a tie).
//
//   raster         every whole-number point of the disk once, XX outer and YY inner,
//                  both ascending; colour (GYOZTESI − 1) · YNEUR + GYOZTESJ
//   random points  random points of the disk until a key is seen after a painted point;
//                  colour GYOZTESI + 50 (the chain)
//
// `Io` paints with put_pixel(x, y, colour), draws for random(n) and asks key_pressed().
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/lattice.h"
#include "engine/training.h"

namespace som {

template <class L>
void nearest_neuron(const L& map, Real x, Real y, Distances<L>& Y, std::uint16_t& GYOZTESI,
                    std::uint16_t& GYOZTESJ) {
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J)
            Y(I, J) = (x - map.W1(I, J)) * (x - map.W1(I, J)) + (y - map.W2(I, J)) * (y - map.W2(I, J));
    find_winner<L>(Y, GYOZTESI, GYOZTESJ);
}

template <class L, class Io>
void colour_raster(const L& map, Io& io) {
    Distances<L> Y;
    for (std::int32_t XX = -300; XX <= 300; ++XX)
        for (std::int32_t YY = -300; YY <= 300; ++YY) {
            const Real R = sqrtl(static_cast<Real>(add32(mul32(XX, XX), mul32(YY, YY))));
            // The winner of a point outside the disk is never used, so it is not searched.
            if (!(R <= 300.0L)) continue;
            std::uint16_t GYOZTESI, GYOZTESJ;
            nearest_neuron(map, static_cast<Real>(XX), static_cast<Real>(YY), Y, GYOZTESI, GYOZTESJ);
            const std::int32_t colour = add32(mul32(sub32(GYOZTESI, 1), L::YNEUR), GYOZTESJ);
            io.put_pixel(to_int16(add32(XX, 300)), to_int16(add32(YY, 300)), to_uint16(colour));
        }
}

// Paints at least one point: the key is asked for after painting. The key is left pending.
template <class L, class Io>
void colour_random_points(const L& map, Io& io) {
    Distances<L> Y;
    do {
        std::int16_t X1, X2;
        Real R;
        do {
            X1 = to_int16(sub32(static_cast<std::int32_t>(io.random(601)), 300));
            X2 = to_int16(sub32(static_cast<std::int32_t>(io.random(601)), 300));
            R = sqrtl(static_cast<Real>(add32(mul32(X1, X1), mul32(X2, X2))));
        } while (R > 300.0L);
        std::uint16_t GYOZTESI, GYOZTESJ;
        nearest_neuron(map, static_cast<Real>(X1), static_cast<Real>(X2), Y, GYOZTESI, GYOZTESJ);
        io.put_pixel(to_int16(add32(X1, 300)), to_int16(add32(X2, 300)),
                     to_uint16(add32(GYOZTESI, 50)));
    } while (!io.key_pressed());
}

}  // namespace som
