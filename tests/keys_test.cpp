#include "platform/keys.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace som {
namespace {

// Keys written the way the table reads: characters quoted, the others by name.
std::string describe(const std::vector<Key>& keys) {
    std::string text;
    for (const Key& key : keys) {
        if (!text.empty()) text += ' ';
        switch (key.kind) {
            case KeyKind::character: text += "'" + std::string(key.text()) + "'"; break;
            case KeyKind::enter: text += "<Enter>"; break;
            case KeyKind::backspace: text += "<Bs>"; break;
            case KeyKind::escape: text += "<Esc>"; break;
            case KeyKind::home: text += "<Home>"; break;
            case KeyKind::end: text += "<End>"; break;
            case KeyKind::left: text += "<Left>"; break;
            case KeyKind::right: text += "<Right>"; break;
            case KeyKind::other: text += "<Other>"; break;
        }
    }
    return text;
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    bool ends_inside_a_key;  // so the keys are complete only after flush()
    const char* keys;
};

const DecodeCase decode_cases[] = {
    {"printable ASCII", "aZ1 ~", false, "'a' 'Z' '1' ' ' '~'"},
    {"CR and LF are each Enter", "a\rb\n\r\n", false, "'a' <Enter> 'b' <Enter> <Enter> <Enter>"},
    {"DEL and BS are Backspace", "\x7f\x08", false, "<Bs> <Bs>"},
    {"UTF-8 of two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xe4\xb8\xad\xf0\x9f\x98\x80",
     false, "'\xc3\xa9' '\xe2\x82\xac' '\xe4\xb8\xad' '\xf0\x9f\x98\x80'"},
    {"control characters are keys without effect", std::string("\0\x01\x04\t", 4), false,
     "<Other> <Other> <Other> <Other>"},

    {"lone Esc once input is quiet", "a\x1b", true, "'a' <Esc>"},
    {"Esc Esc typed ahead", "\x1b\x1b", true, "<Esc> <Esc>"},
    {"Esc then a letter typed ahead", "\x1b" "a", false, "<Esc> 'a'"},
    {"Esc then Enter", "\x1b\r", false, "<Esc> <Enter>"},

    {"CSI Home and End", "\x1b[H\x1b[F", false, "<Home> <End>"},
    {"VT220 Home and End", "\x1b[1~\x1b[4~", false, "<Home> <End>"},
    {"rxvt Home and End", "\x1b[7~\x1b[8~", false, "<Home> <End>"},
    {"SS3 Home and End", "\x1bOH\x1bOF", false, "<Home> <End>"},
    {"CSI and SS3 arrows", "\x1b[D\x1b[C\x1bOD\x1bOC", false, "<Left> <Right> <Left> <Right>"},
    {"arrows and Home with modifiers", "\x1b[1;5C\x1b[1;2D\x1b[1;3H\x1b[4;5~", false,
     "<Right> <Left> <Home> <End>"},
    {"leading zeros in the parameter", "\x1b[001~", false, "<Home>"},

    {"up, down, Delete, Insert, F5 are ignored whole", "\x1b[A\x1b[B\x1b[3~\x1b[2~\x1b[15~x",
     false, "<Other> <Other> <Other> <Other> <Other> 'x'"},
    {"SS3 function keys are ignored whole", "\x1bOPx", false, "<Other> 'x'"},
    {"Linux console F1 is ignored whole", "\x1b[[Ax", false, "<Other> 'x'"},
    {"private and mouse sequences are ignored whole", "\x1b[?1;2c\x1b[<0;12;5Mx", false,
     "<Other> <Other> 'x'"},
    {"intermediate bytes make a sequence not an arrow", "\x1b[1 Cx", false, "<Other> 'x'"},
    {"bracketed paste markers around text", "\x1b[200~hi\x1b[201~", false,
     "<Other> 'h' 'i' <Other>"},
    {"a huge parameter saturates", "\x1b[99999999999999999999~", false, "<Other>"},

    {"a control byte breaks off a sequence", "\x1b[1\x01" "a", false, "<Other> <Other> 'a'"},
    {"Esc breaks off a sequence and starts the next", "\x1b[1\x1b[C", false, "<Other> <Right>"},
    {"a UTF-8 lead byte breaks off a sequence", "\x1b[\xc3\xa9", false, "<Other> '\xc3\xa9'"},
    {"cut-off CSI once input is quiet", "\x1b[1;", true, "<Other>"},
    {"cut-off SS3 once input is quiet", "\x1bO", true, "<Other>"},

    {"stray continuation bytes", "\x80\xbf" "a", false, "<Other> <Other> 'a'"},
    {"overlong two-byte forms", "\xc0\xaf\xc1\xbf", false, "<Other> <Other> <Other> <Other>"},
    {"overlong three-byte form", "\xe0\x80\xaf", false, "<Other> <Other> <Other>"},
    {"UTF-16 surrogate", "\xed\xa0\x80", false, "<Other> <Other> <Other>"},
    {"past U+10FFFF", "\xf4\x90\x80\x80\xf5", false, "<Other> <Other> <Other> <Other> <Other>"},
    {"a character cut off by ASCII", "\xe2\x82" "a", false, "<Other> 'a'"},
    {"a character cut off by Enter", "\xf0\x9f\x98\r", false, "<Other> <Enter>"},
    {"a character cut off at the end", "\xe2\x82", true, "<Other>"},
    {"C1 control as UTF-8", "\xc2\x85", false, "<Other>"},
    {"zero-width and combining characters", "\xe2\x80\x8b\xcc\x81", false, "<Other> <Other>"},
};

TEST(KeysTest, DecodesByteStreamsWholeAndByteByByte) {
    for (const DecodeCase& c : decode_cases) {
        SCOPED_TRACE(c.name);

        KeyDecoder whole;
        std::vector<Key> keys;
        whole.feed(c.bytes, keys);
        EXPECT_EQ(whole.pending(), c.ends_inside_a_key);
        whole.flush(keys);
        EXPECT_FALSE(whole.pending());
        EXPECT_EQ(describe(keys), c.keys);

        // However the reads cut the stream, the keys are the same.
        KeyDecoder bytewise;
        std::vector<Key> one_by_one;
        for (char byte : c.bytes) bytewise.feed(std::string_view(&byte, 1), one_by_one);
        bytewise.flush(one_by_one);
        EXPECT_EQ(describe(one_by_one), c.keys);
    }
}

TEST(KeysTest, EscapeWaitsForQuietOnlyWhenAlone) {
    KeyDecoder decoder;
    std::vector<Key> keys;
    decoder.feed("\x1b", keys);
    EXPECT_TRUE(keys.empty());
    // The rest of an arrow arriving in a later read still makes the arrow.
    decoder.feed("[D", keys);
    EXPECT_EQ(describe(keys), "<Left>");
    EXPECT_FALSE(decoder.pending());

    // flush() with nothing held adds nothing.
    decoder.flush(keys);
    EXPECT_EQ(describe(keys), "<Left>");
}

TEST(KeysTest, CharacterKeysCarryTheirCodeAndBytes) {
    KeyDecoder decoder;
    std::vector<Key> keys;
    decoder.feed("A\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", keys);
    ASSERT_EQ(keys.size(), 4u);
    const char32_t codes[] = {U'A', U'\u00e9', U'\u4e2d', U'\U0001F600'};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].code, codes[i]);
        EXPECT_EQ(keys[i], Key::character(codes[i]));
    }
    EXPECT_EQ(display_width(U'A'), 1);
    EXPECT_EQ(display_width(U'\u00e9'), 1);
    EXPECT_EQ(display_width(U'\u4e2d'), 2);
    EXPECT_EQ(display_width(U'\U0001F600'), 2);
    EXPECT_EQ(display_width(U'\u0301'), 0);
    EXPECT_EQ(display_width(U'\u0085'), 0);
}

