// The training step (winner search, the Gaussian pull) with hand-set weights, the
// schedule's figures, and the display passes of a whole run, by recording its calls.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/training.h"
#include "support/engine_io.h"

namespace som {
namespace {

TEST(Winner, FirstInLatticeOrderAmongEqualDistances) {
    struct Case {
        const char* name;
        int I1, J1, I2, J2;  // the two nearest neurons, at the same distance
        int I, J;            // the winner
    } const cases[] = {
        {"(2,5) before (3,1)", 2, 5, 3, 1, 2, 5},
        {"(2,5) before (2,7)", 2, 5, 2, 7, 2, 5},
        {"(10,10) before nothing", 10, 10, 10, 10, 10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Distances<Lattice<10, 10, 2>> Y;
        for (int I = 1; I <= 10; ++I)
            for (int J = 1; J <= 10; ++J) Y(I, J) = 50;
        Y(c.I1, c.J1) = 7;
        Y(c.I2, c.J2) = 7;
        std::uint16_t GI, GJ;
        find_winner<Lattice<10, 10, 2>>(Y, GI, GJ);
        EXPECT_EQ(GI, c.I);
        EXPECT_EQ(GJ, c.J);
    }
}

TEST(TrainingStep, AllWeightsEqualMeansNeuron11Wins) {
    Lattice<3, 3, 2> map;
    for (int I = 1; I <= 3; ++I)
        for (int J = 1; J <= 3; ++J) map.W1(I, J) = 10, map.W2(I, J) = 0;
    Distances<Lattice<3, 3, 2>> Y;
    train_step(map, Sample{0, 0, 0}, 0.5L, 0.6L, Y);
    // The winner moves half way; its direct neighbours much less.
    EXPECT_EQ(map.W1(1, 1), 5);
    EXPECT_GT(map.W1(1, 2), 5);
    EXPECT_GT(map.W1(3, 3), map.W1(1, 2));
}

// A 10 × 10 lattice at (100, 100) with neuron (5, 5) at (10, 0); the sample at the origin.
struct PullFixture : testing::Test {
    Lattice<10, 10, 2> map;
    Distances<Lattice<10, 10, 2>> Y;
    void SetUp() override {
        for (int I = 1; I <= 10; ++I)
            for (int J = 1; J <= 10; ++J) map.W1(I, J) = 100, map.W2(I, J) = 100;
    }
    // The share of its way to the origin that neuron (I, J) moved.
    double moved(int I, int J, double from) const {
        return (from - static_cast<double>(map.W1(I, J))) / from;
    }
};

TEST_F(PullFixture, WinnerMovesAlfaOfItsWayNeighboursByTheGaussian) {
    map.W1(5, 5) = 10;
    map.W2(5, 5) = 0;
    train_step(map, Sample{0, 0, 0}, 0.065L, 2.4L, Y);
    EXPECT_NEAR(moved(5, 5, 10), 0.065, 1e-15);
    EXPECT_NEAR(static_cast<double>(map.W2(5, 5)), 0.0, 0.0);
    EXPECT_NEAR(moved(5, 6, 100), 0.065 * std::exp(-1.0 / (2 * 2.4 * 2.4)), 1e-12);  // about 6 %
    EXPECT_NEAR(moved(5, 6, 100), 0.0596, 1e-4);
    EXPECT_NEAR(moved(6, 6, 100), 0.065 * std::exp(-2.0 / (2 * 2.4 * 2.4)), 1e-12);
}

TEST_F(PullFixture, TheFarthestNeuronStillMoves) {
    map.W1(1, 1) = 10;
    map.W2(1, 1) = 0;
    train_step(map, Sample{0, 0, 0}, 0.065L, 2.4L, Y);
    // D2 = 162 from corner to corner.
    EXPECT_NEAR(moved(10, 10, 100), 5.1e-8, 0.1e-8);
    EXPECT_LT(map.W1(10, 10), 100);
}

TEST_F(PullFixture, ASampleOnANeuronLeavesThatNeuronWhereItIs) {
    map.W1(1, 1) = 0, map.W2(1, 1) = 0;  // wins
    map.W1(3, 3) = 0, map.W2(3, 3) = 0;  // ties, loses
    train_step(map, Sample{0, 0, 0}, 0.065L, 2.4L, Y);
    EXPECT_EQ(map.W1(1, 1), 0);
    EXPECT_EQ(map.W2(1, 1), 0);
    EXPECT_EQ(map.W1(3, 3), 0);
    EXPECT_EQ(map.W2(3, 3), 0);
}

TEST(TrainingStep, BothEndsOfTheChainMoveEveryStep) {
    Lattice<40, 1, 2> chain;
    for (int I = 1; I <= 40; ++I) chain.W1(I, 1) = I, chain.W2(I, 1) = 0;
    chain.W1(1, 1) = 0;  // at the origin, where even the smallest pull shows
    Distances<Lattice<40, 1, 2>> Y;
    train_step(chain, Sample{40, 0, 0}, 0.065L, 2.4L, Y);  // neuron 40 wins
    // D2 = 1521: the factor is about 4.6·10⁻⁵⁹, tiny but not 0.
    EXPECT_GT(chain.W1(1, 1), 0);
    EXPECT_LT(chain.W1(1, 1), 1e-50L);
    EXPECT_EQ(chain.W1(40, 1), 40);
}

TEST(TrainingStep, SolidStepPullsTheThirdComponent) {
    Lattice<2, 2, 3> map;
    for (int I = 1; I <= 2; ++I)
        for (int J = 1; J <= 2; ++J) map.W1(I, J) = 0, map.W2(I, J) = 0, map.W3(I, J) = 100;
    Distances<Lattice<2, 2, 3>> Y;
    train_step(map, Sample{0, 0, 0}, 0.5L, 0.6L, Y);
    EXPECT_EQ(map.W3(1, 1), 50);
}

TEST(Schedule, WidthReachesItsFloorInStep5502AndTheRateNever) {
    const Real DALFA = (Schedule::ALFA0 - Schedule::ALFA1) / Schedule::ALFAN;
    const Real DSIGM = (Schedule::SIGM0 - Schedule::SIGM1) / Schedule::SIGMN;
    Rates rates;
    EXPECT_EQ(rates.ALFAT, 0.065L);  // step 1
    EXPECT_EQ(rates.SIGMT, 2.4L);
    rates.lower(DALFA, DSIGM);
    EXPECT_EQ(rates.ALFAT, 0.065L - DALFA);  // step 2
    EXPECT_EQ(rates.SIGMT, 2.4L - DSIGM);
    for (int step = 3; step <= 5501; ++step) rates.lower(DALFA, DSIGM);
    // In step 5501 the width is just above the floor: the rounding of 5500 subtractions.
    EXPECT_GT(rates.SIGMT, Schedule::SIGM1);
    EXPECT_NEAR(static_cast<double>(rates.SIGMT - Schedule::SIGM1), 5e-17, 4e-17);
    rates.lower(DALFA, DSIGM);
    EXPECT_EQ(rates.SIGMT, Schedule::SIGM1);  // step 5502: clamped
    for (int step = 5503; step <= 10001; ++step) rates.lower(DALFA, DSIGM);
    // After step 10000, still above the floor, by about 8·10⁻¹⁸.
    EXPECT_GT(rates.ALFAT, Schedule::ALFA1);
    EXPECT_NEAR(static_cast<double>(rates.ALFAT - Schedule::ALFA1), 8e-18, 4e-18);
    EXPECT_EQ(rates.SIGMT, Schedule::SIGM1);
}

// Training with the cached neighbourhood factor against the plain one, past the step
// where the width settles: every weight the same, bit for bit.
template <class L>
void expect_cache_changes_nothing(std::uint32_t seed, int steps) {
    const Real DALFA = (Schedule::ALFA0 - Schedule::ALFA1) / Schedule::ALFAN;
    const Real DSIGM = (Schedule::SIGM0 - Schedule::SIGM1) / Schedule::SIGMN;
    std::mt19937 g(seed);
    auto random = [&](std::uint32_t n) { return random_below(g, n); };
    L plain, cached;
    initial_weights<Start::uniform>(plain, random);
    cached = plain;
    Distances<L> Y;
    CachedNeighbourhood<max_D2<L>> cache;
    Rates a, b;
    for (int N = 1; N <= steps; ++N) {
        const Sample x = L::solid ? sample_ball(random) : sample_disk(random);
        train_step(plain, x, a.ALFAT, a.SIGMT, Y);
        train_step(cached, x, b.ALFAT, b.SIGMT, Y, cache);
        a.lower(DALFA, DSIGM);
        b.lower(DALFA, DSIGM);
    }
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            ASSERT_EQ(std::memcmp(&plain.W1(I, J), &cached.W1(I, J), 10), 0) << I << "," << J;
            ASSERT_EQ(std::memcmp(&plain.W2(I, J), &cached.W2(I, J), 10), 0) << I << "," << J;
            if constexpr (L::solid) {
                ASSERT_EQ(std::memcmp(&plain.W3(I, J), &cached.W3(I, J), 10), 0) << I << "," << J;
            }
        }
}

TEST(TrainingStep, CachedNeighbourhoodIsBitIdenticalToPlain) {
    expect_cache_changes_nothing<Lattice<10, 10, 2>>(21, 10000);
    expect_cache_changes_nothing<Lattice<10, 10, 3>>(22, 10000);
    expect_cache_changes_nothing<Lattice<40, 1, 2>>(23, 6000);
    expect_cache_changes_nothing<Lattice<2, 2, 2>>(24, 10000);
    expect_cache_changes_nothing<Lattice<3, 3, 2>>(25, 10000);
}

// A whole run with recorded calls: counts of display passes and lines per program row.
template <Row R>
struct Recorded : Engine<R, test::RecordingIo> {
    using E = Engine<R, test::RecordingIo>;
    static void train(std::uint32_t seed) {
        static std::mt19937 g;
        g.seed(seed);
        E::io = {};
        E::io.random_source = [](std::uint32_t n) { return random_below(g, n); };
        E::DALFA = (E::ALFA0 - E::ALFA1) / E::ALFAN;
        E::DSIGM = (E::SIGM0 - E::SIGM1) / E::SIGMN;
        E::SULYOK();
        E::TANUL();
    }
};

constexpr Row animated_plane{10, 10, 2, Start::uniform, Domain::disk, 500, 3, 100, Colouring::none};
constexpr Row animated_chain{40, 1, 2, Start::uniform, Domain::disk, 1000, 2, 30, Colouring::random_points};
constexpr Row animated_ball{10, 10, 3, Start::uniform, Domain::ball, 1000, 5, 100, Colouring::none};
constexpr Row still_plane{10, 10, 2, Start::uniform, Domain::skewed_disk, 10000, 0, 0, Colouring::none};

TEST(TrainingRun, PlaneAnimationShows166PassesInWhiteAndBlack) {
    using P = Recorded<animated_plane>;
    P::train(1);
    EXPECT_EQ(P::io.delays, std::vector<int>(166, 100));
    ASSERT_EQ(P::io.lines.size(), 166u * 2 * 180 + 180);
    for (std::size_t pass = 0; pass < 166; ++pass) {
        EXPECT_EQ(P::io.lines[pass * 360].colour, 15);
        EXPECT_EQ(P::io.lines[pass * 360 + 180].colour, 0);
        // The black lattice erases exactly the white one.
        for (std::size_t k = 0; k < 180; ++k) {
            test::Line white = P::io.lines[pass * 360 + k], black = P::io.lines[pass * 360 + 180 + k];
            black.colour = 15;
            ASSERT_EQ(white, black);
        }
    }
    EXPECT_EQ(P::io.lines.back().colour, 15);  // the final drawing, in white
    EXPECT_EQ(P::io.colour, 15);
}

TEST(TrainingRun, ChainAnimationShows500PassesAndSolidAnimation200) {
    using C = Recorded<animated_chain>;
    C::train(2);
    EXPECT_EQ(C::io.delays, std::vector<int>(500, 30));
    EXPECT_EQ(C::io.lines.size(), 500u * 2 * 39 + 39);
    // The last pass follows step 1000 and erases the chain; the final drawing redraws it.
    for (std::size_t k = 0; k < 39; ++k) {
        test::Line erased = C::io.lines[C::io.lines.size() - 78 + k];
        const test::Line redrawn = C::io.lines[C::io.lines.size() - 39 + k];
        EXPECT_EQ(erased.colour, 0);
        erased.colour = 15;
        EXPECT_EQ(erased, redrawn);
    }

    using S = Recorded<animated_ball>;
    S::train(3);
    EXPECT_EQ(S::io.delays, std::vector<int>(200, 100));
    EXPECT_EQ(S::io.lines.size(), 200u * 2 * 180 + 180);
    for (const test::Line& l : S::io.lines) {
        SCOPED_TRACE(testing::Message() << l);
        EXPECT_TRUE(l.colour == 0 || (l.colour >= 20 && l.colour <= 40));
    }
    EXPECT_EQ(S::io.colour, 15);
}

TEST(TrainingRun, StillProgramsDrawTheLatticeOnceAtTheEnd) {
    using P = Recorded<still_plane>;
    P::train(4);
    EXPECT_TRUE(P::io.delays.empty());
    EXPECT_EQ(P::io.lines.size(), 180u);
    EXPECT_TRUE(P::io.colours_set.empty());
}

}  // namespace
}  // namespace som
