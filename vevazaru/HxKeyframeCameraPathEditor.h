// The editor of a keyframe camera path. While attached it records keyframes
// from the main viewer's camera (viewer 0), shows the path from outside in the
// path viewer (viewer `forPath`), plays the flight along the time slider, and
// lets the user drag a picked keyframe with a transform-box manipulator.
//
// Ownership: the editor holds counted references to the path and its display
// and owns its ports, scene nodes, node sensor and hide-event catcher. Times
// are in the path's time units; `fps` is time units per wall-clock second.
#pragma once
#include <hxcore/HxEditor.h>
#include <mc/McDArray.h>
#include <mc/McHandle.h>
#include <ports/HxPortButtonList.h>

#include <Inventor/nodes/SoAnnotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/sensors/SoNodeSensor.h>

#include <QMetaObject>
#include <memory>

#include "HxDisplayCameraPath.h"
#include "HxKeyframeCameraPath.h"
#include "internal/DepthFlow.h"
#include "internal/HxPortKeyframeTiming.h"
#include "internal/HxPortPlayerButtons.h"
#include "internal/HxPortSpeedPlot.h"
#include "internal/HxPortTimeSlider.h"

class HideEventCatcher;
class QUndoCommand;
class QUndoStack;
class SoAction;
class SoDragger;
class SoSensor;

class HxKeyframeCameraPathEditor : public HxEditor, public HxPlayerControls, public HxKeyframeTimingControls {
    MC_HEADER(HxKeyframeCameraPathEditor)

public:
    // The number of the path viewer.
    static int forPath;

    HxKeyframeCameraPathEditor();
    // Expects editing to have ended (the host detaches before destroying).
    ~HxKeyframeCameraPathEditor() override;

    int parse(Tcl_Interp* interp, int argc, char** argv) override;
    // Runs the keyframe button pressed since the last fire.
    void update() override;

    // Playback and time control. Each starts from the slider's value and puts
    // the slider at the time it shows.
    void setAnimation(float t);
    void stop() override;
    void stepfwd() override;
    void stepbwd() override;
    void jmpfwd() override;
    void jmpbwd() override;
    // Real-time playback; a second call while playing ends it. The loop lets the
    // host handle pending events once per frame.
    void play() override;
    void playbwd() override;
    void updateKeyframeSlider();
    // The path time for flow-based time t (through `timeTable`).
    float getRealTime(float t);
    // Builds `timeTable` from `flowSamples` and writes "time.dat".
    void initTimeTable();

    // Keyframe editing.
    void add();
    void remove();
    // False (reported, the path unchanged) when the circle would leave the float range.
    bool createCircularPath(float angle);
    void makeConstv();
    void cameraSelected(int index, int selected);
    void sensorCallback(SoSensor* sensor);
    // Moves keyframe `index` to time t. False, reported and nothing changed,
    // when t is not strictly between the neighbours' times.
    bool retimeKeyframe(int index, float t);
    // The keyframe whose time the slider shows, or -1.
    int keyframeAtSlider() const;
    bool setSelectedKeyframeTime(float t) override;
    void setPlaybackSpeed(float unitsPerSecond) override;
    // The edited path's undo history (null while not editing). Every keyframe
    // change above is one step of it; a drag of the manipulator is one step.
    QUndoStack* history() const;
    // The slider moved: the timing row follows it.
    void sliderMoved();

    // Depth flow: renders the main viewer at measuredSize x measuredSize at
    // path times 0.01, 1.01, ... and measures the mean on-screen motion of the
    // drawn pixels (normalised device units per 0.001 time units) in the
    // overlay's callback; builds the time table from it.
    static constexpr int measuredSize = 128;
    void zflow();
    void annotationCallback(SoAction* action);

    // The speed profile at `step` by both metrics, with the depth flow once
    // measured (HxKeyframeCameraPathEditorSpeed.cpp); empty while not editing.
    speedprofile::Profile speedProfile(float step);
    // The plot row shows the path's profile, its keyframes and the slider's time.
    void showSpeedProfile();
    // A click on the plot: the slider and the main view go to time t.
    void seekFromPlot(float t);

    static void cameraSelectedCB(void* editor, int index, int selected);
    static void sensorCallbackCB(void* editor, SoSensor* sensor);
    static void annotationCallbackCB(void* editor, SoAction* action);
    static void dragStartCB(void* editor, SoDragger* dragger);

    int selectedKeyframe;
    McDArray<float> flowSamples;
    McDArray<float> timeTable;
    int suppressFlow;
    int useZflow;
    int playing;
    float currentTime;
    float fps;
    HxPortTimeSlider portTimeSlider;
    HxPortPlayerButtons portPlayerButtons;
    HxPortButtonList portKCPEButtons;
    HxPortKeyframeTiming portTiming;
    HxPortSpeedPlot portSpeedPlot;
    McHandle<HxKeyframeCameraPath> path;
    McHandle<HxDisplayCameraPath> display;
    McHandle<SoSeparator> displayRoot;
    McHandle<SoTransform> keyframeManip;
    McHandle<SoAnnotation> flowAnnotation;
    std::unique_ptr<SoNodeSensor> manipSensor;
    HideEventCatcher* hideEventCatcher;

    // The depth-flow measurement (internal/DepthFlow.h), for callers of the editor.
    using FlowSum = depthflow::FlowSum;
    static FlowSum measureFlow(const float* depth, float* flow, int width, int height, int w, int h,
                               const SbVec2f& scale, const SbMatrix& m0, const SbMatrix& m1) {
        return depthflow::measureFlow(depth, flow, width, height, w, h, scale, m0, m1);
    }
    static bool readDepth(int width, int height, float* depth) { return depthflow::readDepth(width, height, depth); }

protected:
    void startEditing(HxData* data) override;
    void stopEditing() override;

private:
    class LoopGuard;
    enum Direction { Forward, Backward };

    // The loop of play() and playbwd(): from `start` towards `bound` at `fps`
    // time units per second of the stopwatch, until there or `playing` is cleared.
    void runPlayback(float start, float bound, Direction direction);

    // While no path is edited: says so (the buttons do nothing then) and
    // returns true.
    bool reportDetached() const;
    // With fewer than two keyframes: moves to the only keyframe's time (or 0)
    // and returns true; the moving operation then ends. Detached: says so and
    // returns true.
    bool showFewKeyframes();
    // Whether editing that began as session `session` still goes on; events
    // handled inside an operation may have ended it.
    bool stillEditing(unsigned int session) const { return path && editingSession == session; }
    void printProjection(float x, float y, float z);
    void chooseMetric(int argc, char** argv);
    // "speed ?-summary? ?step?" and "plot file ?-size w h?".
    int speedCommand(Tcl_Interp* interp, int argc, char** argv);
    int plotCommand(Tcl_Interp* interp, int argc, char** argv);

    // Pushes a step that has been done already or is done by the push; the
    // editor refreshes itself after the push.
    void pushStep(QUndoCommand* step);
    // After an undo or redo: the manipulator goes, the display, slider and
    // camera show the path as it now is.
    void historyStepped();
    // Ticks, path display and the timing row after a change of the keyframes.
    void showKeyframes();
    // Puts a plain transformation back where the manipulator was.
    void dropManipulator();

    // Counts the starts and ends of editing.
    unsigned int editingSession = 0;
    // Counts drags of the manipulator (and picks): one drag, one undo step.
    unsigned int dragNumber = 0;
    bool pushing = false;
    QMetaObject::Connection historyConnection;
};
