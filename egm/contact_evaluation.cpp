#include "contact_evaluation.h"

#include <algorithm>
#include <cmath>

#include "egm_constants.h"
#include "rt_safe_math.h"
#include "striking_law.h"

namespace egm::model {

namespace {

// For a tower on level ground that is its own mirror image in x = 0, each
// wire's mirror image (itself for a wire on the axis); empty otherwise. Each
// wire must have exactly one image, of its kind, height and voltage term,
// so that coincident wires, whose tie follows the tower's order, are never
// paired.
std::vector<std::size_t> mirrorImages(const Inputs& in)
{
    if (in.slope != 0.0 || !(in.ground.empty() || in.ground.level())) {
        return {};
    }
    const std::vector<TowerWire>& wires = in.tower.wires;
    std::vector<std::size_t> image(wires.size());
    for (std::size_t i = 0; i < wires.size(); ++i) {
        std::size_t found = 0;
        for (std::size_t j = 0; j < wires.size(); ++j) {
            const TowerWire& a = wires[i];
            const TowerWire& b = wires[j];
            if (b.x == -a.x && b.height == a.height && b.kind == a.kind && b.voltageTerm == a.voltageTerm &&
                b.sag == a.sag) {
                image[i] = j;
                ++found;
            }
        }
        if (found != 1) {
            return {};
        }
    }
    return image;
}

// Steep terrain from 20 degrees either way; over a profile, when the
// surface's mean steepness across the collection width is tan 20 degrees
// or more.
double terrainFactorOf(const Inputs& in, double collectionWidth)
{
    if (!in.ground.empty()) {
        const double steepness = in.ground.meanSteepness(-collectionWidth / 2.0, collectionWidth / 2.0);
        return steepness >= std::tan(20.0 / 180.0 * kPi) ? 1.0 / 3.0 : 1.0 / 6.0;
    }
    return std::fabs(in.slope) >= 20.0 ? 1.0 / 3.0 : 1.0 / 6.0;
}

// The collection width rests on the ground wires' mean height and spread.
double collectionWidthOf(const Tower& tower)
{
    std::vector<std::size_t> shields = tower.groundWires();
    if (shields.empty()) {
        shields = tower.conductors();
    }
    double left = tower.wires[shields[0]].x;
    double right = left;
    for (const std::size_t i : shields) {
        left = std::min(left, tower.wires[i].x);
        right = std::max(right, tower.wires[i].x);
    }
    return 28.0 * numeric::rt_powd_snf(meanShieldHeight(tower), 0.6) + (right - left);
}

} // namespace

void prepareTowerCurrent(const Inputs& in, double current, ContactCurrentStep& step, bool deferShielded)
{
    const StrikingDistances d = strikingDistances(in.law, current, in.tower);
    // The centres turned into the frame of the sloped ground, as the
    // four-wire line's are.
    const double alpha = in.slope / 180.0 * kPi;
    const double c = std::cos(alpha);
    const double s = std::sin(alpha);
    std::vector<ContactDisk> disks(in.tower.size());
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const TowerWire& w = in.tower.wires[i];
        disks[i] = ContactDisk{w.x * c - w.height * s, w.x * s + w.height * c, d.wire[i],
                               w.kind == WireKind::conductor, w.kind == WireKind::otherWire};
    }
    // A level profile is the plane at its surface's height above the base.
    const GroundProfile& ground = in.ground;
    if (!ground.empty() && ground.level()) {
        const GroundPoint& p = ground.points().front();
        const double above = p.elevation + p.cover - ground.base();
        prepareContactCurrentStep(disks, above == 0.0 ? d.groundStrikeHeight : d.groundStrikeHeight + above,
                                  step);
        return;
    }
    prepareContactCurrentStep(disks, d.groundStrikeHeight, step, &ground, deferShielded);
}

void ContactEvaluator::collectAtTower(const Tower& atTower)
{
    collectionWidth_ = collectionWidthOf(atTower);
    terrainFactor_ = terrainFactorOf(in_, collectionWidth_);
}

ContactEvaluator::ContactEvaluator(const Inputs& in)
    : in_(in), conductors_(in.tower.conductors()), collectionWidth_(collectionWidthOf(in.tower)),
      mirror_(mirrorImages(in)), mirrored_(!mirror_.empty())
{
    terrainFactor_ = terrainFactorOf(in, collectionWidth_);
    const double* weight = angleWeights();
    for (int l = 0; l < kAngleSteps; ++l) {
        weightPerDegree_[l] = weight[l] * kPi / 180.0;
    }
    const std::size_t nc = conductors_.size();
    mirrorConductor_.assign(mirrored_ ? nc : 0, 0);
    for (std::size_t k = 0; k < nc && mirrored_; ++k) {
        mirrorConductor_[k] = static_cast<std::size_t>(
            std::find(conductors_.begin(), conductors_.end(), mirror_[conductors_[k]]) - conductors_.begin());
    }
    live_.reserve(nc);
}

void ContactEvaluator::prepare(double current)
{
    prepareTowerCurrent(in_, current, step_, true);
    live_.clear();
    for (std::size_t k = 0; k < conductors_.size(); ++k) {
        if (hasBoundaryArc(step_, conductors_[k])) {
            live_.push_back(k);
        }
    }
}

std::vector<double> ContactEvaluator::draw(const StrokeAngle& angle, StrokeGeometry& geometry) const
{
    settleContactCurrentStep(step_);
    std::vector<double> widths(wireCount());
    std::vector<ContactBand> bands;
    evaluateContactStroke(step_, angle, widths.data(), ContactWidths::all, &bands);
    geometry.groundStrikeHeight = step_.groundStrikeHeight;
    for (const ContactDisk& d : step_.disk) {
        geometry.circle.push_back({d.x, d.y, d.r});
    }
    // A path at offset s across the stroke meets y = 0 at x = s / sin(theta).
    for (const ContactBand& b : bands) {
        geometry.bands.push_back({b.from / angle.sinTheta, b.to / angle.sinTheta, b.wire});
    }
    if (step_.overProfile) {
        // Twice the circles' reach and G beyond, with the profile's points
        // there, heights above the tower's base.
        double from = 0.0;
        double to = 0.0;
        for (const ContactDisk& d : step_.disk) {
            from = std::min(from, d.x - 2.0 * d.r);
            to = std::max(to, d.x + 2.0 * d.r);
        }
        from -= step_.groundStrikeHeight;
        to += step_.groundStrikeHeight;
        const auto height = [&](double x) { return in_.ground.surfaceAt(x) - in_.ground.base(); };
        geometry.surface.push_back({from, height(from)});
        for (const Point& p : step_.region.surface()) {
            if (p.x > from && p.x < to) {
                geometry.surface.push_back({p.x, p.y});
            }
        }
        geometry.surface.push_back({to, height(to)});
        // The strokes need the region's boundary only near the wires'
        // arcs; the picture draws it all.
        GroundRegion region = step_.region;
        region.setStrikeHeight(step_.groundStrikeHeight);
        for (const Point& p : region.boundary(from, to, (to - from) / 400.0)) {
            geometry.groundBoundary.push_back({p.x, p.y});
        }
    }
    return widths;
}

} // namespace egm::model
