// The canvas window, seen from outside: window_probe runs as a child process on an Xvfb of
// the test's own, and the test looks at the window through a separate X connection.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/palette.h"
#include "platform/raster.h"
#include "tests/support/xvfb.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using som::test::Screenshot;
using som::test::XClient;
using som::test::Xvfb;
using som::test::XWindowId;

const std::string probe_path = std::string(SOM_BIN_DIR) + "/window_probe";
const std::string em_dash = "\u2014";

constexpr auto wait_limit = 10s;  // generous: only a fault ever waits this long

// --- The probe as a child process: its standard streams on pipes, every wait bounded.

class Probe {
public:
    // `env`: variables to set for the child; DISPLAY, SDL_VIDEODRIVER and WAYLAND_DISPLAY
    // are always taken out of the inherited environment first.
    Probe(const std::string& name, const std::map<std::string, std::string>& env) {
        signal(SIGPIPE, SIG_IGN);  // a probe that died must fail the test, not kill it
        std::vector<std::string> variables;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::string key = entry.substr(0, entry.find('='));
            if (key == "DISPLAY" || key == "SDL_VIDEODRIVER" || key == "WAYLAND_DISPLAY" ||
                env.count(key) != 0)
                continue;
            variables.push_back(entry);
        }
        for (const auto& [key, value] : env) variables.push_back(key + "=" + value);
        std::vector<char*> envp;
        for (auto& v : variables) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string program = probe_path, argument = name;
        char* argv[] = {program.data(), argument.data(), nullptr};

        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
            pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(126);
            if (dup2(in[0], 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0) _exit(126);
            execve(argv[0], argv, envp.data());
            _exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
    }

    ~Probe() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {in_, out_, err_})
            if (fd >= 0) ::close(fd);
    }

    pid_t pid() const { return pid_; }

    bool send(const std::string& line) {
        const std::string text = line + "\n";
        return write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // The first line not yet taken that starts with `prefix`, as it arrives.
    std::optional<std::string> line(const std::string& prefix,
                                    std::chrono::milliseconds timeout = wait_limit) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            for (std::size_t i = 0; i < lines_.size(); ++i)
                if (!taken_[i] && lines_[i].rfind(prefix, 0) == 0) {
                    taken_[i] = true;
                    return lines_[i];
                }
            if (!pump(deadline)) return std::nullopt;
        }
    }

    // The raw wait status once the probe has ended.
    std::optional<int> exit_status(std::chrono::milliseconds timeout = wait_limit) {
        const auto deadline = Clock::now() + timeout;
        while (pid_ > 0) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                status_ = status;
                break;
            }
            if (Clock::now() >= deadline) return std::nullopt;
            pump(Clock::now() + 5ms);
        }
        while (pump(Clock::now() + 100ms)) {
        }
        return status_;
    }

    // All it wrote to standard error (complete once it has ended).
    const std::string& errors() const { return errors_; }
    // All it wrote to standard output, for failure messages.
    std::string output() const {
        std::string all;
        for (const auto& l : lines_) all += l + "\n";
        return all + partial_;
    }

private:
    // Reads what is there by `deadline`; false once nothing more can come in time.
    bool pump(Clock::time_point deadline) {
        for (;;) {
            std::vector<pollfd> fds;
            if (out_ >= 0) fds.push_back({out_, POLLIN, 0});
            if (err_ >= 0) fds.push_back({err_, POLLIN, 0});
            if (fds.empty()) return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - Clock::now())
                                  .count();
            const int r = poll(fds.data(), fds.size(), static_cast<int>(std::max(left, 0L)));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            bool got = false;
            for (const pollfd& p : fds) {
                if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
                char buffer[4096];
                const ssize_t n = read(p.fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(p.fd);
                    (p.fd == out_ ? out_ : err_) = -1;
                    continue;
                }
                got = true;
                if (p.fd == err_) {
                    errors_.append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
                partial_.append(buffer, static_cast<std::size_t>(n));
                for (auto end = partial_.find('\n'); end != std::string::npos;
                     end = partial_.find('\n')) {
                    lines_.push_back(partial_.substr(0, end));
                    taken_.push_back(false);
                    partial_.erase(0, end + 1);
                }
            }
            if (got) return true;
        }
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::vector<std::string> lines_;
    std::vector<bool> taken_;
    std::string partial_, errors_;
    std::optional<int> status_;
};

