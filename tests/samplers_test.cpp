// The input samplers and the starting weights, driven by scripted RANDOM results:
// which candidates are accepted, how the skewed disk flips signs, and how many draws
// each attempt takes.
#include <cmath>
#include <gtest/gtest.h>

#include "engine/samplers.h"
#include "support/engine_io.h"

namespace som {
namespace {

using test::ScriptedRandom;

// RANDOM(601) result for a coordinate.
std::uint32_t at(int coordinate) { return static_cast<std::uint32_t>(coordinate + 300); }

struct PlanarCase {
    const char* name;
    int x, y;
    bool accepted;
};

const PlanarCase disk_cases[] = {
    {"(300, 0) on the rim", 300, 0, true},     {"(0, -300) on the rim", 0, -300, true},
    {"(180, 240) on the rim", 180, 240, true}, {"(-212, 212) inside", -212, 212, true},
    {"(-300, 0), RANDOM = 0", -300, 0, true},  {"(300, 1) just outside", 300, 1, false},
    {"(213, 212) just outside", 213, 212, false}, {"(300, 300) a corner", 300, 300, false},
};

TEST(DiskSampler, AcceptsTheClosedDiskAndDrawsARejectedCandidateAnew) {
    for (const PlanarCase& c : disk_cases) {
        SCOPED_TRACE(c.name);
        ScriptedRandom random{{at(c.x), at(c.y), at(7), at(-9)}};
        const Sample s = sample_disk(random);
        if (c.accepted) {
            EXPECT_EQ(s.X1, c.x);
            EXPECT_EQ(s.X2, c.y);
            EXPECT_EQ(random.next, 2u);
        } else {
            EXPECT_EQ(s.X1, 7);
            EXPECT_EQ(s.X2, -9);
            EXPECT_EQ(random.next, 4u);
        }
        for (std::uint32_t n : random.asked) EXPECT_EQ(n, 601u);
    }
}

TEST(SkewedDiskSampler, MakesX1NegativeOnlyWhenTheFiveWayDrawIsZero) {
    struct Case {
        const char* name;
        int x, y;
        std::uint32_t five;
        int expected_x;
    } const cases[] = {
        {"negative made positive", -120, 50, 3, 120},
        {"positive made negative", 120, 50, 0, -120},
        {"positive stays positive", 120, 50, 4, 120},
        {"negative stays negative", -120, 50, 0, -120},
        {"zero stays zero", 0, 50, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRandom random{{at(c.x), at(c.y), c.five}};
        const Sample s = sample_skewed_disk(random);
        EXPECT_EQ(s.X1, c.expected_x);
        EXPECT_EQ(s.X2, c.y);
        EXPECT_EQ(random.asked, (std::vector<std::uint32_t>{601, 601, 5}));
    }
}

TEST(SkewedDiskSampler, ARejectedCandidateRepeatsAllThreeDraws) {
    ScriptedRandom random{{at(300), at(1), 1, at(-10), at(20), 0}};
    const Sample s = sample_skewed_disk(random);
    EXPECT_EQ(s.X1, -10);
    EXPECT_EQ(s.X2, 20);
    EXPECT_EQ(random.asked, (std::vector<std::uint32_t>{601, 601, 5, 601, 601, 5}));
}

TEST(BallSampler, AcceptsTheClosedBall) {
    struct Case {
        int x, y, z;
        bool accepted;
    } const cases[] = {
        {173, 173, 173, true}, {100, 200, 200, true}, {0, 0, -300, true},
        {174, 174, 174, false}, {100, 200, 201, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << "," << c.z);
        ScriptedRandom random{{at(c.x), at(c.y), at(c.z), at(1), at(2), at(3)}};
        const Sample s = sample_ball(random);
        EXPECT_EQ(random.next, c.accepted ? 3u : 6u);
        EXPECT_EQ(s.X1, c.accepted ? c.x : 1);
        EXPECT_EQ(s.X2, c.accepted ? c.y : 2);
        EXPECT_EQ(s.X3, c.accepted ? c.z : 3);
    }
}

TEST(GaussSampler, TakesTwoDrawsOf999PerSample) {
    ScriptedRandom random{{0, 249}};
    const Sample s = sample_gauss(random, 130.0L);
    EXPECT_EQ(random.asked, (std::vector<std::uint32_t>{999, 999}));
    // U1 = 0.001, U2 = 0.25: on the positive X2 axis, 130·√(−2 ln 0.001) away.
    EXPECT_NEAR(static_cast<double>(s.X1), 0.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(s.X2), 483.2, 0.1);
    EXPECT_NEAR(static_cast<double>(s.X2), 130.0 * std::sqrt(-2.0 * std::log(0.001)), 1e-9);
}

TEST(GaussSampler, TheLargestU1GivesTheInnermostCircle) {
    for (std::uint32_t k : {0u, 100u, 500u, 998u}) {
        SCOPED_TRACE(k);
        ScriptedRandom random{{998, k}};
        const Sample s = sample_gauss(random, 130.0L);
        EXPECT_NEAR(std::hypot(static_cast<double>(s.X1), static_cast<double>(s.X2)), 5.81, 0.01);
    }
}

TEST(InitialWeights, UniformStartRejectsOutsideTheDiskNeuronByNeuron) {
    Lattice<2, 2, 2> map;
    // (1,1) accepted at once, (1,2) after a corner, (2,1) and (2,2) at once.
    ScriptedRandom random{{at(300), at(0), at(300), at(300), at(-1), at(2), at(3), at(4), at(5), at(6)}};
    initial_weights<Start::uniform>(map, random);
    EXPECT_EQ(random.next, random.script.size());
    EXPECT_EQ(map.W1(1, 1), 300);
    EXPECT_EQ(map.W2(1, 1), 0);
    EXPECT_EQ(map.W1(1, 2), -1);
    EXPECT_EQ(map.W2(1, 2), 2);
    EXPECT_EQ(map.W1(2, 1), 3);
    EXPECT_EQ(map.W1(2, 2), 5);
    EXPECT_EQ(map.W2(2, 2), 6);
}

TEST(InitialWeights, SolidStartDrawsThreeComponentsInTheBall) {
    Lattice<1, 1, 3> map;
    ScriptedRandom random{{at(100), at(200), at(201), at(100), at(200), at(200)}};
    initial_weights<Start::uniform>(map, random);
    EXPECT_EQ(random.next, 6u);
    EXPECT_EQ(map.W3(1, 1), 200);
}

TEST(InitialWeights, UniformWeightsAreWholeNumbersInTheDisk) {
    Lattice<40, 1, 2> chain;
    std::mt19937 g(7);
    auto random = [&](std::uint32_t n) { return static_cast<std::uint32_t>((std::uint64_t(g()) * n) >> 32); };
    initial_weights<Start::uniform>(chain, random);
    for (int I = 1; I <= 40; ++I) {
        SCOPED_TRACE(I);
        const Real x = chain.W1(I, 1), y = chain.W2(I, 1);
        EXPECT_EQ(x, truncl(x));
        EXPECT_EQ(y, truncl(y));
        EXPECT_LE(x * x + y * y, 90000);
    }
}

TEST(InitialWeights, GaussianStartTakesTwoDrawsPerNeuronAtRadius110Root) {
    Lattice<10, 10, 2> map;
    ScriptedRandom random;
    for (int k = 0; k < 200; ++k) random.script.push_back(static_cast<std::uint32_t>((k * 37) % 999));
    initial_weights<Start::gauss>(map, random);
    EXPECT_EQ(random.next, 200u);
    for (int I = 1; I <= 10; ++I)
        for (int J = 1; J <= 10; ++J) {
            SCOPED_TRACE(testing::Message() << I << "," << J);
            const std::size_t first = static_cast<std::size_t>(((I - 1) * 10 + (J - 1)) * 2);
            const double U1 = random.script[first] / 1000.0 + 0.001;
            const double r2 = static_cast<double>(map.W1(I, J) * map.W1(I, J) + map.W2(I, J) * map.W2(I, J));
            EXPECT_NEAR(r2, 110.0 * 110.0 * (-2.0 * std::log(U1)), 1e-6 * (1 + r2));
        }
}

}  // namespace
}  // namespace som
