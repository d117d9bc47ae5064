#include "platform/console.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "platform/keys.h"
#include "platform/line_editor.h"
#include "platform/process.h"
#include "platform/runtime_error.h"

namespace som {
namespace {

using Clock = std::chrono::steady_clock;

// A failed read of standard input ends the program as the nearest run-time error there
// is: 100, "disk read error". The errno is not a run-time error number of its own.
constexpr int input_error = 100;

// How long input must stay quiet before a lone Esc is taken as the Esc key: an escape
// sequence from a terminal comes in one piece, well within this.
constexpr auto escape_wait = std::chrono::milliseconds(50);

constexpr std::size_t chunk = 4096;

// ---- The terminal's settings, shared with the signal handlers --------------------------
//
// Written once before any handler is installed, then only read; the flags are the only
// state the handlers change.

constexpr int tty = STDIN_FILENO;
termios saved_settings{};
termios raw_settings{};
volatile sig_atomic_t raw_wanted = 0;   // the console is in raw mode unless stopped or ended
volatile sig_atomic_t raw_applied = 0;  // raw settings may be in force: restore on the way out

bool set_settings(const termios& settings) {
    while (tcsetattr(tty, TCSANOW, &settings) != 0)
        if (errno != EINTR) return false;
    return true;
}

bool in_foreground() {
    const pid_t group = tcgetpgrp(tty);
    return group != -1 && group == getpgrp();
}

// Only from the foreground: a background process that changes the settings is stopped
// with SIGTTOU, and the terminal is the shell's then.
void apply_raw_if_foreground() {
    if (!raw_wanted || raw_applied || !in_foreground()) return;
    raw_applied = 1;  // first, so that a signal arriving in between restores
    if (!set_settings(raw_settings)) raw_applied = 0;
}

// Async-signal-safe. SIGTTOU is held off so that a process moved to the background
// while raw (by SIGSTOP and `bg`) still gives the settings back instead of stopping.
void restore_terminal() {
    if (!raw_applied) return;
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    const bool masked = pthread_sigmask(SIG_BLOCK, &ttou, &old) == 0;
    if (set_settings(saved_settings)) raw_applied = 0;
    if (masked) pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void end_hook() {
    raw_wanted = 0;
    restore_terminal();
}

void set_default(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void unblock(int signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// SIGINT, SIGTERM, SIGHUP, SIGQUIT: the terminal first (even if the end hooks are
// already running elsewhere and would return at once), then the other hooks (the
// window), then death by the same signal, so the parent sees what happened.
void on_fatal_signal(int signal) {
    restore_terminal();
    run_end_hooks();
    set_default(signal);
    raise(signal);
    unblock(signal);
    _exit(128 + signal);  // not reached: the default action ends the process
}

// SIGTSTP: hand the terminal back in its normal mode, stop the default way, and take raw
// mode again when continued. In an orphaned process group the kernel discards the stop
// and raise returns at once; raw mode comes back all the same.
void on_stop_signal(int) {
    const int saved_errno = errno;
    restore_terminal();
    struct sigaction stop {}, mine {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    if (sigaction(SIGTSTP, &stop, &mine) == 0) {
        raise(SIGTSTP);
        unblock(SIGTSTP);  // the stop happens here
        sigaction(SIGTSTP, &mine, nullptr);
    }
    apply_raw_if_foreground();
    errno = saved_errno;
}

// SIGCONT after any stop (SIGSTOP leaves the settings alone; the shell may have reset
// them): raw again, if the terminal is ours; a job continued in the background takes it
// when it next reads a key in the foreground.
void on_continue(int) {
    const int saved_errno = errno;
    apply_raw_if_foreground();
    errno = saved_errno;
}

void install(int signal, void (*handler)(int), bool keep_ignored) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) != 0) return;
    // A signal ignored on entry (nohup, a background job of a non-interactive shell)
    // stays ignored, as the caller meant.
    if (keep_ignored && old.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int other : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT})
        sigaddset(&action.sa_mask, other);
    sigaction(signal, &action, nullptr);
}

// ---- Shared by both consoles -------------------------------------------------------------

// Waits for `fd` to be readable, up to `timeout_ms` (-1: no limit). False on timeout.
// POLLHUP, POLLERR and POLLNVAL count as readable: the read that follows tells.
bool wait_readable(int fd, int timeout_ms) {
    pollfd poller{fd, POLLIN, 0};
    for (;;) {
        const int ready = poll(&poller, 1, timeout_ms);
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) runtime_error(input_error);
        // An interrupted bounded wait just ends early; callers go by their own clock.
        if (timeout_ms >= 0) return false;
    }
}

enum class ReadResult { data, end, nothing };

ReadResult read_some(int fd, char* buffer, std::size_t size, std::size_t& got) {
    const ssize_t n = read(fd, buffer, size);
    if (n > 0) {
        got = static_cast<std::size_t>(n);
        return ReadResult::data;
    }
    if (n == 0) return ReadResult::end;
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return ReadResult::nothing;
    // A descriptor closed behind our back is the end of input, not a fault of the input.
    if (errno == EBADF) return ReadResult::end;
    runtime_error(input_error);
}

// ---- Standard input is a terminal -------------------------------------------------------

class TerminalConsole final : public Console {
public:
    // Echo goes to the terminal: standard output when that is the terminal, otherwise
    // the terminal standard input comes from.
    TerminalConsole() : echo_fd_(isatty(STDOUT_FILENO) ? STDOUT_FILENO : tty) {}

