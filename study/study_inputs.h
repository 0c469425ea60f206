// The inputs of egm-study's subcommands as the command line gives them: a
// value for any input of the input table by its name, --geometry with the
// eight positions and heights of the four-wire line at once, --tower for a
// tower file of any wires, --control for a control file read as
// egm-shielding reads it, --compat for the evaluation egm-shielding uses
// (--evaluation compat) and --law-coefficients for a custom striking-distance
// law. The flags themselves are declared by the program; this holds what
// they gave and resolves it.
#pragma once

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

// A file a run reads, by the role it has: "control file", "tower file",
// "geometry file", "case file", ...
struct NamedFile {
    std::string role;
    std::string path;
};

// Throws egm::InputError, one line naming both roles, when output (not "-")
// is the same file as one of inputs (egm::io::sameFile), so that no input is
// ever replaced by a result.
void refuseOutputOverInput(const std::string& output, const std::string& outputRole,
                           const std::vector<NamedFile>& inputs);

// The groups of the four-wire line and the single inputs each one sets.
struct InputGroup {
    const char* name;       // "ground-wire-spread"
    const char* members[2]; // "x1", "x2"
};
const std::vector<InputGroup>& inputGroups();

struct InputFlags {
    std::string control;                      // empty: none
    std::string tower;                        // the tower file; empty: none
    std::string currentTable;                 // the current table file; empty: none
    std::string ground;                       // the ground profile file; empty: none
    std::vector<std::string> geometry;        // empty or the eight values of --geometry
    bool compat = false;                      // --compat
    std::vector<std::string> lawCoefficients; // --law-coefficients
    std::map<std::string, std::string> given; // input name -> text, the flags given only

    // The built-in line, or the control file's values, with the tower
    // file's tower, --geometry and every other flag given, through
    // egm::resolveInputs. A single wire's flag with its group's flag: the
    // single wire wins, said in one note line on standard error. read, when
    // given, gets the files the flags read (the control file and the files
    // it names, the tower file, the current table). Throws UsageError (a
    // value that is not a number; two flags that set the same input, each
    // named: --flash-density with --thunder-days, a conductor's critical
    // current with its cfo or insulation length; --ground with --slope or
    // the compat evaluation; --control or --tower with
    // inputs they give; a voltage term with another law) or egm::InputError
    // (a control, tower or current table file that cannot be used, a
    // current table without distribution table).
    egm::Inputs resolve(std::vector<NamedFile>* read = nullptr) const;

    // Whether the flag of this input (by name) was given.
    bool isGiven(const std::string& input) const { return given.count(input) > 0; }
    // Whether a flag sets this input (by name, --geometry included for x1 ..
    // h4, --law-coefficients for the custom law's) and which: "--h1 55".
    std::string flagSetting(const std::string& input) const;
};

} // namespace study
