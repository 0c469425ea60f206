// Writes the validation page: the library's striking distances, classical
// maximum currents, log-normal probabilities and exposure rate beside
// references worked out here from the published formulas, with nothing but
// the public headers. Every figure is computed at run time and printed to
// six significant digits, so that the page is the same from any compiler.
//
//   validation_page PAGE           compares PAGE with the computed page
//   validation_page PAGE --write   writes the computed page to PAGE
//
// Exit status 1 when the page differs from PAGE (compare mode), when a
// figure leaves its stated tolerance of the reference (both modes), or when
// PAGE cannot be read or written.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "egm/shielding.h"

namespace {

using Kind = egm::StrikingLaw::Kind;

// The page under construction and the checks that failed.
struct Page {
    std::string text;
    std::vector<std::string> failures;

    void add(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        va_list again;
        va_copy(again, args);
        const int n = std::vsnprintf(nullptr, 0, format, args);
        va_end(args);
        std::string line(static_cast<std::size_t>(n) + 1, '\0');
        std::vsnprintf(line.data(), line.size(), format, again);
        va_end(again);
        line.pop_back();
        text += line;
    }
    void check(bool ok, const std::string& what)
    {
        if (!ok) {
            failures.push_back(what);
        }
    }
};

std::string sig6(double x)
{
    char s[32];
    std::snprintf(s, sizeof s, "%.6g", x);
    return s;
}

// |a - b| / |b|, shown as "< 1e-12" below that floor so that rounding in the
// last bits of a libm never moves the page.
double relative(double a, double b)
{
    return b == 0.0 ? std::fabs(a) : std::fabs(a - b) / std::fabs(b);
}
std::string shownBelow(double difference, double floor)
{
    if (difference < floor) {
        char s[32];
        std::snprintf(s, sizeof s, "< %.0e", floor);
        return s;
    }
    char s[32];
    std::snprintf(s, sizeof s, "%.2e", difference);
    return s;
}

// The published law: r = A I^b for the wires, G = C I^d or k_g r.
struct Law {
    Kind kind;
    double a, b; // wires
    double c, d; // ground; c = 0: G = k_g r
};
constexpr Law kPublished[] = {
    {Kind::ieee1992, 10.0, 0.65, 0.0, 0.0},
    {Kind::love, 10.0, 0.65, 10.0, 0.65},
    {Kind::brownWhitehead, 7.1, 0.75, 6.4, 0.75},
    {Kind::armstrongWhitehead, 6.7, 0.80, 6.0, 0.80},
};

// k_g of ground wires at mean height h (m), as this project writes it.
double groundFactor(double h)
{
    return h < 40.0 ? 0.36 + 0.17 * std::log(43.0 - h) : 0.55;
}

// The guides' beta of a conductor at height y (m), with which ieee-1992
// evaluates each conductor.
double guidesFactor(double y)
{
    return y < 40.0 ? 0.36 + 0.168 * std::log(43.0 - y) : 0.55;
}

std::string nameOf(Kind kind)
{
    return std::string(egm::lawName(kind));
}

egm::Tower builtInLine(double voltageTerm)
{
    return egm::towerOf(egm::Line{}, voltageTerm);
}

void strikingDistances(Page& page)
{
    page.add(
        "## Striking distances\n\n"
        "The library's distances on the built-in line (ground wires at 57 m, so k_g = 0.55) beside each\n"
        "law's formula evaluated here with std::pow. The built-in law's conductors carry the voltage\n"
        "term U = +0.8 (conductor 1) and -0.8 (conductor 2).\n\n"
        "| law | I (kA) | distance | library (m) | formula (m) | relative difference |\n"
        "|---|---:|---|---:|---:|---:|\n");
    const double currents[] = {10.0, 31.0, 100.0};
    const double kg = groundFactor(57.0);
    struct Row {
        std::string what;
        double library;
        double formula;
    };
    for (const Kind kind :
         {Kind::builtIn, Kind::ieee1992, Kind::love, Kind::brownWhitehead, Kind::armstrongWhitehead}) {
        egm::StrikingLaw law;
        law.kind = kind;
        const double u = kind == Kind::builtIn ? 0.8 : 0.0;
        for (const double i : currents) {
            const egm::StrikingDistances d = egm::strikingDistances(law, i, builtInLine(u));
            std::vector<Row> rows;
            if (kind == Kind::builtIn) {
                const double r = 1.63 * std::pow(5.015 * std::pow(i, 0.578), 1.125);
                rows.push_back({"r ground wire", d.wire[0], r});
                rows.push_back({"r conductor, U = +0.8", d.wire[2],
                                1.63 * std::pow(5.015 * std::pow(i, 0.578) + 0.8, 1.125)});
                rows.push_back({"r conductor, U = -0.8", d.wire[3],
                                1.63 * std::pow(5.015 * std::pow(i, 0.578) - 0.8, 1.125)});
                rows.push_back({"G = k_g r", d.groundStrikeHeight, kg * r});
            } else {
                const Law& p = *std::find_if(std::begin(kPublished), std::end(kPublished),
                                             [&](const Law& l) { return l.kind == kind; });
                const double r = p.a * std::pow(i, p.b);
                rows.push_back({"r", d.wire[0], r});
                rows.push_back({p.c == 0.0 ? "G = k_g r" : "G", d.groundStrikeHeight,
                                p.c == 0.0 ? kg * r : p.c * std::pow(i, p.d)});
            }
            for (const Row& row : rows) {
                const double diff = relative(row.library, row.formula);
                page.add("| %s | %g | %s | %s | %s | %s |\n", nameOf(kind).c_str(), i, row.what.c_str(),
                         sig6(row.library).c_str(), sig6(row.formula).c_str(),
                         shownBelow(diff, 1e-12).c_str());
                page.check(diff < 1e-12, nameOf(kind) + " " + row.what + " at " + sig6(i) + " kA");
            }
        }
    }
    page.add("\n");
}

// One ground wire and one conductor outside it, a (m) further out.
struct Pair {
    const char* name;
    double xg, h; // ground wire
    double xc, y; // conductor
};

// Current (kA) of a wire striking distance r under the law.
double currentOf(const Law& law, double r)
{
    return std::pow(r / law.a, 1.0 / law.b);
}

void classicalMaxCurrents(Page& page)
{
    page.add(
        "## Classical maximum shielding failure current\n\n"
        "Vertical strokes on flat ground, one ground wire and one conductor outside it (a tower of these "
        "two\n"
        "wires alone). The library's figure is the largest current at which the conductor still has a width\n"
        "for vertical strokes, resolved to 0.01 kA. The closed form puts the ground wire's circle, the\n"
        "conductor's and the ground's striking line G through one point:\n\n"
        "r_gm = (h + y) / (2 gamma k0) [1 + sqrt(1 - k0 (1 + (a / (h + y))^2))], k0 = 1 - sin^2(alpha_s) / "
        "gamma^2,\n\n"
        "h the ground wire's height, y the conductor's, a their horizontal offset, gamma = G / r (under\n"
        "ieee-1992 the guides' 0.36 + 0.168 ln(43 - y) of the conductor's height, 0.55 from 40 m),\n"
        "alpha_s = atan(a / (h - y)) the shielding angle; the law inverted turns r_gm into a current.\n"
        "Written with beta = r / G = 1 / gamma it reads beta (h + y) / (2 k0) [...] with\n"
        "k0 = 1 - beta^2 sin^2(alpha_s); without the leading beta, or with gamma in place of beta, it holds\n"
        "for Love's law (gamma = 1) alone.\n\n"
        "That point is where the exposure ends only while it lies on the upper half of the ground wire's\n"
        "circle, G >= h. When G < h the point lies on the lower half, which vertical strokes never reach: "
        "the\n"
        "ground wire's circle shadows the paths up to its vertical tangent x_g + r at the height h, and the\n"
        "conductor stays exposed just outside that tangent while its circle there rises above G. The\n"
        "exposure then ends at y + sqrt(2 a r - a^2) = gamma r, solved here as a quadratic in r (column\n"
        "\"tangent form\"). The last column is the reference that holds for the row.\n\n"
        "| law | geometry | library (kA) | closed form (kA) | library - closed form | G / h at closed form | "
        "tangent form (kA) | library - reference (kA) |\n"
        "|---|---|---:|---:|---:|---:|---:|---:|\n");
    const Pair pairs[] = {
        {"built-in line, +x side: ground wire (9.89, 57), conductor (11.2, 42)", 9.89, 57.0, 11.2, 42.0},
        {"400 kV line, outer phase: ground wire (8, 36), conductor (12, 27)", 8.0, 36.0, 12.0, 27.0},
    };
    // Largest |library - closed form| / closed form where the closed form
    // holds and where it does not; largest |library - reference| (kA).
    double holds = 0.0;
    double errs = 0.0;
    double offReference = 0.0;
    for (const Law& law : kPublished) {
        for (const Pair& pair : pairs) {
            egm::Inputs in;
            in.tower.wires = {
                egm::TowerWire{egm::WireKind::groundWire, pair.xg, pair.h, 0.0, {}, 0.0},
                egm::TowerWire{egm::WireKind::conductor, pair.xc, pair.y, 0.0, {}, 0.0},
            };
            in.law.kind = law.kind;
            egm::Options options;
            options.maxCurrents = false;
            const egm::Result result = egm::computeRates(in, options);
            const egm::MaxCurrent m = result.conductors.at(0).classicalMaxCurrent;

            const double h = pair.h;
            const double y = pair.y;
            const double a = pair.xc - pair.xg;
            const double gamma = law.c == 0.0 ? guidesFactor(y) : law.c / law.a; // equal exponents
            const double sinAlpha = a / std::hypot(a, h - y);
            const double k0 = 1.0 - sinAlpha * sinAlpha / (gamma * gamma);
            const double ratio = a / (h + y);
            const double rClosed =
                (h + y) / (2.0 * gamma * k0) * (1.0 + std::sqrt(1.0 - k0 * (1.0 + ratio * ratio)));
            const double closed = currentOf(law, rClosed);
            const double gOverH = gamma * rClosed / h;
            // gamma^2 r^2 - 2 (gamma y + a) r + (y^2 + a^2) = 0, the larger root.
            const double p = gamma * y + a;
            const double rTangent =
                (p + std::sqrt(p * p - gamma * gamma * (y * y + a * a))) / (gamma * gamma);
            const double tangent = currentOf(law, rTangent);
            const bool closedHolds = gOverH >= 1.0;
            const double reference = closedHolds ? closed : tangent;

            const std::string name = nameOf(law.kind) + ", " + pair.name;
            if (!m.current || m.exposedAtTop) {
                page.add("| %s | %s | none | %s | | | | |\n", nameOf(law.kind).c_str(), pair.name,
                         sig6(closed).c_str());
                page.check(false, name + ": no classical maximum current");
                continue;
            }
            const double library = *m.current;
            char percent[32];
            std::snprintf(percent, sizeof percent, "%+.2f%%", 100.0 * (library - closed) / closed);
            char off[32];
            std::snprintf(off, sizeof off, "%+.2f", library - reference);
            page.add("| %s | %s | %.2f | %s | %s | %.3f | %s | %s |\n", nameOf(law.kind).c_str(), pair.name,
                     library, sig6(closed).c_str(), percent, gOverH,
                     closedHolds ? "(G >= h: closed form)" : sig6(tangent).c_str(), off);
            // Resolution 0.01 kA, and the rounding to it.
            page.check(std::fabs(library - reference) <= 0.015, name);
            double& worst = closedHolds ? holds : errs;
            worst = std::max(worst, std::fabs(library - closed) / closed);
            offReference = std::max(offReference, std::fabs(library - reference));
        }
    }
    page.add(
        "\nWhere G >= h the library and the closed form agree within %.2f%%. Where G < h the closed form\n"
        "errs by up to %.2f%% and the library agrees with the tangent form; every row lies within\n"
        "%.2f kA of its reference, the library's resolution being 0.01 kA.\n\n",
        100.0 * holds, 100.0 * errs, offReference);
}

// P(I > current) from the library's density, integrated over u = ln I by
// Simpson's rule from ln(current) to ln(current) + span.
double exceedanceByIntegration(const egm::CurrentDistribution& distribution, double current, double span)
{
    constexpr int kIntervals = 200000; // even
    const double from = std::log(current);
    const double step = span / kIntervals;
    double sum = 0.0;
    for (int k = 0; k <= kIntervals; ++k) {
        const double u = from + k * step;
        const double i = std::exp(u);
        const double f = egm::currentDensity(distribution, i) * i;
        const double weight = (k == 0 || k == kIntervals) ? 1.0 : (k % 2 == 1 ? 4.0 : 2.0);
        sum += weight * f;
    }
    return sum * step / 3.0;
}

void distributions(Page& page)
{
    page.add(
        "## Current distributions\n\n"
        "The probability that a stroke's peak current exceeds I: the distribution function written here\n"
        "beside the library's density integrated numerically from I upwards (Simpson's rule over ln I).\n"
        "log-normal: 0.5 erfc((ln I - ln 31.1) / (0.484 sqrt 2)); built-in: 1 / (1 + (I / 31)^2.8).\n\n"
        "| distribution | I (kA) | formula | library density integrated | difference |\n"
        "|---|---:|---:|---:|---:|\n");
    egm::CurrentDistribution logNormal;
    logNormal.kind = egm::CurrentDistribution::Kind::logNormal;
    const egm::CurrentDistribution builtIn;
    for (const double i : {31.0, 100.0, 200.0}) {
        const double formula = 0.5 * std::erfc((std::log(i) - std::log(31.1)) / (0.484 * std::sqrt(2.0)));
        // 14 standard deviations of ln I: the tail beyond is below 1e-40.
        const double integrated = exceedanceByIntegration(logNormal, i, 14.0 * 0.484);
        const double diff = std::fabs(integrated - formula);
        page.add("| log-normal | %g | %s | %s | %s |\n", i, sig6(formula).c_str(), sig6(integrated).c_str(),
                 shownBelow(diff, 1e-10).c_str());
        page.check(diff < 1e-10, "log-normal P(> " + sig6(i) + " kA)");
    }
    for (const double i : {31.0, 100.0, 200.0}) {
        const double formula = 1.0 / (1.0 + std::pow(i / 31.0, 2.8));
        // The tail beyond e^40 times I is below 1e-48.
        const double integrated = exceedanceByIntegration(builtIn, i, 40.0);
        const double diff = std::fabs(integrated - formula);
        page.add("| built-in | %g | %s | %s | %s |\n", i, sig6(formula).c_str(), sig6(integrated).c_str(),
                 shownBelow(diff, 1e-10).c_str());
        page.check(diff < 1e-10, "built-in P(> " + sig6(i) + " kA)");
    }
    page.add("\n");
}

// Width (m) of the vertical stroke paths a conductor (xc, y) catches first,
// its ground wire at (xg, h) on the inner side, both of striking distance r,
// the ground's striking line at G; flat ground, outward towards +x.
double verticalWidth(double xg, double h, double xc, double y, double r, double g)
{
    const double dx = xc - xg;
    const double dy = y - h;
    const double d = std::hypot(dx, dy);
    if (d >= 2.0 * r) {
        return 0.0; // not met at the currents of the grid
    }
    // Upper crossing of the two equal circles: the midpoint plus the half
    // chord along the normal that points up.
    const double halfChord = std::sqrt(r * r - d * d / 4.0);
    const double nx = -dy / d;
    const double ny = dx / d;
    const double px = (xg + xc) / 2.0 + halfChord * nx;
    const double py = (h + y) / 2.0 + halfChord * ny;
    if (py < g) {
        return 0.0;
    }
    // On the lower half of the ground wire's circle the crossing is hidden
    // under its top; the ground wire then shadows the paths up to its
    // vertical tangent.
    const double from = py >= h ? px : xg + r;
    if (py < h && y + std::sqrt(r * r - (from - xc) * (from - xc)) <= g) {
        return 0.0;
    }
    const double to = y >= g ? xc + r : xc + std::sqrt(r * r - (g - y) * (g - y));
    return std::max(0.0, to - from);
}

void exposureRate(Page& page)
{
    page.add(
        "## Exposure rate of the built-in line\n\n"
        "ieee-1992, U = 0, flat ground, N_g = 2.8 per km^2 per year, currents from 23.5 to 223.5 kA, the\n"
        "built-in distribution. The reference is worked out here: every wire has r = 10 I^0.65,\n"
        "G = 0.55 r (the guides' ground factor of conductors at 42 m); a conductor's width for vertical\n"
        "strokes runs from the upper crossing of its circle\n"
        "with its ground wire's circle (or from the ground wire's vertical tangent x_g + r when that\n"
        "crossing lies on the lower half of the ground wire's circle) out to where its circle meets G, or\n"
        "to its outermost point x_c + r when its centre lies above G; 0 when the crossing lies below G.\n"
        "Rate: 0.1 N_g times the integral of f(I) D(I) dI, f the derivative of 1 - 1 / (1 + (I / 31)^2.8),\n"
        "integrated for the reference by the trapezoidal rule every 0.001 kA; the library, by Simpson's "
        "rule\n"
        "every 0.1 kA, must lie within 1e-4 of it.\n\n"
        "| conductor | library, rate method exposure | reference | relative difference |\n"
        "|---|---:|---:|---:|\n");
    egm::Inputs in;
    in.tower = builtInLine(0.0);
    in.law.kind = Kind::ieee1992;
    in.rateMethod = egm::RateMethod::exposure;
    egm::Options options;
    options.maxCurrents = false;
    options.classicalMaxCurrents = false;
    const egm::Result result = egm::computeRates(in, options);

    const egm::Line line;
    double sum1 = 0.0;
    double sum2 = 0.0;
    constexpr int kSteps = 200000;
    for (int j = 0; j <= kSteps; ++j) {
        const double i = 23.5 + 200.0 * j / kSteps;
        const double end = j == 0 || j == kSteps ? 0.5 : 1.0;
        const double q = i / 31.0;
        const double density = 2.8 * std::pow(q, 1.8) / (31.0 * std::pow(1.0 + std::pow(q, 2.8), 2.0));
        const double r = 10.0 * std::pow(i, 0.65);
        const double g = 0.55 * r;
        // Conductor 2 mirrored onto the +x side.
        sum1 += end * (200.0 / kSteps) * density *
                verticalWidth(line.groundWire1.x, line.groundWire1.height, line.conductor1.x,
                              line.conductor1.height, r, g);
        sum2 += end * (200.0 / kSteps) * density *
                verticalWidth(-line.groundWire2.x, line.groundWire2.height, -line.conductor2.x,
                              line.conductor2.height, r, g);
    }
    const double reference[] = {0.1 * 2.8 * sum1, 0.1 * 2.8 * sum2, 0.1 * 2.8 * (sum1 + sum2)};
    const double library[] = {result.conductors.at(0).rate, result.conductors.at(1).rate, result.totalRate};
    const char* names[] = {"conductor 1", "conductor 2", "total"};
    for (int k = 0; k < 3; ++k) {
        const double diff = relative(library[k], reference[k]);
        page.add("| %s | %s | %s | %s |\n", names[k], sig6(library[k]).c_str(), sig6(reference[k]).c_str(),
                 shownBelow(diff, 1e-9).c_str());
        page.check(diff < 1e-4, std::string("exposure rate, ") + names[k]);
    }
    page.add(
        "\nFailures per 100 km per year. For comparison, the model's own rate (rate method share) on the\n"
        "same inputs: %s.\n",
        sig6([&] {
            egm::Inputs share = in;
            share.rateMethod = egm::RateMethod::share;
            return egm::computeRates(share, options).totalRate;
        }())
            .c_str());
}

std::string computedPage(Page& page)
{
    page.add("# Validation\n\n"
             "Written by tests/validation_page.cpp with the library; do not edit by hand. CTest\n"
             "recomputes every figure and fails when one moves; after a deliberate change, rerun\n"
             "`validation_page docs/validation.md --write` (the program is built in the tests folder)\n"
             "and review the difference. The models are described in [models.md](models.md).\n\n");
    strikingDistances(page);
    classicalMaxCurrents(page);
    distributions(page);
    exposureRate(page);
    return page.text;
}

// First line (1-based) at which a and b differ.
std::size_t firstDifference(const std::string& a, const std::string& b)
{
    std::istringstream sa(a);
    std::istringstream sb(b);
    std::string la;
    std::string lb;
    for (std::size_t n = 1;; ++n) {
        const bool ga = static_cast<bool>(std::getline(sa, la));
        const bool gb = static_cast<bool>(std::getline(sb, lb));
        if (!ga || !gb || la != lb) {
            return n;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool write = argc == 3 && std::string_view(argv[2]) == "--write";
    if (argc != 2 && !write) {
        std::cerr << "usage: validation_page PAGE [--write]\n";
        return 2;
    }
    const std::string path = argv[1];
    Page page;
    const std::string computed = computedPage(page);
    for (const std::string& f : page.failures) {
        std::cerr << "validation_page: " << f << ": the library leaves the reference's tolerance\n";
    }
    int status = page.failures.empty() ? 0 : 1;
    if (write) {
        std::ofstream out(path, std::ios::binary);
        out << computed;
        if (!out.flush()) {
            std::cerr << "validation_page: " << path << ": cannot write the page\n";
            return 1;
        }
        return status;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "validation_page: " << path << ": cannot read the page\n";
        return 1;
    }
    std::ostringstream committed;
    committed << in.rdbuf();
    if (committed.str() != computed) {
        std::cerr << "validation_page: " << path << ": line " << firstDifference(committed.str(), computed)
                  << " differs from the computed page; check the change, then rerun with --write\n";
        status = 1;
    }
    return status;
}
