// Training metrics for somrun --metrics: every 100 steps and after the last, the rate,
// the width, the quantization error (mean distance from an evaluation point to its
// winner) and the topographic error (share of evaluation points whose two nearest neurons
// are not lattice neighbours). The evaluation points come from a generator of their own,
// so measuring changes nothing in the run.
#pragma once

#include <string>
#include <vector>

#include "engine/observer.h"

namespace som {

class TrainingMetrics {
public:
    static constexpr int every = 100;
    static constexpr int points = 1000;

    // Watches the training from now until destroyed.
    TrainingMetrics();
    ~TrainingMetrics();

    // The rows so far, with the last step's row added if it was not a round hundred.
    std::string csv();

    // The two errors of a lattice against `samples` (pure, for tests).
    struct Errors {
        double quantization, topographic;
    };
    static Errors measure(const StepReport& lattice, const std::vector<Sample>& samples);

private:
    static void observe(const StepReport& report);
    void add_row(const StepReport& report);

    std::vector<Sample> samples_;
    std::string csv_;
    StepReport last_{};
    int last_written_ = 0;
};

}  // namespace som
