// ROUND, RANDOM, the checked narrowing, and the schedule's decrements as extended reals.
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>

#include "engine/training.h"
#include "platform/graph.h"
#include "platform/numeric.h"

namespace som {
namespace {

TEST(Round, HalvesGoToTheEvenNeighbour) {
    struct Case {
        Real x;
        std::int32_t expected;
    } const cases[] = {
        {2.5L, 2},   {3.5L, 4},    {-2.5L, -2},  {-1.5L, -2}, {0.5L, 0},
        {1.5L, 2},   {-0.5L, 0},   {0.49999999999999999999L, 0},
        {2147483647.0L, 2147483647}, {-2147483648.5L, -2147483648},
        {299.5L, 300}, {300.5L, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.x));
        EXPECT_EQ(ROUND(c.x), c.expected);
    }
}

TEST(Round, OutsideThirtyTwoBitsIsRunTimeError207) {
    EXPECT_EXIT(ROUND(2147483647.5L), testing::ExitedWithCode(207), "");
    EXPECT_EXIT(ROUND(-2147483649.0L), testing::ExitedWithCode(207), "");
    EXPECT_EXIT(ROUND(NAN), testing::ExitedWithCode(207), "");
}

TEST(CheckedArithmetic, OverflowIs215AndNarrowingIs201) {
    EXPECT_EXIT(add32(INT32_MAX, 1), testing::ExitedWithCode(215), "");
    EXPECT_EXIT(mul32(65536, 65536), testing::ExitedWithCode(215), "");
    EXPECT_EXIT(sub32(INT32_MIN, 1), testing::ExitedWithCode(215), "");
    EXPECT_EXIT(to_int16(32768), testing::ExitedWithCode(201), "");
    EXPECT_EXIT(to_uint16(-1), testing::ExitedWithCode(201), "");
    EXPECT_EQ(to_int16(-32768), -32768);
    EXPECT_EQ(to_uint16(65535), 65535);
}

TEST(Random, IsTheUpperPartOfOneGeneratorDrawTimesN) {
    std::mt19937 a(12345), b(12345);
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t u = b();
        EXPECT_EQ(random_below(a, 601), static_cast<std::uint32_t>((u * 601) >> 32));
    }
}

TEST(Random, Of601YieldsEveryValueFrom0To600AndNothingElse) {
    std::mt19937 g(1);
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t v = random_below(g, 601);
        ASSERT_LT(v, 601u);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 601u);
}

std::string digits22(Real x) {
    char text[64];
    std::snprintf(text, sizeof text, "%.21Le", x);
    return text;
}

TEST(Schedule, DecrementsAreRoundedInExtendedPrecision) {
    const Real DALFA = (Schedule::ALFA0 - Schedule::ALFA1) / Schedule::ALFAN;
    const Real DSIGM = (Schedule::SIGM0 - Schedule::SIGM1) / Schedule::SIGMN;
    EXPECT_EQ(digits22(DALFA), "6.489000000000000000274e-06");
    EXPECT_EQ(digits22(DSIGM), "3.272727272727272727430e-04");
}

}  // namespace
}  // namespace som
