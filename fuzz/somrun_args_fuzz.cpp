// Any command line through som::parse_runner_args. An input is the arguments, each ended
// by a NUL byte (the last one need not be), as a process receives them.
//
// Checked: the parse gives either options or a message, never both; the message is one
// printable line starting "somrun: "; options are in range, name one of the eight
// programs, and read back the same from the command line that states them.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/somrun_args.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "somrun_args_fuzz: %s\n", what);
    std::abort();
}

void require(bool ok, const char* what) {
    if (!ok) fail(what);
}

constexpr std::array<std::string_view, 8> programs = {
    "solidanim", "solidfit", "tessfour", "chainanim",
    "tessnine",  "planeanim", "planeskew", "planegauss"};

bool same(const som::RunnerOptions& a, const som::RunnerOptions& b) {
    return a.program == b.program && a.seed == b.seed && a.width == b.width &&
           a.height == b.height && a.keys_after == b.keys_after && a.out == b.out &&
           a.metrics == b.metrics && a.frames == b.frames && a.help == b.help;
}

// The command line that states `o` in full.
std::vector<std::string> stated(const som::RunnerOptions& o) {
    std::vector<std::string> args{o.program};
    if (o.seed) args.insert(args.end(), {"--seed", std::to_string(*o.seed)});
    args.insert(args.end(), {"--size", std::to_string(o.width) + "x" + std::to_string(o.height)});
    args.insert(args.end(), {"--keys-after", std::to_string(o.keys_after)});
    args.insert(args.end(), {"--out", o.out});
    if (!o.metrics.empty()) args.insert(args.end(), {"--metrics", o.metrics});
    if (!o.frames.empty()) args.insert(args.end(), {"--frames", o.frames});
    return args;
}

void check_message(const std::string& error) {
    require(error.starts_with("somrun: ") && error.size() > 8, "a message that does not start \"somrun: \"");
    // One line on a terminal: no newline, and no other control either (a carriage return
    // or an escape sequence would rewrite what is shown).
    for (char c : error) {
        const auto byte = static_cast<unsigned char>(c);
        require(byte >= 0x20 && byte != 0x7F, "a message that is not one printable line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t end = std::min(input.find('\0', at), input.size());
        args.emplace_back(input.substr(at, end - at));
        at = end + 1;
    }

    const som::ParsedArgs parsed = som::parse_runner_args(args);
    if (!parsed.options) {
        check_message(parsed.error);
        return 0;
    }
    require(parsed.error.empty(), "both options and a message");
    const som::RunnerOptions& o = *parsed.options;
    if (o.help) {
        require(std::find(args.begin(), args.end(), "--help") != args.end() ||
                    std::find(args.begin(), args.end(), "-h") != args.end(),
                "help without --help or -h");
        return 0;
    }

    require(std::find(programs.begin(), programs.end(), o.program) != programs.end(),
            "a program that is not one of the eight");
    require(o.width >= 1 && o.width <= som::max_canvas_side, "a width out of range");
    require(o.height >= 1 && o.height <= som::max_canvas_side, "a height out of range");
    require(o.keys_after >= 1, "--keys-after of 0");
    require(!o.out.empty(), "an empty output directory");

    const som::ParsedArgs again = som::parse_runner_args(stated(o));
    require(again.options && same(*again.options, o), "options that do not read back the same");
    return 0;
}
