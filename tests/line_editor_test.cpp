#include "platform/line_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/keys.h"

namespace som {
namespace {

// One terminal row, enough of one to check an echo: printable characters (the wide
// ones this test types take two cells), backspace, CR, LF. Anything else in an echo is
// a fault. A cell is "" if never written; a wide character's second cell is `wide_tail`.
class Screen {
public:
    static constexpr const char* wide_tail = "\x01";

    explicit Screen(std::string_view prompt) {
        play(prompt);
        prompt_ = column_;
        leftmost_ = column_;
    }

    void play(std::string_view bytes) {
        for (std::size_t at = 0; at < bytes.size();) {
            const auto byte = static_cast<unsigned char>(bytes[at]);
            if (byte == '\b') {
                if (column_ > 0) --column_;
                leftmost_ = std::min(leftmost_, column_);
                ++at;
            } else if (byte == '\r') {
                column_ = 0;
                ++at;
            } else if (byte == '\n') {
                ++line_breaks_;
                ++at;
            } else if (byte < 0x20 || byte == 0x7F) {
                ADD_FAILURE() << "control byte " << int(byte) << " in the echo";
                ++at;
            } else {
                const std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
                // Of what this test types, only the CJK ideographs (lead E4–E9) are wide.
                const int width = length == 3 && byte >= 0xE4 && byte <= 0xE9 ? 2 : 1;
                put(std::string(bytes.substr(at, length)), width);
                at += length;
            }
        }
    }

    int prompt_columns() const { return prompt_; }
    int column() const { return column_; }
    int leftmost() const { return leftmost_; }
    int line_breaks() const { return line_breaks_; }

    // The text of cells [from, to), wide tails left out.
    std::string text(int from, int to) const {
        std::string shown;
        for (int c = from; c < to; ++c) {
            const std::string cell = c < static_cast<int>(cells_.size()) ? cells_[c] : "";
            if (cell != wide_tail) shown += cell.empty() ? "?" : cell;
        }
        return shown;
    }

    bool blank_from(int from) const {
        for (int c = from; c < static_cast<int>(cells_.size()); ++c)
            if (!cells_[c].empty() && cells_[c] != " ") return false;
        return true;
    }

private:
    void put(std::string character, int width) {
        if (cells_.size() < static_cast<std::size_t>(column_ + width + 1))
            cells_.resize(static_cast<std::size_t>(column_ + width + 1));
        // Overwriting either half of a wide character blanks the other half.
        for (int c = column_; c < column_ + width; ++c) {
            if (cells_[c] == wide_tail && c > 0) cells_[c - 1] = " ";
            if (cells_[c + 1] == wide_tail) cells_[c + 1] = " ";
        }
        cells_[column_] = std::move(character);
        if (width == 2) cells_[column_ + 1] = wide_tail;
        column_ += width;
    }

