#include "tests/support/pty_session.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

extern char** environ;

namespace som::test {
namespace {

using Clock = std::chrono::steady_clock;

int millis_left(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void sleep_for(Millis duration) {
    timespec span{static_cast<time_t>(duration.count() / 1000),
                  static_cast<long>(duration.count() % 1000) * 1000000L};
    while (nanosleep(&span, &span) != 0 && errno == EINTR) {
    }
}

// ---- In the child, between fork and exec: system calls only -------------------------------

constexpr int events_fd = 3;  // where the job-control shell keeps its report pipe

void say(const char* text) {
    if (::write(STDERR_FILENO, text, std::strlen(text)) < 0) {
    }
}

void set_signal(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

// The program starts as from a fresh shell: default dispositions, nothing blocked,
// whatever the test runner inherited (a non-interactive shell's `&` ignores SIGINT).
[[noreturn]] void exec_program(char* const* argv, char* const* envp) {
    for (int signal = 1; signal < NSIG; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP) set_signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvpe(argv[0], argv, envp);
    say("pty_session: cannot run ");
    say(argv[0]);
    say("\n");
    _exit(127);
}

struct EventRecord {
    char kind;  // 'P' the program's pid, 'S' stopped (signal), 'C' continued
    int value;
};

void report(char kind, int value) {
    const EventRecord event{kind, value};
    while (::write(events_fd, &event, sizeof event) < 0 && errno == EINTR) {
    }
}

volatile sig_atomic_t want_foreground = 0;
volatile sig_atomic_t want_background = 0;

void on_usr1(int) { want_foreground = 1; }
void on_usr2(int) { want_background = 1; }
void on_chld(int) {}

// What an interactive shell does for one job: its own process group in the foreground;
// when it stops, the terminal back to the shell; `fg` (SIGUSR1) and `bg` (SIGUSR2) on
// request. Ends the way the job ended.
[[noreturn]] void run_job_shell(char* const* argv, char* const* envp) {
    for (int signal : {SIGTTOU, SIGTTIN, SIGTSTP, SIGINT, SIGQUIT}) set_signal(signal, SIG_IGN);
    set_signal(SIGUSR1, on_usr1);
    set_signal(SIGUSR2, on_usr2);
    set_signal(SIGCHLD, on_chld);
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    for (int signal : {SIGUSR1, SIGUSR2, SIGCHLD}) sigaddset(&blocked, signal);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    for (int signal : {SIGUSR1, SIGUSR2, SIGCHLD}) sigdelset(&waiting, signal);

    const pid_t job = fork();
    if (job < 0) _exit(126);
    if (job == 0) {
        close(events_fd);
        setpgid(0, 0);
        tcsetpgrp(STDERR_FILENO, getpid());
        exec_program(argv, envp);
    }
    setpgid(job, job);  // both sides, whichever runs first
    tcsetpgrp(STDERR_FILENO, job);
    report('P', job);

    for (;;) {
        int status = 0;
        const pid_t got = waitpid(job, &status, WNOHANG | WUNTRACED | WCONTINUED);
        if (got == job) {
            if (WIFSTOPPED(status)) {
                tcsetpgrp(STDERR_FILENO, getpgrp());
                report('S', WSTOPSIG(status));
            } else if (WIFCONTINUED(status)) {
                report('C', 0);
            } else if (WIFEXITED(status)) {
                _exit(WEXITSTATUS(status));
            } else if (WIFSIGNALED(status)) {
                const int signal = WTERMSIG(status);
                set_signal(signal, SIG_DFL);
                sigset_t one;
                sigemptyset(&one);
                sigaddset(&one, signal);
                sigprocmask(SIG_UNBLOCK, &one, nullptr);
                ::kill(getpid(), signal);
                _exit(128 + signal);
            }
            continue;
        }
        if (want_foreground) {
            want_foreground = 0;
            tcsetpgrp(STDERR_FILENO, job);
            ::kill(-job, SIGCONT);
            continue;
        }
        if (want_background) {
            want_background = 0;
            ::kill(-job, SIGCONT);
            continue;
        }
        sigsuspend(&waiting);
    }
}

void close_from(int first) {
    if (close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return;
    const long limit = sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < (limit > 0 ? limit : 1024); ++fd) close(static_cast<int>(fd));
}

[[noreturn]] void run_child(int slave, int events, const PtyOptions& options,
                            char* const* argv, char* const* envp) {
    if (login_tty(slave) != 0) _exit(126);
    if (options.stdin_fd == PtyOptions::closed) close(STDIN_FILENO);
    else if (options.stdin_fd >= 0) dup2(options.stdin_fd, STDIN_FILENO);
    if (options.stdout_fd == PtyOptions::closed) close(STDOUT_FILENO);
    else if (options.stdout_fd >= 0) dup2(options.stdout_fd, STDOUT_FILENO);
    if (events >= 0) {
        if (events != events_fd) dup2(events, events_fd);
        close_from(events_fd + 1);
        run_job_shell(argv, envp);
    }
    // Only the three standard descriptors go to the program: a pipe's write end left
    // open here would keep it from ever seeing the end of its input.
    close_from(3);
    exec_program(argv, envp);
}

bool set_flag(int fd, int get, int set, int flag) {
    const int flags = fcntl(fd, get);
    return flags != -1 && fcntl(fd, set, flags | flag) != -1;
}

}  // namespace

// ---- ExitStatus, settings ------------------------------------------------------------------

ExitStatus ExitStatus::from_wait(int status) {
    ExitStatus result;
    if (WIFEXITED(status)) {
        result.kind = Kind::exited;
        result.value = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.kind = Kind::signalled;
        result.value = WTERMSIG(status);
    }
    return result;
}

std::string ExitStatus::describe() const {
    switch (kind) {
        case Kind::exited: return "exited " + std::to_string(value);
        case Kind::signalled:
            return "signal " + std::to_string(value) + " (" + strsignal(value) + ")";
        case Kind::running: break;
    }
    return "still running";
}

std::string stty_string(const termios& settings) {
    char text[32 * 4 + NCCS * 4];
    int at = std::snprintf(text, sizeof text, "%lx:%lx:%lx:%lx",
                           static_cast<unsigned long>(settings.c_iflag),
                           static_cast<unsigned long>(settings.c_oflag),
                           static_cast<unsigned long>(settings.c_cflag),
                           static_cast<unsigned long>(settings.c_lflag));
    for (int i = 0; i < NCCS && at > 0 && at < static_cast<int>(sizeof text); ++i)
        at += std::snprintf(text + at, sizeof text - static_cast<std::size_t>(at), ":%x",
                            static_cast<unsigned>(settings.c_cc[i]));
    return text;
}

// ---- PtySession ------------------------------------------------------------------------------

PtySession::~PtySession() {
    if (child_ > 0 && !reaped_) {
        if (pid_ > 0 && pid_ != child_) ::kill(pid_, SIGKILL);
        ::kill(child_, SIGKILL);
        int status = 0;
        while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (master_ >= 0) close(master_);
    if (events_ >= 0) close(events_);
}

bool PtySession::start(std::vector<std::string> argv, std::vector<std::string> env) {
    PtyOptions options;
    options.argv = std::move(argv);
    options.env = std::move(env);
    return start(options);
}

bool PtySession::start(const PtyOptions& options) {
    if (child_ > 0) {
        error_ = "already started";
        return false;
    }
    if (options.argv.empty()) {
        error_ = "no program";
        return false;
    }

    // Everything the child needs is built before the fork.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    for (const std::string& extra : options.env) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(environment, [&](const std::string& entry) {
            return entry.compare(0, name.size(), name) == 0;
        });
        environment.push_back(extra);
    }
    std::vector<char*> argv, envp;
    for (const std::string& arg : options.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    int slave = -1;
    winsize size{options.rows, options.cols, 0, 0};
    if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) {
        error_ = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    // Taken from the slave before the program exists, so there is no race with its
    // set-up.
    termios initial{};
    if (tcgetattr(slave, &initial) != 0) {
        error_ = std::string("tcgetattr: ") + std::strerror(errno);
        close(slave);
        return false;
    }
    initial_stty_ = stty_string(initial);
    if (!set_flag(master_, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !set_flag(slave, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !set_flag(master_, F_GETFL, F_SETFL, O_NONBLOCK)) {
        error_ = std::string("fcntl: ") + std::strerror(errno);
        close(slave);
        return false;
    }

    int report[2] = {-1, -1};
    if (options.job_control && pipe2(report, O_CLOEXEC) != 0) {
        error_ = std::string("pipe2: ") + std::strerror(errno);
        close(slave);
        return false;
    }

    // openpty + fork + login_tty is forkpty, with the slave's settings read in between.
    child_ = fork();
    if (child_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        close(slave);
        if (report[0] >= 0) {
            close(report[0]);
            close(report[1]);
        }
        return false;
    }
    if (child_ == 0) {
        close(master_);
        if (report[0] >= 0) close(report[0]);
        run_child(slave, report[1], options, argv.data(), envp.data());
    }
    close(slave);
    pid_ = child_;
    if (options.job_control) {
        close(report[1]);
        events_ = report[0];
        int job = 0;
        if (!next_event('P', job, Millis(10000))) {
            error_ = "the job-control shell did not start the program";
            return false;
        }
        pid_ = job;
    }
    return true;
}

bool PtySession::write(std::string_view bytes, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (Clock::now() >= deadline) return false;
        // The program is not reading: its output may be what is full. Keep reading it.
        read_into_output(Millis(10));
        pollfd poller{master_, POLLOUT, 0};
        poll(&poller, 1, std::min(millis_left(deadline), 10));
    }
    return true;
}

void PtySession::read_into_output(Millis timeout) {
    // Once every slave descriptor is closed and all is read, poll returns at once for
    // good: wait out the time instead, so the callers' loops do not spin.
    if (hung_up_) {
        sleep_for(timeout);
        return;
    }
    pollfd poller{master_, POLLIN, 0};
    const int ready = poll(&poller, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            output_.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) hung_up_ = true;  // EIO
        return;
    }
}

std::string PtySession::read_for(Millis duration) {
    const std::size_t before = output_.size();
    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline) read_into_output(Millis(millis_left(deadline)));
    return output_.substr(before);
}

bool PtySession::wait_for_output(std::string_view text, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t found = output_.find(text, matched_);
        if (found != std::string::npos) {
            matched_ = found + text.size();
            return true;
        }
        if (Clock::now() >= deadline) return false;
        read_into_output(Millis(std::min(millis_left(deadline), 50)));
    }
}

