// The run-time error report: its exact text, the status, and addresses that are stable
// offsets into the executable.
#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <sys/wait.h>

#include "platform/runtime_error.h"

namespace som {
namespace {

struct Outcome {
    std::string out;
    int status;
};

Outcome run_command(const std::string& command) {
    Outcome r{{}, -1};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    return r;
}

const std::string probe = std::string(SOM_BIN_DIR) + "/runtime_error_probe";

TEST(RuntimeError, ReportAndStatusForEveryNumber) {
    const std::regex report(R"(Runtime error (\d+) at 0x[0-9A-F]{8}\n(  0x[0-9A-F]{8}\n)+\n)");
    for (int number : {201, 215, 200, 207, 205}) {
        SCOPED_TRACE(number);
        const Outcome r = run_command(probe + " " + std::to_string(number));
        EXPECT_EQ(r.status, number);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(r.out, m, report)) << r.out;
        EXPECT_EQ(m[1].str(), std::to_string(number));
    }
}

TEST(RuntimeError, AddressesAreTheSameFromRunToRunAndNameTheFault) {
    for (int number : {201, 207}) {
        SCOPED_TRACE(number);
        const Outcome first = run_command(probe + " " + std::to_string(number));
        const Outcome second = run_command(probe + " " + std::to_string(number));
        EXPECT_EQ(first.out, second.out);
        // The fault address leads addr2line (through inlined checks) to the failing function.
        const std::string fault = first.out.substr(first.out.find("0x"), 10);
        const Outcome where = run_command("addr2line -f -C -i -e " + probe + " " + fault);
        EXPECT_NE(where.out.find("fail_with"), std::string::npos) << where.out;
    }
}

TEST(RuntimeError, FormatsNumberFaultAndFrames) {
    char out[256];
    const std::uintptr_t frames[] = {0x1234, 0xABCDEF01};
    const int length = format_report(out, sizeof out, 215, 0x5A, frames, 2);
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(length)),
              "Runtime error 215 at 0x0000005A\n  0x00001234\n  0xABCDEF01\n\n");
}

}  // namespace
}  // namespace som
