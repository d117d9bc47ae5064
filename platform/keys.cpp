#include "platform/keys.h"

namespace som {
namespace {

constexpr unsigned char esc = 0x1B;

struct Range {
    char32_t first;
    char32_t last;
};

// Characters that take no column of their own. The general combining blocks and the
// invisible formatting characters; the combining signs inside other scripts' blocks count
// as one column, which is near enough for a line that is edited and thrown away.
constexpr Range zero_width[] = {
    {0x0300, 0x036F},  {0x0483, 0x0489},  {0x1AB0, 0x1AFF},  {0x1DC0, 0x1DFF},
    {0x200B, 0x200F},  {0x2028, 0x202E},  {0x2060, 0x206F},  {0x20D0, 0x20FF},
    {0xFE00, 0xFE0F},  {0xFE20, 0xFE2F},  {0xFEFF, 0xFEFF},  {0xFFF9, 0xFFFB},
    {0xE0000, 0xE0FFF},
};

constexpr Range wide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N>
bool in(const Range (&ranges)[N], char32_t code) {
    for (const Range& range : ranges)
        if (code >= range.first && code <= range.last) return true;
    return false;
}

}  // namespace

Key Key::character(char32_t code) {
    Key key;
    key.kind = KeyKind::character;
    key.code = code;
    auto put = [&key](unsigned value) { key.bytes[key.size++] = static_cast<char>(value); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
    return key;
}

int display_width(char32_t code) {
    if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return 0;
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (in(zero_width, code)) return 0;
    if (in(wide, code)) return 2;
    return 1;
}

void KeyDecoder::feed(std::string_view bytes, std::vector<Key>& out) {
    for (char byte : bytes) take(static_cast<unsigned char>(byte), out);
}

void KeyDecoder::flush(std::vector<Key>& out) {
    if (state_ == State::escape)
        out.push_back(Key::of(KeyKind::escape));
    else if (state_ != State::ground)
        out.push_back(Key::of(KeyKind::other));
    state_ = State::ground;
}

// A sequence or character broken off by a byte that cannot continue it: it was a key
// all the same, one with no effect.
void KeyDecoder::abandon(std::vector<Key>& out) {
    out.push_back(Key::of(KeyKind::other));
    state_ = State::ground;
}

void KeyDecoder::take(unsigned char byte, std::vector<Key>& out) {
    switch (state_) {
        case State::ground:
            take_ground(byte, out);
            return;

        case State::escape:
            // Only CSI and SS3 start a sequence. Esc followed by anything else is Esc
            // and then that key: typed ahead, "Esc, then a letter" is far likelier in a
            // line editor than Alt+letter.
            if (byte == '[' || byte == 'O') {
                state_ = byte == '[' ? State::csi : State::ss3;
                first_parameter_ = 0;
                in_first_parameter_ = true;
                plain_ = true;
                return;
            }
            out.push_back(Key::of(KeyKind::escape));
            state_ = State::ground;
            take_ground(byte, out);
            return;

        case State::csi:
        case State::ss3:
            if (byte >= '0' && byte <= '9') {
                if (in_first_parameter_ && first_parameter_ < 100000)
                    first_parameter_ = first_parameter_ * 10 + (byte - '0');
                return;
            }
            if (byte == ';' || byte == ':') {
                in_first_parameter_ = false;
                return;
            }
            if (byte >= 0x3C && byte <= 0x3F) {  // < = > ?: a private sequence
                plain_ = false;
                return;
            }
            if (byte >= 0x20 && byte <= 0x2F) {  // intermediate bytes
                plain_ = false;
                return;
            }
            if (byte == '[' && state_ == State::csi && first_parameter_ == 0 &&
                in_first_parameter_ && plain_) {
                state_ = State::csi_function;  // the Linux console's F1–F5: ESC [ [ A
                return;
            }
            if (byte >= 0x40 && byte <= 0x7E) {
                if (state_ == State::csi)
                    finish_csi(byte, out);
                else
                    finish_ss3(byte, out);
                return;
            }
            abandon(out);
            take_ground(byte, out);
            return;

        case State::csi_function:
            if (byte >= 0x40 && byte <= 0x7E) {
                out.push_back(Key::of(KeyKind::other));
                state_ = State::ground;
                return;
            }
            abandon(out);
            take_ground(byte, out);
            return;

        case State::utf8:
            if (byte < next_low_ || byte > next_high_) {
                abandon(out);
                take_ground(byte, out);
                return;
            }
            code_ = (code_ << 6) | (byte & 0x3F);
            next_low_ = 0x80;
            next_high_ = 0xBF;
            if (--continuation_left_ > 0) return;
            state_ = State::ground;
            // C1 controls and characters without a column of their own edit nothing.
            out.push_back(display_width(code_) > 0 ? Key::character(code_)
                                                   : Key::of(KeyKind::other));
            return;
    }
}

void KeyDecoder::take_ground(unsigned char byte, std::vector<Key>& out) {
    if (byte >= 0x20 && byte < 0x7F) {
        out.push_back(Key::character(byte));
        return;
    }
    switch (byte) {
        case '\r':
        case '\n': out.push_back(Key::of(KeyKind::enter)); return;
        case 0x7F:
        case 0x08: out.push_back(Key::of(KeyKind::backspace)); return;
        case esc: state_ = State::escape; return;
        default: break;
    }
    if (byte < 0x80) {  // the other C0 controls
        out.push_back(Key::of(KeyKind::other));
        return;
    }

    next_low_ = 0x80;
    next_high_ = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
        continuation_left_ = 1;
        code_ = byte & 0x1F;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        continuation_left_ = 2;
        code_ = byte & 0x0F;
        if (byte == 0xE0) next_low_ = 0xA0;   // overlong
        if (byte == 0xED) next_high_ = 0x9F;  // surrogates
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        continuation_left_ = 3;
        code_ = byte & 0x07;
        if (byte == 0xF0) next_low_ = 0x90;   // overlong
        if (byte == 0xF4) next_high_ = 0x8F;  // past U+10FFFF
    } else {
        // A stray continuation byte, C0, C1 or F5–FF: never the start of a character.
        out.push_back(Key::of(KeyKind::other));
        return;
    }
    state_ = State::utf8;
}

void KeyDecoder::finish_csi(unsigned char final_byte, std::vector<Key>& out) {
    state_ = State::ground;
    KeyKind kind = KeyKind::other;
    if (plain_) {
        switch (final_byte) {
            case 'H': kind = KeyKind::home; break;
            case 'F': kind = KeyKind::end; break;
            case 'D': kind = KeyKind::left; break;
            case 'C': kind = KeyKind::right; break;
            case '~':
                // VT220 and rxvt numbering: 1 and 7 Home, 4 and 8 End.
                if (first_parameter_ == 1 || first_parameter_ == 7) kind = KeyKind::home;
                if (first_parameter_ == 4 || first_parameter_ == 8) kind = KeyKind::end;
                break;
            default: break;
        }
    }
    out.push_back(Key::of(kind));
}

void KeyDecoder::finish_ss3(unsigned char final_byte, std::vector<Key>& out) {
    state_ = State::ground;
    KeyKind kind = KeyKind::other;
    if (plain_) {
        switch (final_byte) {
            case 'H': kind = KeyKind::home; break;
            case 'F': kind = KeyKind::end; break;
            case 'D': kind = KeyKind::left; break;
            case 'C': kind = KeyKind::right; break;
            default: break;
        }
    }
    out.push_back(Key::of(kind));
}

}  // namespace som
