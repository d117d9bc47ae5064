#include "platform/line_editor.h"

namespace som {
namespace {

bool continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// The text holds only whole characters that the decoder made, so decoding it back is
// simple.
int columns_of(std::string_view text) {
    int columns = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1 ? lead
                      : length == 2 ? lead & 0x1F
                      : length == 3 ? lead & 0x0F
                                    : lead & 0x07;
        for (int i = 1; i < length && at + i < text.size(); ++i)
            code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        columns += display_width(code);
        at += length;
    }
    return columns;
}

std::size_t previous_start(std::string_view text, std::size_t at) {
    do --at;
    while (at > 0 && continuation(text[at]));
    return at;
}

std::size_t next_start(std::string_view text, std::size_t at) {
    do ++at;
    while (at < text.size() && continuation(text[at]));
    return at;
}

void back(std::string& echo, int columns) { echo.append(static_cast<std::size_t>(columns), '\b'); }

}  // namespace

int LineEditor::cursor_column() const { return columns_of(text().substr(0, cursor_)); }

int LineEditor::columns() const { return columns_of(text()); }

void LineEditor::apply(const Key& key, std::string& echo) {
    if (done_) return;
    const std::string_view text = text_;
    switch (key.kind) {
        case KeyKind::character:
            insert(key, echo);
            break;
        case KeyKind::backspace:
            if (cursor_ > 0) erase_before(echo);
            break;
        case KeyKind::escape:
            clear(echo);
            break;
        case KeyKind::home:
            back(echo, cursor_column());
            cursor_ = 0;
            break;
        case KeyKind::end:
            echo.append(text.substr(cursor_));  // rewriting is how to move right
            cursor_ = text.size();
            break;
        case KeyKind::left:
            if (cursor_ > 0) {
                const std::size_t start = previous_start(text, cursor_);
                back(echo, columns_of(text.substr(start, cursor_ - start)));
                cursor_ = start;
            }
            break;
        case KeyKind::right:
            if (cursor_ < text.size()) {
                const std::size_t next = next_start(text, cursor_);
                echo.append(text.substr(cursor_, next - cursor_));
                cursor_ = next;
            }
            break;
        case KeyKind::enter:
            echo.append("\r\n");
            done_ = true;
            break;
        case KeyKind::other:
            break;
    }
}

void LineEditor::insert(const Key& key, std::string& echo) {
    if (text_.size() + key.size > max_bytes) return;
    text_.insert(cursor_, key.text());
    cursor_ += key.size;
    const std::string_view rest = std::string_view(text_).substr(cursor_);
    echo.append(key.text());
    echo.append(rest);
    back(echo, columns_of(rest));
}

void LineEditor::erase_before(std::string& echo) {
    const std::size_t start = previous_start(text_, cursor_);
    const int width = columns_of(std::string_view(text_).substr(start, cursor_ - start));
    text_.erase(start, cursor_ - start);
    cursor_ = start;
    // Back over the character, pull the rest left, blank the column it leaves free.
    const std::string_view rest = std::string_view(text_).substr(cursor_);
    back(echo, width);
    echo.append(rest);
    echo.append(static_cast<std::size_t>(width), ' ');
    back(echo, columns_of(rest) + width);
}

void LineEditor::clear(std::string& echo) {
    const int all = columns();
    back(echo, cursor_column());
    echo.append(static_cast<std::size_t>(all), ' ');
    back(echo, all);
    text_.clear();
    cursor_ = 0;
}

}  // namespace som
