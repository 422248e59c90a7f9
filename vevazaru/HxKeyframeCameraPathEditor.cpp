#include "HxKeyframeCameraPathEditor.h"

#include "VeVazaruMetricOpticalFlow.h"
#include "VeVazaruMetricTranslation.h"
#include "internal/HideEventCatcher.h"
#include "internal/KeyframeUndo.h"
#include "internal/NumberText.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxUndoHistory.h>
#include <mc/McSafeFile.h>
#include <mc/McWatch.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/SbLinear.h>
#include <Inventor/draggers/SoDragger.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/manips/SoTransformBoxManip.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <QCoreApplication>
#include <QUndoStack>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tcl.h>
#include <vector>

MC_INIT_CLASS(HxKeyframeCameraPathEditor, HxEditor::getClassTypeId())

int HxKeyframeCameraPathEditor::forPath = 5;

namespace {
QString tr(const char* text) { return QCoreApplication::translate("HxKeyframeCameraPathEditor", text); }

HxViewer* viewerNumber(int id) { return theController->viewer(id, 1, nullptr, true); }
SoCamera* mainCamera() { return viewerNumber(0)->getCamera(); }

// The diagonal of the scene's bounding box, leaving out the editor's own geometry.
float sceneSize(HxBase* editor) {
    float box[6];
    theController->getBoundingBox(box, editor, nullptr);
    return SbVec3f(box[1] - box[0], box[3] - box[2], box[5] - box[4]).length();
}

// Elapsed playback time in seconds; the host's stopwatch can be driven by hand.
float elapsedSeconds(const McWatch& watch) { return static_cast<float>(watch.getTime()); }

// Whether `point` lies in front of the viewer's camera and inside its picture,
// whose shape is that of the viewer's window where it has one.
bool inPicture(HxViewer* viewer, const SbVec3f& point) {
    const auto* window = qobject_cast<const QWidget*>(viewer->widget());
    const QSize shown = window ? window->size() : QSize(viewer->getSize()[0], viewer->getSize()[1]);
    const SbViewVolume volume =
        viewer->getCamera()->getViewVolume(shown.height() > 0 ? float(shown.width()) / float(shown.height()) : 1.0f);
    if (volume.getProjectionDirection().dot(point - volume.getProjectionPoint()) <= 0.0f) return false;
    SbVec3f screen;
    volume.projectToScreen(point, screen);
    return screen[0] >= 0.0f && screen[0] <= 1.0f && screen[1] >= 0.0f && screen[1] <= 1.0f;
}
}  // namespace

// Keeps the editor alive while a loop runs events that might remove it, and
// hands the last reference back to the host's event queue afterwards, so the
// editor is never destroyed under the callers of the loop (its own ports).
class HxKeyframeCameraPathEditor::LoopGuard {
public:
    explicit LoopGuard(HxKeyframeCameraPathEditor* editor) : self(editor), session(editor->editingSession) {}
    ~LoopGuard() {
        HxApplication::post([keep = std::move(self)] {});
    }
    bool stillEditing() const { return self->stillEditing(session); }

private:
    McHandle<HxKeyframeCameraPathEditor> self;
    unsigned int session;
};

HxKeyframeCameraPathEditor::HxKeyframeCameraPathEditor()
    : selectedKeyframe(0),
      suppressFlow(0),
      useZflow(0),
      playing(0),
      currentTime(0),
      fps(10.0f),
      portTimeSlider(this, "portTimeSlider", tr("Time"), this),
      portPlayerButtons(this, "portPlayerButtons", tr("Control"), this),
      portKCPEButtons(this, "portKCPEButtons", tr("Keyframes"), 4),
      portTiming(this, "portTiming", tr("Timing"), this),
      portSpeedPlot(this, "portSpeedPlot", tr("Speed")),
      hideEventCatcher(nullptr) {
    setLabel("cameraPathEditor");
    portKCPEButtons.setLabel(0, tr("add"));
    portKCPEButtons.setLabel(1, tr("remove"));
    portKCPEButtons.setLabel(2, tr("circular path"));
    portKCPEButtons.setLabel(3, tr("const velocity"));
    portKCPEButtons.setToolTip(0,
                               tr("Add a keyframe from the main viewer's camera at the slider's time (Ctrl+Z undoes)"));
    portKCPEButtons.setToolTip(1, tr("Remove the keyframe at the slider's time (step to one first)"));
    portKCPEButtons.setToolTip(2, tr("Replace the keyframes by a full circle around the main camera's aim point"));
    portKCPEButtons.setToolTip(3, tr("Re-time the keyframes so the flight moves at constant velocity"));
    portTiming.showSpeed(fps);
    portSpeedPlot.seek = [this](float t) { seekFromPlot(t); };
}