ExitStatus PtySession::wait_exit(Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!reaped_) {
        int status = 0;
        const pid_t got = waitpid(child_, &status, WNOHANG);
        if (got == child_) {
            reaped_ = true;
            status_ = ExitStatus::from_wait(status);
            break;
        }
        if (got < 0 && errno != EINTR) break;
        if (Clock::now() >= deadline) break;
        read_into_output(Millis(std::min(millis_left(deadline), 10)));
    }
    read_into_output(Millis(0));  // what was left when it ended
    return status_;
}

termios PtySession::settings() const {
    termios settings{};
    // On Linux the master answers with the slave's settings: the program's terminal.
    if (tcgetattr(master_, &settings) != 0) return termios{};
    return settings;
}

bool PtySession::kill(int signal) const { return pid_ > 0 && !reaped_ && ::kill(pid_, signal) == 0; }

bool PtySession::next_event(char kind, int& value, Millis timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto match = std::find_if(pending_events_.begin(), pending_events_.end(),
                                        [kind](const Event& event) { return event.kind == kind; });
        if (match != pending_events_.end()) {
            value = match->value;
            pending_events_.erase(match);
            return true;
        }
        if (events_ < 0 || Clock::now() >= deadline) return false;
        pollfd pollers[2] = {{events_, POLLIN, 0}, {master_, POLLIN, 0}};
        const int ready = poll(pollers, 2, std::min(millis_left(deadline), 50));
        if (ready < 0 && errno != EINTR) return false;
        if (pollers[1].revents != 0) read_into_output(Millis(0));
        if ((pollers[0].revents & POLLIN) != 0) {
            EventRecord event{};
            const ssize_t n = ::read(events_, &event, sizeof event);
            if (n == static_cast<ssize_t>(sizeof event)) {
                pending_events_.push_back({event.kind, event.value});
            } else if (n == 0) {
                close(events_);
                events_ = -1;
            }
        } else if (pollers[0].revents != 0) {
            close(events_);
            events_ = -1;
        }
    }
}

int PtySession::wait_stopped(Millis timeout) {
    int signal = 0;
    return next_event('S', signal, timeout) ? signal : 0;
}

bool PtySession::foreground() { return events_ >= 0 && !reaped_ && ::kill(child_, SIGUSR1) == 0; }

bool PtySession::background() { return events_ >= 0 && !reaped_ && ::kill(child_, SIGUSR2) == 0; }

}  // namespace som::test
