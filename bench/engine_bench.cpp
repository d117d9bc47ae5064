// Benchmarks of the engine against floors: each figure is printed with its ratio to the
// same arithmetic in the simplest loop, measured in the same run.
//
//   step/LxL    one training step at the floor width (the factor cache warm)
//   tanul/P     a whole TANUL of program P on the in-memory canvas, DELAY not sleeping
//   colour/P    raster colouring through the canvas, per point of the square scan
//   chain       random-point colouring through the canvas, per painted point
//   canvas/...  LINE and PUTPIXEL through the locked canvas against the bare raster core
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "engine/colouring.h"
#include "engine/samplers.h"
#include "engine/training.h"
#include "platform/canvas.h"
#include "platform/graph.h"
#include "platform/memory_host.h"
#include "tools/runner_registry.h"

namespace som {
namespace {

std::mt19937 generator(1);
std::uint32_t draw(std::uint32_t n) { return random_below(generator, n); }

constexpr Real floor_width = Schedule::SIGM1;

// ---- the training step ----

template <int X, int Y, int C>
void step(benchmark::State& state) {
    using L = Lattice<X, Y, C>;
    L map;
    initial_weights<Start::uniform>(map, draw);
    Distances<L> Yd;
    CachedNeighbourhood<max_D2<L>> cache;
    std::vector<Sample> samples;
    for (int i = 0; i < 1024; ++i) samples.push_back(L::solid ? sample_ball(draw) : sample_disk(draw));
    std::size_t i = 0;
    for (auto _ : state) {
        train_step(map, samples[i++ & 1023], 0.001L, floor_width, Yd, cache);
        benchmark::DoNotOptimize(map);
    }
}

// The floor: plain arrays, the factor table filled once, no checks.
template <int X, int Y, int C>
void step_floor(benchmark::State& state) {
    Real w[C][X * Y];
    for (int c = 0; c < C; ++c)
        for (int k = 0; k < X * Y; ++k) w[c][k] = static_cast<Real>(draw(401)) - 200;
    constexpr int max = (X - 1) * (X - 1) + (Y - 1) * (Y - 1);
    Real factor[max + 1];
    for (int d = 0; d <= max; ++d) factor[d] = expl(((-1.0L * d) * 0.5L) / (floor_width * floor_width));
    std::vector<Sample> samples;
    for (int i = 0; i < 1024; ++i) samples.push_back(C == 3 ? sample_ball(draw) : sample_disk(draw));
    std::size_t i = 0;
    for (auto _ : state) {
        const Sample& s = samples[i++ & 1023];
        const Real x[3] = {s.X1, s.X2, s.X3};
        Real best = 0;
        int bi = 0, bj = 0;
        for (int a = 0; a < X; ++a)
            for (int b = 0; b < Y; ++b) {
                Real d = 0;
                for (int c = 0; c < C; ++c) d = d + (w[c][a * Y + b] - x[c]) * (w[c][a * Y + b] - x[c]);
                if ((a == 0 && b == 0) || d < best) best = d, bi = a, bj = b;
            }
        for (int a = 0; a < X; ++a)
            for (int b = 0; b < Y; ++b) {
                const Real h = 0.001L * factor[(a - bi) * (a - bi) + (b - bj) * (b - bj)];
                for (int c = 0; c < C; ++c) w[c][a * Y + b] = h * (x[c] - w[c][a * Y + b]) + w[c][a * Y + b];
            }
        benchmark::DoNotOptimize(w);
    }
}

BENCHMARK(step<10, 10, 2>)->Name("step/10x10x2");
BENCHMARK(step_floor<10, 10, 2>)->Name("floor/step/10x10x2");
BENCHMARK(step<10, 10, 3>)->Name("step/10x10x3");
BENCHMARK(step_floor<10, 10, 3>)->Name("floor/step/10x10x3");
BENCHMARK(step<2, 2, 2>)->Name("step/2x2x2");
BENCHMARK(step_floor<2, 2, 2>)->Name("floor/step/2x2x2");
BENCHMARK(step<3, 3, 2>)->Name("step/3x3x2");
BENCHMARK(step_floor<3, 3, 2>)->Name("floor/step/3x3x2");
BENCHMARK(step<40, 1, 2>)->Name("step/40x1x2");
BENCHMARK(step_floor<40, 1, 2>)->Name("floor/step/40x1x2");

// ---- a whole training run ----

MemoryHost& bench_host() {
    static MemoryHost host({.width = 601, .height = 601, .seed = 1u, .keys_after = 1,
                            .on_pause = {}, .on_delay = {}});
    return host;
}

void tanul(benchmark::State& state, const char* program) {
    const RunnerEntry& entry = *find_program(program);
    install_host(bench_host());
    entry.run();  // sets the decrements and opens the canvas once
    for (auto _ : state) {
        state.PauseTiming();
        entry.start();
        state.ResumeTiming();
        entry.train();
    }
}

// The floor of a 10000-step planar run: the disk sampler and the plain floor step.
template <class T, bool cached>
void tanul_floor(benchmark::State& state) {
    for (auto _ : state) {
        T w[2][100];
        for (int k = 0; k < 100; ++k) w[0][k] = static_cast<T>(draw(601)) - 300, w[1][k] = static_cast<T>(draw(601)) - 300;
        T alfa = 0.065, sigm = 2.4;
        const T dalfa = (T(0.065) - T(0.00011)) / 10000, dsigm = (T(2.4) - T(0.6)) / 5500;
        T factor[163];
        T table_sigm = -1;
        for (int n = 1; n <= 10000; ++n) {
            T x1, x2;
            do {
                x1 = static_cast<T>(static_cast<int>(draw(601)) - 300);
                x2 = static_cast<T>(static_cast<int>(draw(601)) - 300);
            } while (std::sqrt(x1 * x1 + x2 * x2) > 300);
            T best = 0;
            int win = 0;
            for (int k = 0; k < 100; ++k) {
                const T d = (w[0][k] - x1) * (w[0][k] - x1) + (w[1][k] - x2) * (w[1][k] - x2);
                if (k == 0 || d < best) best = d, win = k;
            }
            if (cached && sigm != table_sigm) {
                for (int d = 0; d <= 162; ++d) factor[d] = std::exp(((-1 * T(d)) * T(0.5)) / (sigm * sigm));
                table_sigm = sigm;
            }
            for (int k = 0; k < 100; ++k) {
                const int di = k / 10 - win / 10, dj = k % 10 - win % 10;
                const int d2 = di * di + dj * dj;
                const T h = alfa * (cached ? factor[d2] : std::exp(((-1 * T(d2)) * T(0.5)) / (sigm * sigm)));
                w[0][k] = h * (x1 - w[0][k]) + w[0][k];
                w[1][k] = h * (x2 - w[1][k]) + w[1][k];
            }
            alfa = std::max(alfa - dalfa, T(0.00011));
            sigm = std::max(sigm - dsigm, T(0.6));
        }
        benchmark::DoNotOptimize(w);
    }
}

BENCHMARK_CAPTURE(tanul, solidanim, "solidanim")->Name("tanul/solidanim")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, solidfit, "solidfit")->Name("tanul/solidfit")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, tessfour, "tessfour")->Name("tanul/tessfour")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, chainanim, "chainanim")->Name("tanul/chainanim")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, tessnine, "tessnine")->Name("tanul/tessnine")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, planeanim, "planeanim")->Name("tanul/planeanim")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, planeskew, "planeskew")->Name("tanul/planeskew")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(tanul, planegauss, "planegauss")->Name("tanul/planegauss")->Unit(benchmark::kMillisecond);
BENCHMARK(tanul_floor<Real, true>)->Name("floor/tanul/planeskew")->Unit(benchmark::kMillisecond);
BENCHMARK(tanul_floor<double, false>)->Name("double/tanul/planeskew")->Unit(benchmark::kMillisecond);

