// Any bytes a terminal may send, through som::KeyDecoder, and every key it gives through
// som::LineEditor, with the editor's echo played on a model of the terminal row.
//
// An input is one control byte, then the bytes from the terminal:
//   bit 0      input goes quiet after every read (the decoder is flushed there); without
//              it, only at the end, and the keys must not depend on how the bytes were cut
//              into reads
//   bits 1-3   001: the line is first filled to a few bytes short of LineEditor::max_bytes,
//              so that the cap is met (only the first bytes of the input are typed then;
//              one input in eight, as each costs a few milliseconds)
//   bits 4-7   with that, how many bytes short: 0 to 15
//   bits 2-7   how the bytes are cut into reads
//
// Checked: keys are whole characters or bare keys and take their bytes from the input in
// order; the editor follows a model of the line kept as code points; its text is valid
// UTF-8 within the cap and its cursor on a character boundary; and the echo, played on
// the row model, shows exactly the line with the cursor where the editor says.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/keys.h"
#include "platform/line_editor.h"

namespace {

using som::Key;
using som::KeyKind;
using som::LineEditor;

[[noreturn]] void fail(const char* what, std::size_t at = 0) {
    std::fprintf(stderr, "keys_fuzz: %s (at %zu)\n", what, at);
    std::abort();
}

void require(bool ok, const char* what, std::size_t at = 0) {
    if (!ok) fail(what, at);
}

constexpr char32_t invalid = 0xFFFFFFFF;

// Strict UTF-8: the code point starting at `at` (which moves past it), or `invalid` for a
// byte sequence that is not the shortest form of a scalar value.
char32_t decode(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    int length;
    char32_t code;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return invalid;
    }
    if (text.size() - at < static_cast<std::size_t>(length)) return invalid;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80) return invalid;
        code = (code << 6) | (next & 0x3F);
    }
    const char32_t shortest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < shortest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return invalid;
    at += length;
    return code;
}

void append_utf8(std::string& out, char32_t code) { out.append(Key::character(code).text()); }

// display_width(), remembered: a long line is mostly the same few characters, and each
// look-up costs a walk through the width tables.
int width_of(char32_t code) {
    struct Entry {
        char32_t code = invalid;
        int width = 0;
    };
    static Entry seen[256];
    Entry& entry = seen[code % 256];
    if (entry.code != code) entry = {code, som::display_width(code)};
    return entry.width;
}

// --- The decoder.

void check_key(const Key& key, std::size_t at) {
    if (key.kind != KeyKind::character) {
        require(key == Key::of(key.kind), "a key that is not a character carries bytes", at);
        return;
    }
    require(key.size >= 1 && key.size <= 4, "a character key of an impossible length", at);
    std::size_t end = 0;
    const char32_t code = decode(key.text(), end);
    require(code != invalid && end == key.size, "a character key that is not one UTF-8 character", at);
    require(code == key.code, "a character key whose bytes are not its code", at);
    const int width = som::display_width(code);
    require(width == 1 || width == 2, "a character key that takes no column or is a control", at);
}

std::vector<Key> decode_in_reads(std::string_view bytes, const std::vector<std::size_t>& reads,
                                 bool quiet_after_each) {
    som::KeyDecoder decoder;
    std::vector<Key> keys;
    std::size_t at = 0;
    for (std::size_t length : reads) {
        decoder.feed(bytes.substr(at, length), keys);
        at += length;
        if (quiet_after_each) {
            decoder.flush(keys);
            require(!decoder.pending(), "the decoder holds bytes after a flush", at);
        }
    }
    const std::size_t before = keys.size();
    const bool pending = decoder.pending();
    decoder.flush(keys);
    require(!decoder.pending(), "the decoder holds bytes after a flush", at);
    require(keys.size() == before + (pending ? 1 : 0),
            "a flush gives a key without bytes held, or none with", at);
    return keys;
}

std::vector<std::size_t> cut(std::size_t total, unsigned seed) {
    std::vector<std::size_t> reads;
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t at = 0; at < total;) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = std::min<std::size_t>(total - at, 1 + (state >> 16) % 9);
        reads.push_back(length);
        at += length;
    }
    return reads;
}

std::vector<Key> decode_checked(std::string_view bytes, unsigned control) {
    const bool quiet = (control & 1) != 0;
    const std::vector<std::size_t> reads = cut(bytes.size(), control >> 2);
    std::vector<Key> keys = decode_in_reads(bytes, reads, quiet);
    if (!quiet) {
        const std::vector<std::size_t> whole{bytes.size()};
        const std::vector<std::size_t> bytewise(bytes.size(), 1);
        require(decode_in_reads(bytes, whole, false) == keys, "keys depend on how reads cut the bytes");
        require(decode_in_reads(bytes, bytewise, false) == keys, "keys depend on how reads cut the bytes");
    }

    // Every key stands for at least one byte, and a character's bytes are input bytes,
    // in order.
    require(keys.size() <= bytes.size(), "more keys than bytes");
    std::size_t from = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        check_key(keys[i], i);
        if (keys[i].kind != KeyKind::character) continue;
        const std::size_t found = bytes.find(keys[i].text(), from);
        require(found != std::string_view::npos, "a character key that was not typed", i);
        from = found + keys[i].size;
    }
    return keys;
}

