#include "study_inputs.h"

#include <cstdio>
#include <fmt/format.h>

#include "current_table_file.h"
#include "egm/input_table.h"
#include "ground_file.h"
#include "input_files.h"
#include "numbers.h"
#include "output_file.h"
#include "tower_file.h"

namespace study {

namespace {

bool isLineCoordinate(const std::string& name)
{
    return name.size() == 2 && (name[0] == 'x' || name[0] == 'h') && name[1] >= '1' && name[1] <= '4';
}

bool isLawCoefficient(const std::string& name)
{
    return name == "law-a" || name == "law-b" || name == "law-c" || name == "law-d" || name == "law-beta";
}

} // namespace

double numberOf(const std::string& flag, const std::string& text)
{
    double value = 0.0;
    if (!egm::io::parseReal(text, value)) {
        throw UsageError(flag + " '" + text + "' is not a number");
    }
    return value;
}

void refuseOutputOverInput(const std::string& output, const std::string& outputRole,
                           const std::vector<NamedFile>& inputs)
{
    if (output == "-") {
        return;
    }
    for (const NamedFile& in : inputs) {
        if (!in.path.empty() && egm::io::sameFile(output, in.path)) {
            throw egm::InputError(outputRole + " '" + output + "' is the " + in.role + " '" + in.path +
                                  "': an input is never replaced; nothing written");
        }
    }
}

const std::vector<InputGroup>& inputGroups()
{
    static const std::vector<InputGroup> groups = {{"ground-wire-height", {"h1", "h2"}},
                                                   {"conductor-height", {"h3", "h4"}},
                                                   {"ground-wire-spread", {"x1", "x2"}},
                                                   {"conductor-spread", {"x3", "x4"}}};
    return groups;
}

std::string InputFlags::flagSetting(const std::string& input) const
{
    const auto it = given.find(input);
    if (it != given.end()) {
        return "--" + input + " " + it->second;
    }
    if (!geometry.empty() && isLineCoordinate(input)) {
        return "--geometry";
    }
    if (!lawCoefficients.empty() && isLawCoefficient(input)) {
        return "--law-coefficients";
    }
    return {};
}

namespace {

// A conductor of the four-wire line (3 or 4) given a critical current and
// the insulation it would come from, by the flags of both conductors or of
// that one: the two are never weighed against each other.
void refuseCriticalCurrentWithInsulation(const InputFlags& f)
{
    for (const char* wire : {"3", "4"}) {
        std::string current;
        for (const std::string& name :
             {std::string("critical-current"), "critical-current" + std::string(wire)}) {
            if (f.isGiven(name)) {
                current = f.flagSetting(name);
            }
        }
        for (const std::string base : {"cfo", "insulation-length"}) {
            for (const std::string& name : {base, base + wire}) {
                if (!current.empty() && f.isGiven(name)) {
                    throw UsageError(fmt::format("{} and {} both give conductor{}'s critical current; give "
                                                 "the critical current or the insulation, not both",
                                                 current, f.flagSetting(name), wire[0] == '3' ? 1 : 2));
                }
            }
        }
    }
}

// Two flags that set the same input: neither is dropped in silence.
void refuseTwoSettings(const InputFlags& f)
{
    if (f.isGiven("flash-density") && f.isGiven("thunder-days")) {
        throw UsageError(f.flagSetting("flash-density") + " and " + f.flagSetting("thunder-days") +
                         " both set the ground flash density; give one of them");
    }
    refuseCriticalCurrentWithInsulation(f);
    for (const auto& [name, text] : f.given) {
        if ((!f.geometry.empty() && isLineCoordinate(name)) ||
            (!f.lawCoefficients.empty() && isLawCoefficient(name))) {
            const std::string other = isLineCoordinate(name) ? "--geometry" : "--law-coefficients";
            throw UsageError(other + " and --" + name + " " + text + " both set " + name +
                             "; give one of them");
        }
    }
    if (f.compat && f.isGiven("evaluation") &&
        egm::evaluationNamed(f.given.at("evaluation")) != egm::Evaluation::compat) {
        throw UsageError("--compat and --evaluation " + f.given.at("evaluation") +
                         " both set the evaluation; give one of them");
    }
}

// The control file's inputs into base, its files into read.
void loadControl(const InputFlags& f, egm::Inputs& base, std::vector<NamedFile>* read)
{
    for (const auto& [name, text] : f.given) {
        if (name != "evaluation") {
            throw UsageError("--control gives every input of the line; --" + name + " cannot be added");
        }
    }
    if (!f.geometry.empty() || !f.tower.empty() || !f.currentTable.empty() || !f.ground.empty()) {
        throw UsageError(std::string("--control gives every input of the line; --") +
                         (!f.tower.empty()          ? "tower"
                          : !f.geometry.empty()     ? "geometry"
                          : !f.currentTable.empty() ? "current-table"
                                                    : "ground") +
                         " cannot be added");
    }
    const egm::io::LoadReport report = egm::io::loadControlledInputs(f.control, base);
    if (!report.found) {
        throw egm::InputError("cannot open control file '" + f.control + "': " + report.notFoundReason);
    }
    if (read != nullptr) {
        read->push_back({"control file", f.control});
        read->push_back({"geometry file", report.files.geometry});
        read->push_back({"parameter file", report.files.parameters});
    }
    if (!report.error.empty()) {
        throw egm::InputError(report.error);
    }
    for (const std::string& note : report.notes) {
        std::fprintf(stderr, "egm-study: %s\n", note.c_str());
    }
}

// The tower file, --geometry, every flag given, --compat and
// --law-coefficients as named inputs.
egm::NamedInputs namedOfFlags(const InputFlags& f, std::vector<NamedFile>* read)
{
    egm::NamedInputs named;
    if (!f.tower.empty()) {
        if (!f.geometry.empty()) {
            throw UsageError("--tower gives every wire; --geometry cannot be added");
        }
        for (const egm::InputField& field : egm::inputFields()) {
            if (field.fourWireLine && f.isGiven(std::string(field.name))) {
                throw UsageError(fmt::format("--tower gives every wire; --{} cannot be added", field.name));
            }
        }
        if (read != nullptr) {
            read->push_back({"tower file", f.tower});
        }
        named.tower = egm::io::readTowerFile(f.tower);
    }
    if (!f.currentTable.empty()) {
        if (read != nullptr) {
            read->push_back({"current table", f.currentTable});
        }
        named.currentTable = egm::io::readCurrentTableFile(f.currentTable);
    }
    if (!f.ground.empty()) {
        if (f.isGiven("slope")) {
            throw UsageError("--ground gives the ground's shape; --slope cannot be added");
        }
        if (f.compat || (f.isGiven("evaluation") && f.given.at("evaluation") == "compat")) {
            throw UsageError("--ground needs the first-contact evaluation; the compat evaluation computes "
                             "plane ground only");
        }
        if (read != nullptr) {
            read->push_back({"ground profile", f.ground});
        }
        named.ground = egm::io::readGroundProfileFile(f.ground);
    }
    for (std::size_t k = 0; k < f.geometry.size(); ++k) {
        named.values.push_back(egm::NamedValue{k < 4 ? fmt::format("x{}", k + 1) : fmt::format("h{}", k - 3),
                                               f.geometry[k], std::nullopt});
    }
    for (const auto& [name, text] : f.given) {
        named.values.push_back(egm::NamedValue{name, text, std::nullopt});
    }
    if (f.compat) {
        named.values.push_back(egm::NamedValue{"evaluation", "compat", std::nullopt});
    }
    if (!f.lawCoefficients.empty()) {
        if (f.lawCoefficients.size() != 3 && f.lawCoefficients.size() != 4) {
            throw UsageError("--law-coefficients takes A,B,C,D (G = C I^D) or A,B,BETA (G = BETA A I^B)");
        }
        const char* names[] = {"law-a", "law-b", f.lawCoefficients.size() == 3 ? "law-beta" : "law-c",
                               "law-d"};
        for (std::size_t k = 0; k < f.lawCoefficients.size(); ++k) {
            named.lawCoefficients.push_back(egm::NamedValue{names[k], f.lawCoefficients[k], std::nullopt});
        }
    }
    return named;
}

// The inputs of the flags on top of base; a refusal names the flag.
egm::Inputs resolvedByFlag(const egm::NamedInputs& named, const egm::Inputs& base)
{
    try {
        return egm::resolveInputs(named, base);
    } catch (const egm::TowerError&) {
        throw;
    } catch (const egm::InputError& e) {
        // Every input resolved here was given on the command line: the
        // message names it by its flag.
        const std::string what = e.what();
        if (what.rfind("current-table", 0) == 0) {
            // The table file is read; what is wrong is the distribution.
            throw egm::InputError(fmt::format("--{}", what));
        }
        const std::string coefficients = "law coefficients";
        if (what.compare(0, coefficients.size(), coefficients) == 0) {
            throw UsageError(fmt::format("--law-coefficients{}", what.substr(coefficients.size())));
        }
        throw UsageError(fmt::format("--{}", what));
    }
}

// A group with one of its wires given too: the wire wins, said in a note.
void noteGroupOverrides(const InputFlags& f, const egm::Inputs& inputs)
{
    for (const InputGroup& g : inputGroups()) {
        if (!f.isGiven(g.name)) {
            continue;
        }
        std::string winners;
        for (const char* member : g.members) {
            const std::string by = f.flagSetting(member);
            if (!by.empty() && winners.find(by) == std::string::npos) {
                winners += (winners.empty() ? "" : " and ") + by;
            }
        }
        if (winners.empty()) {
            continue;
        }
        std::string values;
        for (const char* member : g.members) {
            values += fmt::format("{}{} = {}", values.empty() ? "" : ", ", member,
                                  egm::shortestText(egm::inputField(member)->get(inputs)));
        }
        fmt::print(stderr, "egm-study: note: {} overrides --{} {} for its wire: {}\n", winners, g.name,
                   f.given.at(g.name), values);
    }
}

} // namespace

egm::Inputs InputFlags::resolve(std::vector<NamedFile>* read) const
{
    refuseTwoSettings(*this);
    egm::Inputs base;
    if (!control.empty()) {
        loadControl(*this, base, read);
    }
    const egm::Inputs inputs = resolvedByFlag(namedOfFlags(*this, read), base);
    noteGroupOverrides(*this, inputs);
    return inputs;
}

} // namespace study
