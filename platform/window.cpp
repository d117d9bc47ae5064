// The canvas window: SDL on a thread of its own (see window.h).
//
// Everything SDL and X happens on the window thread; the program thread only draws into
// the Canvas and, through show_activity() and close(), sets flags the thread picks up at
// its next frame. Losing the display must not end the process: Xlib's handlers are
// replaced so that a dead connection marks the canvas dead instead of calling exit(), and
// the thread never touches SDL or X again afterwards.
#include "platform/window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <fenv.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/canvas.h"
#include "platform/palette.h"

namespace som {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto frame_interval = std::chrono::milliseconds(16);
// Far beyond any real start-up (the measured one is under 0.2 s); only a hung X server gets
// here.
constexpr auto startup_limit = std::chrono::seconds(15);
constexpr auto close_limit = std::chrono::milliseconds(500);
constexpr int minimum_side = 200;

// What the window thread and the rest share. Kept alive by both sides (a shared_ptr), so
// that a thread left behind (detached) never outlives its state.
struct Shared {
    explicit Shared(std::string name) : program(std::move(name)) {}

    const std::string program;

    // Start-up handshake with open().
    enum class Startup { pending, shown, failed };
    std::mutex startup_mutex;
    std::condition_variable startup_done;
    Startup startup = Startup::pending;
    bool abandoned = false;  // open() gave up waiting

    // Set by the thread before the start-up handshake succeeds; fixed afterwards.
    std::unique_ptr<Canvas> canvas;
    std::atomic<Canvas*> live_canvas{nullptr};  // for the Xlib handlers

    std::mutex title_mutex;
    std::optional<std::string> pending_title;

    std::atomic<bool> close_requested{false};
    // The display connection is broken: no SDL or X call may be made from now on.
    std::atomic<bool> display_lost{false};
    // Our X window was destroyed by someone else.
    std::atomic<bool> destroyed_outside{false};
    // The thread has let go of SDL (or never will touch it again).
    std::atomic<bool> finished{false};
    // The thread function has returned (so it can be joined at once).
    std::atomic<bool> returned{false};

    std::atomic<unsigned long> x_window{0};
    std::atomic<void*> exit_handled_display{nullptr};

    void fail_startup() {
        std::lock_guard lock(startup_mutex);
        if (startup == Startup::pending) startup = Startup::failed;
        startup_done.notify_all();
    }

