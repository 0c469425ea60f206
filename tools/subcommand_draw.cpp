#include <cmath>
#include <optional>

#include "egm/input_table.h"
#include "study_cli.h"

namespace cli {

using egm::shortestText;

namespace {

void requireDrawCurrent(double current, double angle)
{
    if (!(std::isfinite(current) && current > 0.0)) {
        throw egm::InputError("--current " + shortestText(current) + " kA: must be greater than 0 kA");
    }
    if (!(angle > 0.0 && angle <= 180.0)) {
        throw egm::InputError("--angle " + shortestText(angle) +
                              " degrees: must be greater than 0 and at most 180 degrees");
    }
}

struct DrawRun {
    LineFlags line;
    double current = 0.0;
    double angle = 0.0;
    std::optional<double> fromVertical; // degrees; set: the angle follows from it and the slope
};

// The stroke's angle in the frame of the sloped ground, degrees from +x:
// --angle itself, or from --from-vertical (positive: the stroke comes from
// the +x side), 90 + slope - from-vertical, since a vertical stroke meets the
// sloped ground at 90 + slope degrees (egm::verticalIncidence).
double groundFrameAngle(const DrawRun& run, const egm::Inputs& inputs)
{
    if (!run.fromVertical) {
        return run.angle;
    }
    const double angle = 90.0 + inputs.slope - *run.fromVertical;
    if (!(std::isfinite(*run.fromVertical) && angle > 0.0 && angle <= 180.0)) {
        throw egm::InputError("--from-vertical " + shortestText(*run.fromVertical) +
                              " degrees on a slope of " + shortestText(inputs.slope) +
                              " degrees: must lie from " + shortestText(inputs.slope - 90.0) + " to " +
                              shortestText(inputs.slope + 90.0) +
                              " (excluded) degrees, so that the stroke comes down onto the ground");
    }
    return angle;
}

} // namespace

void setupDraw(CLI::App& app, const Status& status)
{
    auto run = std::make_shared<DrawRun>();
    CLI::App* sub =
        app.add_subcommand("draw", "picture of one stroke: striking circles, the paths each wire catches");
    addInputFlags(sub, run->line);
    sub->add_option("--current", run->current, "lightning current, kA")->required()->option_text(" KA");
    CLI::Option* angle =
        sub->add_option("--angle", run->angle,
                        "stroke angle in the frame of the sloped ground, degrees from +x along the ground "
                        "(90: perpendicular to the ground, vertical only on flat ground; below 90 the "
                        "stroke comes from the +x side), as the integration's angles")
            ->option_text(" DEG");
    CLI::Option* vertical =
        sub->add_option("--from-vertical", run->fromVertical,
                        "stroke angle from the true vertical, degrees (0: vertical; positive: from the +x "
                        "side); the ground-frame angle is 90 + slope - this")
            ->option_text(" DEG");
    angle->excludes(vertical);
    vertical->excludes(angle);
    addOutput(sub, run->line, kPictureHelp);
    sub->footer("The picture is drawn in the frame of the sloped ground (the ground laid level); its legend "
                "gives the stroke's angle in that frame and from the vertical, each wire's width (the "
                "stroke paths it catches, m, across the stroke direction) and striking distance. Give "
                "--angle or --from-vertical. Models and defaults: docs/models.md.");
    sub->callback([run, status, angle, vertical] {
        if (angle->count() == 0 && vertical->count() == 0) {
            throw study::UsageError("draw needs --angle or --from-vertical");
        }
        requireImageName(run->line.output);
        const egm::Inputs inputs = run->line.resolve("picture file");
        const double theta = groundFrameAngle(*run, inputs);
        requireDrawCurrent(run->current, theta);
        printNotes(egm::layoutNotes(inputs));
        writePicture(study::layoutStrokeScene(study::strokeScene(inputs, run->current, theta)),
                     run->line.output);
        *status = 0;
    });
}

} // namespace cli