    bool key_pressed() override {
        apply_raw_if_foreground();
        // Reading only into an empty queue bounds it; the kernel keeps the rest.
        if (!anything_pending() && in_foreground()) {
            pollfd poller{tty, POLLIN, 0};
            int ready;
            while ((ready = poll(&poller, 1, 0)) < 0)
                if (errno != EINTR) runtime_error(input_error);
            if (ready > 0) read_input();
        }
        return anything_pending();
    }

    void read_line() override {
        apply_raw_if_foreground();
        LineEditor editor;
        std::string echo;
        while (!editor.done()) {
            if (keys_.empty()) {
                write_echo(echo);
                if (at_end_) return;
                wait_for_keys();
                continue;
            }
            editor.apply(keys_.front(), echo);
            keys_.pop_front();
            if (echo.size() >= chunk) write_echo(echo);
        }
        write_echo(echo);
    }

private:
    // A held partial key counts: whatever it turns out to be, a key was pressed.
    bool anything_pending() const { return !keys_.empty() || decoder_.pending() || at_end_; }

    void read_input() {
        char buffer[chunk];
        std::size_t got = 0;
        switch (read_some(tty, buffer, sizeof buffer, got)) {
            case ReadResult::data:
                decoder_.feed({buffer, got}, decoded_);
                last_input_ = Clock::now();
                break;
            case ReadResult::end:  // hung up
                decoder_.flush(decoded_);
                at_end_ = true;
                break;
            case ReadResult::nothing:
                break;
        }
        take_decoded();
    }

    void wait_for_keys() {
        int timeout_ms = -1;
        if (decoder_.pending()) {
            const auto left = escape_wait - (Clock::now() - last_input_);
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            timeout_ms = ms > 0 ? static_cast<int>(ms) : 0;
        }
        if (wait_readable(tty, timeout_ms)) {
            read_input();
        } else if (decoder_.pending() && Clock::now() - last_input_ >= escape_wait) {
            decoder_.flush(decoded_);
            take_decoded();
        }
    }

    void take_decoded() {
        keys_.insert(keys_.end(), decoded_.begin(), decoded_.end());
        decoded_.clear();
    }