    void lose_display() {
        display_lost.store(true);
        if (Canvas* c = live_canvas.load()) c->kill();
        fail_startup();
        finished.store(true);
    }
};

// The one window of the process, as Xlib's process-wide handlers see it.
std::atomic<Shared*> active{nullptr};
thread_local bool on_window_thread = false;

// --- Xlib, looked up at run time rather than linked: SDL brings libX11 in (or does not,
// where there is no X), and these must be the very functions SDL's copy uses.

using ErrorHandler = int (*)(Display*, XErrorEvent*);
using IoErrorHandler = int (*)(Display*);
using IoExitHandler = void (*)(Display*, void*);
using SetErrorHandler = ErrorHandler (*)(ErrorHandler);
using SetIoErrorHandler = IoErrorHandler (*)(IoErrorHandler);
using SetIoExitHandler = void (*)(Display*, IoExitHandler, void*);
using Flush = int (*)(Display*);
using InternAtom = Atom (*)(Display*, const char*, Bool);
using ChangeProperty = int (*)(Display*, ::Window, Atom, Atom, int, int, const unsigned char*,
                               int);

struct Xlib {
    SetErrorHandler set_error_handler = nullptr;
    SetIoErrorHandler set_io_error_handler = nullptr;
    SetIoExitHandler set_io_exit_handler = nullptr;  // libX11 1.7 and later
    Flush flush = nullptr;
    InternAtom intern_atom = nullptr;
    ChangeProperty change_property = nullptr;
};

template <class F>
F symbol(void* library, const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}

const Xlib& xlib() {
    static const Xlib functions = [] {
        Xlib x;
        void* library = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (library == nullptr) library = dlopen("libX11.so.6", RTLD_LAZY);
        if (library == nullptr) return x;  // no X at all: SDL cannot pick the X driver either
        x.set_error_handler = symbol<SetErrorHandler>(library, "XSetErrorHandler");
        x.set_io_error_handler = symbol<SetIoErrorHandler>(library, "XSetIOErrorHandler");
        x.set_io_exit_handler = symbol<SetIoExitHandler>(library, "XSetIOErrorExitHandler");
        x.flush = symbol<Flush>(library, "XFlush");
        x.intern_atom = symbol<InternAtom>(library, "XInternAtom");
        x.change_property = symbol<ChangeProperty>(library, "XChangeProperty");
        return x;  // the library stays open for the life of the process
    }();
    return functions;
}

[[noreturn]] void park_forever() {
    for (;;) pause();
}

// A protocol error. Most are SDL's own probing (it catches those with handlers of its
// own); one naming our window means the window was destroyed behind our back.
int on_x_error(Display*, XErrorEvent* error) {
    Shared* s = active.load();
    if (s == nullptr) return 0;
    const unsigned long mine = s->x_window.load();
    if (mine != 0 && error->resourceid == mine &&
        (error->error_code == BadWindow || error->error_code == BadDrawable)) {
        s->destroyed_outside.store(true);
        if (Canvas* c = s->live_canvas.load()) c->kill();
    }
    return 0;
}

// The connection is gone. Returning lets Xlib call the exit handler: ours (installed on
// the display once the window exists) returns as well, and Xlib then just fails every
// later call. Without ours, Xlib would exit() the whole process from this thread, so the
// window thread stays here for good instead; the process ends later through _exit.
int on_x_io_error(Display* display) {
    Shared* s = active.load();
    if (s == nullptr) return 0;
    s->lose_display();
    if (s->exit_handled_display.load() == static_cast<void*>(display)) return 0;
    if (on_window_thread) park_forever();
    return 0;
}

void on_x_io_exit(Display*, void* data) {
    static_cast<Shared*>(data)->lose_display();
}

void install_process_handlers() {
    const Xlib& x = xlib();
    if (x.set_error_handler != nullptr) x.set_error_handler(on_x_error);
    if (x.set_io_error_handler != nullptr) x.set_io_error_handler(on_x_io_error);
}

// --- Which SDL video drivers mean "no display".

bool equal_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
               return std::tolower(static_cast<unsigned char>(p)) ==
                      std::tolower(static_cast<unsigned char>(q));
           });
}

bool headless(std::string_view driver) {
    return equal_nocase(driver, "offscreen") || equal_nocase(driver, "dummy") ||
           equal_nocase(driver, "evdev");
}

