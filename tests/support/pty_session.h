// A program run on a pseudo-terminal, as a user at a terminal would run it: type keys,
// read what it shows, look at the terminal's settings, send signals, wait for the end.
// Every wait has a timeout, and the destructor kills whatever is still running, so a
// test never hangs on a program that misbehaves.
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <termios.h>
#include <vector>

namespace som::test {

using Millis = std::chrono::milliseconds;

// How a process ended, or that it had not ended when the wait ran out.
struct ExitStatus {
    enum class Kind { running, exited, signalled };
    Kind kind = Kind::running;
    int value = 0;  // the exit code, or the signal

    static ExitStatus from_wait(int status);
    bool exited(int code) const { return kind == Kind::exited && value == code; }
    bool signalled(int signal) const { return kind == Kind::signalled && value == signal; }
    std::string describe() const;  // "exited 0", "signal 2 (Interrupt)", "still running"
};

// The `stty -g` form of terminal settings: flags and control characters in hex.
std::string stty_string(const termios& settings);

struct PtyOptions {
    static constexpr int terminal = -1;  // the pseudo-terminal itself
    static constexpr int closed = -2;    // no descriptor at all

    std::vector<std::string> argv;  // argv[0] is looked up in PATH when it has no '/'
    std::vector<std::string> env;   // "NAME=value", added to or replacing the test's own
    int stdin_fd = terminal;        // or a descriptor of the test's, dup'ed onto fd 0
    int stdout_fd = terminal;       // likewise for fd 1; standard error is the terminal
    unsigned short rows = 24;
    unsigned short cols = 80;
    // Run the program as a job of a small job-control shell, as an interactive shell
    // would: in its own process group, in the foreground. Only then does Ctrl-Z really
    // stop it (a session leader's group is orphaned, and the kernel will not stop it).
    bool job_control = false;
};

class PtySession {
public:
    PtySession() = default;
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;
    ~PtySession();  // kills the program (and the job-control shell) if still there

    // Starts the program; false (with why in error()) if it could not be started.
    bool start(const PtyOptions& options);
    bool start(std::vector<std::string> argv, std::vector<std::string> env = {});

    // Types `bytes`; false if the terminal would not take them within `timeout`.
    bool write(std::string_view bytes, Millis timeout = Millis(5000));

    // Reads for exactly `duration`; returns what came in that time.
    std::string read_for(Millis duration);
    // Reads until `text` appears in output not yet matched; later waits look after it.
    bool wait_for_output(std::string_view text, Millis timeout = Millis(10000));
    // Everything the program has shown so far.
    const std::string& output() const { return output_; }

    // Waits for the program to end (reading its output meanwhile).
    ExitStatus wait_exit(Millis timeout = Millis(10000));

    // The terminal's settings now, as the program sees them, and as the pseudo-terminal
    // had them before the program started.
    termios settings() const;
    std::string stty() const { return stty_string(settings()); }
    const std::string& initial_stty() const { return initial_stty_; }

    pid_t pid() const { return pid_; }  // the program (not the job-control shell)
    bool kill(int signal) const;        // to the program
    int master_fd() const { return master_; }

    // Job control only: wait until the program stops (the signal that stopped it, or 0
    // if it did not within `timeout`); continue it in the foreground or the background.
    int wait_stopped(Millis timeout = Millis(10000));
    bool foreground();
    bool background();

    const std::string& error() const { return error_; }

private:
    void read_into_output(Millis timeout);
    bool next_event(char kind, int& value, Millis timeout);

    int master_ = -1;
    int events_ = -1;      // reports from the job-control shell
    pid_t child_ = -1;     // what we fork: the program, or the job-control shell
    pid_t pid_ = -1;
    bool reaped_ = false;
    bool hung_up_ = false;
    ExitStatus status_;
    std::string output_;
    std::size_t matched_ = 0;
    std::string initial_stty_;
    std::string error_;
    struct Event {
        char kind;
        int value;
    };
    std::deque<Event> pending_events_;
};

}  // namespace som::test
