// Timing of the rate integration, whole (EGM_DQ for every stroke) and split
// (each current prepared once, only the angle's steps per stroke), and of
// the striking-circle arcs alone. Prints the ratio of the two integrations
// after the table.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

#include "EGMcircle.h"
#include "EGMs2x.h"
#include "circleCrosspoint_initialize.h"

namespace {

void integration(benchmark::State& state, StrokeEvaluation how)
{
    const RateInputs builtIn;
    for (auto _ : state) {
        RateResult r;
        integrateShieldingFailure(builtIn, how, r);
        benchmark::DoNotOptimize(r.rateTotal);
    }
    state.SetItemsProcessed(state.iterations() * 201 * 180);
}

void BM_LiteralIntegration(benchmark::State& state)
{
    integration(state, StrokeEvaluation::literal);
}

void BM_FastIntegration(benchmark::State& state)
{
    integration(state, StrokeEvaluation::split);
}

void BM_EGMcircle(benchmark::State& state)
{
    const CircleSet circles = {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42, 77.9, 77.9, 80.2, 75.6};
    ArcTable arcs{};
    for (auto _ : state) {
        EGMcircle(circles, arcs);
        benchmark::DoNotOptimize(arcs.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_LiteralIntegration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastIntegration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EGMcircle)->Unit(benchmark::kMicrosecond);

// Console table as usual, and the real time per iteration of each run kept
// for the ratio.
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
    circleCrosspoint_initialize();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto literal = reporter.seconds.find("BM_LiteralIntegration");
    const auto fast = reporter.seconds.find("BM_FastIntegration");
    if (literal != reporter.seconds.end() && fast != reporter.seconds.end() && fast->second > 0.0) {
        std::printf("literal/fast: %.1f\n", literal->second / fast->second);
    }
    return 0;
}
