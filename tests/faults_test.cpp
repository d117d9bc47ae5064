// The real programs under faults a user can cause: signals during training and at a
// pause, Ctrl+Z at a pause, standard input that is not a terminal, a storm of keys while
// busy; and somrun killed while it writes.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/command.h"
#include "support/pty_session.h"
#include "support/xvfb.h"
#include "tools/png_file.h"

namespace som {
namespace {

using namespace std::chrono_literals;
using test::Millis;
using test::PtyOptions;
using test::PtySession;
using test::XClient;
using test::Xvfb;

const std::string bin = SOM_BIN_DIR;

struct FaultsTest : testing::Test {
    Xvfb server{800, 700};
    XClient x{server.display()};
    PtySession program;

    void SetUp() override {
        rlimit none{0, 0};  // a test that went wrong leaves no core in the build tree
        ASSERT_EQ(setrlimit(RLIMIT_CORE, &none), 0);
    }

    void start(const std::string& name, PtyOptions options = {}) {
        options.argv = {bin + "/" + name};
        options.env = {"DISPLAY=" + server.display()};
        ASSERT_TRUE(program.start(options)) << program.error();
        ASSERT_TRUE(x.find_window(name, 10s)) << "no window";
    }

    bool wait_for_title(const std::string& name, const std::string& part, Millis timeout) {
        const auto window = x.find_window(name, 1s);
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (window && std::chrono::steady_clock::now() < until) {
            const auto title = x.title(*window);
            if (title && title->find(part) != std::string::npos) return true;
            program.read_for(20ms);
        }
        return false;
    }
};

struct SignalCase {
    const char* name;
    int signal;
    bool at_pause;  // or during training
};

struct SignalTest : FaultsTest, testing::WithParamInterface<SignalCase> {};

TEST_P(SignalTest, TerminalIsRestoredAndTheProgramDiesOfTheSignal) {
    const SignalCase& c = GetParam();
    start(c.at_pause ? "planeskew" : "planeanim");
    if (c.at_pause) ASSERT_TRUE(wait_for_title("planeskew", "press Enter", 20s));
    else ASSERT_TRUE(wait_for_title("planeanim", "training", 5s));
    ASSERT_NE(program.stty(), program.initial_stty()) << "raw mode while running";
    ASSERT_TRUE(program.kill(c.signal));
    const auto status = program.wait_exit(10s);
    EXPECT_TRUE(status.signalled(c.signal)) << status.describe();
    EXPECT_EQ(program.stty(), program.initial_stty());
}

const SignalCase signal_cases[] = {
    {"INT_training", SIGINT, false},  {"TERM_training", SIGTERM, false}, {"HUP_training", SIGHUP, false},
    {"INT_pause", SIGINT, true},      {"TERM_pause", SIGTERM, true},     {"HUP_pause", SIGHUP, true},
};
INSTANTIATE_TEST_SUITE_P(Faults, SignalTest, testing::ValuesIn(signal_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultsTest, CtrlZAtAPauseGivesTheTerminalBackAndFgResumesThePause) {
    PtyOptions options;
    options.job_control = true;
    start("tessfour", options);
    ASSERT_TRUE(wait_for_title("tessfour", "press Enter", 20s));
    ASSERT_TRUE(program.write("\x1a"));  // Ctrl+Z
    ASSERT_EQ(program.wait_stopped(), SIGTSTP);
    EXPECT_EQ(program.stty(), program.initial_stty()) << "normal mode while stopped";
    ASSERT_TRUE(program.foreground());
    for (int i = 0; i < 100 && program.stty() == program.initial_stty(); ++i) program.read_for(20ms);
    EXPECT_NE(program.stty(), program.initial_stty()) << "raw again after fg";
    ASSERT_TRUE(program.write("ab\r\r\r"));  // the three pauses still work
    const auto status = program.wait_exit(20s);
    EXPECT_TRUE(status.exited(0)) << status.describe();
    EXPECT_EQ(program.stty(), program.initial_stty());
}

TEST_F(FaultsTest, AStormOfKeysDuringTrainingThenEnterEndsThePause) {
    start("planeanim");
    ASSERT_TRUE(wait_for_title("planeanim", "training", 5s));
    // 100,000 keys: printable characters, control characters and escape sequences, but
    // no Enter and none of the terminal's signal characters.
    std::mt19937 g(7);
    std::string storm;
    const char* pieces[] = {"\x1b[D", "\x1b[C", "\x1b[H", "\x1b[F", "\x1b", "\x7f", "\x01", "\x1bOH", "\x1b[3~"};
    while (storm.size() < 100000) {
        const unsigned r = g() % 10;
        if (r < 7) storm += static_cast<char>('a' + g() % 26);
        else storm += pieces[g() % 9];
    }
    for (std::size_t at = 0; at < storm.size(); at += 4096) {
        ASSERT_TRUE(program.write(std::string_view(storm).substr(at, 4096), 30s));
    }
    ASSERT_TRUE(program.write("\r", 30s));
    const auto status = program.wait_exit(60s);
    EXPECT_TRUE(status.exited(0)) << status.describe();
    EXPECT_EQ(program.stty(), program.initial_stty());
}

// Standard input that is no terminal: the programs run through without hanging.
struct InputCase {
    const char* name;
    const char* program;
    const char* redirect;
};

const InputCase input_cases[] = {
    {"devnull_tessnine", "tessnine", "</dev/null"},
    {"closed_chainanim", "chainanim", "<&-"},
    {"pipe_of_enters_tessfour", "tessfour", "<<< $'\\n\\n\\n'"},
    {"pipe_closing_during_painting_chainanim", "chainanim", "< <(printf '\\n'; sleep 19)"},
};

struct InputTest : testing::TestWithParam<InputCase> {};

TEST_P(InputTest, EndsWithStatus0) {
    const InputCase& c = GetParam();
    Xvfb server{800, 700};
    const test::Outcome o = test::run_shell("DISPLAY=" + server.display() + " timeout 90 bash -c \"" + bin +
                                            "/" + c.program + " " + c.redirect + "\"");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
}

INSTANTIATE_TEST_SUITE_P(Faults, InputTest, testing::ValuesIn(input_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A run-time error with the window open: the window goes, the terminal is restored, the
// report is exact, the status is the error's number.
struct RuntimeErrorTest : FaultsTest, testing::WithParamInterface<int> {};

TEST_P(RuntimeErrorTest, WindowGoneTerminalRestoredReportExact) {
    const int number = GetParam();
    PtyOptions options;
    options.argv = {bin + "/runtime_error_probe", std::to_string(number), "--window"};
    options.env = {"DISPLAY=" + server.display()};
    ASSERT_TRUE(program.start(options)) << program.error();
    const auto status = program.wait_exit(15s);
    EXPECT_TRUE(status.exited(number)) << status.describe();
    EXPECT_EQ(program.stty(), program.initial_stty());
    std::string out;
    for (char c : program.output())
        if (c != '\r') out += c;
    const std::regex report("Runtime error " + std::to_string(number) +
                            R"( at 0x[0-9A-F]{8}\n(  0x[0-9A-F]{8}\n){1,9}\n)");
    EXPECT_TRUE(std::regex_match(out, report)) << out;
    EXPECT_FALSE(x.find_window("runtime_error_probe", 200ms)) << "the window is still there";
}

INSTANTIATE_TEST_SUITE_P(Faults, RuntimeErrorTest, testing::Values(201, 215, 200, 207, 205));

// Load: all eight programs at once, four copies each, on one X server.
TEST(Load, ThirtyTwoProgramsAtOnceAllEndWithStatus0) {
    Xvfb server{1024, 768};
    struct Run {
        const char* program;
        const char* enters;  // typed at once: kept until each pause reads them
    } const runs[] = {{"solidanim", "\r"}, {"solidfit", "\r"},  {"tessfour", "\r\r\r"}, {"chainanim", "\r\r"},
                      {"tessnine", "\r\r\r"}, {"planeanim", "\r"}, {"planeskew", "\r"},    {"planegauss", "\r"}};
    std::vector<std::unique_ptr<PtySession>> sessions;
    for (int copy = 0; copy < 4; ++copy)
        for (const Run& r : runs) {
            sessions.push_back(std::make_unique<PtySession>());
            ASSERT_TRUE(sessions.back()->start({bin + "/" + r.program}, {"DISPLAY=" + server.display()}))
                << sessions.back()->error();
            ASSERT_TRUE(sessions.back()->write(r.enters));
        }
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        SCOPED_TRACE(runs[i % 8].program);
        const auto status = sessions[i]->wait_exit(120s);
        EXPECT_TRUE(status.exited(0)) << status.describe();
    }
}

// somrun killed at any moment leaves no truncated file under a final name.
TEST(SomrunKilled, LeavesOnlyWholeFilesUnderFinalNames) {
    for (int delay_ms : {5, 20, 40, 80, 120, 200, 300}) {
        SCOPED_TRACE(delay_ms);
        test::ScratchDir dir;
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            execl((bin + "/somrun").c_str(), "somrun", "tessnine", "--seed", "1", "--size", "4096x4096",
                  "--out", dir.path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(Millis(delay_ms));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        for (const char* name : {"pause-1.png", "pause-2.png", "pause-3.png"}) {
            if (access((dir / name).c_str(), F_OK) != 0) continue;
            Image image;
            Palette palette;
            EXPECT_EQ(read_png(dir / name, image, palette), "") << name;
            EXPECT_EQ(image.width(), 4096);
        }
    }
}

}  // namespace
}  // namespace som
