#include "platform/process.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace som {
namespace {

constexpr int max_hooks = 8;
void (*hooks[max_hooks])();
std::atomic<int> hook_count{0};
std::atomic<bool> hooks_ran{false};

}  // namespace

void on_end(void (*hook)()) {
    const int slot = hook_count.fetch_add(1);
    if (slot < max_hooks) hooks[slot] = hook;
}

void run_end_hooks() {
    if (hooks_ran.exchange(true)) return;
    for (int i = std::min(hook_count.load(), max_hooks) - 1; i >= 0; --i) hooks[i]();
}

void end_process(int status) {
    run_end_hooks();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(status);
}

}  // namespace som
