#include "study_inputs.h"

#include <cstdio>

#include "egm/input_table.h"
#include "input_files.h"
#include "numbers.h"

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

void setLawCoefficients(egm::Inputs& inputs, const std::vector<std::string>& c)
{
    if (c.size() != 3 && c.size() != 4) {
        throw UsageError("--law-coefficients takes A,B,C,D (G = C I^D) or A,B,BETA (G = BETA A I^B)");
    }
    inputs.law.a = numberOf("--law-coefficients", c[0]);
    inputs.law.b = numberOf("--law-coefficients", c[1]);
    if (c.size() == 3) {
        inputs.law.beta = numberOf("--law-coefficients", c[2]);
    } else {
        inputs.law.c = numberOf("--law-coefficients", c[2]);
        inputs.law.d = numberOf("--law-coefficients", c[3]);
        inputs.law.beta.reset();
    }
}

void InputFlags::addTo(CLI::App* app)
{
    app->add_option("--control", control_,
                    "control file naming the geometry, parameter and result files, read as egm-shielding "
                    "reads it (the result file is not written)")
        ->option_text(" FILE");
    app->add_option(
           "--geometry", geometry_,
           "x of ground wire 1, ground wire 2, conductor 1, conductor 2, then their heights (m); ground "
           "wire 1 and conductor 1 are the wires on the +x side")
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
    egm::Inputs inputs;
    const auto given = [&](const std::string& name) { return options_.at(name)->count() > 0; };
    if (!control_.empty()) {
        for (const auto& [name, option] : options_) {
            if (option->count() > 0 && name != "evaluation") {
                throw UsageError("--control gives every input of the line; --" + name + " cannot be added");
            }
        }
        if (!geometry_.empty()) {
            throw UsageError("--control gives every input of the line; --geometry cannot be added");
        }
        const egm::driver::LoadReport report = egm::driver::loadControlledInputs(control_, inputs);
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
    for (std::size_t k = 0; k < geometry_.size(); ++k) {
        const egm::InputField& f =
            *egm::inputField(k < 4 ? "x" + std::to_string(k + 1) : "h" + std::to_string(k - 3));
        f.set(inputs, numberOf("--geometry", geometry_[k]));
    }
    // Groups first, so that a single wire's flag can still move one wire of
    // a group.
    for (const bool groups : {true, false}) {
        for (const egm::InputField& f : egm::inputFields()) {
            const std::string name(f.name);
            if ((f.kind == egm::InputField::Kind::group) != groups || !given(name)) {
                continue;
            }
            if (f.kind == egm::InputField::Kind::choice) {
                try {
                    f.setChoice(inputs, given_.at(name));
                } catch (const egm::InputError& e) {
                    throw UsageError(std::string("--") + e.what());
                }
            } else {
                f.set(inputs, numberOf("--" + name, given_.at(name)));
            }
        }
    }
    if (compat_) {
        inputs.evaluation = egm::Evaluation::compat;
    }
    if (!lawCoefficients_.empty()) {
        if (inputs.law.kind != egm::StrikingLaw::Kind::custom) {
            throw UsageError("--law-coefficients goes with --law custom");
        }
        setLawCoefficients(inputs, lawCoefficients_);
    }
    if (inputs.law.kind != egm::StrikingLaw::Kind::builtIn && voltageTermGiven() &&
        inputs.voltageTerm != 0.0) {
        throw UsageError("--voltage-term belongs to the built-in law; with --law " +
                         std::string(egm::lawName(inputs.law.kind)) + " leave it out or give 0");
    }
    egm::settleVoltageTerm(inputs, voltageTermGiven());
    return inputs;
}

} // namespace study
