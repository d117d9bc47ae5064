// ROUND and EXP, and the checked integer arithmetic of the programs: a value handed on
// in a narrower type is tested against that type's range (201), every integer operation
// against overflow (215).
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/real.h"
#include "platform/runtime_error.h"

namespace som {

// Nearest integer, an exact half going to the even neighbour; 207 outside 32 bits.
inline std::int32_t ROUND(Real x) {
    const Real r = rintl(x);  // the rounding mode is always to nearest
    if (!(r >= -2147483648.0L && r <= 2147483647.0L)) runtime_error(invalid_float_op);
    return static_cast<std::int32_t>(r);
}

inline Real EXP(Real x) { return expl(x); }

inline std::int32_t add32(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r)) runtime_error(integer_overflow);
    return r;
}

inline std::int32_t sub32(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) runtime_error(integer_overflow);
    return r;
}

inline std::int32_t mul32(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) runtime_error(integer_overflow);
    return r;
}

// A coordinate handed on as a 16-bit signed value.
inline std::int16_t to_int16(std::int32_t v) {
    if (v < INT16_MIN || v > INT16_MAX) runtime_error(value_out_of_range);
    return static_cast<std::int16_t>(v);
}

// A colour handed on as a 16-bit unsigned index.
inline std::uint16_t to_uint16(std::int32_t v) {
    if (v < 0 || v > UINT16_MAX) runtime_error(value_out_of_range);
    return static_cast<std::uint16_t>(v);
}

}  // namespace som
