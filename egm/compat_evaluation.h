// The compat evaluation as an evaluator (evaluator.h): the four-wire
// line's strokes by the rules egm-shielding keeps (EGM_DQ split into its
// current and angle halves), to the last bit; two ground wires then two
// conductors only.
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "compat/compat.h"
#include "egm/shielding.h"
#include "egm/types.h"
#include "egm_constants.h"
#include "egm_types.h"
#include "evaluator.h"
#include "grid.h"

namespace egm::model {

// Every input of one four-wire integration; nothing is validated.
struct IntegrationCase {
    double flashDensity = 2.8; // flashes per km^2 per year
    double slopeAngle = 0.0;   // degrees
    double minCurrent = 23.5;  // kA
    LineGeometry geometry = {9.89, -9.89, 11.2, -11.2, 57.0, 57.0, 42.0, 42.0};
    double voltageTerm = 0.8;
    CurrentDistribution distribution;
    StrikingLaw law;
};

// Ground wire, ground wire, conductor, conductor in this order: the layout
// the compat evaluation computes.
bool twoPlusTwo(const Tower& tower);

// The four-wire line of a two-plus-two tower (not checked), for the compat
// evaluation: its geometry and conductor 1's voltage term.
IntegrationCase caseOf(const Inputs& in);

// Striking distances of the case's law at one current.
LineDistances distancesAt(const IntegrationCase& in, double current);

class CompatEvaluator {
  public:
    static constexpr bool kContactWidths = false;
    using Sums = FixedStrokeSums<2>;

    explicit CompatEvaluator(const IntegrationCase& in);
    explicit CompatEvaluator(const Inputs& in) : CompatEvaluator(caseOf(in)) {}

    const IntegrationCase& lineCase() const { return case_; }
    std::size_t wireCount() const { return 4; }
    const std::vector<std::size_t>& conductors() const { return conductors_; }
    // The four-wire program's own rule, 1/6 below a slope of 20 degrees and
    // 1/3 from it, so that a slope of -30 degrees gives 1/6 where first
    // contact gives 1/3: kept so that its figures and the stored results
    // stay to the last bit.
    double terrainFactor() const { return case_.slopeAngle < 20.0 ? 1.0 / 6.0 : 1.0 / 3.0; }
    // The line's equivalent collection width, metres: 28 h1^0.6 + span.
    double collectionWidth() const;

    void prepare(double current)
    {
        prepareCurrentStep(distancesAt(case_, current), case_.slopeAngle, case_.geometry, step_);
    }
    // Every wire is looked at for every stroke.
    bool reached(std::size_t) const { return true; }
    bool anyReached() const { return true; }

    // Returns the four widths' total ((w1 + w0) + w2) + w3.
    double widths(const StrokeAngle& angle, double* w, bool) const
    {
        StrokeExposure e;
        evaluateStroke(step_, angle, e);
        return store(e, w);
    }

    bool readOff(int) const { return false; }
    void fillFromImage(int, double*) const {}

    void add(int l, const double* w, double total, Sums& sums) const
    {
        sums.exposed |= static_cast<std::uint32_t>((hasWidth(w[2]) ? 1 : 0) | (hasWidth(w[3]) ? 2 : 0));
        // A stroke that reaches neither conductor adds a signed zero to
        // each sum, which leaves it as it is (a sum that starts at +0 is
        // never -0), unless a zero or non-finite total makes the share
        // NaN. Most strokes of a line are of that kind.
        if (w[2] == 0.0 && w[3] == 0.0 && std::isfinite(total) && total != 0.0) {
            return;
        }
        // Products left to right, then the division by the total: the
        // order decides the last bit of the rates.
        const double weight = weight_[l];
        sums.total += (w[3] + w[2]) * weight * kPi / 180.0 / total;
        sums.conductor[0] += w[2] * weight * kPi / 180.0 / total;
        sums.conductor[1] += w[3] * weight * kPi / 180.0 / total;
    }

    bool catches(int, const double* w, std::size_t wire) const { return hasWidth(w[wire]); }

    std::vector<double> draw(const StrokeAngle& angle, StrokeGeometry& geometry) const;

    // A tower of two ground wires then two conductors with opposite voltage
    // terms, or InputError.
    static void check(const Inputs& in);
    // A line given with ground wire 1 on the -x side, a conductor above its
    // side's ground wire or on the other side's half of the line.
    static void addNotes(const Inputs& in, std::vector<std::string>& notes);

  protected:
    static double store(const StrokeExposure& e, double* w)
    {
        for (int i = 0; i < 4; ++i) {
            w[i] = e[i];
        }
        return ((e[1] + e[0]) + e[2]) + e[3];
    }

    IntegrationCase case_;
    CurrentStep step_{};

  private:
    std::vector<std::size_t> conductors_{2, 3};
    const double* weight_ = angleWeights();
};

// The same rules, EGM_DQ called whole for every stroke (the built-in law
// only): a check that the per-current preparation carries nothing stale
// from one stroke to the next.
class LiteralEvaluator : public CompatEvaluator {
  public:
    using CompatEvaluator::CompatEvaluator;

    void prepare(double current) { current_ = current; }
    double widths(const StrokeAngle& angle, double* w, bool) const
    {
        StrokeExposure e;
        EGM_DQ(current_, angle.theta, case_.slopeAngle, case_.geometry, case_.voltageTerm, e);
        return store(e, w);
    }

  private:
    double current_ = 0.0;
};

} // namespace egm::model