HxKeyframeCameraPathEditor::~HxKeyframeCameraPathEditor() {
    QObject::disconnect(historyConnection);
    manipSensor.reset();
    if (displayRoot) hideGeom(displayRoot);
    if (hideEventCatcher) hideEventCatcher->dispose();
}

// ---------------------------------------------------------------- attachment

void HxKeyframeCameraPathEditor::startEditing(HxData* data) {
    ++editingSession;
    path = mcinterface_cast<HxKeyframeCameraPath>(data);
    if (!path) {
        // Hosts offer this editor for keyframe paths only; anything else is left alone.
        theMsg->printf("%s: %s is not a keyframe camera path", getName(), data ? data->getName() : "nothing");
        return;
    }
    path->portTime.hide();

    QUndoStack* steps = history();
    theUndoHistory->setActiveStack(steps);
    historyConnection = QObject::connect(steps, &QUndoStack::indexChanged, [this] { historyStepped(); });

    const float size = sceneSize(this);
    // The slider runs from 0 (or an earlier first keyframe) over every keyframe;
    // with one keyframe or none, 10 units on from it.
    const float first = path->cameras.size() > 0 ? path->getTime(0) : 0.0f;
    const float duration = path->getDuration();
    portTimeSlider.setMinValue(std::min(0.0f, first));
    portTimeSlider.setMaxValue(duration > 0.0f ? first + duration : std::max(0.0f, first) + 10.0f);
    updateKeyframeSlider();

    displayRoot = new SoSeparator;
    display = new HxDisplayCameraPath(displayRoot, path, size, 1);
    display->update();
    display->setSelectionCallback(this, cameraSelectedCB);
    setViewerMask(1u << forPath, 0xffffffff);
    showGeom(displayRoot);

    flowAnnotation = new SoAnnotation;
    flowAnnotation->renderCaching = SoSeparator::OFF;
    auto* measure = new SoCallback;
    measure->setCallback(annotationCallbackCB, this);
    flowAnnotation->addChild(measure);

    HxViewer* mainViewer = viewerNumber(0);
    HxViewer* pathViewer = viewerNumber(forPath);
    mainViewer->show();
    pathViewer->show();
    mainViewer->setLogo(nullptr);
    pathViewer->setLogo(nullptr);
    // The path and the scene in view from the start.
    pathViewer->viewAll();
    showSpeedProfile();

    hideEventCatcher = new HideEventCatcher(this);
    pathViewer->widget()->installEventFilter(hideEventCatcher);
}

void HxKeyframeCameraPathEditor::stopEditing() {
    ++editingSession;
    if (!path) return;  // it never started
    QObject::disconnect(historyConnection);
    if (theUndoHistory->activeStack() == history()) theUndoHistory->setActiveStack(nullptr);
    manipSensor.reset();
    HxViewer* pathViewer = viewerNumber(forPath);
    if (hideEventCatcher) {
        pathViewer->widget()->removeEventFilter(hideEventCatcher);
        hideEventCatcher->dispose();
        hideEventCatcher = nullptr;
    }
    path->setViewerMask(0xffff, 0xffff);
    path->portTime.show();
    path = nullptr;
    display = nullptr;
    hideGeom(displayRoot);
    pathViewer->hide();
}

