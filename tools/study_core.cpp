#include "study_core.h"

#include <cmath>

#include "EGM_DQ.h"
#include "input_files.h"

namespace study {

namespace {

bool hasWidth(double w)
{
    return w != 0.0 && !std::isnan(w);
}

// One integration with its tables, released at the end of the scope.
class KeptIntegration {
  public:
    explicit KeptIntegration(const RateInputs& inputs)
    {
        integrateShieldingFailure(inputs, StrokeEvaluation::split, rates, &tables);
    }
    ~KeptIntegration() { releaseIntegrationTables(tables); }
    KeptIntegration(const KeptIntegration&) = delete;
    KeptIntegration& operator=(const KeptIntegration&) = delete;

    RateResult rates;
    IntegrationTables tables;
};

// The scalar inputs by their flag names.
struct NamedInput {
    const char* name;
    double RateInputs::*field;
};
constexpr NamedInput kScalarInputs[] = {
    {"flash-density", &RateInputs::groundFlashDensity}, {"slope", &RateInputs::slopeAngle},
    {"min-current", &RateInputs::minCurrent},           {"voltage-term", &RateInputs::voltageTerm},
    {"current-scale", &RateInputs::currentScale},       {"current-exponent", &RateInputs::currentExponent},
};

std::optional<double> maxCurrentOf(const RateInputs& inputs, const RateResult& rates, const RealArray& table,
                                   int conductor)
{
    const int steps = rates.steps;
    const int storage = table.dims[0];
    const int wire = conductor + 1; // conductors are wires 3 and 4
    int highest = -1;
    for (int j = steps - 1; j >= 0 && highest < 0; --j) {
        for (int l = 0; l < kAngleSteps; ++l) {
            if (hasWidth(table.values[j + storage * (l + kAngleSteps * wire)])) {
                highest = j;
                break;
            }
        }
    }
    if (highest < 0) {
        return std::nullopt;
    }
    double exposed = highest + inputs.minCurrent;
    if (highest == steps - 1) {
        return exposed; // exposed up to the top of the range
    }
    double shielded = (highest + 1) + inputs.minCurrent;
    while (shielded - exposed > kCurrentResolution) {
        const double middle = (exposed + shielded) / 2.0;
        if (conductorExposed(inputs, middle, conductor)) {
            exposed = middle;
        } else {
            shielded = middle;
        }
    }
    return exposed;
}

} // namespace

bool conductorExposed(const RateInputs& inputs, double current, int conductor)
{
    for (const StrokeRow& row : strokesAtCurrent(inputs, current)) {
        if (hasWidth(row.widths[conductor + 1])) {
            return true;
        }
    }
    return false;
}

CaseResult analyseCase(const RateInputs& inputs)
{
    CaseResult result;
    const KeptIntegration integration(inputs);
    result.rates = integration.rates;
    result.currentFrom = inputs.minCurrent;
    result.currentTo = (result.rates.steps - 1) + inputs.minCurrent;
    if (integration.tables.strokeTable != nullptr) {
        for (int c = 1; c <= 2; ++c) {
            result.maxCurrent[c - 1] = maxCurrentOf(inputs, result.rates, *integration.tables.strokeTable, c);
        }
    }
    return result;
}

std::vector<StrokeRow> strokeTable(const RateInputs& inputs)
{
    const KeptIntegration integration(inputs);
    std::vector<StrokeRow> rows;
    if (integration.tables.strokeTable == nullptr) {
        return rows;
    }
    const RealArray& table = *integration.tables.strokeTable;
    const int storage = table.dims[0];
    const int steps = integration.rates.steps;
    rows.reserve(static_cast<std::size_t>(steps) * kAngleSteps);
    for (int j = 0; j < steps; ++j) {
        for (int l = 0; l < kAngleSteps; ++l) {
            StrokeRow row{j + inputs.minCurrent, l, integrationAngle(l), {}};
            for (int w = 0; w < 4; ++w) {
                row.widths[w] = table.values[j + storage * (l + kAngleSteps * w)];
            }
            rows.push_back(row);
        }
    }
    return rows;
}

std::vector<StrokeRow> strokesAtCurrent(const RateInputs& inputs, double current)
{
    CurrentStep step;
    prepareCurrentStep(current, inputs.slopeAngle, inputs.geometry, inputs.voltageTerm, step);
    std::vector<StrokeRow> rows(kAngleSteps);
    for (int l = 0; l < kAngleSteps; ++l) {
        rows[l].current = current;
        rows[l].angleStep = l;
        rows[l].theta = integrationAngle(l);
        evaluateStroke(step, strokeAngle(rows[l].theta), rows[l].widths);
    }
    return rows;
}

ExposureCurve exposureCurve(const RateInputs& inputs)
{
    const KeptIntegration integration(inputs);
    ExposureCurve curve;
    if (integration.tables.angleSumC1 == nullptr) {
        return curve;
    }
    for (int j = 0; j < integration.rates.steps; ++j) {
        curve.current.push_back(j + inputs.minCurrent);
        curve.angleSumC1.push_back(integration.tables.angleSumC1->values[j]);
        curve.angleSumC2.push_back(integration.tables.angleSumC2->values[j]);
    }
    return curve;
}

std::vector<SweepRow> sweepCases(const RateInputs& base, const std::string& param,
                                 const std::vector<double>& values)
{
    std::vector<SweepRow> rows;
    for (double value : values) {
        SweepRow row;
        row.value = value;
        RateInputs inputs = base;
        *inputField(inputs, param) = value;
        row.error = minCurrentProblem(inputs.minCurrent);
        if (row.error.empty()) {
            row.result = analyseCase(inputs);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

const std::vector<std::string>& inputNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const NamedInput& input : kScalarInputs) {
            all.emplace_back(input.name);
        }
        for (const char* wire : {"x1", "x2", "x3", "x4", "h1", "h2", "h3", "h4"}) {
            all.emplace_back(wire);
        }
        return all;
    }();
    return names;
}

double* inputField(RateInputs& inputs, std::string_view name)
{
    for (const NamedInput& input : kScalarInputs) {
        if (name == input.name) {
            return &(inputs.*input.field);
        }
    }
    // x1..x4 and h1..h4: the wires' positions and heights.
    if (name.size() == 2 && (name[0] == 'x' || name[0] == 'h') && name[1] >= '1' && name[1] <= '4') {
        return &inputs.geometry[(name[0] == 'h' ? 4 : 0) + (name[1] - '1')];
    }
    return nullptr;
}

} // namespace study
