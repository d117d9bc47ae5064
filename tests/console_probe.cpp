// Test-only: drives som::Console through the steps named on the command line and marks
// each on standard error, so a test on the other side of a pseudo-terminal knows where
// the program is. Ends through som::end_process(0), as the programs do.
//
//   init        set up the console                           INIT
//   busy:N      work (sleep) N ms                            BUSY, then IDLE
//   key         key_pressed() once                           KEY 1 or KEY 0
//   waitkey:N   key_pressed() every 10 ms, for up to N ms    KEY SEEN or NO KEY
//   line        read_line()                                  LINE, then LINE DONE
//   hang        sleep until a signal ends it                 HANG
//   error:N     som::runtime_error(N)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unistd.h>

#include "platform/console.h"
#include "platform/process.h"
#include "platform/runtime_error.h"

namespace {

void mark(const char* text) {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
}

void sleep_ms(long ms) {
    timespec span{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&span, &span) != 0 && errno == EINTR) {
    }
}

long argument(std::string_view step) {
    const auto colon = step.find(':');
    return colon == std::string_view::npos ? 0 : std::atol(step.data() + colon + 1);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view step = argv[i];
        if (step == "init") {
            som::Console::instance();
            mark("INIT");
        } else if (step.starts_with("busy:")) {
            mark("BUSY");
            sleep_ms(argument(step));
            mark("IDLE");
        } else if (step == "key") {
            mark(som::Console::instance().key_pressed() ? "KEY 1" : "KEY 0");
        } else if (step.starts_with("waitkey:")) {
            bool seen = false;
            for (long waited = 0; !seen && waited <= argument(step); waited += 10) {
                seen = som::Console::instance().key_pressed();
                if (!seen) sleep_ms(10);
            }
            mark(seen ? "KEY SEEN" : "NO KEY");
        } else if (step == "line") {
            mark("LINE");
            som::Console::instance().read_line();
            mark("LINE DONE");
        } else if (step == "hang") {
            mark("HANG");
            for (;;) pause();
        } else if (step.starts_with("error:")) {
            som::runtime_error(static_cast<int>(argument(step)));
        } else {
            std::fprintf(stderr, "console_probe: no step %s\n", argv[i]);
            return 2;
        }
    }
    som::end_process(0);
}