void HxKeyframeCameraPathEditor::update() {
    if (!portKCPEButtons.isNew(0xffffffff)) return;
    if (portKCPEButtons.getValue() >= 0 && reportDetached()) return;
    switch (portKCPEButtons.getValue()) {
        case 0:
            add();
            break;
        case 1:
            remove();
            break;
        case 2:
            createCircularPath(360.0f);
            break;
        case 3:
            makeConstv();
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------- script commands

namespace {
// The slowest playing speed: below it playback would not end in any useful time
// (at 1e-30 units per second the time never moves at all in float).
constexpr float minFps = 0.001f;

// cmdHelp, which also prints the command's usage when its arguments are missing.
int checkArguments(Tcl_Interp* interp, const char* word, bool countFits, int argc, char** argv, const char* usage) {
    const bool askedForHelp = argc > 2 && std::string(argv[2]) == "help";
    if (!countFits && !askedForHelp) theMsg->printf("usage: %s %s %s", argv[0], word, usage);
    return cmdHelp(interp, word, countFits, argc, argv);
}

// argv[first .. first + n - 1] as numbers; false when one is not a number.
bool readNumbers(char** argv, int first, int n, float* values) {
    for (int i = 0; i < n; ++i)
        if (!parseFloat(argv[first + i], values[i])) return false;
    return true;
}
}  // namespace

int HxKeyframeCameraPathEditor::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    const std::string command = std::string(argv[0]) + " " + word;
    // Commands that work on the path answer with an error while none is edited.
    auto needsPath = [&]() {
        if (path) return TCL_OK;
        return cmdFail(interp, command + ": the editor is not attached to a keyframe path");
    };

    if (cmdCheck(word, "fps", "fps value: path time units played per second")) {
        if (int r = checkArguments(interp, word, argc == 3, argc, argv, "value"); r != 4) return r;
        float rate = 0;
        if (!parseFloat(argv[2], rate) || !(rate >= minFps))
            return cmdFail(
                interp, command + ": expected a number from " + cmdFloatText(minFps) + " up, got \"" + argv[2] + "\"");
        setPlaybackSpeed(rate);
        portTiming.showSpeed(rate);
        return TCL_OK;
    }
    if (cmdCheck(word, "project", "project x y z: prints the point projected by the main viewer's camera")) {
        if (int r = checkArguments(interp, word, argc == 5, argc, argv, "x y z"); r != 4) return r;
        float point[3];
        if (!readNumbers(argv, 2, 3, point)) return cmdFail(interp, command + ": expected three numbers");
        printProjection(point[0], point[1], point[2]);
        return TCL_OK;
    }
    if (cmdCheck(word, "metric", "metric translation|optical|zflow n: chooses the camera metric")) {
        const std::string metricName = argc > 2 ? argv[2] : "";
        const bool countFits = metricName == "zflow" ? argc == 4 : argc == 3;
        if (int r = checkArguments(interp, word, countFits, argc, argv, "translation|optical|zflow n"); r != 4)
            return r;
        long on = 0;
        if (metricName == "zflow" && (!parseLong(argv[3], on) || (on != 0 && on != 1)))
            return cmdFail(interp, command + " zflow: expected 0 or 1, got \"" + argv[3] + "\"");
        if (metricName != "translation" && metricName != "optical" && metricName != "zflow")
            return cmdFail(interp,
                           command + ": unknown metric \"" + metricName + "\" (translation, optical or zflow n)");
        if (needsPath() != TCL_OK) return TCL_ERROR;
        chooseMetric(argc, argv);
        return TCL_OK;
    }
    if (cmdCheck(word, "constv", "re-times the keyframes for constant velocity")) {
        if (needsPath() != TCL_OK) return TCL_ERROR;
        makeConstv();
        return TCL_OK;
    }
    if (cmdCheck(word, "setKeyframeTime", "setKeyframeTime i t: moves keyframe i to time t, between its neighbours")) {
        if (int r = checkArguments(interp, word, argc == 4, argc, argv, "i t"); r != 4) return r;
        long index = 0;
        float t = 0;
        if (!parseLong(argv[2], index) || !parseFloat(argv[3], t))
            return cmdFail(interp, command + ": expected a keyframe number and a time");
        if (needsPath() != TCL_OK) return TCL_ERROR;
        if (index < 0 || index >= path->times.size()) return cmdFail(interp, command + ": no keyframe " + argv[2]);
        if (!retimeKeyframe(static_cast<int>(index), t))
            return cmdFail(interp, command + ": keyframe " + argv[2] + " cannot move to " + argv[3]);
        return TCL_OK;
    }
    if (cmdCheck(word, "zflow", "measures the depth flow along the path; playback then keeps it even")) {
        if (needsPath() != TCL_OK) return TCL_ERROR;
        zflow();
        useZflow = 1;
        return TCL_OK;
    }
    if (cmdCheck(word, "speed",
                 "speed ?-summary? ?step?: the speed profile as {t translation optical [flow]} rows, "
                 "or the ratio of highest to lowest speed per metric"))
        return speedCommand(interp, argc, argv);
    if (cmdCheck(word, "plot", "plot file.png|file.svg ?-size w h?: writes the speed profile's plot"))
        return plotCommand(interp, argc, argv);
    if (cmdCheck(word, "depth", "redraws the main viewer")) {
        viewerNumber(0)->redraw();
        return TCL_OK;
    }
    if (cmdCheck(word, "createCircularPath", "createCircularPath [angle]: a circular flight, 360 degrees by default")) {
        if (int r = checkArguments(interp, word, argc <= 3, argc, argv, "[angle]"); r != 4) return r;
        float angle = 360.0f;
        if (argc > 2 && !parseFloat(argv[2], angle)) return cmdFail(interp, command + ": expected an angle in degrees");
        if (needsPath() != TCL_OK) return TCL_ERROR;
        if (!createCircularPath(angle))
            return cmdFail(interp, command + ": the circle would leave the float range; nothing changed");
        return TCL_OK;
    }
    return HxEditor::parse(interp, argc, argv);
}

void HxKeyframeCameraPathEditor::printProjection(float x, float y, float z) {
    SoCamera* camera = mainCamera();
    SbMatrix m = camera->getViewVolume(0.0f).getMatrix();
    // Row vector times matrix, as Inventor applies its matrices.
    const float s = 1.0f / (x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3]);
    float c[3];
    for (int j = 0; j < 3; ++j) c[j] = (x * m[0][j] + y * m[1][j] + z * m[2][j] + m[3][j]) * s;
    theMsg->printf("Camera: %s %s %s\n", numbertext::general(c[0]).c_str(), numbertext::general(c[1]).c_str(),
                   numbertext::general(c[2]).c_str());
    SbVec3f screen;
    camera->getViewVolume(0.0f).projectToScreen(SbVec3f(x, y, z), screen);
    theMsg->printf("ViewVo: %s %s %s\n", numbertext::general(screen[0]).c_str(), numbertext::general(screen[1]).c_str(),
                   numbertext::general(screen[2]).c_str());
}

