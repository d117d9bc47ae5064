// Test-only: ends with the run-time error named on the command line (201, 215, 200, 207,
// 205), raised the way the programs raise it: a failed check, or a trapped x87 fault.
// With --window it first opens the canvas window, which must be gone before the report.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/lattice.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 3;
    som::trap_float_faults();
    fail_with(std::atoi(argv[1]));
    std::puts("no error");
    som::end_process(0);
}
