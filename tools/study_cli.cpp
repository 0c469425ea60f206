#include "study_cli.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

#include "egm/input_table.h"
#ifdef EGM_HAVE_CAIRO
#include "study_render.h"
#endif

namespace cli {

using egm::shortestText;

const char* const kProgram = "egm-study";

const char* const kResultColumns = R"(Result columns (CSV), one per conductor, named by it (conductor1 and
conductor2 on the four-wire line; a tower file's names with --tower):
  conductor1, conductor2, ..., total: shielding failure rates, strokes per 100 km per year
  rateMethod: share or exposure, the method of those rates (never mix the two)
  criticalCurrentConductor1, ...: the conductor's critical current, kA (given, or 2 CFO/Z
    from its insulation); only when some conductor has one, empty where it has none
  flashoverRateConductor1, ..., flashoverTotal: shielding failure flashover rates, the
    strokes above the critical current, per 100 km per year, by the same rate method
  maxCurrentConductor1, ...: largest current, kA, at which the conductor has a width for
    some incidence angle within the integrated range (to 0.01 kA; empty: never)
  maxCurrentAtTopConductor1, ...: true when it is still exposed at the top of the range,
    so the figure is the range's end, not a computed maximum
  classicalMaxCurrentConductor1, ...: largest current, kA, with a width for vertical
    strokes, searched from 0.1 to 1000 kA (empty: never)
  classicalMaxCurrentAtTopConductor1, ...: true when still exposed at 1000 kA
  heightGroundWire1, ..., heightConductor1, ...: one per wire, m, the heights computed
    with: at the tower less 2/3 of the wire's sag
  evaluation, law, distribution: how the case was computed
Models and defaults: docs/models.md.)";

int fail(const std::string& message, int status)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

void printNotes(const std::vector<std::string>& notes)
{
    for (const std::string& note : notes) {
        std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
    }
}

void requireImageName(const std::string& path)
{
#ifdef EGM_HAVE_CAIRO
    if (!study::imageFormatOf(path)) {
        throw study::UsageError("--output '" + path + "' must end in .svg, .png or .pdf");
    }
#else
    (void)path;
    throw study::UsageError("this egm-study was built without cairo: no pictures (install libcairo2-dev)");
#endif
}

void writePicture(const study::Picture& picture, const std::string& path)
{
#ifdef EGM_HAVE_CAIRO
    study::renderPicture(picture, path);
#else
    (void)picture;
    (void)path;
#endif
}

// The one-line summary of rows that failed; exit status 1 when any did.
int summarise(int failed, int total, const std::string& where)
{
    if (failed == 0) {
        return 0;
    }
    return fail(std::to_string(failed) + " of " + std::to_string(total) +
                    " cases could not be computed; see the error column" +
                    (where == "-" ? std::string() : " of '" + where + "'"),
                1);
}

void drawProgress(std::size_t done, std::size_t total)
{
    constexpr std::size_t kWidth = 40;
    const std::size_t filled = total > 0 ? done * kWidth / total : kWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), done, total);
    if (done == total) {
        std::fputc('\n', stderr);
    }
}

egm::Progress progressOnTerminal()
{
    return ::isatty(STDERR_FILENO) ? egm::Progress(drawProgress) : egm::Progress();
}

const char* const kPictureHelp = "picture file: .svg, .png or .pdf";
const char* const kDocsPointer = "\nModels and defaults, with their sources: docs/models.md.";

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
    } else if (std::isnan(f.get(builtIn))) {
        help += "default none"; // a conductor's insulation, thunder days
    } else {
        help += "default " + egm::shortestText(f.get(builtIn));
    }
    // The range the computation accepts, as its refusal states it.
    const std::string range = f.rangeText();
    if (f.kind != egm::InputField::Kind::choice) {
        for (const std::string_view must : {"must be ", "must lie "}) {
            if (range.rfind(must, 0) == 0) {
                help += "; " + range.substr(must.size());
                break;
            }
        }
    }
    return help + ")";
}