void HxKeyframeCameraPathEditor::chooseMetric(int argc, char** argv) {
    const std::string metricName = argv[2];
    if (metricName == "translation") {
        path->setMetric(new VeVazaruMetricTranslation);
    } else if (metricName == "optical") {
        float box[6];
        theController->getBoundingBox(box, this, nullptr);
        path->setMetric(new VeVazaruMetricOpticalFlow(box));
    } else if (metricName == "zflow" && argc > 3) {
        long on = 0;
        if (parseLong(argv[3], on)) useZflow = on != 0 ? 1 : 0;
        theMsg->printf("use zflow = %d", useZflow);
    }
}

// ---------------------------------------------------------------- playback

void HxKeyframeCameraPathEditor::setAnimation(float t) {
    if (!path || path->cameras.size() < 2) return;
    // Held here: events handled inside setAnimatedCamera may end editing.
    McHandle<HxKeyframeCameraPath> shownPath = path;
    McHandle<HxDisplayCameraPath> shownDisplay = display;
    const unsigned int session = editingSession;
    SoCamera* camera = mainCamera();
    shownPath->getCamera(t, *camera);
    shownDisplay->setAnimatedCamera(camera);
    if (!stillEditing(session)) return;
    viewerNumber(0)->redraw();
    viewerNumber(forPath)->redraw();
}

bool HxKeyframeCameraPathEditor::reportDetached() const {
    if (path) return false;
    theMsg->printf("%s", qPrintable(tr("%1 is not attached to a keyframe path: select one and edit it (Edit > Edit "
                                       "Selected, or the command \"edit name\").")
                                        .arg(QString::fromUtf8(getName()))));
    return true;
}

bool HxKeyframeCameraPathEditor::showFewKeyframes() {
    if (reportDetached()) return true;
    const int k = path->cameras.size();
    if (k >= 2) return false;
    currentTime = k == 1 ? path->getTime(0) : 0.0f;
    setAnimation(currentTime);
    portTimeSlider.setValue(currentTime);
    return true;
}

void HxKeyframeCameraPathEditor::stop() { playing = 0; }

void HxKeyframeCameraPathEditor::stepfwd() {
    playing = 0;
    if (showFewKeyframes()) return;
    currentTime = portTimeSlider.getValue() + 1.0f;
    setAnimation(currentTime);
    portTimeSlider.setValue(currentTime);
}

void HxKeyframeCameraPathEditor::stepbwd() {
    playing = 0;
    if (showFewKeyframes()) return;
    const float v = portTimeSlider.getValue();
    currentTime = v;
    if (v > path->getTime(0)) {
        currentTime = v - 1.0f;
        setAnimation(currentTime);
    }
    portTimeSlider.setValue(currentTime);
}

void HxKeyframeCameraPathEditor::jmpfwd() {
    playing = 0;
    if (showFewKeyframes()) return;
    const float c = portTimeSlider.getValue();
    const int k = path->cameras.size();
    int i = 0;
    while (i < k && !(path->getTime(i) > c)) ++i;
    if (i == k) i = k - 1;
    currentTime = path->getTime(i);
    setAnimation(currentTime);
    portTimeSlider.setValue(currentTime);
}

void HxKeyframeCameraPathEditor::jmpbwd() {
    playing = 0;
    if (showFewKeyframes()) return;
    const float c = portTimeSlider.getValue();
    const int k = path->cameras.size();
    int i = 0;
    while (i < k && !(path->getTime(i) >= c)) ++i;
    currentTime = path->getTime(i > 0 ? i - 1 : 0);
    setAnimation(currentTime);
    portTimeSlider.setValue(currentTime);
}