// --- The line, as code points: what the editor must hold.

struct Model {
    std::u32string chars;
    std::size_t cursor = 0;        // in characters
    std::size_t bytes = 0;         // UTF-8 bytes of the line
    std::size_t cursor_bytes = 0;  // UTF-8 bytes left of the cursor
    bool done = false;

    static std::size_t size_of(char32_t code) { return Key::character(code).size; }

    void apply(const Key& key) {
        if (done) return;
        switch (key.kind) {
            case KeyKind::character:
                if (bytes + key.size <= LineEditor::max_bytes) {  // refused whole otherwise
                    chars.insert(cursor++, 1, key.code);
                    bytes += key.size;
                    cursor_bytes += key.size;
                }
                break;
            case KeyKind::backspace:
                if (cursor > 0) {
                    const std::size_t size = size_of(chars[--cursor]);
                    bytes -= size;
                    cursor_bytes -= size;
                    chars.erase(cursor, 1);
                }
                break;
            case KeyKind::escape:
                chars.clear();
                cursor = bytes = cursor_bytes = 0;
                break;
            case KeyKind::home: cursor = cursor_bytes = 0; break;
            case KeyKind::end:
                cursor = chars.size();
                cursor_bytes = bytes;
                break;
            case KeyKind::left:
                if (cursor > 0) cursor_bytes -= size_of(chars[--cursor]);
                break;
            case KeyKind::right:
                if (cursor < chars.size()) cursor_bytes += size_of(chars[cursor++]);
                break;
            case KeyKind::enter: done = true; break;
            case KeyKind::other: break;
        }
    }
};

// --- One terminal row, from the column the echo starts at: a cell per column.

constexpr char32_t wide_tail = 0xFFFFFFFE;  // the right half of a wide character

struct Row {
    std::u32string cells;  // a blank cell is a space
    std::size_t cursor = 0;
    bool ended = false;  // the echo went to the next line

    void put(char32_t code, int width) {
        const std::size_t need = cursor + static_cast<std::size_t>(width);
        if (cells.size() < need) cells.resize(need, U' ');
        // A terminal blanks what is left of a wide character written over in part.
        for (std::size_t column = cursor; column < need; ++column) {
            if (cells[column] == wide_tail)
                cells[column - 1] = U' ';
            else if (column + 1 < cells.size() && cells[column + 1] == wide_tail)
                cells[column + 1] = U' ';
        }
        cells[cursor] = code;
        if (width == 2) cells[cursor + 1] = wide_tail;
        cursor = need;
    }

    void play(std::string_view echo, std::size_t key) {
        for (std::size_t at = 0; at < echo.size();) {
            require(!ended, "echo after the line ended", key);
            const char byte = echo[at];
            if (byte == '\b') {
                require(cursor > 0, "the echo backs into what is left of the line (the prompt)", key);
                --cursor;
                ++at;
            } else if (byte == '\r') {
                require(echo.substr(at) == "\r\n", "a carriage return that does not end the line", key);
                ended = true;
                at += 2;
            } else {
                const char32_t code = decode(echo, at);
                require(code != invalid, "echo that is not UTF-8", key);
                const int width = width_of(code);
                require(width > 0, "echo with a control or a character without a column", key);
                put(code, width);
            }
        }
    }

    // The row shows exactly `line`, blanks after it.
    bool shows(const std::u32string& line) const {
        std::u32string want;
        for (char32_t code : line) {
            want += code;
            if (width_of(code) == 2) want += wide_tail;
        }
        if (cells.size() < want.size() || cells.compare(0, want.size(), want) != 0) return false;
        for (std::size_t i = want.size(); i < cells.size(); ++i)
            if (cells[i] != U' ') return false;
        return true;
    }
};

std::size_t columns_of(const std::u32string& chars, std::size_t count) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < count; ++i) columns += static_cast<std::size_t>(width_of(chars[i]));
    return columns;
}

