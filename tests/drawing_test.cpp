// Lattice drawing: segment order, the canvas frame, depth colours, and erasing, with
// hand-set weights.
#include <gtest/gtest.h>

#include "engine/drawing.h"
#include "platform/canvas.h"
#include "support/engine_io.h"

namespace som {
namespace {

using test::Line;

TEST(CanvasFrame, WeightsAreRoundedHalfToEvenThenMovedBy300) {
    struct Case {
        Real w;
        int x;
    } const cases[] = {{0.5L, 300}, {1.5L, 302}, {2.5L, 302}, {-0.5L, 300}, {-1.5L, 298},
                       {-300, 0},   {300, 600},  {299.5L, 600}, {-483.2L, -183}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.w));
        EXPECT_EQ(canvas_coordinate(c.w), c.x);
    }
}

TEST(CanvasFrame, ACoordinatePast16BitsIsRunTimeError201) {
    EXPECT_EXIT(canvas_coordinate(40000.0L), testing::ExitedWithCode(201), "");
}

TEST(DepthColour, TwentyOneStepsFromDarkGreyToRed) {
    struct Case {
        Real a, b;
        int colour;
    } const cases[] = {{-300, -300, 20}, {-300, -270, 20}, {-300, -210, 22},
                       {0, 0, 30},       {300, 300, 40},   {-150, 150, 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.a + c.b));
        EXPECT_EQ(depth_colour(c.a, c.b), c.colour);
    }
}

// Neuron (I, J) at (10·I, J) so that every end point names its neuron.
template <class L>
void place(L& map) {
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            map.W1(I, J) = 10 * I - 300;
            map.W2(I, J) = J - 300;
            if constexpr (L::solid) map.W3(I, J) = 0;
        }
}

TEST(DrawLattice, TwoByTwoDrawsFourSegmentsAlongIThenAlongJ) {
    Lattice<2, 2, 2> map;
    place(map);
    test::RecordingIo pen;
    pen.colour = 7;
    draw_lattice(map, pen);
    EXPECT_EQ(pen.lines, (std::vector<Line>{
                             {10, 1, 20, 1, 7},  // (1,1)–(2,1)
                             {10, 2, 20, 2, 7},  // (1,2)–(2,2)
                             {10, 1, 10, 2, 7},  // (1,1)–(1,2)
                             {20, 1, 20, 2, 7},  // (2,1)–(2,2)
                         }));
    EXPECT_TRUE(pen.colours_set.empty());  // planar: the current colour is left alone
}

TEST(DrawLattice, TheChainDraws39SegmentsAndNothingAlongJ) {
    Lattice<40, 1, 2> chain;
    place(chain);
    test::RecordingIo pen;
    draw_lattice(chain, pen);
    ASSERT_EQ(pen.lines.size(), 39u);
    for (int I = 1; I <= 39; ++I) EXPECT_EQ(pen.lines[I - 1], (Line{10 * I, 1, 10 * I + 10, 1, 15}));
}

TEST(DrawLattice, SolidLatticeSetsADepthColourPerSegmentAndEndsInWhite) {
    Lattice<2, 2, 3> map;
    place(map);
    map.W3(1, 1) = -300, map.W3(2, 1) = -300;  // segment 1 deepest
    map.W3(1, 2) = 300, map.W3(2, 2) = 300;    // segment 2 highest
    test::RecordingIo pen;
    pen.colour = 4;
    draw_lattice(map, pen);
    EXPECT_EQ(pen.colours_set, (std::vector<int>{20, 40, 30, 30, 15}));
    EXPECT_EQ(pen.lines[0].colour, 20);
    EXPECT_EQ(pen.lines[1].colour, 40);
    EXPECT_EQ(pen.colour, 15);
}

TEST(EraseLattice, LeavesNoPixelOfTheLatticeLitNotEvenTheOutlineUnderIt) {
    Canvas canvas(601, 601);
    canvas.circle(300, 300, 300);
    Lattice<10, 10, 3> map;
    for (int I = 1; I <= 10; ++I)
        for (int J = 1; J <= 10; ++J) {
            map.W1(I, J) = 66.6L * I - 366;  // the first row and column lie on the rim
            map.W2(I, J) = 66.6L * J - 366;
            map.W3(I, J) = 30 * I - 150;
        }
    struct CanvasPen {
        Canvas& canvas;
        void set_color(std::uint16_t c) { canvas.set_color(c); }
        void line(std::int16_t a, std::int16_t b, std::int16_t c, std::int16_t d) { canvas.line(a, b, c, d); }
    } pen{canvas};
    const Image before = canvas.snapshot();
    draw_lattice(map, pen);
    EXPECT_NE(canvas.snapshot(), before);
    erase_lattice(map, pen);
    const Image after = canvas.snapshot();
    EXPECT_EQ(canvas.color(), 15);
    int outline_lost = 0;
    for (int y = 0; y < 601; ++y)
        for (int x = 0; x < 601; ++x) {
            ASSERT_TRUE(after.get(x, y) == 0 || after.get(x, y) == 15) << x << "," << y;
            if (after.get(x, y) == 15) {
                ASSERT_EQ(before.get(x, y), 15) << x << "," << y;
            }
            outline_lost += before.get(x, y) == 15 && after.get(x, y) == 0;
        }
    EXPECT_GT(outline_lost, 0);  // erasing blackens the outline where segments crossed it
}

TEST(DrawLattice, SegmentsOffTheCanvasAreClippedNotAnError) {
    Canvas canvas(601, 601);
    Lattice<2, 1, 2> map;
    map.W1(1, 1) = -483, map.W2(1, 1) = 0;
    map.W1(2, 1) = 483, map.W2(2, 1) = 0;
    struct CanvasPen {
        Canvas& canvas;
        void set_color(std::uint16_t c) { canvas.set_color(c); }
        void line(std::int16_t a, std::int16_t b, std::int16_t c, std::int16_t d) { canvas.line(a, b, c, d); }
    } pen{canvas};
    draw_lattice(map, pen);
    const Image image = canvas.snapshot();
    EXPECT_EQ(image.get(0, 300), 15);
    EXPECT_EQ(image.get(600, 300), 15);
}

}  // namespace
}  // namespace som
