#include "platform/runtime_error.h"

#include <cfenv>
#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <execinfo.h>
#include <ucontext.h>
#include <unistd.h>

#include "platform/process.h"

namespace som {
namespace {

constexpr int max_frames = 64;
constexpr int terminal_frame_limit = 9;

// The executable's own load address: frames are reported as offsets from it.
std::uintptr_t executable_base() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&executable_base), &info) == 0) return 0;
    return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

bool in_executable(std::uintptr_t address) {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(address), &info) != 0 &&
           reinterpret_cast<std::uintptr_t>(info.dli_fbase) == executable_base();
}

int append(char* out, int size, int at, const char* text) {
    while (*text != '\0' && at < size - 1) out[at++] = *text++;
    out[at] = '\0';
    return at;
}

int append_hex8(char* out, int size, int at, std::uintptr_t value) {
    char digits[9];
    for (int i = 7; i >= 0; --i) {
        digits[i] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    }
    digits[8] = '\0';
    return append(out, size, at, digits);
}

// The report goes out in one write so that nothing interleaves with it.
[[noreturn]] void report_and_end(int number, std::uintptr_t fault, void* const* trace,
                                 int trace_count) {
    run_end_hooks();  // the window goes first, the terminal gets its settings back

    const std::uintptr_t base = executable_base();
    std::uintptr_t frames[max_frames];
    int count = 0;
    const int limit = isatty(STDOUT_FILENO) ? terminal_frame_limit : max_frames;
    for (int i = 0; i < trace_count && count < limit; ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(trace[i]);
        if (in_executable(address)) frames[count++] = address - base;
    }

    static char report[4096];
    const int length = format_report(report, sizeof report, number, fault - base, frames, count);
    std::fflush(stdout);
    for (int done = 0; done < length;) {
        const ssize_t n = write(STDOUT_FILENO, report + done, static_cast<std::size_t>(length - done));
        if (n <= 0) break;
        done += static_cast<int>(n);
    }
    _exit(number);
}

int number_for(int si_code) {
    switch (si_code) {
        case FPE_INTDIV:
        case FPE_FLTDIV: return division_by_zero;
        case FPE_FLTOVF: return float_overflow;
        case FPE_INTOVF: return integer_overflow;
        default: return invalid_float_op;
    }
}

void on_float_fault(int, siginfo_t* info, void* context) {
    feclearexcept(FE_ALL_EXCEPT);
    fedisableexcept(FE_ALL_EXCEPT);

    // x87 faults are delayed to the next x87 instruction, which is what si_addr names;
    // the faulting instruction is the FPU's saved instruction pointer. SSE faults are
    // precise.
    auto fault = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const auto* uc = static_cast<const ucontext_t*>(context);
    if (uc->uc_mcontext.fpregs != nullptr) {
        const auto& fpu = *uc->uc_mcontext.fpregs;
        const unsigned pending = fpu.swd & ~fpu.cwd & 0x3F;
        if (pending != 0) fault = fpu.rip;
    }

    void* trace[max_frames];
    const int depth = backtrace(trace, max_frames);
    // Frames 0 and 1 are this handler and the signal trampoline; 2 is the interrupted
    // instruction itself.
    report_and_end(number_for(info->si_code), fault, trace + 3, depth > 3 ? depth - 3 : 0);
}

}  // namespace

void runtime_error(int number) {
    // The call is often the last instruction of its block (this function does not
    // return), so the return address may already lie past it: name the call itself.
    const auto fault = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)) - 1;
    void* trace[max_frames];
    const int depth = backtrace(trace, max_frames);
    // Frame 0 is this function, frame 1 the failed check itself.
    report_and_end(number, fault, trace + 2, depth > 2 ? depth - 2 : 0);
}

void trap_float_faults() {
    void* warm[1];
    backtrace(warm, 1);  // loads the unwinder now: it cannot be loaded inside a handler

    struct sigaction action {};
    action.sa_sigaction = on_float_fault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGFPE, &action, nullptr) != 0) std::perror("cannot trap floating-point faults");

    feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
}

int format_report(char* out, int size, int number, std::uintptr_t fault,
                  const std::uintptr_t* frames, int frame_count) {
    char head[32];
    std::snprintf(head, sizeof head, "Runtime error %d at 0x", number);
    int at = append(out, size, 0, head);
    at = append_hex8(out, size, at, fault);
    at = append(out, size, at, "\n");
    for (int i = 0; i < frame_count; ++i) {
        at = append(out, size, at, "  0x");
        at = append_hex8(out, size, at, frames[i]);
        at = append(out, size, at, "\n");
    }
    return append(out, size, at, "\n");
}

}  // namespace som
