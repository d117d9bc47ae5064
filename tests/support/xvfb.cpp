#include "tests/support/xvfb.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace som::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string lock_path(int n) { return "/tmp/.X" + std::to_string(n) + "-lock"; }
std::string socket_path(int n) { return "/tmp/.X11-unix/X" + std::to_string(n); }

int remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, offset);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
    return text;
}

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// Waits up to `patience` for `pid` to end; true once it has been reaped.
bool reap_within(pid_t pid, milliseconds patience) {
    const auto deadline = Clock::now() + patience;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
}

}  // namespace

// --- The server.

Xvfb::Xvfb(int width, int height, milliseconds timeout) : width_(width), height_(height) {
    const auto deadline = Clock::now() + timeout;
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::string complaints;
    // Start away from :0 and apart from other test processes running at the same time;
    // a server that loses the race for its number just fails, and the next one is tried.
    int candidate = 100 + static_cast<int>(getpid() % 400);
    for (int attempt = 0; attempt < 50 && Clock::now() < deadline; ++attempt, ++candidate) {
        if (exists(socket_path(candidate)) || exists(lock_path(candidate))) continue;

        char log_name[] = "/tmp/som-xvfb-log-XXXXXX";
        Fd log(mkstemp(log_name));
        if (log.fd < 0) throw std::runtime_error("Xvfb: mkstemp failed");
        if (unlink(log_name) != 0) throw std::runtime_error("Xvfb: unlink failed");
        Fd devnull(::open("/dev/null", O_RDWR | O_CLOEXEC));
        if (devnull.fd < 0) throw std::runtime_error("Xvfb: cannot open /dev/null");
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("Xvfb: pipe failed");
        Fd ready(ends[0]), ready_write(ends[1]);

        const std::string display = ":" + std::to_string(candidate);
        const char* argv[] = {"Xvfb", display.c_str(), "-screen", "0", screen.c_str(),
                              "-nolisten", "tcp", "-noreset", "-displayfd", "3", nullptr};
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) throw std::runtime_error("Xvfb: fork failed");
        if (pid == 0) {
            // Only async-signal-safe calls from here on.
            if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
            if (dup2(devnull.fd, 0) < 0 || dup2(devnull.fd, 1) < 0 || dup2(log.fd, 2) < 0 ||
                dup2(ready_write.fd, 3) < 0 || fcntl(3, F_SETFD, 0) != 0)
                _exit(127);
            execvp("Xvfb", const_cast<char* const*>(argv));
            _exit(127);
        }
        ready_write.reset();

        // The server writes its display number to fd 3 once it accepts connections.
        std::string answer;
        bool ended = false;
        while (answer.find('\n') == std::string::npos) {
            pollfd p{ready.fd, POLLIN, 0};
            const int r = poll(&p, 1, remaining_ms(deadline));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;  // out of time
            char buffer[32];
            const ssize_t n = read(ready.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ended = true;
                break;
            }
            answer.append(buffer, static_cast<std::size_t>(n));
        }
        if (answer.find('\n') != std::string::npos) {
            pid_ = pid;
            number_ = candidate;
            display_ = display;
            return;
        }
        if (!ended) ::kill(pid, SIGKILL);
        if (!reap_within(pid, milliseconds(5000))) ::kill(pid, SIGKILL);
        reap_within(pid, milliseconds(1000));
        complaints += display + ": " + read_all(log.fd);
        if (!ended) break;  // a server that hangs is no better on another number
    }
    throw std::runtime_error("Xvfb did not start: " + complaints);
}

Xvfb::~Xvfb() { stop(); }

void Xvfb::reap(milliseconds patience) {
    if (pid_ > 0 && reap_within(pid_, patience)) pid_ = -1;
}

void Xvfb::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    reap(milliseconds(3000));
    if (pid_ > 0) kill();
}

void Xvfb::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    reap(milliseconds(5000));
    pid_ = -1;
    // A killed server leaves its lock and socket behind; no one else can own them yet.
    unlink(lock_path(number_).c_str());
    unlink(socket_path(number_).c_str());
}

// --- The client.

namespace {

std::atomic<int> last_error{0};

int record_error(Display*, XErrorEvent* error) {
    last_error.store(error->error_code);
    return 0;
}

// Returning hands over to the connection's exit handler, which marks the client broken.
int carry_on(Display*) { return 0; }

Display* dpy(void* display) { return static_cast<Display*>(display); }

}  // namespace

XClient::XClient(const std::string& display) {
    XSetErrorHandler(record_error);
    XSetIOErrorHandler(carry_on);
    Display* d = XOpenDisplay(display.c_str());
    if (d == nullptr) throw std::runtime_error("cannot connect to X display " + display);
    XSetIOErrorExitHandler(
        d, [](Display*, void* self) { static_cast<XClient*>(self)->broken_ = true; }, this);
    display_ = d;
}

XClient::~XClient() {
    // A dead connection is left as it is: closing it would only fail again.
    if (!broken_) XCloseDisplay(dpy(display_));
}

bool XClient::sync_ok() {
    if (broken_) return false;
    XSync(dpy(display_), False);
    return !broken_ && last_error.exchange(0) == 0;
}

bool XClient::alive(XWindowId window) {
    if (!sync_ok() && broken_) return false;
    XWindowAttributes attributes{};
    const Status got = XGetWindowAttributes(dpy(display_), window, &attributes);
    return sync_ok() && got != 0 && attributes.map_state == IsViewable;
}

