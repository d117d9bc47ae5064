// somrun: runs one program's run sequence without a window or a terminal, writing a
// picture at every pause and the trained weights at the end.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/graph.h"
#include "platform/memory_host.h"
#include "platform/palette.h"
#include "platform/process.h"
#include "platform/runtime_error.h"
#include "tools/metrics.h"
#include "tools/png_file.h"
#include "tools/runner_registry.h"
#include "tools/somrun_args.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    som::end_process(2);
}

// DIR must exist (or be made) and take new files.
void check_out_dir(const std::string& dir) {
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        fail("somrun: cannot make " + dir + ": " + std::strerror(errno));
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        fail("somrun: " + dir + " is not a directory");
    std::string probe = dir + "/.somrun-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) fail("somrun: cannot write in " + dir + ": " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const som::ParsedArgs parsed = som::parse_runner_args(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) fail(parsed.error);
    const som::RunnerOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(som::runner_usage, stdout);
        return 0;
    }
    check_out_dir(options.out);
    if (!options.frames.empty()) check_out_dir(options.frames);
    std::optional<som::TrainingMetrics> metrics;
    if (!options.metrics.empty()) metrics.emplace();
    int frame = 0;

    som::MemoryHost host({
        .width = options.width,
        .height = options.height,
        .seed = options.seed,
        .keys_after = options.keys_after,
        .on_pause =
            [&](const som::Canvas& canvas, int pause) {
                const std::string path = options.out + "/pause-" + std::to_string(pause) + ".png";
                const std::string error = som::write_png(path, canvas.snapshot(), som::canvas_palette());
                if (!error.empty()) fail("somrun: " + error);
            },
        .on_delay =
            [&](const som::Canvas& canvas, std::uint16_t) {
                if (options.frames.empty()) return;
                char name[32];
                std::snprintf(name, sizeof name, "/frame-%04d.png", ++frame);
                const std::string error = som::write_png(options.frames + name, canvas.snapshot(), som::canvas_palette());
                if (!error.empty()) fail("somrun: " + error);
            },
    });
    som::install_host(host);
    som::trap_float_faults();

    const som::RunnerEntry& program = *som::find_program(options.program);
    program.run();

    std::string error = som::write_text_file(options.out + "/weights.txt", program.weights());
    if (error.empty() && metrics) error = som::write_text_file(options.metrics, metrics->csv());
    if (!error.empty()) fail("somrun: " + error);
    som::end_process(0);
}