bool exited_with(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

std::string describe(const std::optional<int>& status) {
    if (!status) return "still running";
    if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
    if (WIFSIGNALED(*status)) return std::string("killed by ") + strsignal(WTERMSIG(*status));
    return "status " + std::to_string(*status);
}

// --- What the window should show: the same drawing done on an Image by the raster core,
// in the canvas palette.

struct Draw {
    enum Kind { line, circle, pixel } kind;
    int colour, a, b, c = 0, d = 0;

    std::string command() const {
        std::ostringstream s;
        switch (kind) {
        case line: s << "line " << colour << ' ' << a << ' ' << b << ' ' << c << ' ' << d; break;
        case circle: s << "circle " << colour << ' ' << a << ' ' << b << ' ' << c; break;
        case pixel: s << "pixel " << colour << ' ' << a << ' ' << b; break;
        }
        return s.str();
    }

    void apply(som::Image& image) const {
        const auto colour8 = static_cast<std::uint8_t>(colour);
        switch (kind) {
        case line: som::draw_line(image, a, b, c, d, colour8); break;
        case circle: som::draw_circle(image, a, b, static_cast<unsigned>(c), colour8); break;
        case pixel: som::put_pixel(image, a, b, colour8); break;
        }
    }
};

// Where `shot` differs from `expected`, or "" where it does not.
std::string difference(const Screenshot& shot, const som::Image& expected) {
    if (shot.width != expected.width() || shot.height != expected.height())
        return "size " + std::to_string(shot.width) + "x" + std::to_string(shot.height) +
               ", expected " + std::to_string(expected.width()) + "x" +
               std::to_string(expected.height());
    long wrong = 0;
    std::string first;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const som::Rgb want = som::canvas_palette()[expected.get(x, y)];
            const som::Rgb got = shot.at(x, y);
            if (got == want) continue;
            if (wrong++ == 0) {
                std::ostringstream s;
                s << "first at (" << x << ',' << y << "): got " << int(got.r) << ','
                  << int(got.g) << ',' << int(got.b) << " for colour "
                  << int(expected.get(x, y)) << " (" << int(want.r) << ',' << int(want.g)
                  << ',' << int(want.b) << ")";
                first = s.str();
            }
        }
    return wrong == 0 ? "" : std::to_string(wrong) + " pixels differ, " + first;
}

// Screenshots until the window shows `expected` (it repaints at display rate) or time is up;
// returns the last difference.
std::string wait_for_picture(XClient& x, XWindowId window, const som::Image& expected) {
    const auto deadline = Clock::now() + wait_limit;
    std::string diff = "no screenshot";
    while (Clock::now() < deadline) {
        if (const auto shot = x.screenshot(window)) {
            diff = difference(*shot, expected);
            if (diff.empty()) return diff;
        }
        std::this_thread::sleep_for(20ms);
    }
    return diff;
}

