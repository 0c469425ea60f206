// Timing of the rate integration through the public entry, the maximum
// current searches left out: the built-in line on flat ground and on a slope
// of 20 degrees under both evaluations, and a double-circuit tower of seven
// wires under the first-contact evaluation, as it stands (its own mirror
// image) and with one phase moved out of symmetry; the built-in line over
// ground profiles. Prints the ratios of the
// median times after the table.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "egm/shielding.h"

namespace {

void integration(benchmark::State& state, const egm::Inputs& inputs)
{
    egm::Options options;
    options.maxCurrents = false;
    options.classicalMaxCurrents = false;
    for (auto _ : state) {
        const egm::Result r = egm::computeRates(inputs, options);
        benchmark::DoNotOptimize(r.totalRate);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(egm::kCurrentSpan + 1) *
                            egm::kAngleSteps);
}

egm::Inputs builtInLine(egm::Evaluation evaluation, double slope)
{
    egm::Inputs in;
    in.evaluation = evaluation;
    in.slope = slope;
    return in;
}

// One ground wire above two circuits of three conductors, every voltage
// term 0.
egm::Inputs doubleCircuit()
{
    const auto wire = [](egm::WireKind kind, double x, double height) {
        egm::TowerWire w;
        w.kind = kind;
        w.x = x;
        w.height = height;
        return w;
    };
    using egm::WireKind;
    egm::Inputs in;
    in.tower.wires = {wire(WireKind::groundWire, 0.0, 55.0), wire(WireKind::conductor, 6.0, 45.0),
                      wire(WireKind::conductor, 8.0, 37.0),  wire(WireKind::conductor, 6.5, 29.0),
                      wire(WireKind::conductor, -6.0, 45.0), wire(WireKind::conductor, -8.0, 37.0),
                      wire(WireKind::conductor, -6.5, 29.0)};
    in.lowestCurrent = 3.0;
    in.flashDensity = 2.8;
    in.slope = 0.0;
    return in;
}

void BM_FirstContact(benchmark::State& state)
{
    integration(state, builtInLine(egm::Evaluation::firstContact, 0.0));
}

void BM_Compat(benchmark::State& state)
{
    integration(state, builtInLine(egm::Evaluation::compat, 0.0));
}

void BM_FirstContactSloped(benchmark::State& state)
{
    integration(state, builtInLine(egm::Evaluation::firstContact, 20.0));
}

void BM_CompatSloped(benchmark::State& state)
{
    integration(state, builtInLine(egm::Evaluation::compat, 20.0));
}

void BM_FirstContactDoubleCircuit(benchmark::State& state)
{
    integration(state, doubleCircuit());
}

// The same tower with its second circuit's lower phase 10 cm further out:
// no longer its own mirror image, so every stroke is evaluated.
void BM_FirstContactDoubleCircuitUneven(benchmark::State& state)
{
    egm::Inputs in = doubleCircuit();
    in.tower.wires.back().x = -6.6;
    integration(state, in);
}

// The built-in line over ground profiles: two points, level (the plane);
// 201 points 5 m apart, as an elevation model's section gives them, of
// rolling ground; and the same section on a hillside falling 15 degrees.
egm::Inputs overProfile(std::size_t points, double fall)
{
    egm::Inputs in;
    std::vector<egm::GroundPoint> profile;
    for (std::size_t k = 0; k < points; ++k) {
        const double x = points == 2 ? (k == 0 ? -600.0 : 600.0) : -500.0 + 5.0 * static_cast<double>(k);
        const double rolling = points == 2 ? 0.0 : 6.0 * std::sin(x / 70.0) + 2.0 * std::sin(x / 13.0 + 1.0);
        profile.push_back({x, rolling - fall * x, 0.0});
    }
    in.ground = egm::GroundProfile(profile);
    return in;
}

void BM_FirstContactLevelProfile(benchmark::State& state)
{
    integration(state, overProfile(2, 0.0));
}

void BM_FirstContactDemSection(benchmark::State& state)
{
    integration(state, overProfile(201, 0.0));
}

void BM_FirstContactDemHillside(benchmark::State& state)
{
    integration(state, overProfile(201, std::tan(15.0 / 180.0 * 3.141592653589793)));
}

BENCHMARK(BM_FirstContact)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactLevelProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactDemSection)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactDemHillside)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactSloped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompatSloped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactDoubleCircuit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactDoubleCircuitUneven)->Unit(benchmark::kMillisecond);

// Console table as usual, and the times kept for the ratios of the
// medians: the median of the repetitions when only aggregates are reported,
// otherwise of the runs (in each benchmark's own unit, milliseconds).
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[name] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[name].push_back(run.GetAdjustedRealTime());
            }
        }
    }

    // 0 when the benchmark did not run.
    double median(const std::string& name) const
    {
        if (const auto found = medians_.find(name); found != medians_.end()) {
            return found->second;
        }
        const auto found = times_.find(name);
        if (found == times_.end() || found->second.empty()) {
            return 0.0;
        }
        std::vector<double> t = found->second;
        std::sort(t.begin(), t.end());
        const std::size_t n = t.size();
        return n % 2 == 1 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2.0;
    }

  private:
    std::map<std::string, double> medians_;
    std::map<std::string, std::vector<double>> times_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ratio = [&](const char* label, const char* a, const char* b) {
        const double x = reporter.median(a);
        const double y = reporter.median(b);
        if (x > 0.0 && y > 0.0) {
            std::printf("%s: %.2f\n", label, x / y);
        }
    };
    ratio("first-contact/compat", "BM_FirstContact", "BM_Compat");
    ratio("first-contact/compat on a 20 degree slope", "BM_FirstContactSloped", "BM_CompatSloped");
    ratio("level two-point profile/flat, first-contact", "BM_FirstContactLevelProfile", "BM_FirstContact");
    ratio("201-point rolling section/flat, first-contact", "BM_FirstContactDemSection", "BM_FirstContact");
    ratio("201-point section on a 15 degree hillside/flat, first-contact", "BM_FirstContactDemHillside",
          "BM_FirstContact");
    ratio("double circuit/built-in line, first-contact", "BM_FirstContactDoubleCircuit", "BM_FirstContact");
    ratio("double circuit out of symmetry/built-in line, first-contact", "BM_FirstContactDoubleCircuitUneven",
          "BM_FirstContact");
    return 0;
}
