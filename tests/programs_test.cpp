// The eight programs as a user meets them: started on a terminal, their window on a real
// X server. Each opens its window, draws its outline, shows what it trained at its
// pauses, and ends with status 0 after the right number of Enters; closing the window
// or losing the display does not stop it.
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>

#include "platform/palette.h"
#include "support/pty_session.h"
#include "support/xvfb.h"

namespace som {
namespace {

using namespace std::chrono_literals;
using test::Millis;
using test::PtySession;
using test::Screenshot;
using test::XClient;
using test::Xvfb;

const std::string bin = SOM_BIN_DIR;

// Palette indices seen in a screenshot (colours that several indices share count once,
// under the lowest index).
std::set<int> indices_in(const Screenshot& shot, int x0 = 0, int y0 = 0, int x1 = 600, int y1 = 600) {
    const Palette& palette = canvas_palette();
    std::set<int> seen;
    for (int y = y0; y <= y1 && y < shot.height; ++y)
        for (int x = x0; x <= x1 && x < shot.width; ++x)
            for (int i = 0; i < 256; ++i)
                if (palette[i] == shot.at(x, y)) {
                    seen.insert(i);
                    break;
                }
    return seen;
}

// The share of the domain outline's points (radius 300 about (300, 300)) that are white.
double outline_share(const Screenshot& shot) {
    int white = 0, all = 0;
    for (int k = 0; k < 720; ++k) {
        const double a = k * 3.14159265358979 / 360;
        const int x = static_cast<int>(std::lround(300 + 300 * std::cos(a)));
        const int y = static_cast<int>(std::lround(300 + 300 * std::sin(a)));
        bool lit = false;  // the outline may sit a pixel off the ideal circle
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (x + dx >= 0 && y + dy >= 0 && x + dx < shot.width && y + dy < shot.height)
                    lit = lit || shot.at(x + dx, y + dy) == canvas_palette()[15];
        white += lit;
        ++all;
    }
    return static_cast<double>(white) / all;
}

int white_inside(const Screenshot& shot) {
    int n = 0;
    for (int y = 20; y <= 580; ++y)
        for (int x = 20; x <= 580; ++x)
            if ((x - 300) * (x - 300) + (y - 300) * (y - 300) < 280 * 280)
                n += shot.at(x, y) == canvas_palette()[15];
    return n;
}

struct ProgramsTest : testing::Test {
    Xvfb server{1024, 768};
    XClient x{server.display()};
    PtySession program;
    test::XWindowId window = 0;

    void start(const std::string& name) {
        ASSERT_TRUE(program.start({bin + "/" + name}, {"DISPLAY=" + server.display()})) << program.error();
        const auto found = x.find_window(name, 10s);
        ASSERT_TRUE(found) << "no window titled " << name;
        window = *found;
    }

    // Waits until the title says the program waits for Enter.
    bool wait_for_pause(Millis timeout) { return wait_for_title("press Enter in the console", timeout); }

    bool wait_for_title(const std::string& part, Millis timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        std::optional<std::string> title;
        while (std::chrono::steady_clock::now() < until) {
            title = x.title(window);
            if (title && title->find(part) != std::string::npos) return true;
            program.read_for(20ms);
        }
        ADD_FAILURE() << "the title stayed '" << title.value_or("(none)") << "', not '" << part << "'";
        return false;
    }

    Screenshot shot() {
        std::this_thread::sleep_for(100ms);  // a frame for the last drawing to be shown
        const auto s = x.screenshot(window);
        EXPECT_TRUE(s);
        return s ? *s : Screenshot{};
    }

