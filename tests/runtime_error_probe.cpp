// Test-only: ends with the run-time error named on the command line (201, 215, 200, 207,
// 205), raised the way the programs raise it: a failed check, or a trapped x87 fault.
// With --window it runs as a program does, on the terminal with its canvas window open;
// the window must be gone and the terminal restored before the report.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/lattice.h"
#include "platform/desktop.h"
#include "platform/graph.h"
#include "platform/numeric.h"
#include "platform/process.h"
#include "platform/runtime_error.h"

namespace {

volatile long double zero = 0.0L;
volatile long double huge = 1.0e4000L;
volatile int index_out = 11;

[[gnu::noinline]] void fail_with(int number) {
    som::Grid<10, 10> grid;
    switch (number) {
        case 201: grid(index_out, 1) = 1; break;
        case 215: som::mul32(65536, index_out * 10000); break;
        case 200: std::printf("%Lf\n", 1.0L / zero); break;
        case 207: std::printf("%Lf\n", zero / zero); break;
        case 205: std::printf("%Lf\n", huge * huge); break;
        default: std::fprintf(stderr, "no such error\n"); std::exit(3);
    }
}

int number = 0;

// As a program would meet it: the console set up, the canvas window open.
void with_window() {
    std::int16_t driver, mode;
    som::DETECTGRAPH(driver, mode);
    som::INITGRAPH(driver, mode, "");
    som::CIRCLE(300, 300, 300);
    fail_with(number);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 3;
    number = std::atoi(argv[1]);
    if (argc > 2 && std::strcmp(argv[2], "--window") == 0) som::run_program("runtime_error_probe", with_window);
    som::trap_float_faults();
    fail_with(number);
    std::puts("no error");
    som::end_process(0);
}