void check_editor(const LineEditor& editor, const Model& model, const Row& row, std::size_t key) {
    const std::string_view text = editor.text();
    require(text.size() <= LineEditor::max_bytes, "the line is over the cap", key);
    require(editor.cursor() <= text.size(), "the cursor is past the end of the line", key);
    require(editor.done() == model.done, "Enter was missed or made up", key);

    std::string want;
    std::size_t cursor_byte = 0;
    for (std::size_t i = 0; i < model.chars.size(); ++i) {
        if (i == model.cursor) cursor_byte = want.size();
        append_utf8(want, model.chars[i]);
    }
    if (model.cursor == model.chars.size()) cursor_byte = want.size();
    require(want.size() == model.bytes && cursor_byte == model.cursor_bytes,
            "the model lost count of its bytes", key);

    // Valid UTF-8 of characters with a column each, and the cursor on a boundary, follow
    // from the text being the model's; checked on their own for a clearer report.
    bool on_boundary = editor.cursor() == text.size();
    for (std::size_t at = 0; at < text.size();) {
        on_boundary = on_boundary || at == editor.cursor();
        const char32_t code = decode(text, at);
        require(code != invalid, "the line is not valid UTF-8", key);
        require(width_of(code) > 0, "the line holds a character without a column", key);
    }
    require(on_boundary, "the cursor is inside a character", key);
    require(text == want, "the line is not what was typed", key);
    require(editor.cursor() == cursor_byte, "the cursor is not where the keys put it", key);

    const std::size_t cursor_columns = columns_of(model.chars, model.cursor);
    // The editor counts columns afresh for each call; on a long line the terminal's cursor
    // below, which the echo moved by those counts, stands in for them.
    if (text.size() <= 4096) {
        const std::size_t all_columns = columns_of(model.chars, model.chars.size());
        require(editor.cursor_column() >= 0 &&
                    static_cast<std::size_t>(editor.cursor_column()) == cursor_columns,
                "cursor_column() is not the columns left of the cursor", key);
        require(editor.columns() >= 0 && static_cast<std::size_t>(editor.columns()) == all_columns,
                "columns() is not the columns of the line", key);
    }

    require(row.shows(model.chars), "the terminal does not show the line", key);
    if (!row.ended) require(row.cursor == cursor_columns, "the terminal's cursor is not the editor's", key);
}

struct Session {
    LineEditor editor;
    Model model;
    Row row;
    std::string echo;

    // Applies `key` and plays its echo. What costs no more than the key itself is checked
    // here; check_editor() is the whole line.
    void type(const Key& key, std::size_t index) {
        const std::size_t before = editor.text().size();
        const bool was_done = editor.done();
        echo.clear();
        editor.apply(key, echo);
        model.apply(key);
        if (was_done) require(echo.empty(), "a key after Enter echoed", index);
        if (key.kind == KeyKind::character && editor.text().size() == before)
            require(echo.empty(), "a refused character echoed", index);
        // The echo of one key is bounded by the line (backing over it, rewriting it,
        // blanking it), not by what came before.
        const std::size_t longer = std::max(before, editor.text().size());
        require(echo.size() <= 3 * longer + 8, "the echo of one key is out of proportion", index);
        // The last thing shown before Enter moves on is the whole line.
        if (key.kind == KeyKind::enter && !was_done) {
            require(echo.size() >= 2 && echo.ends_with("\r\n"), "Enter does not end the line", index);
            row.play(std::string_view(echo).substr(0, echo.size() - 2), index);
            require(row.shows(model.chars), "the terminal does not show the line at Enter", index);
            row.play("\r\n", index);
        } else {
            row.play(echo, index);
        }
        require(editor.text().size() == model.bytes, "the line is not as long as what was typed", index);
        require(editor.cursor() == model.cursor_bytes, "the cursor is not where the keys put it", index);
        require(editor.done() == model.done, "Enter was missed or made up", index);
    }

    void check(std::size_t index) const { check_editor(editor, model, row, index); }
};

// A line `room` bytes short of the cap, of characters of one, two and three bytes and of
// one and two columns, the cursor at the end. Typed once for each room, then copied.
const Session& filled(std::size_t room) {
    static std::vector<std::unique_ptr<Session>> sessions(16);
    std::unique_ptr<Session>& s = sessions.at(room);
    if (s) return *s;
    s = std::make_unique<Session>();
    const char32_t pattern[] = {U'a', U'\u754c', U'\u00e9', U'z'};
    std::size_t left = LineEditor::max_bytes - room;
    for (std::size_t i = 0; left > 0; ++i) {
        Key key = Key::character(pattern[i % 4]);
        if (key.size > left) key = Key::character(U'a');
        s->type(key, 0);
        left -= key.size;
    }
    s->check(0);
    return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned control = data[0];
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool near_cap = (control & 0x0E) == 0x02;
    if (near_cap) bytes = bytes.substr(0, 64);  // each key costs the whole line there

    const std::vector<Key> keys = decode_checked(bytes, control);

    Session s = near_cap ? filled(control >> 4) : Session{};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        s.type(keys[i], i);
        // The whole line after every key while it is short; on a long one (each check
        // costs the line) now and then and at the end.
        if (s.model.bytes <= 512 || i % 64 == 63 || i + 1 == keys.size()) s.check(i);
    }
    return 0;
}
