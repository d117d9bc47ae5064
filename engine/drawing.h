// Drawing the lattice: one straight segment between every two neighbouring neurons,
// first along I, then along J, each from the neuron with the lower index. A neuron sits
// at canvas pixel (ROUND(W1) + 300, ROUND(W2) + 300); in the solid programs W3 only
// colours the segments (depth colours 20 … 40). Drawing reads the weights, never writes.
//
// `Pen` is what draws: set_color(c) and line(x1, y1, x2, y2) with 16-bit arguments.
#pragma once

#include <cstdint>

#include "engine/lattice.h"

namespace som {

// A weight's canvas coordinate: rounded first, then moved by 300.
inline std::int16_t canvas_coordinate(Real w) { return to_int16(add32(ROUND(w), 300)); }

// c = ROUND((W3[a] + W3[b] + 600) / 60) + 20: 20 at depth −300, 30 at 0, 40 at +300.
inline std::uint16_t depth_colour(Real a, Real b) {
    return to_uint16(add32(ROUND((a + b + 600.0L) / 60.0L), 20));
}

// Calls segment(I1, J1, I2, J2) for every segment in drawing order.
template <int X, int Y, class Segment>
void for_each_segment(Segment&& segment) {
    for (int I = 1; I <= X - 1; ++I)
        for (int J = 1; J <= Y; ++J) segment(I, J, I + 1, J);
    for (int I = 1; I <= X; ++I)
        for (int J = 1; J <= Y - 1; ++J) segment(I, J, I, J + 1);
}

template <class L, class Pen>
void draw_segment(const L& map, Pen& pen, int I1, int J1, int I2, int J2) {
    pen.line(canvas_coordinate(map.W1(I1, J1)), canvas_coordinate(map.W2(I1, J1)),
             canvas_coordinate(map.W1(I2, J2)), canvas_coordinate(map.W2(I2, J2)));
}

// RAJZOL: planar lattices in the current colour; solid ones in depth colours, leaving
// the current colour white.
template <class L, class Pen>
void draw_lattice(const L& map, Pen& pen) {
    for_each_segment<L::XNEUR, L::YNEUR>([&](int I1, int J1, int I2, int J2) {
        if constexpr (L::solid) pen.set_color(depth_colour(map.W3(I1, J1), map.W3(I2, J2)));
        draw_segment(map, pen, I1, J1, I2, J2);
    });
    if constexpr (L::solid) pen.set_color(15);
}

// TOROL: the same segments in black; the current colour is white afterwards.
template <class L, class Pen>
void erase_lattice(const L& map, Pen& pen) {
    pen.set_color(0);
    for_each_segment<L::XNEUR, L::YNEUR>(
        [&](int I1, int J1, int I2, int J2) { draw_segment(map, pen, I1, J1, I2, J2); });
    pen.set_color(15);
}

}  // namespace som