bool shows_anything_but_black(XClient& x, XWindowId window) {
    const auto deadline = Clock::now() + wait_limit;
    while (Clock::now() < deadline) {
        if (const auto shot = x.screenshot(window))
            for (const som::Rgb& p : shot->pixels)
                if (p != som::Rgb{0, 0, 0}) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// A probe on a fresh Xvfb with its window found.
struct Session {
    Xvfb server;
    XClient x;
    Probe probe;
    int width = 0, height = 0;
    std::optional<XWindowId> window;

    Session(int w, int h, const std::string& name)
        : server(w, h), x(server.display()), probe(name, {{"DISPLAY", server.display()}}) {
        const auto open = probe.line("open ");
        if (!open) return;
        std::istringstream(open->substr(5)) >> width >> height;
        window = x.find_window(name, wait_limit);
    }
};

#define ASSERT_OPEN(session)                                                               \
    ASSERT_TRUE((session).width > 0 && (session).window)                                  \
        << "no window; probe said:\n"                                                      \
        << (session).probe.output() << "stderr:\n"                                         \
        << (session).probe.errors()

// Ends the probe through the commands a program would take on its way out, after whatever
// happened to the window: close() and the destructor must both come back, and the
// process must end cleanly and quietly.
void expect_clean_end(Probe& probe) {
    EXPECT_TRUE(probe.send("close"));
    EXPECT_EQ(probe.line("closed"), "closed dead=1");
    EXPECT_TRUE(probe.send("release"));
    EXPECT_TRUE(probe.line("released"));
    EXPECT_TRUE(probe.send("exit"));
    EXPECT_TRUE(probe.line("exit lines="));
    const auto status = probe.exit_status();
    EXPECT_TRUE(exited_with(status, 0)) << describe(status);
    EXPECT_EQ(probe.errors(), "");
}

// --- The harness itself.

TEST(WindowHarness, ServersRunSideBySideAndGoAwayWhenStopped) {
    Xvfb a(640, 480), b(800, 600);
    EXPECT_NE(a.display(), b.display());
    for (Xvfb* server : {&a, &b}) {
        XClient x(server->display());
        EXPECT_EQ(x.size(x.root()), (som::test::WindowSize{server->width(), server->height()}));
        EXPECT_FALSE(x.find_window("no such window", 0ms));
    }
    const std::string display = a.display();
    a.stop();
    EXPECT_FALSE(a.running());
    EXPECT_THROW(XClient{display}, std::runtime_error);
}

// --- The window at the size of the screen, showing exactly what was drawn.

struct Screen {
    int width, height;
};

class WindowOnScreen : public testing::TestWithParam<Screen> {};

TEST_P(WindowOnScreen, FillsTheScreenAndShowsWhatIsDrawnInPaletteColours) {
    const auto [w, h] = GetParam();
    Session s(w, h, "probe-screen");
    ASSERT_OPEN(s);

    // No window manager: the usable area is the whole screen.
    EXPECT_EQ(s.width, w);
    EXPECT_EQ(s.height, h);
    EXPECT_EQ(s.x.size(*s.window), (som::test::WindowSize{w, h}));
    EXPECT_EQ(s.x.title(*s.window), "probe-screen");

    // Shown black before open() returned.
    som::Image expected(w, h);
    {
        const auto shot = s.x.screenshot(*s.window);
        ASSERT_TRUE(shot);
        EXPECT_EQ(difference(*shot, expected), "");
    }

    // Corners, lines (one running off the canvas), a circle; then more on top, which only
    // the changed region brings to the screen.
    const std::vector<std::vector<Draw>> rounds = {
        {
            {Draw::pixel, 40, 0, 0},
            {Draw::pixel, 15, w - 1, 0},
            {Draw::pixel, 9, 0, h - 1},
            {Draw::pixel, 40, w - 1, h - 1},
            {Draw::line, 15, 10, 20, w - 11, 20},
            {Draw::line, 40, 30, 40, 30, h - 41},
            {Draw::line, 2, -50, -30, w + 70, h + 90},
            {Draw::circle, 14, w / 2, h / 2, h / 3},
        },
        {
            {Draw::line, 0, 10, 20, w / 2, 20},  // black over part of the white line
            {Draw::circle, 40, w / 3, h / 3, 25},
            {Draw::line, 200, w - 1, 0, 0, h - 1},
        },
    };
    for (const auto& round : rounds) {
        for (const Draw& d : round) {
            ASSERT_TRUE(s.probe.send(d.command()));
            d.apply(expected);
        }
        ASSERT_TRUE(s.probe.send("sync"));
        ASSERT_TRUE(s.probe.line("synced"));
        EXPECT_EQ(wait_for_picture(s.x, *s.window, expected), "");
    }

    // The colours themselves, independently of the palette table.
    const auto shot = s.x.screenshot(*s.window);
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->at(w - 1, h - 1), (som::Rgb{252, 0, 0}));    // 40: red
    EXPECT_EQ(shot->at(w - 11, 20), (som::Rgb{252, 252, 252}));  // 15: white
    ASSERT_EQ(expected.get(w / 2, 5), 0) << "the check below needs an untouched pixel";
    EXPECT_EQ(shot->at(w / 2, 5), (som::Rgb{0, 0, 0}));

    expect_clean_end(s.probe);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WindowOnScreen,
                         testing::Values(Screen{1024, 768}, Screen{800, 480},
                                         Screen{1280, 1024}),
                         [](const testing::TestParamInfo<Screen>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

// --- Title.

TEST(Window, TitleShowsTheLatestActivity) {
    Session s(640, 480, "probe-title");
    ASSERT_OPEN(s);
    EXPECT_EQ(s.x.title(*s.window), "probe-title");
    for (const std::string activity :
         {"training", "press Enter in the console", "\u00dcbung l\u00e4uft"}) {
        ASSERT_TRUE(s.probe.send("activity " + activity));
        ASSERT_TRUE(s.probe.line("ok"));
        const std::string want = "probe-title " + em_dash + " " + activity;
        std::optional<std::string> title;
        for (const auto deadline = Clock::now() + wait_limit; Clock::now() < deadline;
             std::this_thread::sleep_for(10ms))
            if ((title = s.x.title(*s.window)) == want) break;
        EXPECT_EQ(title, want);
    }
    expect_clean_end(s.probe);
}

// --- Repainting what the canvas did not change.

TEST(Window, RepaintsWhatAnotherWindowUncovers) {
    Session s(640, 480, "probe-expose");
    ASSERT_OPEN(s);
    som::Image expected(640, 480);
    for (const Draw& d : {Draw{Draw::line, 15, 0, 100, 639, 100},
                          Draw{Draw::circle, 40, 200, 200, 80},
                          Draw{Draw::line, 9, 100, 0, 100, 479}}) {
        ASSERT_TRUE(s.probe.send(d.command()));
        d.apply(expected);
    }
    ASSERT_TRUE(s.probe.send("sync"));
    ASSERT_TRUE(s.probe.line("synced"));
    ASSERT_EQ(wait_for_picture(s.x, *s.window, expected), "");

    const som::Rgb green{0, 255, 0};  // in no picture the probe draws here
    const auto cover = s.x.cover(50, 50, 300, 300, green);
    ASSERT_TRUE(cover);
    const auto covered = s.x.screenshot(s.x.root());
    ASSERT_TRUE(covered);
    ASSERT_EQ(covered->at(60, 60), green) << "the cover did not hide the window";

    ASSERT_TRUE(s.x.destroy_window(*cover));
    EXPECT_EQ(wait_for_picture(s.x, *s.window, expected), "");
    expect_clean_end(s.probe);
}

// --- The window goes away while the program draws on: the program does not notice.

TEST(Window, ClosedByTheUserWhileDrawingTheProgramRunsOn) {
    Session s(800, 600, "probe-close");
    ASSERT_OPEN(s);
    ASSERT_TRUE(s.probe.send("draw"));
    ASSERT_TRUE(s.probe.line("drawing"));
    ASSERT_TRUE(shows_anything_but_black(s.x, *s.window)) << "nothing drawn reached the window";

    ASSERT_TRUE(s.x.close_window(*s.window));
    EXPECT_TRUE(s.probe.line("dead")) << s.probe.output();
    EXPECT_TRUE(s.x.wait_gone(*s.window, wait_limit));
    EXPECT_FALSE(s.x.broken());
    expect_clean_end(s.probe);
}

TEST(Window, DisplayLostWhileDrawingTheProgramRunsOn) {
    Session s(800, 600, "probe-lost");
    ASSERT_OPEN(s);
    ASSERT_TRUE(s.probe.send("draw"));
    ASSERT_TRUE(s.probe.line("drawing"));
    ASSERT_TRUE(shows_anything_but_black(s.x, *s.window)) << "nothing drawn reached the window";

    s.server.kill();
    EXPECT_TRUE(s.probe.line("dead")) << s.probe.output();
    // The harness's own connection is dead too, and says so instead of ending the test.
    EXPECT_FALSE(s.x.title(*s.window));
    EXPECT_TRUE(s.x.broken());
    // Not Xlib's exit(1) from the window thread, no crash at exit, no "XIO: fatal IO error".
    expect_clean_end(s.probe);
}

TEST(Window, DestroyedByAnotherClientWhileDrawingTheProgramRunsOn) {
    Session s(800, 600, "probe-destroyed");
    ASSERT_OPEN(s);
    ASSERT_TRUE(s.probe.send("draw"));
    ASSERT_TRUE(s.probe.line("drawing"));
    ASSERT_TRUE(shows_anything_but_black(s.x, *s.window));

    ASSERT_TRUE(s.x.destroy_window(*s.window));
    EXPECT_TRUE(s.probe.line("dead")) << s.probe.output();
    expect_clean_end(s.probe);
}

TEST(Window, CloseTakesTheWindowDownAndDrawingIsDropped) {
    Session s(800, 600, "probe-shut");
    ASSERT_OPEN(s);
    ASSERT_TRUE(s.probe.send("draw"));
    ASSERT_TRUE(s.probe.line("drawing"));
    ASSERT_TRUE(s.probe.send("close"));
    EXPECT_EQ(s.probe.line("closed"), "closed dead=1");
    // Gone by the time close() returned, not just eventually.
    EXPECT_FALSE(s.x.find_window("probe-shut", 0ms));
    // A second close() and the destructor find nothing left to do.
    expect_clean_end(s.probe);
}

// --- No display at all, or one chosen to be invisible.

struct NoDisplay {
    const char* name;
    std::map<std::string, std::string> env;  // DISPLAY etc. are unset unless given here
    bool opens;
};

class WindowWithoutDisplay : public testing::TestWithParam<NoDisplay> {};

// A display number with no server behind it.
std::string unused_display() {
    for (int n = 900 + static_cast<int>(getpid() % 50);; ++n) {
        struct stat st {};
        if (lstat(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), &st) != 0 &&
            lstat(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), &st) != 0)
            return ":" + std::to_string(n);
    }
}

TEST_P(WindowWithoutDisplay, FailsWithOneLineUnlessAnInvisibleDriverWasChosen) {
    Probe probe("probe-headless", GetParam().env);
    if (GetParam().opens) {
        const auto open = probe.line("open ");
        ASSERT_TRUE(open) << probe.output() << probe.errors();
        int width = 0, height = 0;
        std::istringstream(open->substr(5)) >> width >> height;
        EXPECT_GT(width, 0);
        EXPECT_GT(height, 0);
        ASSERT_TRUE(probe.send("line 15 0 0 50 50"));
        expect_clean_end(probe);
    } else {
        const auto status = probe.exit_status();
        EXPECT_TRUE(exited_with(status, 3)) << describe(status) << "\n" << probe.output();
        EXPECT_EQ(probe.errors(), "Window creation failed\n");
        EXPECT_EQ(probe.output(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowWithoutDisplay,
    testing::Values(NoDisplay{"Unset", {}, false},
                    NoDisplay{"NoServer", {{"DISPLAY", unused_display()}}, false},
                    NoDisplay{"Offscreen", {{"SDL_VIDEODRIVER", "offscreen"}}, true},
                    NoDisplay{"Dummy", {{"SDL_VIDEODRIVER", "dummy"}}, true}),
    [](const testing::TestParamInfo<NoDisplay>& info) { return info.param.name; });

// --- Ctrl+C and kill still end the program: SDL keeps its hands off the signals.

class WindowSignal : public testing::TestWithParam<int> {};

TEST_P(WindowSignal, EndsTheProgramWhileItDraws) {
    Session s(640, 480, "probe-signal");
    ASSERT_OPEN(s);
    ASSERT_TRUE(s.probe.send("draw"));
    ASSERT_TRUE(s.probe.line("drawing"));
    ASSERT_EQ(kill(s.probe.pid(), GetParam()), 0);
    const auto status = s.probe.exit_status();
    ASSERT_TRUE(status) << "the probe did not end";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == GetParam()) << describe(status);
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowSignal, testing::Values(SIGINT, SIGTERM),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

}  // namespace