// Whether the user named this driver in SDL_VIDEODRIVER (a comma-separated list).
bool requested(std::string_view driver) {
    const char* env = std::getenv("SDL_VIDEODRIVER");
    if (env == nullptr) return false;
    std::string_view list(env);
    while (!list.empty()) {
        const auto comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        if (equal_nocase(name, driver)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool set_hint(const char* name, const char* value) {
    return SDL_SetHintWithPriority(name, value, SDL_HINT_OVERRIDE) == SDL_TRUE;
}

bool set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Unless the user chose, the drivers SDL may try: none that shows nothing, and not Wayland
// where it cannot connect (libwayland would say so on standard error, which is the
// program's).
std::string drivers_to_try() {
    const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
    const bool wayland_possible =
        set("XDG_RUNTIME_DIR") || (wayland_display != nullptr && wayland_display[0] == '/');
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (name == nullptr || headless(name)) continue;
        if (!wayland_possible && equal_nocase(name, "wayland")) continue;
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

// --- The window thread.

class Session {
public:
    explicit Session(Shared& shared) : s_(shared) {}

    void run() {
        const bool started = start();
        bool go = false;
        {
            std::lock_guard lock(s_.startup_mutex);
            if (s_.startup == Shared::Startup::pending) {
                go = started && !s_.abandoned && !s_.display_lost.load();
                s_.startup = go ? Shared::Startup::shown : Shared::Startup::failed;
            }
            s_.startup_done.notify_all();
        }
        if (go) {
            loop();
        } else if (!s_.display_lost.load()) {
            if (s_.canvas) s_.canvas->kill();
            shut_down();
        }
    }

private:
    bool start() {
        install_process_handlers();
        // The GL-backed window surface is slow to create, hangs at exit after a display
        // loss, and trips floating-point traps; SDL must not take Ctrl+C from the terminal.
        if (!set_hint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0") ||
            !set_hint(SDL_HINT_NO_SIGNAL_HANDLERS, "1") ||
            !set_hint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0"))
            return false;
        if (!set("SDL_VIDEODRIVER")) {
            const std::string drivers = drivers_to_try();
            if (drivers.empty() || !set_hint(SDL_HINT_VIDEODRIVER, drivers.c_str()))
                return false;
        }
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
        sdl_up_ = true;
        if (s_.display_lost.load()) return false;

        const char* driver = SDL_GetCurrentVideoDriver();
        // SDL falls back to a driver that shows nothing when there is no display; only a
        // user who asked for one by name gets it.
        if (driver == nullptr || (headless(driver) && !requested(driver))) return false;

        SDL_Rect usable{};
        if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0)
            return false;

        window_ = SDL_CreateWindow(s_.program.c_str(), usable.x, usable.y, usable.w, usable.h,
                                   SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
        if (window_ == nullptr || s_.display_lost.load()) return false;
        watch_display();
        SDL_SetWindowMinimumSize(window_, std::min(minimum_side, usable.w),
                                 std::min(minimum_side, usable.h));
        SDL_StopTextInput();  // keys are ignored: no input method either

        SDL_ShowWindow(window_);
        if (s_.display_lost.load()) return false;
        fit_decorations(usable);

        int width = 0, height = 0;
        SDL_GetWindowSize(window_, &width, &height);
        if (width <= 0 || height <= 0) return false;

        mirror_ = SDL_CreateRGBSurfaceWithFormat(0, width, height, 8, SDL_PIXELFORMAT_INDEX8);
        if (mirror_ == nullptr || mirror_->format->palette == nullptr) return false;
        SDL_Color colours[256];
        const Palette& palette = canvas_palette();
        for (int i = 0; i < 256; ++i)
            colours[i] = SDL_Color{palette[static_cast<std::size_t>(i)].r,
                                   palette[static_cast<std::size_t>(i)].g,
                                   palette[static_cast<std::size_t>(i)].b, 255};
        if (SDL_SetPaletteColors(mirror_->format->palette, colours, 0, 256) != 0) return false;
        if (SDL_FillRect(mirror_, nullptr, 0) != 0) return false;

        s_.canvas = std::make_unique<Canvas>(width, height);
        s_.live_canvas.store(s_.canvas.get());

        // The first frame: all black, so that the window is shown before open() returns.
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (target == nullptr) return false;
        if (SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0)) != 0)
            return false;
        if (SDL_UpdateWindowSurface(window_) != 0) return false;
        return !s_.display_lost.load();
    }

    // On X, learn the connection and the window, and make a dead connection come back to
    // us instead of exiting.
    void watch_display() {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(window_, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11)
            return;
        s_.x_window.store(info.info.x11.window);
        x_display_ = info.info.x11.display;
        if (xlib().intern_atom != nullptr && x_display_ != nullptr) {
            net_wm_name_ = xlib().intern_atom(x_display_, "_NET_WM_NAME", False);
            utf8_string_ = xlib().intern_atom(x_display_, "UTF8_STRING", False);
        }
        if (xlib().set_io_exit_handler != nullptr && info.info.x11.display != nullptr) {
            xlib().set_io_exit_handler(info.info.x11.display, on_x_io_exit, &s_);
            s_.exit_handled_display.store(info.info.x11.display);
        }
    }

    // Under a window manager the usable area includes the frame; SDL learns the frame once
    // the window is mapped. Shrink the client area to leave room for it.
    void fit_decorations(const SDL_Rect& usable) {
        int top = 0, left = 0, bottom = 0, right = 0;
        if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0) return;
        if (top == 0 && left == 0 && bottom == 0 && right == 0) return;
        const int width = std::max(1, usable.w - left - right);
        const int height = std::max(1, usable.h - top - bottom);
        SDL_SetWindowSize(window_, width, height);
        SDL_SetWindowPosition(window_, usable.x + left, usable.y + top);
    }

    void loop() {
        Canvas& canvas = *s_.canvas;
        auto next_frame = Clock::now();
        for (;;) {
            next_frame += frame_interval;
            const auto now = Clock::now();
            if (next_frame < now) next_frame = now;  // fell behind: don't try to catch up
            while (!stopping()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    next_frame - Clock::now());
                SDL_Event event;
                // At least 1: SDL 2.26 given 0 here waits for the next event, however long.
                const int timeout = static_cast<int>(std::max<long long>(left.count(), 1));
                if (SDL_WaitEventTimeout(&event, timeout) == 0) break;
                if (s_.display_lost.load()) break;
                handle(event, canvas);
            }
            if (s_.display_lost.load()) return;  // not a single SDL call more
            if (stopping()) {
                canvas.kill();
                shut_down();
                return;
            }
            apply_title();
            repaint(canvas);
        }
    }

    bool stopping() const {
        return user_closed_ || s_.close_requested.load() || s_.destroyed_outside.load() ||
               s_.display_lost.load();
    }

    void handle(const SDL_Event& event, Canvas& canvas) {
        switch (event.type) {
        case SDL_QUIT:
            user_closed_ = true;
            canvas.kill();
            break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                user_closed_ = true;
                canvas.kill();
                break;
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_EXPOSED:
            case SDL_WINDOWEVENT_RESIZED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_RESTORED:
                repaint_all_ = true;
                break;
            default:
                break;
            }
            break;
        default:
            break;  // keys and the mouse do nothing here
        }
    }

    void apply_title() {
        std::optional<std::string> title;
        {
            std::lock_guard lock(s_.title_mutex);
            title.swap(s_.pending_title);
        }
        if (!title) return;
        SDL_SetWindowTitle(window_, title->c_str());
        if (x_display_ == nullptr) return;
        // In the C locale SDL gives up on a title that is not ASCII (the em dash) before it
        // sets _NET_WM_NAME, what window managers show; that one is plain UTF-8 anyway.
        if (xlib().change_property != nullptr && net_wm_name_ != 0 && utf8_string_ != 0)
            xlib().change_property(x_display_, s_.x_window.load(), net_wm_name_, utf8_string_,
                                   8, PropModeReplace,
                                   reinterpret_cast<const unsigned char*>(title->data()),
                                   static_cast<int>(title->size()));
        // SDL leaves the change in Xlib's buffer until something else flushes it, which may
        // be long when nothing is drawn.
        if (xlib().flush != nullptr) xlib().flush(x_display_);
    }

    void repaint(Canvas& canvas) {
        // A resize invalidates the surface; SDL hands out a fresh one here.
        SDL_Surface* target = SDL_GetWindowSurface(window_);
        if (target == nullptr) {
            repaint_all_ = true;
            return;
        }
        if (repaint_all_) canvas.mark_all_changed();
        Rect changed;
        canvas.take_changes([&](const Image& image, const Rect& region) {
            changed = region;
            auto* pixels = static_cast<std::uint8_t*>(mirror_->pixels);
            const auto width = static_cast<std::size_t>(region.x1 - region.x0 + 1);
            for (int y = region.y0; y <= region.y1; ++y)
                std::memcpy(pixels + static_cast<std::ptrdiff_t>(y) * mirror_->pitch + region.x0,
                            image.row(y) + region.x0, width);
        });
        if (repaint_all_) {
            repaint_all_ = false;
            SDL_Rect all{0, 0, mirror_->w, mirror_->h};
            // A window larger than the canvas shows black beyond it.
            if (SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0)) != 0 ||
                SDL_BlitSurface(mirror_, &all, target, &all) != 0 ||
                SDL_UpdateWindowSurface(window_) != 0)
                repaint_all_ = true;  // the surface went stale under us: next frame
            return;
        }
        if (changed.empty()) return;
        SDL_Rect source{changed.x0, changed.y0, changed.x1 - changed.x0 + 1,
                        changed.y1 - changed.y0 + 1};
        SDL_Rect dest = source;  // SDL clips it to the window surface
        if (SDL_BlitSurface(mirror_, &source, target, &dest) != 0 ||
            (dest.w > 0 && dest.h > 0 && SDL_UpdateWindowSurfaceRects(window_, &dest, 1) != 0))
            repaint_all_ = true;
    }

    void shut_down() {
        if (mirror_ != nullptr) SDL_FreeSurface(mirror_);
        mirror_ = nullptr;
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        window_ = nullptr;
        s_.x_window.store(0);
        if (sdl_up_) SDL_Quit();  // closes the connection: the server drops what is left
        sdl_up_ = false;
        s_.finished.store(true);
    }

    Shared& s_;
    bool sdl_up_ = false;
    SDL_Window* window_ = nullptr;
    Display* x_display_ = nullptr;  // on X only
    Atom net_wm_name_ = 0, utf8_string_ = 0;
    SDL_Surface* mirror_ = nullptr;  // the canvas as last copied, in the canvas's indices
    bool user_closed_ = false;
    bool repaint_all_ = false;
};