    // The program is still waiting: it has not ended after `ms`.
    void expect_still_running(Millis ms) {
        EXPECT_EQ(program.wait_exit(ms).kind, test::ExitStatus::Kind::running);
    }
};

struct StillCase {
    const char* program;
    bool outline;
    bool solid;
};

const StillCase one_pause_programs[] = {
    {"solidfit", true, true},
    {"planeskew", true, false},
    {"planegauss", false, false},
};

struct OnePauseProgram : ProgramsTest, testing::WithParamInterface<StillCase> {};

TEST_P(OnePauseProgram, ShowsTheTrainedLatticeAndEndsAtEnter) {
    {
        const StillCase& c = GetParam();
        start(c.program);
        ASSERT_TRUE(wait_for_pause(20s));
        const Screenshot s = shot();
        EXPECT_EQ(s.width, 1024);
        EXPECT_EQ(s.height, 768);
        if (c.outline) EXPECT_GT(outline_share(s), 0.9);
        else EXPECT_LT(outline_share(s), 0.2);
        const std::set<int> seen = indices_in(s);
        if (c.solid) {
            int depths = 0;
            for (int i : seen) depths += i >= 16 && i <= 40 && i != 31;
            EXPECT_GE(depths, 3) << "depth colours";
            for (int i : seen) EXPECT_TRUE(i == 0 || i == 15 || (i >= 16 && i <= 40)) << i;
        } else {
            EXPECT_EQ(seen, (std::set<int>{0, 15}));
            EXPECT_GT(white_inside(s), 1000) << "the lattice";
        }
        expect_still_running(300ms);
        ASSERT_TRUE(program.write("\r"));
        EXPECT_TRUE(program.wait_exit(5s).exited(0));
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, OnePauseProgram, testing::ValuesIn(one_pause_programs),
                         [](const auto& info) { return std::string(info.param.program); });

struct Tessellation : ProgramsTest, testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(Tessellation, PaintsItsRegionsAndEndsAfterThreeEnters) {
    {
        const auto [name, regions] = GetParam();
        start(name);
        ASSERT_TRUE(wait_for_pause(20s));
        EXPECT_GT(outline_share(shot()), 0.9);
        ASSERT_TRUE(program.write("\r"));
        // The regions: colours 1 … regions fill the disk.
        std::set<int> seen;
        for (int tries = 0; tries < 50 && !seen.count(regions); ++tries) seen = indices_in(shot());
        for (int c = 1; c <= regions; ++c) EXPECT_TRUE(seen.count(c)) << c;
        EXPECT_FALSE(seen.count(regions + 1));
        ASSERT_TRUE(wait_for_pause(5s));
        expect_still_running(300ms);
        ASSERT_TRUE(program.write("\r"));  // the lattice over the regions
        int white = 0;
        for (int tries = 0; tries < 50 && white < 100; ++tries) white = white_inside(shot());
        EXPECT_GE(white, 100);
        expect_still_running(300ms);
        ASSERT_TRUE(program.write("\r"));
        EXPECT_TRUE(program.wait_exit(5s).exited(0));
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, Tessellation,
                         testing::Values(std::pair{"tessfour", 4}, std::pair{"tessnine", 9}),
                         [](const auto& info) { return std::string(info.param.first); });

TEST_F(ProgramsTest, ChainPaintsUntilAKeyThenTheKeyStartsTheLastLine) {
    start("chainanim");
    ASSERT_TRUE(wait_for_pause(40s));
    const Screenshot trained = shot();
    EXPECT_GT(outline_share(trained), 0.5);  // display passes erase where they crossed it
    ASSERT_TRUE(program.write("\r"));
    ASSERT_TRUE(wait_for_title("press a key", 5s));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(program.write("x"));  // stops the painting, and is the first key of the line
    ASSERT_TRUE(wait_for_pause(5s));
    ASSERT_TRUE(program.wait_for_output("x", 2s)) << "the key is echoed as the line's first";
    int painted = 0;
    for (int i : indices_in(shot())) painted += i >= 51 && i <= 90;
    EXPECT_GE(painted, 10) << "points in the colours of many links";
    expect_still_running(300ms);
    ASSERT_TRUE(program.write("\r"));
    EXPECT_TRUE(program.wait_exit(5s).exited(0));
}

TEST_F(ProgramsTest, EnterTypedDuringTrainingEndsThePauseAtOnce) {
    start("planeanim");
    ASSERT_TRUE(program.write("\r"));
    EXPECT_TRUE(program.wait_exit(40s).exited(0));
    EXPECT_EQ(program.stty(), program.initial_stty());
}

TEST_F(ProgramsTest, SolidAnimationShowsDepthColoursAtItsPause) {
    start("solidanim");
    ASSERT_TRUE(wait_for_title("training", 5s));
    ASSERT_TRUE(wait_for_pause(45s));
    int depths = 0;
    for (int i : indices_in(shot())) depths += i >= 16 && i <= 40 && i != 31;
    EXPECT_GE(depths, 3);
    ASSERT_TRUE(program.write("\r"));
    EXPECT_TRUE(program.wait_exit(5s).exited(0));
}

TEST_F(ProgramsTest, ClosingTheWindowDuringTrainingDoesNotStopTheProgram) {
    start("planeanim");
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(x.close_window(window));
    EXPECT_TRUE(x.wait_gone(window, 5s));
    expect_still_running(500ms);
    ASSERT_TRUE(program.write("\r"));
    EXPECT_TRUE(program.wait_exit(40s).exited(0));
}

TEST_F(ProgramsTest, LosingTheDisplayDuringTrainingDoesNotStopTheProgram) {
    start("chainanim");
    std::this_thread::sleep_for(1s);
    server.kill();
    expect_still_running(500ms);
    ASSERT_TRUE(program.write("\r"));  // the first pause
    ASSERT_TRUE(program.write("\r"));  // ends the painting and the second pause
    const auto status = program.wait_exit(40s);
    EXPECT_TRUE(status.exited(0)) << status.describe();
}

TEST(ProgramsWithoutDisplay, SayWhyAndEndWithStatus1) {
    PtySession program;
    ASSERT_TRUE(program.start({bin + "/tessfour"}, {"DISPLAY=", "SDL_VIDEODRIVER="}));
    const auto status = program.wait_exit(10s);
    EXPECT_TRUE(status.exited(1)) << status.describe();
    EXPECT_NE(program.output().find("Window creation failed"), std::string::npos) << program.output();
    EXPECT_NE(program.output().find(
                  "Error: Not in graphics mode (use InitGraph and test GraphResult afterwards)"),
              std::string::npos)
        << program.output();
    EXPECT_EQ(program.stty(), program.initial_stty());
}

}  // namespace
}  // namespace som
