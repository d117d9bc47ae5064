// Region colouring: which points are painted, how often, and in whose colour.
#include <gtest/gtest.h>
#include <map>

#include "engine/colouring.h"
#include "platform/graph.h"
#include "support/engine_io.h"

namespace som {
namespace {

// Neurons of a 2 × 2 lattice in the four quadrants.
Lattice<2, 2, 2> quadrants() {
    Lattice<2, 2, 2> map;
    map.W1(1, 1) = -100, map.W2(1, 1) = -100;
    map.W1(1, 2) = 100, map.W2(1, 2) = -100;
    map.W1(2, 1) = -100, map.W2(2, 1) = 100;
    map.W1(2, 2) = 100, map.W2(2, 2) = 100;
    return map;
}

TEST(RasterColouring, PaintsEveryPointOfTheClosedDiskOnceAndNothingElse) {
    test::RecordingIo io;
    colour_raster(quadrants(), io);
    std::map<std::pair<int, int>, int> times;
    for (const auto& p : io.pixels) ++times[{p.x, p.y}];
    std::size_t inside = 0;
    for (int x = -300; x <= 300; ++x)
        for (int y = -300; y <= 300; ++y)
            if (x * x + y * y <= 90000) {
                ++inside;
                ASSERT_EQ((times[{x + 300, y + 300}]), 1) << x << "," << y;
            }
    EXPECT_EQ(io.pixels.size(), inside);
    // Column by column from the left, each column from the top.
    EXPECT_EQ(io.pixels.front().x, 0);
    EXPECT_EQ(io.pixels.front().y, 300);
    EXPECT_EQ(io.pixels[1].x, 1);
    EXPECT_EQ(io.pixels.back().x, 600);
}

TEST(RasterColouring, TheRimIsInsideTheCornersAreNot) {
    test::RecordingIo io;
    colour_raster(quadrants(), io);
    std::map<std::pair<int, int>, int> colour;
    for (const auto& p : io.pixels) colour[{p.x, p.y}] = p.colour;
    for (auto [x, y] : {std::pair{300, 0}, {0, -300}, {180, 240}, {212, 212}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_TRUE(colour.count({x + 300, y + 300}));
    }
    for (auto [x, y] : {std::pair{300, 1}, {212, 213}, {-300, -300}, {300, 300}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_FALSE(colour.count({x + 300, y + 300}));
    }
}

TEST(RasterColouring, ColoursCountTheLatticeRowByRowAndTiesGoToTheFirst) {
    test::RecordingIo io;
    colour_raster(quadrants(), io);
    std::map<std::pair<int, int>, int> colour;
    for (const auto& p : io.pixels) colour[{p.x - 300, p.y - 300}] = p.colour;
    EXPECT_EQ((colour[{-100, -100}]), 1);  // (1,1)
    EXPECT_EQ((colour[{100, -100}]), 2);   // (1,2)
    EXPECT_EQ((colour[{-100, 100}]), 3);   // (2,1)
    EXPECT_EQ((colour[{100, 100}]), 4);    // (2,2)
    EXPECT_EQ((colour[{0, -50}]), 1);      // equally near (1,1) and (1,2)
    EXPECT_EQ((colour[{0, 0}]), 1);        // equally near all four
    EXPECT_EQ((colour[{50, 0}]), 2);       // equally near (1,2) and (2,2)
}

TEST(RasterColouring, NineNeuronsGiveColoursOneToNine) {
    Lattice<3, 3, 2> map;
    for (int I = 1; I <= 3; ++I)
        for (int J = 1; J <= 3; ++J) map.W1(I, J) = 150 * (J - 2), map.W2(I, J) = 150 * (I - 2);
    test::RecordingIo io;
    colour_raster(map, io);
    std::map<std::pair<int, int>, int> colour;
    for (const auto& p : io.pixels) colour[{p.x - 300, p.y - 300}] = p.colour;
    for (int I = 1; I <= 3; ++I)
        for (int J = 1; J <= 3; ++J) {
            SCOPED_TRACE(testing::Message() << I << "," << J);
            EXPECT_EQ((colour[{150 * (J - 2), 150 * (I - 2)}]), (I - 1) * 3 + J);
        }
}

struct ChainFixture : testing::Test {
    Lattice<40, 1, 2> chain;
    std::mt19937 g{5};
    test::RecordingIo io;
    void SetUp() override {
        for (int I = 1; I <= 40; ++I) chain.W1(I, 1) = 15 * I - 300, chain.W2(I, 1) = 0;
        io.random_source = [this](std::uint32_t n) { return random_below(g, n); };
    }
};

TEST_F(ChainFixture, PaintsOnePointPerPollUntilTheKeyAndAtLeastOne) {
    for (std::uint64_t keys_after : {1u, 2u, 1000u}) {
        SCOPED_TRACE(keys_after);
        io.pixels.clear();
        io.key_polls = 0;
        io.keys_after = keys_after;
        colour_random_points(chain, io);
        EXPECT_EQ(io.pixels.size(), keys_after);
        EXPECT_EQ(io.key_polls, keys_after);
        for (const auto& p : io.pixels) {
            const int x = p.x - 300, y = p.y - 300;
            EXPECT_LE(x * x + y * y, 90000);
            EXPECT_GE(p.colour, 51);
            EXPECT_LE(p.colour, 90);
        }
    }
}

TEST_F(ChainFixture, APointTakesTheColourOfItsNearestLink) {
    // (300, 0): nearest to neuron 40 at 300; (−292, 0): to neuron 1 at −285; (22, 0):
    // neuron 21 at 15 is 7 away, neuron 22 at 30 is 8.
    test::ScriptedRandom random{{600, 300, 8, 300, 322, 300}};
    io.random_source = [&](std::uint32_t n) { return random(n); };
    io.keys_after = 3;
    colour_random_points(chain, io);
    ASSERT_EQ(io.pixels.size(), 3u);
    EXPECT_EQ(io.pixels[0].colour, 40 + 50);
    EXPECT_EQ(io.pixels[1].colour, 1 + 50);
    EXPECT_EQ(io.pixels[2].colour, 21 + 50);
}

TEST_F(ChainFixture, RejectedDrawsAreNotPolled) {
    test::ScriptedRandom random{{600, 600, 0, 0, 300, 300}};  // two corners, then the centre
    io.random_source = [&](std::uint32_t n) { return random(n); };
    io.keys_after = 1;
    colour_random_points(chain, io);
    EXPECT_EQ(random.next, 6u);
    ASSERT_EQ(io.pixels.size(), 1u);
    EXPECT_EQ(io.pixels[0].x, 300);
    EXPECT_EQ(io.key_polls, 1u);
}

}  // namespace
}  // namespace som
