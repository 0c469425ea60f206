#include "study_inputs.h"

#include <cstdio>

#include "egm/input_table.h"
#include "input_files.h"
#include "numbers.h"
#include "tower_file.h"

namespace study {

namespace {

constexpr const char* kGeometryText = " X1 X2 X3 X4 H1 H2 H3 H4";

// "ground slope at the tower; ... (degrees; default 0)".
std::string helpOf(const egm::InputField& f)
{
    std::string help(f.help);
    const egm::Inputs builtIn;
    help += " (";
    if (!f.unit.empty()) {
        help += std::string(f.unit) + "; ";
    }
    if (f.kind == egm::InputField::Kind::choice) {
        help += "default " + std::string(f.getChoice(builtIn));
    } else if (f.kind == egm::InputField::Kind::group) {
        help += "built-in line: " + egm::shortestText(f.get(builtIn));
    } else {
        help += "default " + egm::shortestText(f.get(builtIn));
    }
    return help + ")";
}

std::string metavarOf(const egm::InputField& f)
{
    if (f.kind == egm::InputField::Kind::choice) {
        return " NAME";
    }
    return f.unit == "m" ? " M" : f.unit == "kA" ? " KA" : f.unit == "degrees" ? " DEG" : " X";
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

void InputFlags::addTo(CLI::App* app)
{
    app->add_option("--control", control_,
                    "control file naming the geometry, parameter and result files, read as egm-shielding "
                    "reads it (the result file is not written)")
        ->option_text(" FILE");
    app->add_option("--tower", tower_,
                    "tower file: one wire a row under the header name,kind,x,height,voltage-term (name and "
                    "voltage-term optional); instead of the four-wire line's inputs")
        ->option_text(" FILE");
    app->add_option("--geometry", geometry_,
                    "four-wire line: x of ground wire 1, ground wire 2, conductor 1, conductor 2, then their "
                    "heights (m); ground wire 1 and conductor 1 are the wires on the +x side")
        ->expected(8)
        ->allow_extra_args(false)
        ->option_text(kGeometryText);
    for (const egm::InputField& f : egm::inputFields()) {
        const std::string name(f.name);
        options_[name] = app->add_option("--" + name, given_[name], helpOf(f))->option_text(metavarOf(f));
        if (f.kind == egm::InputField::Kind::choice) {
            options_[name]->option_text(" " + std::string(f.choices));
        }
    }
    app->add_flag("--compat", compat_, "the evaluation egm-shielding uses (--evaluation compat)");
    app->add_option("--law-coefficients", lawCoefficients_,
                    "custom law: A,B,C,D for r = A I^B and G = C I^D, or A,B,BETA for G = BETA A I^B")
        ->delimiter(',')
        ->expected(3, 4)
        ->option_text(" A,B,C,D|A,B,BETA");
}

bool InputFlags::voltageTermGiven() const
{
    return options_.at("voltage-term")->count() > 0;
}

egm::Inputs InputFlags::resolve() const
{
    egm::Inputs base;
    const auto given = [&](const std::string& name) { return options_.at(name)->count() > 0; };
    if (!control_.empty()) {
        for (const auto& [name, option] : options_) {
            if (option->count() > 0 && name != "evaluation") {
                throw UsageError("--control gives every input of the line; --" + name + " cannot be added");
            }
        }
        if (!geometry_.empty() || !tower_.empty()) {
            throw UsageError(std::string("--control gives every input of the line; --") +
                             (tower_.empty() ? "geometry" : "tower") + " cannot be added");
        }
        const egm::driver::LoadReport report = egm::driver::loadControlledInputs(control_, base);
        if (!report.found) {
            throw egm::InputError("cannot open control file '" + control_ + "': " + report.notFoundReason);
        }
        if (!report.error.empty()) {
            throw egm::InputError(report.error);
        }
        for (const std::string& note : report.notes) {
            std::fprintf(stderr, "egm-study: %s\n", note.c_str());
        }
    }
    egm::NamedInputs named;
    if (!tower_.empty()) {
        if (!geometry_.empty()) {
            throw UsageError("--tower gives every wire; --geometry cannot be added");
        }
        for (const egm::InputField& f : egm::inputFields()) {
            if (f.fourWireLine && given(std::string(f.name))) {
                throw UsageError("--tower gives every wire; --" + std::string(f.name) + " cannot be added");
            }
        }
        named.tower = egm::io::readTowerFile(tower_);
    }
    for (std::size_t k = 0; k < geometry_.size(); ++k) {
        named.values.push_back(egm::NamedValue{
            k < 4 ? "x" + std::to_string(k + 1) : "h" + std::to_string(k - 3), geometry_[k], std::nullopt});
    }
    for (const egm::InputField& f : egm::inputFields()) {
        const std::string name(f.name);
        if (given(name)) {
            named.values.push_back(egm::NamedValue{name, given_.at(name), std::nullopt});
        }
    }
    if (compat_) {
        if (given("evaluation") && egm::evaluationNamed(given_.at("evaluation")) != egm::Evaluation::compat) {
            throw UsageError("--compat is --evaluation compat; --evaluation " + given_.at("evaluation") +
                             " cannot be added");
        }
        named.values.push_back(egm::NamedValue{"evaluation", "compat", std::nullopt});
    }
    if (!lawCoefficients_.empty()) {
        if (lawCoefficients_.size() != 3 && lawCoefficients_.size() != 4) {
            throw UsageError("--law-coefficients takes A,B,C,D (G = C I^D) or A,B,BETA (G = BETA A I^B)");
        }
        const char* names[] = {"law-a", "law-b", lawCoefficients_.size() == 3 ? "law-beta" : "law-c",
                               "law-d"};
        for (std::size_t k = 0; k < lawCoefficients_.size(); ++k) {
            named.lawCoefficients.push_back(egm::NamedValue{names[k], lawCoefficients_[k], std::nullopt});
        }
    }
    try {
        return egm::resolveInputs(named, base);
    } catch (const egm::TowerError&) {
        throw;
    } catch (const egm::InputError& e) {
        // Every input resolved here was given on the command line: the
        // message names it by its flag.
        const std::string what = e.what();
        const std::string coefficients = "law coefficients";
        if (what.compare(0, coefficients.size(), coefficients) == 0) {
            throw UsageError("--law-coefficients" + what.substr(coefficients.size()));
        }
        throw UsageError("--" + what);
    }
}

} // namespace study