XWindowId XClient::root() { return DefaultRootWindow(dpy(display_)); }

std::optional<XWindowId> XClient::find_window(std::string_view part, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (!sync_ok() && broken_) return std::nullopt;
        Display* d = dpy(display_);
        std::vector<XWindowId> candidates;
        // Top-level windows, and one level further down for frames of a window manager.
        auto children_of = [&](XWindowId parent) {
            std::vector<XWindowId> found;
            Window root = 0, up = 0;
            Window* children = nullptr;
            unsigned count = 0;
            if (XQueryTree(d, parent, &root, &up, &children, &count) != 0 && children) {
                found.assign(children, children + count);
                XFree(children);
            }
            sync_ok();
            return found;
        };
        for (XWindowId top : children_of(DefaultRootWindow(d))) {
            candidates.push_back(top);
            for (XWindowId inner : children_of(top)) candidates.push_back(inner);
        }
        for (XWindowId w : candidates) {
            if (!alive(w)) continue;
            const auto name = title(w);
            if (name && name->find(part) != std::string::npos) return w;
        }
        if (broken_ || Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

bool XClient::wait_gone(XWindowId window, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (broken_) return true;
        if (!alive(window)) return !broken_;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
}

std::optional<std::string> XClient::title(XWindowId window) {
    if (!sync_ok() && broken_) return std::nullopt;
    Display* d = dpy(display_);
    auto property = [&](Atom name, Atom type) -> std::optional<std::string> {
        Atom actual = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        const int got = XGetWindowProperty(d, window, name, 0, 65536, False, type, &actual,
                                           &format, &items, &after, &data);
        std::optional<std::string> text;
        if (got == Success && data != nullptr && format == 8)
            text = std::string(reinterpret_cast<const char*>(data), items);
        if (data != nullptr) XFree(data);
        if (!sync_ok()) return std::nullopt;
        return text;
    };
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    const Atom net_wm_name = XInternAtom(d, "_NET_WM_NAME", False);
    if (auto name = property(net_wm_name, utf8)) return name;
    return property(XA_WM_NAME, AnyPropertyType);
}

std::optional<WindowSize> XClient::size(XWindowId window) {
    if (!sync_ok() && broken_) return std::nullopt;
    XWindowAttributes attributes{};
    const Status got = XGetWindowAttributes(dpy(display_), window, &attributes);
    if (!sync_ok() || got == 0) return std::nullopt;
    return WindowSize{attributes.width, attributes.height};
}

std::optional<Screenshot> XClient::screenshot(XWindowId window) {
    const auto extent = size(window);
    if (!extent) return std::nullopt;
    XImage* image = XGetImage(dpy(display_), window, 0, 0,
                              static_cast<unsigned>(extent->width),
                              static_cast<unsigned>(extent->height), AllPlanes, ZPixmap);
    if (!sync_ok() || image == nullptr) {
        if (image != nullptr) XDestroyImage(image);
        return std::nullopt;
    }
    // Each channel by its mask, scaled to 8 bits whatever the visual's depth.
    struct Channel {
        unsigned long mask;
        int shift = 0;
        unsigned long max = 0;
        explicit Channel(unsigned long m) : mask(m) {
            while (mask != 0 && ((mask >> shift) & 1u) == 0) ++shift;
            max = mask >> shift;
        }
        std::uint8_t operator()(unsigned long pixel) const {
            if (max == 0) return 0;
            return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255u / max);
        }
    };
    const Channel red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
    Screenshot shot;
    shot.width = extent->width;
    shot.height = extent->height;
    shot.pixels.reserve(static_cast<std::size_t>(shot.width) *
                        static_cast<std::size_t>(shot.height));
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            shot.pixels.push_back(Rgb{red(pixel), green(pixel), blue(pixel)});
        }
    XDestroyImage(image);
    return shot;
}

bool XClient::close_window(XWindowId window) {
    if (!sync_ok() && broken_) return false;
    Display* d = dpy(display_);
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
    Atom* offered = nullptr;
    int count = 0;
    bool takes_part = false;
    if (XGetWMProtocols(d, window, &offered, &count) != 0 && offered != nullptr) {
        for (int i = 0; i < count; ++i) takes_part = takes_part || offered[i] == delete_window;
        XFree(offered);
    }
    if (!sync_ok() || !takes_part) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(delete_window);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(d, window, False, NoEventMask, &event);
    return sync_ok() && sent != 0;
}

bool XClient::destroy_window(XWindowId window) {
    if (!sync_ok() && broken_) return false;
    XDestroyWindow(dpy(display_), window);
    return sync_ok();
}

std::optional<XWindowId> XClient::cover(int x, int y, int width, int height, Rgb colour) {
    if (!sync_ok() && broken_) return std::nullopt;
    Display* d = dpy(display_);
    XColor pixel{};
    pixel.red = static_cast<unsigned short>(colour.r * 257);
    pixel.green = static_cast<unsigned short>(colour.g * 257);
    pixel.blue = static_cast<unsigned short>(colour.b * 257);
    if (XAllocColor(d, DefaultColormap(d, DefaultScreen(d)), &pixel) == 0 || !sync_ok())
        return std::nullopt;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = pixel.pixel;
    const Window w = XCreateWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent,
                                   InputOutput, CopyFromParent,
                                   CWOverrideRedirect | CWBackPixel, &attributes);
    if (!sync_ok() || w == 0) return std::nullopt;
    XMapRaised(d, w);
    if (!sync_ok()) return std::nullopt;
    return w;
}

}  // namespace som::test
