// The training metrics on hand-set lattices: the quantization error is the mean distance
// to the winner, the topographic error the share of points whose two nearest neurons
// are not lattice neighbours.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

#include "tools/metrics.h"

namespace som {
namespace {

// A 2 × 2 lattice: (1,1) at (0,0), (1,2) at (10,0), (2,1) at (0,10), (2,2) at (10,10).
struct Square {
    Real W1[4] = {0, 10, 0, 10};
    Real W2[4] = {0, 0, 10, 10};
    StepReport report() const { return {100, 0, 0, 2, 2, 2, Domain::disk, W1, W2, nullptr}; }
};

// The same lattice folded: (2,2) lies beside (1,1), its lattice diagonal.
struct Folded : Square {
    Folded() {
        W1[1] = 0, W2[1] = 50;   // (1,2)
        W1[2] = 10, W2[2] = 50;  // (2,1)
        W1[3] = 10, W2[3] = 0;   // (2,2)
    }
};

TEST(TrainingMetrics, MeasureDistancesAndNeighbourhoods) {
    Square square;
    Folded folded;
    struct Case {
        const char* name;
        const Square& lattice;
        std::vector<Sample> samples;
        double quantization, topographic;
    } const cases[] = {
        {"on a neuron", square, {{0, 0, 0}}, 0.0, 0.0},
        {"between (1,1) and (1,2): neighbours", square, {{5, 1, 0}}, std::hypot(5.0, 1.0), 0.0},
        {"nearest (2,2), then (1,2): neighbours", square, {{6, 6, 0}}, std::hypot(4.0, 4.0), 0.0},
        {"folded: nearest (1,1), then (2,2)", folded, {{4, 0, 0}}, 4.0, 1.0},
        {"folded, both kinds", folded, {{4, 0, 0}, {0, 25, 0}}, (4.0 + 25.0) / 2, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto e = TrainingMetrics::measure(c.lattice.report(), c.samples);
        EXPECT_NEAR(e.quantization, c.quantization, 1e-12);
        EXPECT_DOUBLE_EQ(e.topographic, c.topographic);
    }
}

TEST(TrainingMetrics, RowsEveryHundredStepsAndAfterTheLast) {
    Square square;
    TrainingMetrics metrics;
    for (int N = 1; N <= 250; ++N) {
        StepReport r = square.report();
        r.N = N;
        step_observer(r);
    }
    const std::string csv = metrics.csv();
    EXPECT_EQ(csv.rfind("step,ALFAT,SIGMT,quantization_error,topographic_error\n100,", 0), 0u) << csv;
    EXPECT_NE(csv.find("\n200,"), std::string::npos);
    EXPECT_NE(csv.find("\n250,"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
}

TEST(TrainingMetrics, StopsWatchingWhenGone) {
    { TrainingMetrics metrics; }
    EXPECT_EQ(step_observer, nullptr);
}

}  // namespace
}  // namespace som