TEST(KeysTest, AnEndlessSequenceCostsNothingAndEndsAsOneKey) {
    KeyDecoder decoder;
    std::vector<Key> keys;
    decoder.feed("\x1b[1", keys);
    const std::string parameters(1 << 20, ';');
    for (int i = 0; i < 10; ++i) decoder.feed(parameters, keys);
    EXPECT_TRUE(keys.empty());
    decoder.feed("C", keys);
    EXPECT_EQ(describe(keys), "<Right>");
}

// Any bytes at all, cut anywhere: only whole, printable characters come out as
// character keys, and never more keys than bytes.
TEST(KeysTest, ArbitraryBytesGiveOnlyWholeCharacters) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> cut(1, 64);
    KeyDecoder decoder;
    std::vector<Key> keys;
    std::size_t fed = 0;
    std::size_t key_count = 0;
    std::string chunk;
    while (fed < 10'000'000) {
        chunk.resize(static_cast<std::size_t>(cut(random)));
        for (char& b : chunk) b = static_cast<char>(byte(random));
        decoder.feed(chunk, keys);
        fed += chunk.size();
        for (const Key& key : keys) {
            if (key.kind != KeyKind::character) continue;
            ASSERT_EQ(key, Key::character(key.code));
            ASSERT_GT(display_width(key.code), 0);
        }
        key_count += keys.size();
        keys.clear();
    }
    decoder.flush(keys);
    key_count += keys.size();
    EXPECT_LE(key_count, fed);
    EXPECT_GT(key_count, 0u);
}

}  // namespace
}  // namespace som
