// Test doubles for the engine's Io: a generator that plays back a script of RANDOM
// results (and records what n each call asked for), and a recorder of drawing calls.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <random>
#include <gtest/gtest.h>
#include <vector>

namespace som::test {

struct ScriptedRandom {
    ScriptedRandom(std::initializer_list<std::uint32_t> values = {}) : script(values) {}

    std::vector<std::uint32_t> script;
    std::size_t next = 0;
    std::vector<std::uint32_t> asked;  // the n of every call

    std::uint32_t operator()(std::uint32_t n) {
        asked.push_back(n);
        if (next >= script.size()) {
            ADD_FAILURE() << "RANDOM called more often than scripted";
            return 0;
        }
        EXPECT_LT(script[next], n) << "scripted value out of RANDOM's range";
        return script[next++];
    }
};

struct Line {
    int x1, y1, x2, y2;
    int colour;
    bool operator==(const Line&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Line& l) {
    return out << "(" << l.x1 << "," << l.y1 << ")-(" << l.x2 << "," << l.y2 << ") in " << l.colour;
}

// Records every call; random() asks `random_source`, key_pressed() turns true at poll
// number `keys_after`.
struct RecordingIo {
    std::function<std::uint32_t(std::uint32_t)> random_source;

    int colour = 15;
    std::vector<int> colours_set;
    std::vector<Line> lines;
    struct Pixel {
        int x, y, colour;
    };
    std::vector<Pixel> pixels;
    std::vector<int> delays;
    std::uint64_t key_polls = 0;
    std::uint64_t keys_after = UINT64_MAX;

    std::uint32_t random(std::uint32_t n) { return random_source(n); }
    void set_color(std::uint16_t c) {
        colour = c;
        colours_set.push_back(c);
    }
    void line(std::int16_t x1, std::int16_t y1, std::int16_t x2, std::int16_t y2) {
        lines.push_back({x1, y1, x2, y2, colour});
    }
    void put_pixel(std::int16_t x, std::int16_t y, std::uint16_t c) { pixels.push_back({x, y, c}); }
    void delay(std::uint16_t ms) { delays.push_back(ms); }
    bool key_pressed() { return ++key_polls >= keys_after; }
    void activity(const char*) {}
};

}  // namespace som::test
