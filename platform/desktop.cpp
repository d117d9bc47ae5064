#include "platform/desktop.h"

#include <cerrno>
#include <ctime>
#include <memory>

#include "platform/canvas.h"
#include "platform/console.h"
#include "platform/graph.h"
#include "platform/host.h"
#include "platform/process.h"
#include "platform/runtime_error.h"
#include "platform/window.h"

namespace som {
namespace {

class DesktopHost final : public Host {
public:
    explicit DesktopHost(const char* program) : program_(program) {}

    Canvas* open_canvas() override {
        window_ = Window::open(program_);
        return window_ ? &window_->canvas() : nullptr;
    }

    void read_line() override { Console::instance().read_line(); }

    bool key_pressed() override { return Console::instance().key_pressed(); }

    void delay(std::uint16_t ms) override {
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += ms / 1000;
        until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000L;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }

    std::uint32_t clock_tick() override {
        return millisecond_tick();
    }

    void show_activity(const char* activity) override {
        if (window_) window_->show_activity(activity);
    }

    void close_window() {
        if (window_) window_->close();
    }

private:
    const char* program_;
    std::unique_ptr<Window> window_;
};

DesktopHost* desktop = nullptr;

}  // namespace

void run_program(const char* name, void (*run_sequence)()) {
    Console::instance();  // the key reader is ready before the first step
    trap_float_faults();
    static DesktopHost host(name);
    desktop = &host;
    install_host(host);
    // The window goes away before a run-time error is reported.
    on_end([] { desktop->close_window(); });
    run_sequence();
    end_process(0);
}

}  // namespace som