// ---- region colouring ----

struct CanvasIo {
    Canvas& canvas;
    std::uint64_t polls = 0, keys_after = 0;
    void put_pixel(std::int16_t x, std::int16_t y, std::uint16_t c) { canvas.put_pixel(x, y, c); }
    std::uint32_t random(std::uint32_t n) { return draw(n); }
    bool key_pressed() { return ++polls >= keys_after; }
};

template <int X, int Y>
Lattice<X, Y, 2> trained_map() {
    Lattice<X, Y, 2> map;
    initial_weights<Start::uniform>(map, draw);
    return map;
}

template <int X, int Y>
void colour(benchmark::State& state) {
    Canvas canvas(601, 601);
    const auto map = trained_map<X, Y>();
    CanvasIo io{canvas};
    for (auto _ : state) colour_raster(map, io);
    state.SetItemsProcessed(state.iterations() * 601 * 601);
}

// The floor: every point of the square, the nearest of the neurons, into a bare image.
template <int X, int Y>
void colour_floor(benchmark::State& state) {
    const auto map = trained_map<X, Y>();
    Real w1[X * Y], w2[X * Y];
    for (int I = 1; I <= X; ++I)
        for (int J = 1; J <= Y; ++J) w1[(I - 1) * Y + J - 1] = map.W1(I, J), w2[(I - 1) * Y + J - 1] = map.W2(I, J);
    Image image(601, 601);
    for (auto _ : state) {
        for (int x = -300; x <= 300; ++x)
            for (int y = -300; y <= 300; ++y) {
                if (x * x + y * y > 90000) continue;
                Real best = 0;
                int win = 0;
                for (int k = 0; k < X * Y; ++k) {
                    const Real d = (x - w1[k]) * (x - w1[k]) + (y - w2[k]) * (y - w2[k]);
                    if (k == 0 || d < best) best = d, win = k;
                }
                image.set(x + 300, y + 300, static_cast<std::uint8_t>(win + 1));
            }
        benchmark::DoNotOptimize(image);
    }
    state.SetItemsProcessed(state.iterations() * 601 * 601);
}

