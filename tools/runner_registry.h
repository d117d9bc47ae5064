// The eight programs as the headless runner knows them: each program's file, built into
// the runner, adds its entry here instead of defining main.
#pragma once

#include <string>
#include <string_view>

namespace som {

struct RunnerEntry {
    const char* name = nullptr;
    void (*run)() = nullptr;           // the run sequence
    std::string (*weights)() = nullptr;  // the weights as text, after the run
    void (*start)() = nullptr;           // SULYOK, for benchmarks of the training
    void (*train)() = nullptr;           // TANUL

    RunnerEntry() = default;
    RunnerEntry(const char* name, void (*run)(), std::string (*weights)(), void (*start)(),
                void (*train)());
};

// The program called `name`, or nullptr.
const RunnerEntry* find_program(std::string_view name);

}  // namespace som
