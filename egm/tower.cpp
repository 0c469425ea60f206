// Towers and the four-wire line: wire names, kinds, the line as a tower
// and back, and the checks of a tower.
#include <cmath>
#include <string>

#include "compat_evaluation.h"
#include "egm/input_table.h"
#include "egm/shielding.h"
#include "insulation.h"

namespace egm {

WirePosition& Line::operator[](Wire wire)
{
    WirePosition* wires[4] = {&groundWire1, &groundWire2, &conductor1, &conductor2};
    return *wires[static_cast<int>(wire)];
}

const WirePosition& Line::operator[](Wire wire) const
{
    const WirePosition* wires[4] = {&groundWire1, &groundWire2, &conductor1, &conductor2};
    return *wires[static_cast<int>(wire)];
}

std::string Tower::nameOf(std::size_t wire) const
{
    const TowerWire& w = wires.at(wire);
    if (!w.name.empty()) {
        return w.name;
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i <= wire; ++i) {
        count += wires[i].kind == w.kind ? 1 : 0;
    }
    const char* stem = w.kind == WireKind::groundWire  ? "groundWire"
                       : w.kind == WireKind::conductor ? "conductor"
                                                       : "otherWire";
    return stem + std::to_string(count);
}

std::vector<std::string> Tower::names() const
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < wires.size(); ++i) {
        out.push_back(nameOf(i));
    }
    return out;
}

std::vector<std::size_t> Tower::conductors() const
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < wires.size(); ++i) {
        if (wires[i].kind == WireKind::conductor) {
            out.push_back(i);
        }
    }
    return out;
}

std::vector<std::size_t> Tower::groundWires() const
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < wires.size(); ++i) {
        if (wires[i].kind == WireKind::groundWire) {
            out.push_back(i);
        }
    }
    return out;
}

Tower towerOf(const Line& line, double voltageTerm)
{
    return Tower{
        {TowerWire{WireKind::groundWire, line.groundWire1.x, line.groundWire1.height, 0.0, {}},
         TowerWire{WireKind::groundWire, line.groundWire2.x, line.groundWire2.height, 0.0, {}},
         TowerWire{WireKind::conductor, line.conductor1.x, line.conductor1.height, voltageTerm, {}},
         TowerWire{WireKind::conductor, line.conductor2.x, line.conductor2.height, -voltageTerm, {}}}};
}

bool isFourWireLine(const Tower& tower)
{
    if (!model::twoPlusTwo(tower)) {
        return false;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (!tower.wires[i].name.empty() &&
            tower.wires[i].name !=
                std::string(i < 2 ? "groundWire" : "conductor") + std::to_string(i % 2 + 1)) {
            return false;
        }
    }
    return tower.wires[0].voltageTerm == 0.0 && tower.wires[1].voltageTerm == 0.0 &&
           tower.wires[3].voltageTerm == -tower.wires[2].voltageTerm;
}

Line lineOf(const Tower& tower)
{
    const auto at = [&](std::size_t i) {
        return WirePosition{tower.wires.at(i).x, tower.wires.at(i).height};
    };
    return Line{at(0), at(1), at(2), at(3)};
}

void validate(const Tower& tower)
{
    if (tower.size() > kMaxTowerWires) {
        throw TowerError("the tower has " + std::to_string(tower.size()) + " wires: at most " +
                             std::to_string(kMaxTowerWires) + " can be computed",
                         std::nullopt);
    }
    for (std::size_t i = 0; i < tower.size(); ++i) {
        const TowerWire& w = tower.wires[i];
        const std::string who = "wire " + std::to_string(i + 1) + " (" + tower.nameOf(i) + "): ";
        const auto fail = [&](const std::string& what) { throw TowerError(who + what, i); };
        if (!(std::isfinite(w.x) && std::fabs(w.x) <= kMaxCoordinate)) {
            fail("x " + shortestText(w.x) + " m: must lie between -" + shortestText(kMaxCoordinate) +
                 " and " + shortestText(kMaxCoordinate) + " m");
        }
        if (w.kind == WireKind::otherWire) {
            // Another line's wire may stand lower than this tower's base;
            // whether it is above the ground under it is the inputs' check.
            if (!(std::isfinite(w.height) && std::fabs(w.height) <= kMaxCoordinate)) {
                fail("height " + shortestText(w.height) + " m: must lie between -" +
                     shortestText(kMaxCoordinate) + " and " + shortestText(kMaxCoordinate) + " m");
            }
        } else if (!(std::isfinite(w.height) && w.height > 0.0 && w.height <= kMaxCoordinate)) {
            fail("height " + shortestText(w.height) + " m: must be greater than 0 m and at most " +
                 shortestText(kMaxCoordinate) + " m");
        }
        if (!(std::fabs(w.voltageTerm) <= kMaxVoltageTerm)) {
            fail("voltage term " + shortestText(w.voltageTerm) + ": must lie between -" +
                 shortestText(kMaxVoltageTerm) + " and " + shortestText(kMaxVoltageTerm));
        }
        if (!(w.sag >= 0.0 && (w.sag < 1.5 * w.height || w.kind == WireKind::otherWire))) {
            fail("sag " + shortestText(w.sag) +
                 " m: must be 0 m or more and less than 1.5 times the height (" +
                 shortestText(1.5 * w.height) + " m), so that the average height stays above the ground");
        }
        if (w.kind == WireKind::groundWire && w.voltageTerm != 0.0) {
            fail("voltage term " + shortestText(w.voltageTerm) +
                 ": only conductors and other wires have one");
        }
        if (w.kind != WireKind::conductor && w.insulation.given()) {
            fail(w.insulation.criticalCurrent
                     ? "critical-current " + shortestText(*w.insulation.criticalCurrent) +
                           " kA: only conductors have one"
                     : std::string("insulation: only conductors have a critical current"));
        }
        if (const std::string e = model::insulationError(w.insulation, w.height - 2.0 / 3.0 * w.sag);
            !e.empty()) {
            fail(e);
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (tower.nameOf(j) == tower.nameOf(i)) {
                fail("the name '" + tower.nameOf(i) + "' is already wire " + std::to_string(j + 1) + "'s");
            }
        }
    }
    if (tower.conductors().empty()) {
        throw TowerError("the tower has no conductor: at least one is needed", std::nullopt);
    }
}

} // namespace egm
