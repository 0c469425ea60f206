// The inputs of egm-study's subcommands as command-line flags, all made from
// the input table: --NAME VALUE for every input, --geometry with the eight
// positions and heights of the four-wire line at once, --tower for a tower
// file of any wires, --control for a control file read as egm-shielding
// reads it, --compat for the evaluation egm-shielding uses (--evaluation
// compat) and --law-coefficients for a custom striking-distance law.
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "egm/shielding.h"

namespace study {

// A command line that cannot be used as given: exit status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One input value given as text: parsed by the project's number reader.
// Throws UsageError naming the flag.
double numberOf(const std::string& flag, const std::string& text);

class InputFlags {
  public:
    // Registers the flags on a subcommand.
    void addTo(CLI::App* app);

    // After parsing: the built-in line, or the control file's values, with
    // the tower file's tower, --geometry and every other flag given, through
    // egm::resolveInputs. Throws UsageError (a value that is not a number,
    // --control or --tower with inputs they give, a voltage term with
    // another law) or egm::InputError (a control or tower file that cannot
    // be used).
    egm::Inputs resolve() const;

    const std::string& control() const { return control_; }
    const std::string& towerFile() const { return tower_; }
    // Whether the voltage term was given on purpose (with another law than
    // the built-in one the built-in default does not apply).
    bool voltageTermGiven() const;

  private:
    std::string control_;
    std::string tower_;
    std::vector<std::string> geometry_;
    bool compat_ = false;
    std::vector<std::string> lawCoefficients_;
    std::map<std::string, std::string> given_; // input name -> text
    std::map<std::string, CLI::Option*> options_;
};

} // namespace study
