#include "tools/runner_registry.h"

#include <array>

namespace som {
namespace {

std::array<RunnerEntry, 8>& entries() {
    static std::array<RunnerEntry, 8> known;
    return known;
}

}  // namespace

RunnerEntry::RunnerEntry(const char* name_, void (*run_)(), std::string (*weights_)(),
                         void (*start_)(), void (*train_)())
    : name(name_), run(run_), weights(weights_), start(start_), train(train_) {
    for (RunnerEntry& entry : entries())
        if (entry.name == nullptr) {
            entry = *this;
            return;
        }
}

const RunnerEntry* find_program(std::string_view name) {
    for (const RunnerEntry& entry : entries())
        if (entry.name != nullptr && name == entry.name) return &entry;
    return nullptr;
}

}  // namespace som
