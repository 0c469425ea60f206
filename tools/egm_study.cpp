// egm-study: per-conductor rates, maximum shielding failure currents, the
// per-stroke table, sweeps, batches, comparisons of striking-distance laws
// and pictures, all through the library's public interface.
#include <iostream>
#include <string>

#include "egm/shielding.h"
#include "output_file.h"
#include "study_cli.h"
#include "study_inputs.h"

namespace {

using namespace cli;

constexpr const char* kConventions = R"(Conventions of every subcommand:
  The four-wire line (the default): two ground wires above two conductors.
  Ground wire 1 and conductor 1 are the wires on the +x side of the line,
  ground wire 2 and conductor 2 those on the -x side; x across the line and
  heights above the ground at the tower, in metres.
  --tower FILE: any tower of up to 16 wires instead, one wire a row under the
  header name,kind,x,height,voltage-term,sag (kind: ground wire, conductor or
  other wire, a neighbouring line's wire that catches strokes but is not
  rated; name, voltage-term and sag may be left out); results per conductor, named by
  the file. A conductor's insulation, optional columns: critical-current (kA),
  or cfo (kV) or insulation-length (m, CFO = 605 kV/m length) with
  surge-impedance (ohm, Ic = 2 CFO/Z) or with conductor-radius (m), and for a
  bundle subconductors and bundle-radius (m): Z under corona. A conductor with
  one has a critical current and a flashover rate, the strokes above it.
  Sag (a tower file's sag column, --ground-wire-sag, --conductor-sag; default 0):
  how far a wire hangs below its tower height at mid-span; the computation takes
  the span's average height, height - 2/3 sag, and the outputs say so.
  --slope: the ground at the tower slopes by this angle, degrees; positive: it
  falls towards +x, so ground wire 1 and conductor 1 stand on the downhill side.
  Built-in striking-distance law, I in kA: ground wires 1.63 (5.015 I^0.578)^1.125 m,
  conductor 1 1.63 (5.015 I^0.578 + U)^1.125 m, conductor 2 1.63 (5.015 I^0.578 - U)^1.125 m,
  with U the voltage term (--voltage-term, in the unit of 5.015 I^0.578; default 0.8);
  the ground's striking line at k_g times the ground wires' distance, k_g =
  0.36 + 0.17 ln(43 - h) below a mean ground-wire height h of 40 m, else 0.55.
  Other laws (--law): ieee-1992, love, brown-whitehead, armstrong-whitehead, custom.
  Current distribution (built-in): probability density of P(>I) = 1/(1 + (I/scale)^exponent),
  scale 31 kA, exponent 2.8; or log-normal (--distribution log-normal).
  Rates integrate the currents from the lowest current (default 23.5 kA; it
  leaves out the failures of smaller currents, most of them on a tall line) to
  200 kA above it in steps of 1 kA; strokes per 100 km of line per year, by one
  of two rate methods (--rate-method), always named in the output:
    share (default): the model's rate: the conductors' share of the strokes
      the wires catch over 180 incidence angles (weighted 0.75 sin^3 theta),
      times the flash density, the collection width 28 h^0.6 + b and the
      terrain factor (1/6, or 1/3 on steep ground: it doubles the rate);
    exposure: the line-design guides' rate: 0.1 N_g times the sum over the
      currents of the current density times each conductor's width for
      vertical strokes. On the built-in line under ieee-1992 with U = 0 it is
      about 0.1645 where share gives about 0.106. Never add the two.
  Vertical strokes (the classical maximum current) meet a sloped ground at
  90 + slope degrees in the ground's frame.
  Evaluation (--evaluation): first-contact (default: each stroke is caught by
  the first striking disk its path enters, or by the ground when it meets the
  ground's striking line first; any tower); compat (--compat): as egm-shielding
  computes it, to the last bit; two ground wires and two conductors only.
  Exit status: 0; 1 when inputs cannot be computed or rows failed; 2 for
  usage errors. Errors are one line on standard error.
Every law, distribution, model term and default with its source and its effect
in numbers: docs/models.md; the checks against published formulas:
docs/validation.md.)";

// An argument that names no subcommand, said by name.
bool unknownSubcommand(const CLI::App& app, int argc, char** argv, std::string& name)
{
    if (argc < 2 || argv[1][0] == '-') {
        return false;
    }
    name = argv[1];
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_name() == name) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    egm::io::onInterrupt("egm-study: interrupted; files being written were removed\n");
    CLI::App app{"Lightning shielding failure studies of an overhead line, by the electrogeometric model: "
                 "two ground wires above two conductors, or any tower of ground wires and conductors.",
                 kProgram};
    app.footer(kConventions);
    app.set_version_flag("--version", std::string(kProgram) + " " + std::string(egm::version()));
    app.require_subcommand(1);
    app.get_formatter()->column_width(34);

    const Status status = std::make_shared<int>(0);
    setupRate(app, status);
    setupStrokes(app, status);
    setupSweep(app, status);
    setupBatch(app, status);
    setupCompare(app, status);
    setupDesign(app, status);
    setupRoute(app, status);
    setupDraw(app, status);
    setupPlot(app, status);

    std::string unknown;
    if (unknownSubcommand(app, argc, argv, unknown)) {
        return fail("unknown subcommand '" + unknown +
                        "' (rate, strokes, sweep, batch, compare, design, route, draw, plot; see --help)",
                    2);
    }
    // The subcommand runs in its callback, during the parse.
    try {
        app.parse(argc, argv);
        return *status;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            app.exit(e); // --help, --version
            std::string reason;
            return egm::io::standardOutputWritten(reason) && std::cout.flush()
                       ? 0
                       : fail("cannot write standard output: " + reason, 1);
        }
        return fail(std::string(e.what()) + " (see --help)", 2);
    } catch (const study::UsageError& e) {
        return fail(e.what(), 2);
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
}