void HxKeyframeCameraPathEditor::play() {
    if (playing) {
        playing = 0;
        return;
    }
    if (showFewKeyframes()) return;
    float end = path->getTime(0) + path->getDuration();
    if (end > portTimeSlider.getSubMaxValue()) end = portTimeSlider.getSubMaxValue();
    runPlayback(portTimeSlider.getValue(), end, Forward);
}

void HxKeyframeCameraPathEditor::playbwd() {
    if (playing) {
        playing = 0;
        return;
    }
    if (showFewKeyframes()) return;
    runPlayback(portTimeSlider.getValue(), portTimeSlider.getSubMinValue(), Backward);
}

void HxKeyframeCameraPathEditor::runPlayback(float start, float bound, Direction direction) {
    LoopGuard guard(this);
    playing = 1;
    McWatch watch;
    watch.start();
    const bool forward = direction == Forward;
    auto before = [forward, bound](float t) { return forward ? t < bound : t > bound; };
    currentTime = start;
    while (playing && before(currentTime)) {
        const float travelled = elapsedSeconds(watch) * fps;
        currentTime = forward ? start + travelled : start - travelled;
        if (!before(currentTime)) currentTime = bound;
        float t = currentTime;
        // Only forward playback follows the depth-flow time table.
        if (forward && useZflow) {
            t = getRealTime(currentTime);
            std::printf("Time %s -> %s\n", numbertext::general(currentTime).c_str(), numbertext::general(t).c_str());
        }
        setAnimation(t);
        if (!guard.stillEditing()) break;
        portTimeSlider.setValue(t);
        HxApplication::handlePendingEvents(1, QEventLoop::AllEvents);
        if (!guard.stillEditing()) break;
    }
    playing = 0;
}

void HxKeyframeCameraPathEditor::updateKeyframeSlider() {
    if (!path) return;
    portTimeSlider.setKeyframes(path->times);
    portTimeSlider.redraw();
}

float HxKeyframeCameraPathEditor::getRealTime(float t) {
    const int n = timeTable.size();
    const float d = path ? path->getDuration() : 0.0f;
    for (int i = 0; i + 1 < n; ++i) {
        if (timeTable[i + 1] > t)
            return d * (static_cast<float>(i) + (t - timeTable[i]) / (timeTable[i + 1] - timeTable[i])) /
                   static_cast<float>(n - 1);
    }
    return d;
}

void HxKeyframeCameraPathEditor::initTimeTable() {
    const int n = flowSamples.size();
    timeTable.resize(n);
    if (n > 0) {
        timeTable[0] = 0.0f;
        for (int i = 1; i < n; ++i) timeTable[i] = timeTable[i - 1] + flowSamples[i];
        const float total = timeTable[n - 1];
        const float d = path ? path->getDuration() : 0.0f;
        if (total > 0 && std::isfinite(total)) {
            for (int i = 1; i < n; ++i) timeTable[i] = d / total * timeTable[i];
        } else {
            // No motion to even out: the table keeps the path's own times.
            theMsg->printf("zflow: no motion measured; playback keeps the path's times");
            for (int i = 1; i < n; ++i) timeTable[i] = d * static_cast<float>(i) / static_cast<float>(n - 1);
        }
    }
    McSafeFile out("time.dat");
    if (FILE* fp = out.stream())
        for (int i = 1; i < n; ++i) std::fprintf(fp, "%s\n", cmdFloatText(timeTable[i]).c_str());
    if (!out.commit()) theMsg->printf("%s", out.error().c_str());
}

// ---------------------------------------------------------------- keyframe editing

void HxKeyframeCameraPathEditor::add() {
    if (!path) return;
    if (!VeVazaruPath::isFinite(mainCamera())) {
        theMsg->printf("%s",
                       qPrintable(tr("The main viewer's camera has numbers that are not finite; no keyframe added.")));
        return;
    }
    currentTime = portTimeSlider.getValue();
    pushStep(new keyframeundo::AddKeyframe(path, currentTime, mainCamera()));
    theMsg->printf(
        "%s", qPrintable(tr("Keyframe added at %1.").arg(QString::fromStdString(numbertext::general(currentTime)))));
    // Every keyframe stays in the path viewer's picture.
    HxViewer* pathViewer = viewerNumber(forPath);
    if (!inPicture(pathViewer, mainCamera()->position.getValue())) pathViewer->viewAll();
    if (currentTime >= path->getTime(0) + path->getDuration()) currentTime += 10.0f;
    portTimeSlider.setValue(currentTime);
    sliderMoved();
}

