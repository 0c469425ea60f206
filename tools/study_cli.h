// egm-study's command line: what every subcommand shares (the line's input
// flags, the output file, the exit status, messages on standard error) and
// one setup function per subcommand, which adds its options and sets its
// callback. The work itself is the study layer's (study/).
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "egm/shielding.h"
#include "output_file.h"
#include "study_charts.h"
#include "study_inputs.h"

namespace cli {

extern const char* const kProgram;       // "egm-study", the prefix of every message
extern const char* const kResultColumns; // the help text of the result columns
extern const char* const kPictureHelp;   // the help of a picture's --output
extern const char* const kDocsPointer;   // where the models are documented, for footers

// The message on standard error, one line; returns status.
int fail(const std::string& message, int status);
// Each note on standard error, one line each.
void printNotes(const std::vector<std::string>& notes);
// Throws study::UsageError unless path ends in .svg, .png or .pdf (and
// pictures can be drawn at all).
void requireImageName(const std::string& path);
void writePicture(const study::Picture& picture, const std::string& path);
// The one-line summary of rows that failed; exit status 1 when any did.
int summarise(int failed, int total, const std::string& where);
// A progress bar on standard error when it is a terminal; none otherwise.
egm::Progress progressOnTerminal();
// A chart of rows some of which may have failed: each failed row named on
// standard error; nothing written when no row was computed. Exit status 1
// when any row failed.
int drawRows(const study::Chart& chart, const std::string& path, const std::vector<std::string>& failures,
             std::size_t rows);

// The line's inputs as flags of one subcommand, and the output file.
struct LineFlags {
    study::InputFlags flags;
    std::map<std::string, std::string> texts;
    std::map<std::string, CLI::Option*> options;
    std::string output = "-";

    // The flags given, once parsed.
    const study::InputFlags& given()
    {
        flags.given.clear();
        for (const auto& [name, option] : options) {
            if (option->count() > 0) {
                flags.given[name] = texts[name];
            }
        }
        return flags;
    }
    // The inputs, the output checked against every file they read.
    egm::Inputs resolve(const char* outputRole = "results file")
    {
        std::vector<study::NamedFile> read;
        const egm::Inputs inputs = given().resolve(&read);
        study::refuseOutputOverInput(output, outputRole, read);
        return inputs;
    }
    void write(const std::string& text) const { egm::io::writeOutput(output, text, "results file"); }
};

// The input flags (--control, --tower, --geometry, one per input of the
// input table, --compat, --law-coefficients) of one subcommand.
void addInputFlags(CLI::App* app, LineFlags& line);
// -o/--output; pictureHelp: a picture, then required.
void addOutput(CLI::App* app, LineFlags& line, const char* pictureHelp = nullptr,
               const char* help = "output file; - (the default) is standard output");
void addFormat(CLI::App* app, std::string& format);
void addJobs(CLI::App* app, unsigned& jobs);

// Every subcommand sets its exit status here.
using Status = std::shared_ptr<int>;

// One per subcommand: adds it to app with its options and callback.
void setupRate(CLI::App& app, const Status& status);
void setupStrokes(CLI::App& app, const Status& status);
void setupSweep(CLI::App& app, const Status& status);
void setupBatch(CLI::App& app, const Status& status);
void setupCompare(CLI::App& app, const Status& status);
void setupDesign(CLI::App& app, const Status& status);
void setupRoute(CLI::App& app, const Status& status);
void setupDraw(CLI::App& app, const Status& status);
// plot and its charts: exposure, sweep, compare, design, route.
void setupPlot(CLI::App& app, const Status& status);
void setupPlotSweep(CLI::App* plot, const Status& status);
void setupPlotCompare(CLI::App* plot, const Status& status);
void setupPlotDesign(CLI::App* plot, const Status& status);
void setupPlotRoute(CLI::App* plot, const Status& status);

} // namespace cli
