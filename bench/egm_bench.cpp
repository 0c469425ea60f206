// Timing of the rate integration: the model's rules evaluated whole for
// every stroke (EGM_DQ each time) and split (each current prepared once,
// only the angle's steps per stroke), the sound evaluation split the same
// way, and the striking-circle arcs alone. Prints the ratios after the
// table.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

#include "EGMcircle.h"
#include "circleCrosspoint_initialize.h"
#include "integration.h"

namespace {

using namespace egm::model;

// The built-in line, on flat ground or on a slope of 20 degrees (where the
// downhill conductor stays exposed at every current, so that the sound
// evaluation cannot pass over any current).
void integration(benchmark::State& state, StrokeRule rule, double slope = 0.0)
{
    IntegrationCase line;
    line.slopeAngle = slope;
    for (auto _ : state) {
        IntegrationTotals r;
        integrate(line, rule, r);
        benchmark::DoNotOptimize(r.rateTotal);
    }
    state.SetItemsProcessed(state.iterations() * 201 * 180);
}

void BM_LiteralIntegration(benchmark::State& state)
{
    integration(state, StrokeRule::literal);
}

void BM_FastIntegration(benchmark::State& state)
{
    integration(state, StrokeRule::compat);
}

void BM_SoundIntegration(benchmark::State& state)
{
    integration(state, StrokeRule::sound);
}

void BM_FastIntegrationSloped(benchmark::State& state)
{
    integration(state, StrokeRule::compat, 20.0);
}

void BM_SoundIntegrationSloped(benchmark::State& state)
{
    integration(state, StrokeRule::sound, 20.0);
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
BENCHMARK(BM_SoundIntegration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastIntegrationSloped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoundIntegrationSloped)->Unit(benchmark::kMillisecond);
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
    egm::numeric::circleCrosspoint_initialize();
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
    // The literal run checks the per-current preparation for stale state;
    // it is the same code underneath, so the ratio measures the split only.
    ratio("literal/fast", "BM_LiteralIntegration", "BM_FastIntegration");
    ratio("sound/fast", "BM_SoundIntegration", "BM_FastIntegration");
    ratio("sound/fast on a 20 degree slope", "BM_SoundIntegrationSloped", "BM_FastIntegrationSloped");
    return 0;
}
