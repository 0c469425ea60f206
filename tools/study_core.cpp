#include "study_core.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "study_format.h"
#include "study_inputs.h"

namespace study {

std::vector<double> sweepValues(double from, double to, double step)
{
    if (!(step > 0.0) || !std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step) || to < from) {
        throw UsageError("--step must be positive and --from no greater than --to");
    }
    // The last value counts when it lies within rounding of to.
    const double count = std::floor((to - from) / step * (1.0 + 1e-12) + 1e-9) + 1.0;
    if (!(count <= 100000.0)) {
        throw UsageError("more than 100000 values in the sweep");
    }
    std::vector<double> values;
    for (int i = 0; i < static_cast<int>(count); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", from + i * step);
        values.push_back(std::strtod(text, nullptr));
    }
    return values;
}

std::vector<SweepPoint> sweepCases(const egm::Inputs& base, const egm::InputField& field,
                                   const std::vector<double>& values, unsigned threads,
                                   const egm::Options& options)
{
    std::vector<egm::Inputs> cases;
    for (double v : values) {
        egm::Inputs in = base;
        field.set(in, v);
        cases.push_back(in);
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(cases, options, threads);
    std::vector<SweepPoint> points;
    for (std::size_t k = 0; k < values.size(); ++k) {
        points.push_back(SweepPoint{values[k], outcomes[k].result, outcomes[k].error});
    }
    return points;
}

std::vector<LawComparison> compareLaws(const egm::Inputs& base, bool voltageTermGiven, unsigned threads)
{
    std::vector<egm::Inputs> cases;
    std::vector<LawComparison> rows;
    for (egm::StrikingLaw::Kind kind : egm::kLaws) {
        egm::Inputs in = base;
        if (kind == egm::StrikingLaw::Kind::custom && base.law.kind != kind) {
            continue;
        }
        in.law.kind = kind;
        if (kind == egm::StrikingLaw::Kind::builtIn) {
            if (base.law.kind != kind && !voltageTermGiven) {
                in.voltageTerm = egm::Inputs{}.voltageTerm;
            }
        } else {
            in.voltageTerm = 0.0;
        }
        cases.push_back(in);
        rows.push_back(LawComparison{in.law, std::nullopt, {}});
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(cases, {}, threads);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        rows[k].result = outcomes[k].result;
        rows[k].error = outcomes[k].error;
    }
    return rows;
}

Chart compareChart(const std::vector<LawComparison>& rows)
{
    Chart chart;
    chart.title = "Shielding failure rate by striking-distance law";
    chart.xLabel =
        "law (1 built-in, 2 ieee-1992, 3 love, 4 brown-whitehead, 5 armstrong-whitehead, 6 custom)";
    chart.yLabel = "strokes per 100 km per year";
    Series c1{"conductor 1", {}, {}, false};
    Series c2{"conductor 2", {}, {}, false};
    Series total{"total", {}, {}, true};
    const double nan = std::nan("");
    for (const LawComparison& row : rows) {
        const double x = static_cast<double>(static_cast<int>(row.law.kind) + 1);
        for (Series* s : {&c1, &c2, &total}) {
            s->x.push_back(x);
        }
        c1.y.push_back(row.result ? row.result->rates.conductor1 : nan);
        c2.y.push_back(row.result ? row.result->rates.conductor2 : nan);
        total.y.push_back(row.result ? row.result->rates.total : nan);
    }
    chart.series = {c1, c2, total};
    if (!rows.empty() && rows.front().result) {
        chart.notes = {computationNote(*rows.front().result)};
    }
    return chart;
}

} // namespace study
