// Test harness: a private X server, and a client that looks at it from outside as a user
// (or another program) would.
//
//   Xvfb server(1024, 768);           // a free display :N, one 1024x768x24 screen, ready
//   run the program under test with DISPLAY=server.display()
//   XClient x(server.display());
//   auto w = x.find_window("solidanim", 10s);  // a viewable top-level window, by title
//   x.title(*w); x.size(*w); x.screenshot(*w); // what is on the screen
//   x.close_window(*w);                        // the close button (WM_DELETE_WINDOW)
//   x.destroy_window(*w);                      // another client destroys it
//   server.kill();                             // SIGKILL: the display is lost
//
// There is no window manager: windows keep the size and place they ask for. Every wait is
// bounded. Failing to start a server or to connect throws std::runtime_error; a query on
// a window that is gone gives nullopt or false. An XClient survives its server's death:
// it notices (broken()) and from then on answers nullopt/false without touching the
// connection. The server is stopped when the Xvfb object goes, and gets SIGTERM if the
// test process dies first. Use both from the thread that made them; XClient installs
// Xlib's process-wide error handlers of its own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/palette.h"  // som::Rgb (header only)

namespace som::test {

using XWindowId = unsigned long;

struct WindowSize {
    int width = 0, height = 0;
    bool operator==(const WindowSize&) const = default;
};

// A window's contents as 8-bit RGB, row by row.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    const Rgb& at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

class Xvfb {
public:
    // Starts `Xvfb :N -screen 0 WxHx24 -nolisten tcp -noreset` on a display number no one
    // uses and returns once it accepts connections. Throws std::runtime_error (with the
    // server's own complaint) if that does not happen within `timeout`.
    Xvfb(int width, int height,
         std::chrono::milliseconds timeout = std::chrono::seconds(15));
    ~Xvfb();  // stop()
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    const std::string& display() const { return display_; }  // ":N"
    int width() const { return width_; }
    int height() const { return height_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }

    // Ends the server in order (SIGTERM, SIGKILL after 3 s). Idempotent.
    void stop();
    // Ends it at once with SIGKILL, as a crash would: its clients lose the display.
    void kill();

private:
    void reap(std::chrono::milliseconds patience);

    int width_, height_;
    int number_ = -1;
    std::string display_;
    pid_t pid_ = -1;
};

class XClient {
public:
    // Connects to `display`; throws std::runtime_error if that fails.
    explicit XClient(const std::string& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    // The server has gone away under this connection.
    bool broken() const { return broken_; }

    // The root window of the default screen: the screen as a whole.
    XWindowId root();

    // The first viewable top-level window whose title contains `part`, looked for until
    // `timeout` has passed.
    std::optional<XWindowId> find_window(std::string_view part,
                                         std::chrono::milliseconds timeout);
    // Whether `window` is destroyed or unmapped within `timeout`.
    bool wait_gone(XWindowId window, std::chrono::milliseconds timeout);

    // _NET_WM_NAME (UTF-8), or WM_NAME when that is missing.
    std::optional<std::string> title(XWindowId window);
    std::optional<WindowSize> size(XWindowId window);
    // The window's contents as shown on the screen (XGetImage). The window must be
    // viewable and on the screen.
    std::optional<Screenshot> screenshot(XWindowId window);

    // Sends WM_DELETE_WINDOW as a window manager does for the close button; false if the
    // window is gone or does not take part in that protocol.
    bool close_window(XWindowId window);
    // Destroys a window of another client from outside.
    bool destroy_window(XWindowId window);
    // Maps a plain window of one colour at (x, y), above everything (override-redirect),
    // to hide part of what is below; destroy_window() takes it away again.
    std::optional<XWindowId> cover(int x, int y, int width, int height, Rgb colour);

private:
    bool sync_ok();
    bool alive(XWindowId window);

    void* display_ = nullptr;  // Display*, kept out of this header
    bool broken_ = false;
};

}  // namespace som::test
