// The keyframe camera path editor's speed profile: its samples for scripts
// ("speed"), the plot row that follows the keyframes and the slider, and plot
// files ("plot").
#include "HxKeyframeCameraPathEditor.h"

#include "VeVazaruMetricOpticalFlow.h"
#include "VeVazaruMetricTranslation.h"
#include "internal/SpeedPlot.h"

#include <hxcore/HxCmd.h>
#include <viewer/HxController.h>

#include <string>
#include <tcl.h>

namespace {
// The plot's size when a script names none, and the largest it may ask for.
constexpr long defaultPlotWidth = 800, defaultPlotHeight = 450;
constexpr long largestPlotSide = 8192;

std::vector<float> keyframeTimes(const HxKeyframeCameraPath& path) { return {path.times.begin(), path.times.end()}; }
}  // namespace

speedprofile::Profile HxKeyframeCameraPathEditor::speedProfile(float step) {
    speedprofile::Profile none;
    if (!path) return none;
    float box[6];
    theController->getBoundingBox(box, this, nullptr);
    const VeVazaruMetricOpticalFlow optical(box);
    const VeVazaruMetricTranslation translation;
    // The depth flow was measured at 0.01, 1.01, ... per 0.001 time units (see zflow).
    speedprofile::FlowMeasurement flow;
    flow.first = 0.01f;
    flow.spacing = 1.0f;
    flow.per = 0.001f;
    flow.values.assign(flowSamples.begin(), flowSamples.end());
    return speedprofile::sample(*path, step, translation, optical, flow.values.empty() ? nullptr : &flow);
}

void HxKeyframeCameraPathEditor::showSpeedProfile() {
    if (!path) return;
    portSpeedPlot.showProfile(speedProfile(speedprofile::defaultStep(path->getDuration())), keyframeTimes(*path),
                              portTimeSlider.getMinValue(), portTimeSlider.getMaxValue());
    portSpeedPlot.showTime(portTimeSlider.getValue());
}

void HxKeyframeCameraPathEditor::seekFromPlot(float t) {
    if (!path) return;
    playing = 0;
    currentTime = t;
    setAnimation(t);
    if (!path) return;
    portTimeSlider.setValue(t);
    sliderMoved();
}

int HxKeyframeCameraPathEditor::speedCommand(Tcl_Interp* interp, int argc, char** argv) {
    const std::string command = std::string(argv[0]) + " speed";
    const bool summary = argc > 2 && std::string(argv[2]) == "-summary";
    const int stepAt = summary ? 3 : 2;
    if (argc > stepAt + 1) return cmdFail(interp, command + ": usage: speed ?-summary? ?step?");
    if (!path) return cmdFail(interp, command + ": the editor is not attached to a keyframe path");
    const float duration = path->getDuration();
    float step = speedprofile::defaultStep(duration);
    if (argc > stepAt && !parseFloat(argv[stepAt], step))
        return cmdFail(interp, command + ": expected a time step, got \"" + argv[stepAt] + "\"");
    if (path->cameras.size() < 2 || !(duration > 0))
        return cmdFail(interp, command + ": the path needs two keyframes at different times");
    if (!speedprofile::stepFits(duration, step))
        return cmdFail(interp, command + ": the step must be above 0 and split the path into at most " +
                                   std::to_string(speedprofile::maxSamples) + " intervals");
    const speedprofile::Profile profile = speedProfile(step);
    return cmdTextResult(
        interp, summary ? speedprofile::summaryText(speedprofile::ratios(profile)) : speedprofile::rowsText(profile));
}

int HxKeyframeCameraPathEditor::plotCommand(Tcl_Interp* interp, int argc, char** argv) {
    const std::string command = std::string(argv[0]) + " plot";
    const bool sized = argc == 6 && std::string(argv[3]) == "-size";
    if (argc != 3 && !sized) return cmdFail(interp, command + ": usage: plot file.png|file.svg ?-size w h?");
    long width = defaultPlotWidth, height = defaultPlotHeight;
    if (sized && (!parseLong(argv[4], width) || !parseLong(argv[5], height) || width < 1 || height < 1 ||
                  width > largestPlotSide || height > largestPlotSide))
        return cmdFail(interp, command + ": expected a width and a height from 1 to " +
                                   std::to_string(largestPlotSide) + " pixels");
    if (!path) return cmdFail(interp, command + ": the editor is not attached to a keyframe path");
    std::string error;
    if (!saveSpeedPlot(speedProfile(speedprofile::defaultStep(path->getDuration())), keyframeTimes(*path),
                       static_cast<int>(width), static_cast<int>(height), argv[2], error))
        return cmdFail(interp, command + ": " + error);
    return TCL_OK;
}