    std::vector<std::string> cells_;
    int column_ = 0;
    int prompt_ = 0;
    int leftmost_ = 0;
    int line_breaks_ = 0;
};

struct EditCase {
    const char* name;
    const char* typed;  // bytes from the terminal, through the key decoder
    const char* line;
    int cursor_column;
    bool done;
};

const EditCase edit_cases[] = {
    {"typing", "abc", "abc", 3, false},
    {"insert in the middle", "abc\x1b[D\x1b[DX", "aXbc", 2, false},
    {"insert at Home", "abc\x1b[HX", "Xabc", 1, false},
    {"End after Home", "abc\x1b[H\x1bOFd", "abcd", 4, false},
    {"Backspace at the end", "abc\x7f", "ab", 2, false},
    {"Backspace in the middle", "abcd\x1b[D\x1b[D\x08", "acd", 1, false},
    {"Backspace at the start does nothing", "ab\x1b[H\x7f", "ab", 0, false},
    {"Left stops at the start", "ab\x1b[D\x1b[D\x1b[D", "ab", 0, false},
    {"Right stops at the end", "ab\x1b[H\x1b[C\x1b[C\x1b[C", "ab", 2, false},
    {"Right over a character and insert", "abc\x1b[H\x1b[CX", "aXbc", 2, false},
    {"Esc clears the line", "abc\x1b", "", 0, false},
    {"Esc with the cursor in the middle, then typing", "abcdef\x1b[D\x1b[D\x1b\x1b[Dxy", "xy", 2,
     false},
    {"arrows with modifiers", "abc\x1b[1;5DX", "abXc", 3, false},
    {"keys that edit nothing", "a\x01\x1b[A\t\x1b[3~b", "ab", 2, false},
    {"multibyte characters", "\xc3\xa9\xe2\x82\xac\x1b[Da", "\xc3\xa9" "a\xe2\x82\xac", 2, false},
    {"Backspace over a multibyte character", "\xc3\xa9\xe2\x82\xac\x7f", "\xc3\xa9", 1, false},
    {"insert before wide characters", "\xe4\xb8\xad" "a\x1b[D\x1b[D\xc3\xa9",
     "\xc3\xa9\xe4\xb8\xad" "a", 1, false},
    {"Backspace over a wide character", "a\xe4\xb8\xad" "b\x1b[D\x7f", "ab", 1, false},
    {"Left over a wide character", "\xe4\xb8\xad\xe6\x96\x87\x1b[DX", "\xe4\xb8\xadX\xe6\x96\x87",
     3, false},
    {"Esc over wide characters", "\xe4\xb8\xad\xe6\x96\x87\x1b[D\x1b", "", 0, false},
    {"Enter ends the line", "ab\r", "ab", 2, true},
    {"Enter in the middle ends it whole", "abc\x1b[D\n", "abc", 2, true},
    {"keys after Enter are not this line's", "ab\rcd\x7f\x1b", "ab", 2, true},
};

TEST(LineEditorTest, EchoShowsTheLineAndTheCursor) {
    for (const EditCase& c : edit_cases) {
        SCOPED_TRACE(c.name);
        KeyDecoder decoder;
        std::vector<Key> keys;
        decoder.feed(c.typed, keys);
        decoder.flush(keys);

        LineEditor editor;
        Screen screen("Press Enter: ");
        const int start = screen.prompt_columns();
        std::string echo;
        for (const Key& key : keys) {
            echo.clear();
            editor.apply(key, echo);
            screen.play(echo);
            if (editor.done()) continue;
            // After every key, not only at the end: what is shown is the line.
            ASSERT_EQ(screen.text(start, start + editor.columns()), editor.text());
            ASSERT_TRUE(screen.blank_from(start + editor.columns()));
            ASSERT_EQ(screen.column(), start + editor.cursor_column());
        }

        EXPECT_EQ(editor.text(), c.line);
        EXPECT_EQ(editor.cursor_column(), c.cursor_column);
        EXPECT_EQ(editor.done(), c.done);
        EXPECT_EQ(screen.text(0, start), "Press Enter: ");  // the prompt is never touched
        EXPECT_GE(screen.leftmost(), start);
        EXPECT_EQ(screen.text(start, start + editor.columns()), editor.text());
        if (c.done) {
            EXPECT_EQ(screen.line_breaks(), 1);
            EXPECT_EQ(screen.column(), 0);
        } else {
            EXPECT_EQ(screen.line_breaks(), 0);
        }
    }
}

TEST(LineEditorTest, AVeryLongLineIsCappedAndNotEchoedPastTheCap) {
    LineEditor editor;
    const Key x = Key::character(U'x');
    std::string echo;
    std::size_t echoed = 0;
    for (int i = 0; i < 10'000'000; ++i) {
        editor.apply(x, echo);
        echoed += echo.size();
        echo.clear();
    }
    EXPECT_EQ(editor.text().size(), LineEditor::max_bytes);
    EXPECT_EQ(echoed, LineEditor::max_bytes);  // what the screen shows is what is kept

    // Room again after a Backspace; Enter still ends the line.
    editor.apply(Key::of(KeyKind::backspace), echo);
    editor.apply(Key::character(U'y'), echo);
    EXPECT_EQ(editor.text().size(), LineEditor::max_bytes);
    EXPECT_EQ(editor.text().back(), 'y');
    editor.apply(Key::of(KeyKind::enter), echo);
    EXPECT_TRUE(editor.done());
}

TEST(LineEditorTest, ACharacterThatDoesNotFitIsRefusedWhole) {
    LineEditor editor;
    std::string echo;
    for (std::size_t i = 0; i + 1 < LineEditor::max_bytes; ++i) editor.apply(Key::character(U'x'), echo);
    echo.clear();
    editor.apply(Key::character(U'\u20ac'), echo);  // three bytes, one free
    EXPECT_EQ(editor.text().size(), LineEditor::max_bytes - 1);
    EXPECT_EQ(echo, "");
    editor.apply(Key::character(U'\u00e9'), echo);  // two bytes, one free
    EXPECT_EQ(editor.text().size(), LineEditor::max_bytes - 1);
    editor.apply(Key::character(U'z'), echo);
    EXPECT_EQ(editor.text().size(), LineEditor::max_bytes);
    EXPECT_EQ(echo, "z");
}

}  // namespace
}  // namespace som
