#include "tools/metrics.h"

#include <cmath>
#include <cstdio>
#include <random>

#include "platform/graph.h"

namespace som {
namespace {

TrainingMetrics* watching = nullptr;

// The evaluation points' own generator: a fixed seed, apart from the program's.
constexpr std::uint32_t evaluation_seed = 0x5EED5011u;

}  // namespace

TrainingMetrics::TrainingMetrics() {
    csv_ = "step,ALFAT,SIGMT,quantization_error,topographic_error\n";
    watching = this;
    step_observer = &TrainingMetrics::observe;
}

TrainingMetrics::~TrainingMetrics() {
    step_observer = nullptr;
    watching = nullptr;
}

TrainingMetrics::Errors TrainingMetrics::measure(const StepReport& r, const std::vector<Sample>& samples) {
    const int n = r.XNEUR * r.YNEUR;
    double distance_sum = 0;
    int broken = 0;
    for (const Sample& s : samples) {
        Real best = 0, second = 0;
        int first_k = -1, second_k = -1;
        for (int k = 0; k < n; ++k) {
            Real d = (r.W1[k] - s.X1) * (r.W1[k] - s.X1) + (r.W2[k] - s.X2) * (r.W2[k] - s.X2);
            if (r.W3 != nullptr) d = d + (r.W3[k] - s.X3) * (r.W3[k] - s.X3);
            if (first_k < 0 || d < best) {
                second = best, second_k = first_k;
                best = d, first_k = k;
            } else if (second_k < 0 || d < second) {
                second = d, second_k = k;
            }
        }
        distance_sum += static_cast<double>(sqrtl(best));
        if (second_k >= 0) {
            const int di = std::abs(first_k / r.YNEUR - second_k / r.YNEUR);
            const int dj = std::abs(first_k % r.YNEUR - second_k % r.YNEUR);
            broken += di + dj != 1;
        }
    }
    const double count = static_cast<double>(samples.size());
    return {distance_sum / count, broken / count};
}

std::string TrainingMetrics::csv() {
    if (last_.N != 0 && last_.N != last_written_) add_row(last_);
    return csv_;
}

void TrainingMetrics::observe(const StepReport& report) {
    TrainingMetrics& self = *watching;
    self.last_ = report;  // the weights it points at stay where they are
    if (report.N % every == 0) self.add_row(report);
}

void TrainingMetrics::add_row(const StepReport& report) {
    TrainingMetrics& self = *this;
    if (self.samples_.empty()) {
        std::mt19937 g(evaluation_seed);
        auto draw = [&](std::uint32_t n) { return random_below(g, n); };
        for (int i = 0; i < points; ++i) {
            switch (report.domain) {
                case Domain::disk: self.samples_.push_back(sample_disk(draw)); break;
                case Domain::skewed_disk: self.samples_.push_back(sample_skewed_disk(draw)); break;
                case Domain::ball: self.samples_.push_back(sample_ball(draw)); break;
                case Domain::gauss: self.samples_.push_back(sample_gauss(draw, 130.0L)); break;
            }
        }
    }
    const Errors e = measure(report, self.samples_);
    char row[200];
    std::snprintf(row, sizeof row, "%d,%.21Lg,%.21Lg,%.6f,%.6f\n", report.N, report.ALFAT, report.SIGMT,
                  e.quantization, e.topographic);
    self.csv_ += row;
    self.last_written_ = report.N;
}

}  // namespace som