std::string metavarOf(const egm::InputField& f)
{
    if (f.kind == egm::InputField::Kind::choice) {
        return " " + std::string(f.choices);
    }
    return f.unit == "m" ? " M" : f.unit == "kA" ? " KA" : f.unit == "degrees" ? " DEG" : " X";
}

void addInputFlags(CLI::App* app, LineFlags& line)
{
    study::InputFlags& f = line.flags;
    app->add_option("--control", f.control,
                    "control file naming the geometry, parameter and result files, read as egm-shielding "
                    "reads it (the result file is not written)")
        ->option_text(" FILE");
    app->add_option("--tower", f.tower,
                    "tower file: one wire a row under the header name,kind,x,height,voltage-term,sag (name, "
                    "voltage-term and sag optional), and for a conductor's insulation critical-current, cfo, "
                    "insulation-length, surge-impedance, conductor-radius, subconductors, bundle-radius "
                    "(optional); instead of the four-wire line's inputs")
        ->option_text(" FILE");
    app->add_option("--current-table", f.currentTable,
                    "current table for --distribution table: P(peak > I) from a lightning location "
                    "system, one point a row under the header current,probability (kA, share of strokes)")
        ->option_text(" FILE");
    app->add_option("--ground", f.ground,
                    "ground profile across the line instead of the plane: one point a row under the header "
                    "x,elevation (m, x increasing, the tower at x = 0 on the elevation there), optionally "
                    "cover (m of trees or buildings); level beyond its ends; not with --slope or --compat")
        ->option_text(" FILE");
    app->add_option("--geometry", f.geometry,
                    "four-wire line: x of ground wire 1, ground wire 2, conductor 1, conductor 2, then their "
                    "heights (m); ground wire 1 and conductor 1 are the wires on the +x side")
        ->expected(8)
        ->allow_extra_args(false)
        ->option_text(" X1 X2 X3 X4 H1 H2 H3 H4");
    for (const egm::InputField& field : egm::inputFields()) {
        const std::string name(field.name);
        line.options[name] =
            app->add_option("--" + name, line.texts[name], helpOf(field))->option_text(metavarOf(field));
    }
    app->add_flag("--compat", f.compat, "the evaluation egm-shielding uses (--evaluation compat)");
    app->add_option("--law-coefficients", f.lawCoefficients,
                    "custom law: A,B,C,D for r = A I^B and G = C I^D, or A,B,BETA for G = BETA A I^B")
        ->delimiter(',')
        ->expected(3, 4)
        ->option_text(" A,B,C,D|A,B,BETA");
}

void addOutput(CLI::App* app, LineFlags& line, const char* pictureHelp, const char* help)
{
    CLI::Option* o = app->add_option("-o,--output", line.output, pictureHelp != nullptr ? pictureHelp : help)
                         ->option_text(" FILE");
    if (pictureHelp != nullptr) {
        o->required();
    }
}

void addFormat(CLI::App* app, std::string& format)
{
    app->add_option("--format", format, "text (the default), json or csv")
        ->check(CLI::IsMember({"text", "json", "csv"}))
        ->option_text(" text|json|csv");
}

void addJobs(CLI::App* app, unsigned& jobs)
{
    app->add_option("--jobs", jobs, "threads; 0 (the default) for one per core")->option_text(" N");
}

// A chart of rows some of which may have failed: each failed row named on
// standard error; nothing written when no row was computed. Exit status 1
// when any row failed.
int drawRows(const study::Chart& chart, const std::string& path, const std::vector<std::string>& failures,
             std::size_t rows)
{
    for (const std::string& f : failures) {
        fail(f, 1);
    }
    if (failures.size() == rows) {
        return fail("no row could be computed; '" + path + "' not written", 1);
    }
    writePicture(study::layoutChart(chart), path);
    return failures.empty() ? 0 : 1;
}

} // namespace cli
