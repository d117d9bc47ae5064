// Keys from the terminal: the bytes a terminal sends, turned into the keys that were
// typed, in typing order. Pure: no I/O, no clock; the caller says when input has gone
// quiet, which is what tells a lone Esc from the start of an escape sequence.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace som {

enum class KeyKind : std::uint8_t {
    character,  // a printable character, `text` holds its UTF-8 bytes
    enter,      // CR or LF
    backspace,  // DEL or BS
    escape,     // Esc on its own
    home,
    end,
    left,
    right,
    other,      // any other key, sequence or byte: it was typed, it edits nothing
};

struct Key {
    KeyKind kind = KeyKind::other;
    char32_t code = 0;       // the character, for character keys
    std::uint8_t size = 0;   // UTF-8 length of the character
    char bytes[4] = {};

    static Key of(KeyKind kind) {
        Key key;
        key.kind = kind;
        return key;
    }
    static Key character(char32_t code);

    std::string_view text() const { return {bytes, size}; }
    friend bool operator==(const Key&, const Key&) = default;
};

// Columns a character takes on a terminal: 2 for East Asian wide characters, 1 for other
// printable ones, 0 for controls and characters that take no column of their own
// (combining marks, zero-width formatting). The decoder gives only characters of
// width 1 or 2 as character keys.
int display_width(char32_t code);

class KeyDecoder {
public:
    // Decodes `bytes`, appending the keys they complete to `out`. A sequence or
    // character cut between two calls is held (a few bytes of state, whatever came in).
    void feed(std::string_view bytes, std::vector<Key>& out);

    // No byte came for a while (about 50 ms): a lone Esc is the Esc key; a cut-off
    // escape sequence or UTF-8 character becomes one `other` key.
    void flush(std::vector<Key>& out);

    // Bytes are held that make part of a key not yet complete.
    bool pending() const { return state_ != State::ground; }

private:
    enum class State : std::uint8_t { ground, escape, csi, csi_function, ss3, utf8 };

    void take(unsigned char byte, std::vector<Key>& out);
    void take_ground(unsigned char byte, std::vector<Key>& out);
    void finish_csi(unsigned char final_byte, std::vector<Key>& out);
    void finish_ss3(unsigned char final_byte, std::vector<Key>& out);
    void abandon(std::vector<Key>& out);

    State state_ = State::ground;

    // Escape sequences: only what decides the key is kept, so a sequence of any length
    // costs nothing.
    std::uint32_t first_parameter_ = 0;
    bool in_first_parameter_ = true;
    bool plain_ = true;  // no private marker and no intermediate byte

    // UTF-8: the character so far, continuation bytes still to come, and the range the
    // next one must be in (E0, ED, F0 and F4 narrow it to rule out overlong forms,
    // surrogates and code points past U+10FFFF).
    char32_t code_ = 0;
    int continuation_left_ = 0;
    unsigned char next_low_ = 0x80;
    unsigned char next_high_ = 0xBF;
};

}  // namespace som
