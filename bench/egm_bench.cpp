// Timing of the rate integration through the public entry, the maximum
// current searches left out: the built-in line on flat ground and on a slope
// of 20 degrees under both evaluations, and a double-circuit tower of seven
// wires under the first-contact evaluation. Prints the ratios after the
// table.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

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

BENCHMARK(BM_FirstContact)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactSloped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompatSloped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstContactDoubleCircuit)->Unit(benchmark::kMillisecond);

// Console table as usual, and the real time per iteration of each run kept
// for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                seconds[run.benchmark_name()] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
            }
        }
    }
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
        const auto x = reporter.seconds.find(a);
        const auto y = reporter.seconds.find(b);
        if (x != reporter.seconds.end() && y != reporter.seconds.end() && y->second > 0.0) {
            std::printf("%s: %.2f\n", label, x->second / y->second);
        }
    };
    ratio("first-contact/compat", "BM_FirstContact", "BM_Compat");
    ratio("first-contact/compat on a 20 degree slope", "BM_FirstContactSloped", "BM_CompatSloped");
    ratio("double circuit/built-in line, first-contact", "BM_FirstContactDoubleCircuit", "BM_FirstContact");
    return 0;
}