BENCHMARK(colour<2, 2>)->Name("colour/tessfour")->Unit(benchmark::kMillisecond);
BENCHMARK(colour_floor<2, 2>)->Name("floor/colour/tessfour")->Unit(benchmark::kMillisecond);
BENCHMARK(colour<3, 3>)->Name("colour/tessnine")->Unit(benchmark::kMillisecond);
BENCHMARK(colour_floor<3, 3>)->Name("floor/colour/tessnine")->Unit(benchmark::kMillisecond);

void chain(benchmark::State& state) {
    Canvas canvas(601, 601);
    const auto map = trained_map<40, 1>();
    CanvasIo io{canvas};
    for (auto _ : state) {
        io.polls = 0;
        io.keys_after = 10000;
        colour_random_points(map, io);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(chain)->Name("chain/points")->Unit(benchmark::kMillisecond);

// ---- the canvas ----

void canvas_line(benchmark::State& state) {
    Canvas canvas(601, 601);
    int k = 0;
    for (auto _ : state) {
        const std::int16_t a = static_cast<std::int16_t>(k++ % 600);
        canvas.line(a, 0, static_cast<std::int16_t>(600 - a), 600);
    }
}
void raster_line(benchmark::State& state) {
    Image image(601, 601);
    int k = 0;
    for (auto _ : state) {
        const int a = k++ % 600;
        benchmark::DoNotOptimize(draw_line(image, a, 0, 600 - a, 600, 15));
    }
}
void canvas_pixel(benchmark::State& state) {
    Canvas canvas(601, 601);
    int k = 0;
    for (auto _ : state) {
        canvas.put_pixel(static_cast<std::int16_t>(k % 601), static_cast<std::int16_t>((k / 601) % 601), 7);
        ++k;
    }
}
void raster_pixel(benchmark::State& state) {
    Image image(601, 601);
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(put_pixel(image, k % 601, (k / 601) % 601, 7));
        ++k;
    }
}
BENCHMARK(canvas_line)->Name("canvas/line");
BENCHMARK(raster_line)->Name("floor/canvas/line");
BENCHMARK(canvas_pixel)->Name("canvas/pixel");
BENCHMARK(raster_pixel)->Name("floor/canvas/pixel");

// Prints every figure, then each one's ratio to its floor ("floor/NAME") and, for the
// training, to the double-precision loop ("double/NAME").
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-24s %14s %14s\n", "figure", "to its floor", "to double");
        for (const auto& [name, time] : times_) {
            if (name.starts_with("floor/") || name.starts_with("double/")) continue;
            const auto floor = times_.find("floor/" + name);
            const auto plain = times_.find("double/" + name);
            if (floor == times_.end() && plain == times_.end()) continue;
            std::printf("%-24s", name.c_str());
            if (floor != times_.end()) std::printf(" %13.2fx", time / floor->second);
            else std::printf(" %14s", "");
            if (plain != times_.end()) std::printf(" %13.2fx", time / plain->second);
            std::printf("\n");
        }
        // The whole 10000-step runs against the double-precision loop.
        const auto plain = times_.find("double/tanul/planeskew");
        if (plain != times_.end())
            for (const char* p : {"tanul/solidfit", "tanul/tessfour", "tanul/tessnine", "tanul/planegauss"})
                if (const auto t = times_.find(p); t != times_.end())
                    std::printf("%-24s %14s %13.2fx\n", p, "", t->second / plain->second);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace
}  // namespace som

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    som::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
