// The first-contact evaluation as an evaluator (evaluator.h): any tower,
// each stroke caught by the first striking disk its path enters or by the
// ground. Towers that are their own mirror image on level ground (each
// wire matched by exactly one of its kind, height and voltage term at -x)
// have the strokes past the vertical, all but the last (pi), read off the
// mirror strokes before it: the integration, the stroke table and the
// maximum-current searches agree on every stroke, rounding slivers
// included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "egm/shielding.h"
#include "egm/types.h"
#include "evaluator.h"
#include "first_contact.h"
#include "grid.h"

namespace egm::model {

// The striking disks of the tower at one current, turned into the frame of
// the sloped ground, and the boundary of their union above G
// (deferShielded: see prepareContactCurrentStep).
void prepareTowerCurrent(const Inputs& in, double current, ContactCurrentStep& step,
                         bool deferShielded = false);

// The angle step of the vertical stroke on level ground, pi/2: the grid's
// angles (l + 1) degrees lie in mirror pairs l and 2 * kHalfTurnStep - l
// round it, all but the last, pi.
inline constexpr int kHalfTurnStep = 89;
static_assert(kAngleSteps == 2 * kHalfTurnStep + 2);

class ContactEvaluator {
  public:
    static constexpr bool kContactWidths = true;
    using Sums = StrokeSums;

    // in must outlive the evaluator; it is not validated.
    explicit ContactEvaluator(const Inputs& in);

    std::size_t wireCount() const { return in_.tower.size(); }
    const std::vector<std::size_t>& conductors() const { return conductors_; }
    // 1/3 from a slope of 20 degrees either way, else 1/6.
    double terrainFactor() const { return terrainFactor_; }
    // 28 h^0.6 + b from the ground wires' mean height h and horizontal
    // spread b (the conductors' when there are none), h at the tower: the
    // strokes a line collects are counted by its height at the towers
    // (Eriksson 1987, as the guides use it), while its wires catch them at
    // the span's average height.
    double collectionWidth() const { return collectionWidth_; }
    // The collection width from the tower's heights before the sag is taken
    // off (in's tower, otherwise).
    void collectAtTower(const Tower& atTower);

    void prepare(double current);
    // A wire without a piece of the union's boundary, its own or (mirrored)
    // its image's, catches no stroke of the current.
    bool reached(std::size_t wire) const
    {
        if (step_.groundPending && in_.tower.wires[wire].kind == WireKind::conductor) {
            return false;
        }
        settleContactCurrentStep(step_);
        return hasBoundaryArc(step_, wire) || (mirrored_ && hasBoundaryArc(step_, mirror_[wire]));
    }
    bool anyReached() const { return !live_.empty(); }

    double widths(const StrokeAngle& angle, double* w, bool allWires) const
    {
        settleContactCurrentStep(step_);
        return evaluateContactStroke(step_, angle, w,
                                     allWires ? ContactWidths::all : ContactWidths::conductors);
    }

    // The strokes past the vertical of a mirrored tower, all but the last.
    bool readOff(int l) const { return mirrored_ && l > kHalfTurnStep && l < kAngleSteps - 1; }
    // Each wire's width is its image's in the mirror stroke's row.
    void fillFromImage(int l, double* row) const
    {
        const std::size_t wires = mirror_.size();
        const double* image = row + (static_cast<std::ptrdiff_t>(2 * kHalfTurnStep - l) - l) *
                                        static_cast<std::ptrdiff_t>(wires);
        for (std::size_t i = 0; i < wires; ++i) {
            row[i] = image[mirror_[i]];
        }
    }

    // Each live conductor's share of the stroke times the angle's weight per
    // degree, one division per stroke; the image stroke gives the same share
    // to the mirror conductor. A stroke no wire catches adds nothing, and a
    // conductor without a width would add +0, which changes nothing.
    void add(int l, const double* w, double total, Sums& sums) const
    {
        if (total == 0.0) {
            return;
        }
        const int image = 2 * kHalfTurnStep - l;
        const bool twin = mirrored_ && l < kHalfTurnStep;
        const double factor = weightPerDegree_[l] / total;
        const double imageFactor = twin ? weightPerDegree_[image] / total : 0.0;
        double caught = 0.0;
        for (const std::size_t k : live_) {
            const double width = w[conductors_[k]];
            if (width != 0.0) {
                caught += width;
                sums.conductor[k] += width * factor;
                sums.exposed |= std::uint32_t{1} << k;
                if (twin) {
                    sums.conductor[mirrorConductor_[k]] += width * imageFactor;
                    sums.exposed |= std::uint32_t{1} << mirrorConductor_[k];
                }
            }
        }
        sums.total += caught * factor;
        if (twin) {
            sums.total += caught * imageFactor;
        }
    }

    // The stroke's image catches with the mirror wire what this one does.
    bool catches(int l, const double* w, std::size_t wire) const
    {
        const bool image = mirrored_ && l < kHalfTurnStep;
        return hasWidth(w[wire]) || (image && hasWidth(w[mirror_[wire]]));
    }

    std::vector<double> draw(const StrokeAngle& angle, StrokeGeometry& geometry) const;

    static void check(const Inputs&) {}
    static void addNotes(const Inputs&, std::vector<std::string>&) {}

  private:
    const Inputs& in_;
    std::vector<std::size_t> conductors_;
    double terrainFactor_ = 0.0;
    double collectionWidth_ = 0.0;
    double weightPerDegree_[kAngleSteps];
    // Each wire's mirror image and each conductor's (conductor order);
    // empty unless the tower is its own mirror image on level ground.
    std::vector<std::size_t> mirror_;
    std::vector<std::size_t> mirrorConductor_;
    bool mirrored_ = false;
    // Over a profile, a current that reaches no conductor leaves the ground's
    // cut of the other wires' arcs until a stroke or a wire is asked for.
    mutable ContactCurrentStep step_;
    // The conductors (conductor order) with a piece of the boundary at the
    // prepared current.
    std::vector<std::size_t> live_;
};

} // namespace egm::model
