// The console as a user meets it: console_probe on a pseudo-terminal, keys typed from
// the other side, the terminal's settings read from there.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "tests/support/pty_session.h"

namespace som::test {
namespace {

std::string probe() { return std::string(SOM_BIN_DIR) + "/console_probe"; }

std::vector<std::string> probe_with(std::vector<std::string> steps) {
    steps.insert(steps.begin(), probe());
    return steps;
}

// Output with the terminal's CRs left out, so markers and echo read as plain lines.
std::string plain(const std::string& output) {
    std::string text;
    for (char c : output)
        if (c != '\r') text += c;
    return text;
}

bool raw(const termios& settings) {
    return (settings.c_lflag & (ICANON | ECHO)) == 0;
}

// The settings change asynchronously after a signal; wait (bounded) for raw or not.
bool settles_raw(PtySession& session, bool want_raw) {
    for (int i = 0; i < 200; ++i) {
        if (raw(session.settings()) == want_raw) return true;
        session.read_for(Millis(25));
    }
    return false;
}

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        // SIGQUIT dumps core by default: not in the build tree.
        rlimit none{0, 0};
        ASSERT_EQ(setrlimit(RLIMIT_CORE, &none), 0);
    }

    // Starts the probe and waits for its first marker.
    void start(PtySession& session, std::vector<std::string> steps, const char* first,
               PtyOptions options = {}) {
        options.argv = probe_with(std::move(steps));
        ASSERT_TRUE(session.start(options)) << session.error();
        ASSERT_TRUE(session.wait_for_output(first)) << plain(session.output());
    }

    void expect_clean_end(PtySession& session, int code = 0) {
        const ExitStatus status = session.wait_exit();
        EXPECT_TRUE(status.exited(code)) << status.describe() << "\n" << plain(session.output());
        EXPECT_EQ(session.stty(), session.initial_stty());
    }
};

TEST_F(ConsoleTest, RawModeKeepsSignalsAndOutputProcessing) {
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "line"}, "LINE")));
    const termios settings = session.settings();
    EXPECT_NE(session.stty(), session.initial_stty());
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | IEXTEN), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_NE(settings.c_lflag & ISIG, 0u);
    EXPECT_NE(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 1);
    EXPECT_EQ(settings.c_cc[VTIME], 0);
    ASSERT_TRUE(session.write("\r"));
    ASSERT_TRUE(session.wait_for_output("LINE DONE"));
    expect_clean_end(session);
}

struct TypeAheadCase {
    const char* name;
    std::vector<std::string> steps;
    const char* typed_while_busy;
    const char* typed_at_the_line;
    const char* shown;
};

TEST_F(ConsoleTest, KeysTypedWhileBusyAreKeptInOrder) {
    const TypeAheadCase cases[] = {
        {"characters typed while busy start the line", {"init", "busy:300", "line"}, "abc", "d\r",
         "LINE\nabcd\nLINE DONE\n"},
        {"an Enter typed while busy ends the line at once", {"init", "busy:300", "line", "line"},
         "one\rtw", "o\r", "LINE\none\nLINE DONE\nLINE\ntwo\nLINE DONE\n"},
        // Typed in the terminal's normal mode, before raw mode: still there after it.
        {"a line typed before the console is set up", {"busy:300", "init", "line"}, "pre\r", "",
         "LINE\npre\nLINE DONE\n"},
    };
    for (const TypeAheadCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtySession session;
        ASSERT_NO_FATAL_FAILURE((start(session, c.steps, "BUSY")));
        ASSERT_TRUE(session.write(c.typed_while_busy));
        ASSERT_TRUE(session.wait_for_output("LINE"));
        ASSERT_TRUE(session.write(c.typed_at_the_line));
        ASSERT_TRUE(session.wait_for_output("LINE DONE\r\n")) << plain(session.output());
        expect_clean_end(session);
        EXPECT_NE(plain(session.output()).find(c.shown), std::string::npos)
            << plain(session.output());
    }
}

struct PendingKeyCase {
    const char* name;
    const char* pressed;
    const char* shown;
};

TEST_F(ConsoleTest, APendingKeyIsTheFirstKeyOfTheLine) {
    const PendingKeyCase cases[] = {
        {"a character", "q", "LINE\nqr\nLINE DONE"},
        {"an arrow, which edits nothing", "\x1b[D", "LINE\nr\nLINE DONE"},
        {"a control key", "\x01", "LINE\nr\nLINE DONE"},
        {"Esc, decided when input goes quiet", "\x1b", "LINE\nr\nLINE DONE"},
    };
    for (const PendingKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtySession session;
        ASSERT_NO_FATAL_FAILURE((start(session, {"init", "waitkey:10000", "key", "line"}, "INIT")));
        ASSERT_TRUE(session.write(c.pressed));
        ASSERT_TRUE(session.wait_for_output("KEY SEEN"));
        ASSERT_TRUE(session.wait_for_output("KEY 1"));  // looking did not consume it
        ASSERT_TRUE(session.wait_for_output("LINE"));
        ASSERT_TRUE(session.write("r\r"));
        ASSERT_TRUE(session.wait_for_output("LINE DONE")) << plain(session.output());
        expect_clean_end(session);
        EXPECT_NE(plain(session.output()).find(c.shown), std::string::npos)
            << plain(session.output());
    }
}