void window_thread(std::shared_ptr<Shared> shared) {
    on_window_thread = true;
    // The program runs with floating-point traps on; SDL and Xlib are not written for that.
    fedisableexcept(FE_ALL_EXCEPT);
    Session(*shared).run();
    shared->finished.store(true);
    Shared* self = shared.get();
    active.compare_exchange_strong(self, nullptr);
    shared->returned.store(true);
}

class SdlWindow final : public Window {
public:
    SdlWindow(std::shared_ptr<Shared> shared, std::thread thread)
        : s_(std::move(shared)), thread_(std::move(thread)) {}

    ~SdlWindow() override {
        close();
        if (s_->returned.load())
            thread_.join();
        else
            thread_.detach();  // parked or stuck in a hung server: the state outlives it
    }

    Canvas& canvas() override { return *s_->canvas; }

    void show_activity(const std::string& activity) override {
        std::string title = s_->program + " \u2014 " + activity;
        std::lock_guard lock(s_->title_mutex);
        s_->pending_title = std::move(title);
    }

    // Called from end hooks too, maybe in a dying signal handler: no locks, no allocation;
    // the thread kills the canvas itself before taking the window down.
    void close() override {
        s_->close_requested.store(true);
        const timespec step{0, 1000000};
        for (int waited = 0; !s_->finished.load() && waited < close_limit.count(); ++waited)
            nanosleep(&step, nullptr);
    }

private:
    std::shared_ptr<Shared> s_;
    std::thread thread_;
};

void report_failure() {
    std::fputs("Window creation failed\n", stderr);
}

}  // namespace

std::unique_ptr<Window> Window::open(const std::string& program) {
    auto shared = std::make_shared<Shared>(program);
    active.store(shared.get());
    std::thread thread;
    try {
        thread = std::thread(window_thread, shared);
    } catch (const std::system_error&) {
        report_failure();
        return nullptr;
    }
    bool shown = false;
    {
        std::unique_lock lock(shared->startup_mutex);
        shared->startup_done.wait_for(lock, startup_limit, [&] {
            return shared->startup != Shared::Startup::pending;
        });
        shown = shared->startup == Shared::Startup::shown;
        if (!shown) shared->abandoned = true;
    }
    if (!shown) {
        report_failure();
        // Failed start-ups end at once; a thread parked after a lost display does not.
        const timespec step{0, 1000000};
        for (int waited = 0; !shared->returned.load() && waited < 100; ++waited)
            nanosleep(&step, nullptr);
        if (shared->returned.load())
            thread.join();
        else
            thread.detach();
        return nullptr;
    }
    return std::make_unique<SdlWindow>(std::move(shared), std::move(thread));
}

}  // namespace som