void HxKeyframeCameraPathEditor::remove() {
    if (!path) return;
    currentTime = portTimeSlider.getValue();
    const int k = path->cameras.size();
    int i = 0;
    while (i < k && path->times[i] - currentTime != 0.0f) ++i;
    if (i == k) {
        theMsg->printf("Please use step buttons to select a keyframe.");
        return;
    }
    const unsigned int session = editingSession;
    if (i == 0) jmpfwd();
    if (stillEditing(session) && i == k - 1) jmpbwd();
    if (!stillEditing(session)) return;
    display->hideAnimatedCamera();
    const float removedAt = path->times[i];
    pushStep(new keyframeundo::RemoveKeyframe(path, i));
    theMsg->printf(
        "%s", qPrintable(tr("Keyframe at %1 removed.").arg(QString::fromStdString(numbertext::general(removedAt)))));
}

bool HxKeyframeCameraPathEditor::createCircularPath(float angle) {
    if (!path) return false;
    SoCamera* camera = mainCamera();
    if (!camera) return false;
    auto before = keyframeundo::ReplaceKeyframes::of(path);
    if (!path->createCircularPath(camera, angle, 100.0f, 16)) {
        theMsg->printf("%s", qPrintable(tr("The circle would leave the float range; the path is unchanged.")));
        return false;
    }
    pushStep(new keyframeundo::ReplaceKeyframes(path, tr("circular path"), std::move(before),
                                                keyframeundo::ReplaceKeyframes::of(path)));
    portTimeSlider.setMaxValue(path->getDuration());
    viewerNumber(forPath)->viewAll();
    return true;
}

void HxKeyframeCameraPathEditor::makeConstv() {
    if (!path) return;
    auto before = keyframeundo::ReplaceKeyframes::of(path);
    path->makeConstVelocity();
    // Too few keyframes leave the times as they were: nothing to undo then.
    if (before.times.size() == path->times.size() &&
        std::equal(before.times.begin(), before.times.end(), path->times.begin()))
        return;
    pushStep(new keyframeundo::ReplaceKeyframes(path, tr("constant velocity"), std::move(before),
                                                keyframeundo::ReplaceKeyframes::of(path)));
}

void HxKeyframeCameraPathEditor::cameraSelected(int index, int selected) {
    if (!path || index < 0 || index >= path->cameras.size()) return;
    if (!selected) {
        keyframeManip = nullptr;
        manipSensor.reset();
        display->replaceTransformation(index, new SoTransform);
        return;
    }
    const unsigned int session = editingSession;
    currentTime = path->times[index];
    setAnimation(currentTime);
    if (!stillEditing(session)) return;
    portTimeSlider.setValue(currentTime);
    display->hideAnimatedCamera();
    selectedKeyframe = index;
    ++dragNumber;
    auto* manip = new SoTransformBoxManip;
    keyframeManip = manip;
    if (SoDragger* dragger = manip->getDragger()) dragger->addStartCallback(dragStartCB, this);
    display->replaceTransformation(index, keyframeManip);
    if (!manipSensor) manipSensor = std::make_unique<SoNodeSensor>();
    manipSensor->attach(keyframeManip);
    manipSensor->setFunction(sensorCallbackCB);
    manipSensor->setData(this);
}

void HxKeyframeCameraPathEditor::sensorCallback(SoSensor* /*sensor*/) {
    if (!path || !keyframeManip || selectedKeyframe < 0 || selectedKeyframe >= path->cameras.size()) return;
    SoCamera* keyframe = path->cameras[selectedKeyframe];
    using keyframeundo::MoveKeyframe;
    const MoveKeyframe::Pose from = MoveKeyframe::poseOf(keyframe);
    const MoveKeyframe::Pose to{keyframeManip->translation.getValue(), keyframeManip->rotation.getValue()};
    if (to.position != from.position || !(to.orientation == from.orientation)) {
        pushing = true;
        history()->push(new MoveKeyframe(path, selectedKeyframe, dragNumber, from, to));
        pushing = false;
    }
    // The box must not scale the glyph; writing an unchanged value would only
    // wake this sensor again.
    const SbVec3f unscaled(display->scale, display->scale, display->scale);
    if (keyframeManip->scaleFactor.getValue() != unscaled) keyframeManip->scaleFactor.setValue(unscaled);
    SoCamera* camera = mainCamera();
    if (camera->getTypeId() == keyframe->getTypeId()) {
        camera->copyFieldValues(keyframe, FALSE);
    } else {
        // Field-by-field copying needs cameras of one type.
        camera->position.setValue(keyframe->position.getValue());
        camera->orientation.setValue(keyframe->orientation.getValue());
    }
    display->updatePath();
    showSpeedProfile();
}