TEST_F(ConsoleTest, KeyPressedWithoutInputIsFalseAndDoesNotWait) {
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "key", "key"}, "INIT")));
    ASSERT_TRUE(session.wait_for_output("KEY 0"));
    ASSERT_TRUE(session.wait_for_output("KEY 0"));
    expect_clean_end(session);
}

TEST_F(ConsoleTest, ALoneEscClearsTheLineOnceInputIsQuiet) {
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "line"}, "LINE")));
    ASSERT_TRUE(session.write("ab\x1b"));
    // Nothing follows the Esc: only the quiet time can make it a key.
    ASSERT_TRUE(session.wait_for_output("ab\b\b  \b\b")) << plain(session.output());
    ASSERT_TRUE(session.write("c\r"));
    ASSERT_TRUE(session.wait_for_output("LINE DONE"));
    expect_clean_end(session);
    EXPECT_NE(plain(session.output()).find("\b\b  \b\bc\nLINE DONE"), std::string::npos)
        << plain(session.output());
}

TEST_F(ConsoleTest, EchoGoesToTheTerminalWhenStandardOutputIsNot) {
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(null, 0);
    PtyOptions options;
    options.stdout_fd = null;
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "line"}, "LINE", options)));
    close(null);
    ASSERT_TRUE(session.write("ab\r"));
    ASSERT_TRUE(session.wait_for_output("LINE DONE"));
    expect_clean_end(session);
    EXPECT_NE(plain(session.output()).find("LINE\nab\nLINE DONE"), std::string::npos)
        << plain(session.output());
}

TEST_F(ConsoleTest, ARunTimeErrorGivesTheTerminalBack) {
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "error:201"}, "INIT")));
    expect_clean_end(session, 201);
    EXPECT_NE(session.output().find("Runtime error 201"), std::string::npos);
}

struct SignalCase {
    const char* name;
    std::vector<std::string> steps;
    const char* ready;
    const char* typed;  // the key that raises it, or nullptr to send it with kill
    int signal;
};

TEST_F(ConsoleTest, AFatalSignalGivesTheTerminalBackAndKillsTheProgram) {
    const SignalCase cases[] = {
        {"Ctrl-C at a line", {"init", "line"}, "LINE", "ab\x03", SIGINT},
        {"Ctrl-C while busy", {"init", "busy:60000"}, "BUSY", "\x03", SIGINT},
        {"Ctrl-\\ at a line", {"init", "line"}, "LINE", "\x1c", SIGQUIT},
        {"SIGTERM at a line", {"init", "line"}, "LINE", nullptr, SIGTERM},
        {"SIGHUP while waiting", {"init", "hang"}, "HANG", nullptr, SIGHUP},
    };
    for (const SignalCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtySession session;
        ASSERT_NO_FATAL_FAILURE((start(session, c.steps, c.ready)));
        ASSERT_TRUE(raw(session.settings()));
        if (c.typed != nullptr)
            ASSERT_TRUE(session.write(c.typed));
        else
            ASSERT_TRUE(session.kill(c.signal));
        const ExitStatus status = session.wait_exit();
        EXPECT_TRUE(status.signalled(c.signal)) << status.describe();
        EXPECT_EQ(session.stty(), session.initial_stty());
    }
}

TEST_F(ConsoleTest, CtrlZStopsInNormalModeAndRawModeComesBackInTheForeground) {
    PtyOptions options;
    options.job_control = true;
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "line"}, "LINE", options)));
    ASSERT_TRUE(session.write("ab"));
    ASSERT_TRUE(session.wait_for_output("ab"));

    ASSERT_TRUE(session.write("\x1a"));
    ASSERT_EQ(session.wait_stopped(), SIGTSTP);
    EXPECT_EQ(session.stty(), session.initial_stty());

    // `bg`: running, and leaving the terminal to the shell (taking it from the
    // background would stop the program again, with SIGTTOU).
    ASSERT_TRUE(session.background());
    EXPECT_EQ(session.wait_stopped(Millis(300)), 0);
    EXPECT_EQ(session.stty(), session.initial_stty());

    // `fg`: the line goes on where it was.
    ASSERT_TRUE(session.foreground());
    ASSERT_TRUE(settles_raw(session, true));
    ASSERT_TRUE(session.write("c\r"));
    ASSERT_TRUE(session.wait_for_output("LINE DONE")) << plain(session.output());
    expect_clean_end(session);
    EXPECT_NE(plain(session.output()).find("ab" "c\nLINE DONE"), std::string::npos)
        << plain(session.output());
}

