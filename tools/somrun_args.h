// The headless runner's command line:
//
//     somrun PROGRAM [--seed N] [--size WxH] [--keys-after N] [--out DIR]
//                    [--metrics FILE] [--frames DIR]
//
// Parsing is pure: it either gives the options or a one-line message (status 2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace som {

struct RunnerOptions {
    std::string program;
    std::optional<std::uint32_t> seed;  // none: the clock seeds, as in the programs
    int width = 800;
    int height = 800;
    std::uint64_t keys_after = 100000;
    std::string out = ".";
    std::string metrics;  // CSV of the training metrics; empty for none
    std::string frames;   // directory for a picture at every display pass; empty for none
    bool help = false;
};

struct ParsedArgs {
    std::optional<RunnerOptions> options;
    std::string error;  // set when options is empty
};

inline constexpr int max_canvas_side = 4096;

extern const char* const runner_usage;

ParsedArgs parse_runner_args(const std::vector<std::string>& args);

}  // namespace som