// ---------------------------------------------------------------- history and timing

QUndoStack* HxKeyframeCameraPathEditor::history() const { return path ? theUndoHistory->stackFor(path) : nullptr; }

void HxKeyframeCameraPathEditor::dropManipulator() {
    if (!keyframeManip) return;
    manipSensor.reset();
    display->replaceTransformation(selectedKeyframe, new SoTransform);
    keyframeManip = nullptr;
}

void HxKeyframeCameraPathEditor::pushStep(QUndoCommand* step) {
    // The glyphs are placed anew: a manipulator on one would take that for a drag.
    dropManipulator();
    pushing = true;
    history()->push(step);
    pushing = false;
    showKeyframes();
}

void HxKeyframeCameraPathEditor::showKeyframes() {
    updateKeyframeSlider();
    display->update();
    showSpeedProfile();
    sliderMoved();
}

void HxKeyframeCameraPathEditor::historyStepped() {
    if (pushing || !path) return;
    dropManipulator();
    const float duration = path->getDuration();
    if (path->cameras.size() > 0 && path->getTime(0) + duration > portTimeSlider.getMaxValue())
        portTimeSlider.setMaxValue(path->getTime(0) + duration);
    showKeyframes();
    const unsigned int session = editingSession;
    setAnimation(portTimeSlider.getValue());
    if (stillEditing(session)) viewerNumber(forPath)->redraw();
}

int HxKeyframeCameraPathEditor::keyframeAtSlider() const {
    if (!path) return -1;
    const float t = portTimeSlider.getValue();
    for (int i = 0; i < path->times.size(); ++i)
        if (path->times[i] == t) return i;
    return -1;
}

void HxKeyframeCameraPathEditor::sliderMoved() {
    const int k = keyframeAtSlider();
    portTiming.showKeyframe(k >= 0 ? path->times[k] : 0.0f, k < 0);
    portSpeedPlot.showTime(portTimeSlider.getValue());
}

bool HxKeyframeCameraPathEditor::retimeKeyframe(int index, float t) {
    if (!path || index < 0 || index >= path->times.size()) return false;
    auto text = [](float v) { return QString::fromStdString(numbertext::general(v)); };
    const float from = path->times[index];
    if (t == from) return true;
    if (!std::isfinite(t)) {
        theMsg->printf("%s",
                       qPrintable(tr("The keyframe at %1 stays: its time must be a finite number.").arg(text(from))));
        return false;
    }
    const int n = path->times.size();
    int neighbour = -1;
    if (index > 0 && !(path->times[index - 1] < t)) neighbour = index - 1;
    if (index + 1 < n && !(t < path->times[index + 1])) neighbour = index + 1;
    if (neighbour >= 0) {
        theMsg->printf("%s", qPrintable(tr("The keyframe at %1 stays: at %2 it would reach or pass its neighbour "
                                           "at %3, and keyframes keep their order.")
                                            .arg(text(from), text(t), text(path->times[neighbour]))));
        // A dragged tick goes back to its keyframe.
        showKeyframes();
        return false;
    }
    const bool followed = portTimeSlider.getValue() == from;
    pushStep(new keyframeundo::RetimeKeyframe(path, index, from, t));
    if (followed) {
        portTimeSlider.setValue(t);
        sliderMoved();
    }
    theMsg->printf("%s", qPrintable(tr("Keyframe moved from time %1 to %2.").arg(text(from), text(t))));
    return true;
}

bool HxKeyframeCameraPathEditor::setSelectedKeyframeTime(float t) {
    const int k = keyframeAtSlider();
    if (k < 0) {
        theMsg->printf("%s", qPrintable(tr("Step to a keyframe first: the slider stands on none.")));
        return false;
    }
    return retimeKeyframe(k, t);
}

void HxKeyframeCameraPathEditor::setPlaybackSpeed(float unitsPerSecond) {
    if (unitsPerSecond >= minFps) fps = unitsPerSecond;
}

// ---------------------------------------------------------------- depth flow

