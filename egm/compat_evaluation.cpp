#include "compat_evaluation.h"

#include "egm/input_table.h"
#include "rt_safe_math.h"
#include "striking_law.h"

namespace egm::model {

bool twoPlusTwo(const Tower& tower)
{
    return tower.size() == 4 && tower.wires[0].kind == WireKind::groundWire &&
           tower.wires[1].kind == WireKind::groundWire && tower.wires[2].kind == WireKind::conductor &&
           tower.wires[3].kind == WireKind::conductor;
}

IntegrationCase caseOf(const Inputs& in)
{
    IntegrationCase c;
    c.flashDensity = in.flashDensity;
    c.slopeAngle = in.slope;
    c.minCurrent = in.lowestCurrent;
    c.geometry = geometryOf(lineOf(in.tower));
    c.voltageTerm = in.tower.wires[2].voltageTerm;
    c.distribution = in.distribution;
    c.law = in.law;
    return c;
}

LineDistances distancesAt(const IntegrationCase& in, double current)
{
    return lineDistances(in.law, current, in.geometry, in.voltageTerm);
}

CompatEvaluator::CompatEvaluator(const IntegrationCase& in) : case_(in) {}

double CompatEvaluator::collectionWidth() const
{
    const LineGeometry& geometry = case_.geometry;
    const double shieldSpan = std::fabs(geometry[0] - geometry[1]);
    return 28.0 * numeric::rt_powd_snf(geometry[4], 0.6) + shieldSpan;
}

std::vector<double> CompatEvaluator::draw(const StrokeAngle& angle, StrokeGeometry& geometry) const
{
    StrokeExposure widths;
    StrokeShadows shadows;
    evaluateStroke(step_, angle, widths, &shadows);
    geometry.groundStrikeHeight = step_.groundStrikeHeight;
    for (int i = 0; i < 4; ++i) {
        geometry.circle.push_back({step_.x[i], step_.y[i], step_.r[i]});
        geometry.arc.push_back({step_.a[i] != step_.b[i], step_.a[i], step_.b[i]});
        geometry.silhouette.push_back({StrokeGeometry::Point{shadows.u[i].x, shadows.u[i].y},
                                       StrokeGeometry::Point{shadows.v[i].x, shadows.v[i].y}});
        geometry.shadow.push_back({shadows.shadow[i].left, shadows.shadow[i].right});
    }
    return {widths.begin(), widths.end()};
}

void CompatEvaluator::check(const Inputs& in)
{
    if (!in.ground.empty()) {
        throw InputError("evaluation compat: computes plane ground only; a ground profile needs the "
                         "first-contact evaluation");
    }
    if (twoPlusTwo(in.tower) && in.tower.wires[3].voltageTerm == -in.tower.wires[2].voltageTerm) {
        return;
    }
    throw InputError("evaluation compat: computes two ground wires then two conductors with opposite voltage "
                     "terms (ground wire 1, ground wire 2, conductor 1, conductor 2); this tower has " +
                     std::to_string(in.tower.groundWires().size()) + " ground wires and " +
                     std::to_string(in.tower.conductors().size()) +
                     " conductors; use the first-contact evaluation");
}

void CompatEvaluator::addNotes(const Inputs& in, std::vector<std::string>& notes)
{
    if (!twoPlusTwo(in.tower)) {
        return;
    }
    const Line line = lineOf(in.tower);
    if (line.groundWire1.x < line.groundWire2.x) {
        notes.push_back("warning: ground wire 1 lies on the -x side (x1 " + shortestText(line.groundWire1.x) +
                        " m < x2 " + shortestText(line.groundWire2.x) +
                        " m); the compat evaluation expects ground wire 1 and conductor 1 on the +x side");
    }
    const double middle = (line.groundWire1.x + line.groundWire2.x) / 2.0;
    for (int c = 0; c < 2; ++c) {
        const Wire conductor = c == 0 ? Wire::conductor1 : Wire::conductor2;
        const Wire shield = c == 0 ? Wire::groundWire1 : Wire::groundWire2;
        const std::string n = std::to_string(c + 1);
        if (line[conductor].height > line[shield].height) {
            notes.push_back("warning: conductor " + n + " (h" + std::to_string(c + 3) + " " +
                            shortestText(line[conductor].height) + " m) is above ground wire " + n + " (h" +
                            n + " " + shortestText(line[shield].height) + " m), the ground wire of its side");
        }
        // Conductor 1 belongs on ground wire 1's half of the line.
        const bool onShieldSide = (line[shield].x >= middle) == (line[conductor].x >= middle);
        if (!onShieldSide) {
            notes.push_back("warning: conductor " + n + " (x" + std::to_string(c + 3) + " " +
                            shortestText(line[conductor].x) +
                            " m) lies on the other side's half of the line, "
                            "beyond the middle between the ground wires (" +
                            shortestText(middle) + " m)");
        }
    }
}

} // namespace egm::model
