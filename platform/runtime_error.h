// Run-time errors: a failed range or overflow check, or a trapped floating-point fault,
// ends the program with the report
//
//     Runtime error N at 0xAAAAAAAA
//       0xFFFFFFFF        one line per calling frame (at most 9 on a terminal)
//                         an empty line
//
// on standard output and exit status N. Addresses are offsets into the module that
// holds them (the program's own executable for the program's code), so they are the
// same from run to run and can be handed to addr2line.
#pragma once

#include <cstdint>

namespace som {

enum RunError : int {
    value_out_of_range   = 201,
    integer_overflow     = 215,
    division_by_zero     = 200,
    invalid_float_op     = 207,
    float_overflow       = 205,
};

// Ends the program with run-time error `number`, the fault being the call site of this
// function (its return address).
[[noreturn, gnu::noinline, gnu::cold]] void runtime_error(int number);

// Traps floating-point invalid operations, divisions by zero and overflows (x87 and SSE)
// as run-time errors 207, 200 and 205. Threads created afterwards inherit the traps.
void trap_float_faults();

// Formats the report for `fault` and `frames` (already module-relative) into `out`;
// returns its length. Pure, for tests.
int format_report(char* out, int size, int number, std::uintptr_t fault,
                  const std::uintptr_t* frames, int frame_count);

}  // namespace som