void HxKeyframeCameraPathEditor::zflow() {
    if (!path) return;
    LoopGuard guard(this);
    HxViewer* mainViewer = viewerNumber(0);
    mainViewer->setSize(SbVec2s(measuredSize, measuredSize));
    currentTime = 0.01f;

    // The overlay goes into the main viewer only: each render of it takes a sample.
    suppressFlow = 1;
    theController->setGeom(flowAnnotation, this, 1, 1u);
    mainViewer->redraw();
    HxApplication::handlePendingEvents(1, QEventLoop::AllEvents);
    suppressFlow = 0;

    flowSamples.resize(0);
    const float end = guard.stillEditing() ? path->getTime(0) + path->getDuration() : currentTime;
    int frames = 0;
    for (float t = currentTime; t < end; t += 1.0f) ++frames;
    for (int frame = 1; guard.stillEditing() && currentTime < end; ++frame) {
        theMsg->printf("zflow: frame %d of %d", frame, frames);
        setAnimation(currentTime);
        if (!guard.stillEditing()) break;
        portTimeSlider.setValue(currentTime);
        HxApplication::handlePendingEvents(1, QEventLoop::AllEvents);
        currentTime = currentTime + 1.0f;
    }
    theController->setGeom(flowAnnotation, this, 0);
    // A measurement broken off by the end of editing leaves no table.
    if (!guard.stillEditing()) return;
    initTimeTable();
    useZflow = 1;
    showSpeedProfile();
}

void HxKeyframeCameraPathEditor::annotationCallback(SoAction* action) {
    if (suppressFlow) return;
    if (!action->getTypeId().isDerivedFrom(SoGLRenderAction::getClassTypeId())) return;
    int v = HxController::maxViewers;
    for (int id = 0; id < HxController::maxViewers; ++id) {
        HxViewer* candidate = theController->viewer(id, 0);
        if (theController->isViewerVisible(id) && candidate && candidate->getGLRenderAction() == action) {
            v = id;
            break;
        }
    }
    std::printf("annotationCallback %d\n", v);
    SoCacheElement::invalidate(action->getState());
    // Editing may have ended while the overlay was still in the scene.
    if (!path) return;

    const SbViewportRegion& region = static_cast<SoGLRenderAction*>(action)->getViewportRegion();
    const SbVec2s window = region.getWindowSize();
    const int w = window[0], h = window[1];
    const int width = w - w % 8, height = h;
    std::vector<float> flow(static_cast<std::size_t>(std::max(0, width * height)), 0.0f);

    McHandle<SoCamera> c0 = mainCamera();
    McHandle<SoCamera> c1 = path->getCamera(static_cast<float>(static_cast<double>(currentTime) + 0.001));
    // Far everywhere until read: a read that leaves the buffer alone measures nothing.
    std::vector<float> depth(flow.size(), 1.0f);
    std::string problem;
    if (flow.empty())
        problem = "the window is narrower than 8 pixels";
    else if (!depthflow::readDepth(width, height, depth.data()))
        problem = "the depth buffer cannot be read";
    if (!problem.empty()) {
        theMsg->printf("zflow: %s; the frame counts as still", problem.c_str());
        depth.assign(depth.size(), 1.0f);
    }

    const SbVec2f scale = region.getViewportSize();
    const SbMatrix m0 = c0->getViewVolume(0.0f).getMatrix();
    const SbMatrix m1 = c1->getViewVolume(0.0f).getMatrix();
    const depthflow::FlowSum sum =
        depthflow::measureFlow(depth.data(), flow.data(), width, height, w, h, scale, m0, m1);
    double mean = sum.count > 0 ? sum.total / sum.count : 0.0;
    if (!(std::fabs(mean) <= FLT_MAX)) {
        theMsg->printf("zflow: the flow of this frame is not finite; the frame counts as still");
        mean = 0.0;
    }

    flowSamples.append(static_cast<float>(mean));
    theMsg->printf("v = %s (nPoints = %d of %dx%d)", numbertext::general(static_cast<float>(mean)).c_str(), sum.count,
                   width, height);
    if (FILE* out = std::fopen("flow.dat", "a")) {
        std::fprintf(out, "%s\n", cmdFloatText(static_cast<float>(mean)).c_str());
        std::fclose(out);
    }
    if (FILE* out = std::fopen("velocity.raw", "ab")) {
        if (!flow.empty()) std::fwrite(flow.data(), sizeof(float), flow.size(), out);
        std::fclose(out);
    }
}

void HxKeyframeCameraPathEditor::cameraSelectedCB(void* editor, int index, int selected) {
    static_cast<HxKeyframeCameraPathEditor*>(editor)->cameraSelected(index, selected);
}

void HxKeyframeCameraPathEditor::sensorCallbackCB(void* editor, SoSensor* sensor) {
    static_cast<HxKeyframeCameraPathEditor*>(editor)->sensorCallback(sensor);
}

void HxKeyframeCameraPathEditor::dragStartCB(void* editor, SoDragger* /*dragger*/) {
    ++static_cast<HxKeyframeCameraPathEditor*>(editor)->dragNumber;
}

void HxKeyframeCameraPathEditor::annotationCallbackCB(void* editor, SoAction* action) {
    static_cast<HxKeyframeCameraPathEditor*>(editor)->annotationCallback(action);
}
