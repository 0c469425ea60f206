// The first contact over a ground profile: independent figures, and the
// properties that tie a profile to the plane.
#include <cmath>
#include <string>
#include <vector>

#include "bits.h"
#include "egm/shielding.h"

namespace {

egm::Options cheap()
{
    egm::Options o;
    o.classicalMaxCurrents = false;
    return o;
}

egm::Inputs over(std::vector<egm::GroundPoint> points, egm::Inputs in = {})
{
    in.ground = egm::GroundProfile(std::move(points));
    return in;
}

struct Reference {
    const char* name;
    std::vector<egm::GroundPoint> profile;
    double conductor1;
    double conductor2;
    double total;
};

// The built-in line (2.8, 23.5 kA, built-in law and distribution, share
// method), from a brute-force implementation of its own: breakpoints at
// every disk tangent, corner and crossing, each interval decided at its
// middle.
TEST(GroundProfile, AgainstAnIndependentBruteForce)
{
    const double fall25 = -279.78459489299917;
    const double rise30 = 346.41016151377545;
    const std::vector<Reference> cases = {
        {"ridge, 25 degrees both ways", {{-600.0, fall25}, {0.0, 0.0}, {600.0, fall25}}, 1.21295304396325,
         0.35249678037467713, 1.5654498243379273},
        {"hillside, 30 degrees falling towards +x", {{-600.0, rise30}, {600.0, -rise30}}, 1.2930605724710151, 0.0,
         1.2930605724710151},
        {"level", {{-600.0, 0.0}, {600.0, 0.0}}, 0.24193729261218427, 0.24300561714751143 - 0.24193729261218427,
         0.24300561714751143},
    };
    for (const Reference& c : cases) {
        SCOPED_TRACE(c.name);
        const egm::Result r = egm::computeRates(over(c.profile), cheap());
        EXPECT_NEAR(r.conductors[0].rate, c.conductor1, 1e-9 * c.total);
        EXPECT_NEAR(r.conductors[1].rate, c.conductor2, 1e-9 * c.total);
        EXPECT_NEAR(r.totalRate, c.total, 1e-9 * c.total);
    }
}

} // namespace
