// The one real type of the suite: the x87 80-bit extended format (64-bit mantissa),
// rounding to nearest. Every weight, sample and schedule value is a Real.
#pragma once

#include <cfloat>

static_assert(LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384,
              "long double must be the x87 80-bit extended format (64-bit mantissa)");

namespace som {

using Real = long double;

inline constexpr Real PI = 3.141592653589793238462643383279502884L;

}  // namespace som
