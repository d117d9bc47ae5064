#include "tools/somrun_args.h"

#include <array>
#include <charconv>
#include <string_view>

namespace som {

const char* const runner_usage =
    "usage: somrun PROGRAM [--seed N] [--size WxH] [--keys-after N] [--out DIR]\n"
    "                      [--metrics FILE] [--frames DIR]\n"
    "Runs PROGRAM's run sequence on an in-memory canvas; each pause writes DIR/pause-K.png,\n"
    "the end writes DIR/weights.txt.\n"
    "  PROGRAM          solidanim solidfit tessfour chainanim tessnine planeanim planeskew\n"
    "                   planegauss\n"
    "  --seed N         seed the generator with N (0 to 4294967295) instead of the clock\n"
    "  --size WxH       canvas size, at most 4096x4096 (default 800x800)\n"
    "  --keys-after N   chainanim: a key is first seen at the N-th poll (default 100000)\n"
    "  --out DIR        where the files go (default: the current directory)\n"
    "  --metrics FILE   write the training's rate, width, quantization and topographic\n"
    "                   errors every 100 steps as CSV (the run itself is unchanged)\n"
    "  --frames DIR     write DIR/frame-NNNN.png at every display pass of an animation\n";

namespace {

constexpr std::array<std::string_view, 8> programs = {
    "solidanim", "solidfit", "tessfour", "chainanim",
    "tessnine",  "planeanim", "planeskew", "planegauss"};

// A whole decimal number, nothing else around it.
template <class T>
std::optional<T> parse_number(std::string_view text) {
    T value{};
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The message quotes what was typed; a control character in it (a newline, an escape
// sequence) is shown as \n, \r, \t or \xHH, so that the message stays one line.
ParsedArgs failure(const std::string& message) {
    std::string line = "somrun: ";
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            line += c;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            line += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else {
            line += "\\x";
            line += "0123456789ABCDEF"[byte >> 4];
            line += "0123456789ABCDEF"[byte & 0xF];
        }
    }
    return {std::nullopt, line};
}

}  // namespace

ParsedArgs parse_runner_args(const std::vector<std::string>& args) {
    RunnerOptions options;
    bool have_program = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return {options, {}};
        }
        if (arg.starts_with("--")) {
            if (arg != "--seed" && arg != "--size" && arg != "--keys-after" && arg != "--out" &&
                arg != "--metrics" && arg != "--frames")
                return failure("unknown option '" + arg + "' (try --help)");
            if (i + 1 >= args.size()) return failure(arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--seed") {
                const auto seed = parse_number<std::uint32_t>(value);
                if (!seed) return failure("--seed wants a whole number from 0 to 4294967295, not '" + value + "'");
                options.seed = *seed;
            } else if (arg == "--size") {
                const auto x = value.find('x');
                const auto w = x == std::string::npos ? std::nullopt : parse_number<int>(std::string_view(value).substr(0, x));
                const auto h = x == std::string::npos ? std::nullopt : parse_number<int>(std::string_view(value).substr(x + 1));
                if (!w || !h || *w < 1 || *h < 1)
                    return failure("--size wants WxH with whole numbers from 1, not '" + value + "'");
                if (*w > max_canvas_side || *h > max_canvas_side)
                    return failure("--size " + value + " is over 4096x4096");
                options.width = *w;
                options.height = *h;
            } else if (arg == "--keys-after") {
                const auto n = parse_number<std::uint64_t>(value);
                if (!n || *n < 1) return failure("--keys-after wants a whole number from 1, not '" + value + "'");
                options.keys_after = *n;
            } else if (arg == "--metrics") {
                if (value.empty()) return failure("--metrics wants a file");
                options.metrics = value;
            } else if (arg == "--frames") {
                if (value.empty()) return failure("--frames wants a directory");
                options.frames = value;
            } else {
                if (value.empty()) return failure("--out wants a directory");
                options.out = value;
            }
            continue;
        }
        if (have_program) return failure("one program at a time, not '" + arg + "' too");
        bool known = false;
        for (auto name : programs) known = known || name == arg;
        if (!known) return failure("unknown program '" + arg + "' (try --help)");
        options.program = arg;
        have_program = true;
    }
    if (!have_program) return failure("which program? (try --help)");
    return {options, {}};
}

}  // namespace som
