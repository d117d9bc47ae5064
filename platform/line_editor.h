// One line being typed at the console: its text, the cursor, and for every key the bytes
// that make the terminal show exactly that line. Pure: the caller writes the echo.
//
// The echo only moves the cursor with backspaces and rewrites, so it starts wherever
// the terminal's cursor is (after a prompt) and never touches what is left of it. It
// assumes the line fits on the rest of the screen row: a terminal does not back up
// across a wrapped row.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/keys.h"

namespace som {

class LineEditor {
public:
    // What is kept of a line. The programs throw every line away, so this only bounds
    // the memory of a user leaning on a key (or pasting a file) without Enter: past it,
    // characters are neither kept nor echoed, as a full line buffer would refuse them.
    static constexpr std::size_t max_bytes = 64 * 1024;

    // Applies `key` and appends its echo to `echo`. Keys after Enter are ignored.
    void apply(const Key& key, std::string& echo);

    bool done() const { return done_; }
    std::string_view text() const { return text_; }
    std::size_t cursor() const { return cursor_; }  // a byte offset into text()
    int cursor_column() const;                      // columns left of the cursor
    int columns() const;                            // columns of the whole line

private:
    void insert(const Key& key, std::string& echo);
    void erase_before(std::string& echo);
    void clear(std::string& echo);

    std::string text_;
    std::size_t cursor_ = 0;
    bool done_ = false;
};

}  // namespace som
