// The console: the terminal the program was started from, or whatever standard input is.
//
// On a terminal: raw mode (no echo, no line discipline, signals kept), and a key reader
// that keeps every key typed while the program is busy, in typing order. KEYPRESSED never
// waits and never consumes; READLN edits one line (echo, Backspace, Esc clears, Home, End,
// the arrows, Enter), starting with a pending key, and discards it. The terminal's
// settings are restored on every way out: normal end, run-time error, SIGINT, SIGTERM,
// SIGHUP (the program then dies of the same signal); SIGTSTP hands the terminal back in
// its normal mode while the program is stopped.
//
// Not a terminal (a pipe, a file, /dev/null, closed): READLN reads one line and returns
// at once at end of input; KEYPRESSED is true when input is waiting or at end of input.
#pragma once

namespace som {

class Console {
public:
    // The process console, set up on first use.
    static Console& instance();

    virtual ~Console() = default;
    virtual bool key_pressed() = 0;
    virtual void read_line() = 0;
};

}  // namespace som
