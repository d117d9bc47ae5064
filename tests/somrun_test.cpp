// The headless runner: its command-line contract, its files, and a golden run of every
// program that catches any change to the arithmetic or to the order of random draws.
#include <dirent.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "platform/palette.h"
#include "support/command.h"
#include "tools/png_file.h"

namespace som {
namespace {

using test::Outcome;
using test::run_shell;
using test::ScratchDir;

const std::string somrun = std::string(SOM_BIN_DIR) + "/somrun";
const std::string golden = std::string(SOM_SOURCE_DIR) + "/tests/golden";

std::set<std::string> files_in(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

TEST(Somrun, HelpPrintsUsage) {
    const Outcome o = run_shell(somrun + " --help");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind("usage: somrun PROGRAM", 0), 0u) << o.out;
}

TEST(Somrun, BadArgumentsGiveOneLineAndStatus2AndNoFiles) {
    struct Case {
        const char* args;
        const char* message;
    } const cases[] = {
        {"planeanimx", "somrun: unknown program 'planeanimx' (try --help)"},
        {"", "somrun: which program? (try --help)"},
        {"tessfour tessnine", "somrun: one program at a time, not 'tessnine' too"},
        {"tessfour --seed 12a", "somrun: --seed wants a whole number from 0 to 4294967295, not '12a'"},
        {"tessfour --seed -1", "somrun: --seed wants a whole number from 0 to 4294967295, not '-1'"},
        {"tessfour --seed 4294967296", "somrun: --seed wants a whole number from 0 to 4294967295, not '4294967296'"},
        {"tessfour --seed", "somrun: --seed needs a value"},
        {"tessfour --size 800", "somrun: --size wants WxH with whole numbers from 1, not '800'"},
        {"tessfour --size 0x600", "somrun: --size wants WxH with whole numbers from 1, not '0x600'"},
        {"tessfour --size 600x+5", "somrun: --size wants WxH with whole numbers from 1, not '600x+5'"},
        {"tessfour --size 4097x10", "somrun: --size 4097x10 is over 4096x4096"},
        {"tessfour --keys-after 0", "somrun: --keys-after wants a whole number from 1, not '0'"},
        {"tessfour --colour 3", "somrun: unknown option '--colour' (try --help)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ScratchDir dir;
        const Outcome o = run_shell(somrun + " --out " + dir.path + " " + c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err, std::string(c.message) + "\n");
        EXPECT_TRUE(files_in(dir.path).empty());
    }
}

TEST(Somrun, AnUnwritableDirectoryIsStatus2) {
    ScratchDir dir;
    test::run_shell("touch " + (dir / "file"));
    for (const std::string& out : {dir / "file", std::string("/proc/no-such/dir")}) {
        SCOPED_TRACE(out);
        const Outcome o = run_shell(somrun + " tessfour --seed 1 --out " + out);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err.rfind("somrun: ", 0), 0u);
        EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;
    }
    EXPECT_EQ(files_in(dir.path), std::set<std::string>{"file"});
}

TEST(Somrun, WritesPalettePicturesAtTheRequestedSize) {
    ScratchDir dir;
    const Outcome o = run_shell(somrun + " tessnine --seed 3 --size 640x480 --out " + dir.path);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(files_in(dir.path),
              (std::set<std::string>{"pause-1.png", "pause-2.png", "pause-3.png", "weights.txt"}));
    Image image;
    Palette palette;
    ASSERT_EQ(read_png(dir / "pause-2.png", image, palette), "");
    EXPECT_EQ(image.width(), 640);
    EXPECT_EQ(image.height(), 480);
    EXPECT_EQ(palette, canvas_palette());
    // The regions of nine neurons, clipped at the bottom of the short canvas.
    std::set<int> colours(image.pixels().begin(), image.pixels().end());
    for (int c = 1; c <= 9; ++c) EXPECT_TRUE(colours.count(c)) << c;
}

TEST(Somrun, WithoutASeedTheClockSeedsAndRunsDiffer) {
    ScratchDir a, b;
    ASSERT_EQ(run_shell(somrun + " planeanim --out " + a.path).status, 0);
    usleep(20000);
    ASSERT_EQ(run_shell(somrun + " planeanim --out " + b.path).status, 0);
    EXPECT_NE(test::read_file(a / "weights.txt"), test::read_file(b / "weights.txt"));
}

TEST(Somrun, ChainPaintsExactlyAsManyPointsAsPollsBeforeTheKey) {
    ScratchDir dir;
    ASSERT_EQ(run_shell(somrun + " chainanim --seed 9 --keys-after 1 --out " + dir.path).status, 0);
    Image first, second;
    Palette palette;
    ASSERT_EQ(read_png(dir / "pause-1.png", first, palette), "");
    ASSERT_EQ(read_png(dir / "pause-2.png", second, palette), "");
    int changed = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) changed += first.get(x, y) != second.get(x, y);
    EXPECT_LE(changed, 1);  // one point painted; the chain drawn over it again in white
}

TEST(Somrun, MetricsChangeNothingInTheRunAndFollowTheSchedule) {
    ScratchDir plain, measured;
    ASSERT_EQ(run_shell(somrun + " tessnine --seed 15 --out " + plain.path).status, 0);
    const Outcome o = run_shell(somrun + " tessnine --seed 15 --out " + measured.path + " --metrics " +
                                (measured / "metrics.csv"));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(test::read_file(plain / "weights.txt"), test::read_file(measured / "weights.txt"));
    for (const char* picture : {"pause-1.png", "pause-2.png", "pause-3.png"})
        EXPECT_EQ(test::read_file(plain / picture), test::read_file(measured / picture)) << picture;

    std::istringstream csv(test::read_file(measured / "metrics.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "step,ALFAT,SIGMT,quantization_error,topographic_error");
    int rows = 0;
    double first_error = 0, last_error = 0, last_sigma = 0;
    while (std::getline(csv, line)) {
        ++rows;
        int step;
        double alfa, sigma, quantization, topographic;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf,%lf,%lf", &step, &alfa, &sigma, &quantization, &topographic), 5) << line;
        EXPECT_EQ(step, rows * 100);
        EXPECT_GE(topographic, 0.0);
        EXPECT_LE(topographic, 1.0);
        if (rows == 1) first_error = quantization;
        last_error = quantization;
        last_sigma = sigma;
    }
    EXPECT_EQ(rows, 100);
    EXPECT_LT(last_error, first_error);
    EXPECT_EQ(last_sigma, 0.6);
}

TEST(Somrun, FramesAreWrittenAtEveryDisplayPass) {
    ScratchDir out, frames;
    ASSERT_EQ(run_shell(somrun + " planeanim --seed 16 --out " + out.path + " --frames " + frames.path).status, 0);
    EXPECT_EQ(files_in(frames.path).size(), 166u);
    EXPECT_TRUE(files_in(frames.path).count("frame-0166.png"));
    EXPECT_EQ(test::read_file(out / "weights.txt"), test::read_file(golden + "/planeanim/weights.txt"));
}

TEST(Somrun, TheReadmePicturesAreReproducedPixelForPixel) {
    ScratchDir dir;
    const Outcome o = run_shell("SOMRUN=" + somrun + " " + std::string(SOM_SOURCE_DIR) +
                                "/tools/make-pictures " + dir.path + " --pauses-only");
    ASSERT_EQ(o.status, 0) << o.err;
    const std::set<std::string> made = files_in(dir.path);
    EXPECT_EQ(made.size(), 13u);
    for (const std::string& name : made) {
        SCOPED_TRACE(name);
        Image got, committed;
        Palette palette;
        ASSERT_EQ(read_png(dir / name, got, palette), "");
        ASSERT_EQ(read_png(std::string(SOM_SOURCE_DIR) + "/docs/images/" + name, committed, palette), "");
        EXPECT_TRUE(got == committed);
    }
}

// The golden runs: seed, and for chainanim how long the painting goes on.
struct GoldenCase {
    const char* program;
    const char* args;
    int pauses;
};

const GoldenCase golden_cases[] = {
    {"solidanim", "--seed 11", 1},  {"solidfit", "--seed 12", 1},
    {"tessfour", "--seed 13", 3},   {"chainanim", "--seed 14 --keys-after 30000", 2},
    {"tessnine", "--seed 15", 3},   {"planeanim", "--seed 16", 1},
    {"planeskew", "--seed 17", 1},  {"planegauss", "--seed 18", 1},
};

TEST(Somrun, EveryProgramReproducesItsGoldenRunExactly) {
    for (const GoldenCase& c : golden_cases) {
        SCOPED_TRACE(c.program);
        ScratchDir dir;
        const Outcome o = run_shell(somrun + " " + c.program + " " + c.args + " --out " + dir.path);
        ASSERT_EQ(o.status, 0) << o.err;
        const std::string expected = golden + "/" + c.program;
        EXPECT_EQ(test::read_file(dir / "weights.txt"), test::read_file(expected + "/weights.txt"));
        for (int pause = 1; pause <= c.pauses; ++pause) {
            SCOPED_TRACE(pause);
            const std::string name = "pause-" + std::to_string(pause) + ".png";
            Image got, want;
            Palette palette;
            ASSERT_EQ(read_png(dir / name, got, palette), "");
            ASSERT_EQ(read_png(expected + "/" + name, want, palette), "");
            EXPECT_TRUE(got == want) << name << " differs from the golden picture";
        }
        EXPECT_EQ(files_in(dir.path).size(), static_cast<std::size_t>(c.pauses + 1));
    }
}

}  // namespace
}  // namespace som
