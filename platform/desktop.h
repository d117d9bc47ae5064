// The desktop host: the SDL canvas window and the terminal. run_program sets up the
// console and the floating-point traps, runs a program's run sequence and ends the
// process with status 0.
#pragma once

namespace som {

[[noreturn]] void run_program(const char* name, void (*run_sequence)());

}  // namespace som