// Without a job-control shell the probe's process group is orphaned and the kernel does
// not stop it on Ctrl-Z; it must not be left in normal mode for that.
TEST_F(ConsoleTest, CtrlZThatCannotStopLeavesRawMode) {
    PtySession session;
    ASSERT_NO_FATAL_FAILURE((start(session, {"init", "line"}, "LINE")));
    // Ctrl-Z flushes what the kernel still holds (NOFLSH is off): the keys must be read
    // first.
    ASSERT_TRUE(session.write("ab"));
    ASSERT_TRUE(session.wait_for_output("ab"));
    ASSERT_TRUE(session.write("\x1a"));
    session.read_for(Millis(100));
    ASSERT_TRUE(settles_raw(session, true));
    ASSERT_TRUE(session.write("c\r"));
    ASSERT_TRUE(session.wait_for_output("LINE DONE")) << plain(session.output());
    expect_clean_end(session);
    EXPECT_NE(plain(session.output()).find("LINE\nabc\nLINE DONE"), std::string::npos)
        << plain(session.output());
}

// ---- Standard input not a terminal ---------------------------------------------------------

struct StreamCase {
    const char* name;
    enum Input { dev_null, pipe_closed, pipe_open, closed } input;
    const char* piped;          // what the pipe holds before the probe starts
    const char* close_after;    // pipe_open: close the writer once this is shown
    std::vector<std::string> steps;
    const char* shown;          // all the probe shows: the console adds nothing
};

TEST_F(ConsoleTest, NotATerminalReadLineReturnsAndEndOfInputIsAKey) {
    const StreamCase cases[] = {
        {"/dev/null", StreamCase::dev_null, "", nullptr, {"key", "line", "line", "key"},
         "KEY 1\nLINE\nLINE DONE\nLINE\nLINE DONE\nKEY 1\n"},
        {"a pipe with lines, then its end", StreamCase::pipe_closed, "one\ntwo\n", nullptr,
         {"key", "line", "key", "line", "key", "line", "key"},
         "KEY 1\nLINE\nLINE DONE\nKEY 1\nLINE\nLINE DONE\nKEY 1\nLINE\nLINE DONE\nKEY 1\n"},
        {"a last line without a line break", StreamCase::pipe_closed, "one\ntw", nullptr,
         {"line", "line", "line", "key"},
         "LINE\nLINE DONE\nLINE\nLINE DONE\nLINE\nLINE DONE\nKEY 1\n"},
        {"a pipe closed mid-way", StreamCase::pipe_open, "one\n", "KEY 0",
         {"line", "key", "line", "key", "line"},
         "LINE\nLINE DONE\nKEY 0\nLINE\nLINE DONE\nKEY 1\nLINE\nLINE DONE\n"},
        {"fd 0 closed", StreamCase::closed, "", nullptr, {"key", "line", "key", "line"},
         "KEY 1\nLINE\nLINE DONE\nKEY 1\nLINE\nLINE DONE\n"},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtyOptions options;
        options.argv = probe_with(c.steps);
        int pipe_fds[2] = {-1, -1};
        if (c.input == StreamCase::dev_null) {
            options.stdin_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            ASSERT_GE(options.stdin_fd, 0);
        } else if (c.input == StreamCase::closed) {
            options.stdin_fd = PtyOptions::closed;
        } else {
            ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
            const std::string piped = c.piped;
            ASSERT_EQ(write(pipe_fds[1], piped.data(), piped.size()),
                      static_cast<ssize_t>(piped.size()));
            if (c.input == StreamCase::pipe_closed) {
                close(pipe_fds[1]);
                pipe_fds[1] = -1;
            }
            options.stdin_fd = pipe_fds[0];
        }

        PtySession session;
        ASSERT_TRUE(session.start(options)) << session.error();
        if (options.stdin_fd >= 0) close(options.stdin_fd);
        if (c.close_after != nullptr) {
            EXPECT_TRUE(session.wait_for_output(c.close_after)) << plain(session.output());
            close(pipe_fds[1]);
        }
        const ExitStatus status = session.wait_exit();
        EXPECT_TRUE(status.exited(0)) << status.describe();
        EXPECT_EQ(plain(session.output()), c.shown);
        EXPECT_EQ(session.stty(), session.initial_stty());  // never touched
    }
}

}  // namespace
}  // namespace som::test
