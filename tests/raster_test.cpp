// The raster core: lines (clipping, both ends, the tie rule, the direction they are
// drawn in), circles and pixels, compared with small pictures.
#include <cmath>
#include <gtest/gtest.h>
#include <string>

#include "platform/raster.h"

namespace som {
namespace {

// '#' for colour 15, '.' for 0; rows top to bottom.
std::string picture(const Image& image) {
    std::string text;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) text += image.get(x, y) == 0 ? '.' : '#';
        text += '\n';
    }
    return text;
}

struct LineCase {
    const char* name;
    int width, height;
    int x1, y1, x2, y2;
    const char* expected;
};

const LineCase line_cases[] = {
    {"ties step diagonally, from the first end", 5, 3, 0, 0, 4, 2,
     "#....\n"
     ".##..\n"
     "...##\n"},
    {"the same line drawn the other way", 5, 3, 4, 2, 0, 0,
     "##...\n"
     "..##.\n"
     "....#\n"},
    {"one point", 3, 3, 1, 1, 1, 1,
     "...\n"
     ".#.\n"
     "...\n"},
    {"vertical, both ends included", 3, 4, 1, 3, 1, 0,
     ".#.\n"
     ".#.\n"
     ".#.\n"
     ".#.\n"},
    {"clipped at the left", 4, 3, -2, 1, 3, 1,
     "....\n"
     "####\n"
     "....\n"},
    {"clipped on both sides, intersections truncated toward 0", 4, 4, 3, -3, 0, 4,
     "..#.\n"
     "..#.\n"
     ".#..\n"
     ".#..\n"},
    {"clipped at the left, then drawn from the intersection", 4, 4, -3, 0, 3, 2,
     "....\n"
     "##..\n"
     "..##\n"
     "....\n"},
    {"wholly outside", 3, 3, -5, -5, -1, -1,
     "...\n"
     "...\n"
     "...\n"},
    {"far outside on 16-bit end points", 4, 4, -32768, -32768, 32767, 32767,
     "#...\n"
     ".#..\n"
     "..#.\n"
     "...#\n"},
};

TEST(DrawLine, MatchesThePicture) {
    for (const LineCase& c : line_cases) {
        SCOPED_TRACE(c.name);
        Image image(c.width, c.height);
        draw_line(image, c.x1, c.y1, c.x2, c.y2, 15);
        EXPECT_EQ(picture(image), c.expected);
    }
}

TEST(DrawLine, DrawsMaxOfDxDyPlusOnePixels) {
    struct Case {
        int x1, y1, x2, y2;
    } const cases[] = {{0, 0, 9, 3}, {9, 0, 0, 9}, {2, 7, 8, 1}, {0, 5, 9, 5}, {3, 0, 4, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2);
        Image image(10, 10);
        draw_line(image, c.x1, c.y1, c.x2, c.y2, 15);
        int lit = 0;
        for (std::uint8_t p : image.pixels()) lit += p != 0;
        EXPECT_EQ(lit, std::max(std::abs(c.x2 - c.x1), std::abs(c.y2 - c.y1)) + 1);
        EXPECT_EQ(image.get(c.x1, c.y1), 15);
        EXPECT_EQ(image.get(c.x2, c.y2), 15);
    }
}

TEST(DrawLine, ReportsTheRectangleItChanged) {
    Image image(10, 10);
    const Rect r = draw_line(image, 8, -4, 2, 6, 15);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (image.get(x, y) != 0) {
                EXPECT_GE(x, r.x0);
                EXPECT_LE(x, r.x1);
                EXPECT_GE(y, r.y0);
                EXPECT_LE(y, r.y1);
            }
    EXPECT_TRUE(draw_line(image, -9, -9, -1, -1, 15).empty());
}

TEST(DrawCircle, SmallRadii) {
    struct Case {
        unsigned radius;
        const char* expected;
    } const cases[] = {
        {0, ".....\n.....\n.....\n.....\n.....\n"},
        {1, ".....\n.....\n..#..\n.....\n.....\n"},
        {2, ".###.\n#...#\n#...#\n#...#\n.###.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radius);
        Image image(5, 5);
        draw_circle(image, 2, 2, c.radius, 15);
        EXPECT_EQ(picture(image), c.expected);
    }
}

TEST(DrawCircle, DomainOutlineReachesTheFourExtremesAndStaysOnTheRim) {
    Image image(601, 601);
    draw_circle(image, 300, 300, 300, 15);
    for (auto [x, y] : {std::pair{0, 300}, {600, 300}, {300, 0}, {300, 600}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        EXPECT_EQ(image.get(x, y), 15);
    }
    int lit = 0;
    for (int y = 0; y < 601; ++y)
        for (int x = 0; x < 601; ++x)
            if (image.get(x, y) != 0) {
                ++lit;
                const double d = std::hypot(x - 300.0, y - 300.0);
                EXPECT_NEAR(d, 300.0, 1.0) << x << "," << y;
                EXPECT_EQ(image.get(600 - x, y), 15) << "mirror of " << x << "," << y;
                EXPECT_EQ(image.get(x, 600 - y), 15) << "mirror of " << x << "," << y;
            }
    EXPECT_GT(lit, 1500);  // a closed outline, not a handful of dots
}

TEST(DrawCircle, IsClippedOnAShortCanvas) {
    Image image(601, 400);
    draw_circle(image, 300, 300, 300, 15);
    EXPECT_EQ(image.get(300, 0), 15);
    EXPECT_EQ(image.get(0, 300), 15);
    EXPECT_EQ(image.get(600, 300), 15);
}

TEST(PutPixel, SkipsPixelsOffTheImage) {
    Image image(3, 2);
    EXPECT_FALSE(put_pixel(image, 1, 1, 7).empty());
    EXPECT_TRUE(put_pixel(image, 3, 0, 7).empty());
    EXPECT_TRUE(put_pixel(image, -1, 0, 7).empty());
    EXPECT_TRUE(put_pixel(image, 0, 2, 7).empty());
    EXPECT_EQ(picture(image), "...\n.#.\n");
}

}  // namespace
}  // namespace som
