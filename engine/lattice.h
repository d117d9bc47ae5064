// The lattice: XNEUR × YNEUR neurons, each holding a weight vector in input coordinates
// (one unit per canvas pixel, the origin at the centre of the input domain). Indices are
// 1-based, I along the first axis, J along the second; an index outside the lattice is
// run-time error 201.
#pragma once

#include <type_traits>

#include "platform/numeric.h"
#include "platform/real.h"

namespace som {

template <int X, int Y>
class Grid {
public:
    Real& operator()(int I, int J) { return cells_[offset(I, J)]; }
    Real operator()(int I, int J) const { return cells_[offset(I, J)]; }
    // All cells, I by I, J fastest.
    const Real* data() const { return cells_; }

private:
    static int offset(int I, int J) {
        if (I < 1 || I > X || J < 1 || J > Y) runtime_error(value_out_of_range);
        return (I - 1) * Y + (J - 1);
    }

    Real cells_[X * Y] = {};
};

struct NoComponent {};

// W1, W2 and, in the solid programs only, W3: one component of every neuron's weight each.
template <int X, int Y, int Components>
struct Lattice {
    static_assert(Components == 2 || Components == 3);
    static constexpr int XNEUR = X;
    static constexpr int YNEUR = Y;
    static constexpr bool solid = Components == 3;

    Grid<X, Y> W1, W2;
    [[no_unique_address]] std::conditional_t<solid, Grid<X, Y>, NoComponent> W3;
};

// One input point; X3 is used only in the solid programs.
struct Sample {
    Real X1 = 0, X2 = 0, X3 = 0;
};

}  // namespace som