    // A terminal that no longer takes the echo has gone away; the line still ends at
    // Enter (or at the hang-up), so a failed echo is dropped, not an error.
    void write_echo(std::string& echo) {
        std::size_t done = 0;
        while (done < echo.size() && !echo_broken_) {
            const ssize_t n = write(echo_fd_, echo.data() + done, echo.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd poller{echo_fd_, POLLOUT, 0};
                if (poll(&poller, 1, 1000) == 0) echo_broken_ = true;  // stuck terminal
            } else {
                echo_broken_ = true;
            }
        }
        echo.clear();
    }

    const int echo_fd_;
    KeyDecoder decoder_;
    std::vector<Key> decoded_;
    std::deque<Key> keys_;
    Clock::time_point last_input_ = Clock::now();
    bool at_end_ = false;
    bool echo_broken_ = false;
};

// ---- Standard input is anything else -----------------------------------------------------

class StreamConsole final : public Console {
public:
    // Only reads what poll said is there, so it never waits.
    bool key_pressed() override {
        if (begin_ == end_ && !at_end_ && wait_readable(STDIN_FILENO, 0)) fill();
        return begin_ < end_ || at_end_;
    }

    // Reads up to and including the next '\n'; nothing of the line is kept.
    void read_line() override {
        for (;;) {
            if (begin_ == end_) {
                if (at_end_) return;
                fill();
                if (begin_ == end_ && !at_end_) wait_readable(STDIN_FILENO, -1);
                continue;
            }
            for (; begin_ < end_; ++begin_) {
                if (buffer_[begin_] == '\n') {
                    ++begin_;
                    return;
                }
            }
        }
    }

private:
    void fill() {
        std::size_t got = 0;
        begin_ = end_ = 0;
        switch (read_some(STDIN_FILENO, buffer_, sizeof buffer_, got)) {
            case ReadResult::data: end_ = got; break;
            case ReadResult::end: at_end_ = true; break;
            case ReadResult::nothing: break;  // non-blocking input not ready, or EINTR
        }
    }

    char buffer_[chunk];
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
};

// A closed fd 0 would be the next descriptor opened (the X connection, say), and key
// reads would go there; /dev/null takes the slot. If even that fails, fd 0 stays closed
// and reads end at once (EBADF).
void occupy_closed_stdin() {
    if (fcntl(STDIN_FILENO, F_GETFD) != -1 || errno != EBADF) return;
    int fd;
    while ((fd = open("/dev/null", O_RDONLY)) == -1 && errno == EINTR) {
    }
    if (fd > STDIN_FILENO) {
        while (dup2(fd, STDIN_FILENO) == -1 && errno == EINTR) {
        }
        close(fd);
    }
}

bool set_up_terminal() {
    if (!isatty(tty)) return false;
    while (tcgetattr(tty, &saved_settings) != 0)
        if (errno != EINTR) return false;

    // Not cfmakeraw: signals (Ctrl-C, Ctrl-Z) and output processing stay as they are.
    raw_settings = saved_settings;
    raw_settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    raw_settings.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
    raw_settings.c_cc[VMIN] = 1;
    raw_settings.c_cc[VTIME] = 0;

    raw_wanted = 1;
    on_end(end_hook);
    install(SIGINT, on_fatal_signal, true);
    install(SIGTERM, on_fatal_signal, true);
    install(SIGHUP, on_fatal_signal, true);
    install(SIGQUIT, on_fatal_signal, true);
    install(SIGTSTP, on_stop_signal, true);
    install(SIGCONT, on_continue, false);
    // TCSANOW, not TCSAFLUSH: keys typed before this point are the user's type-ahead.
    apply_raw_if_foreground();
    return true;
}

Console& make_console() {
    occupy_closed_stdin();
    if (set_up_terminal()) {
        static TerminalConsole terminal;
        return terminal;
    }
    static StreamConsole stream;
    return stream;
}

}  // namespace

Console& Console::instance() {
    static Console& console = make_console();
    return console;
}

}  // namespace som
