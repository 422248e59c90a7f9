// Cost of the keyframe path editor's own work, on paths of 1,000 and 10,000
// keyframes: the "add" button at the end and in the middle, the "remove"
// button and a drag of a keyframe's glyph in the middle (each with the
// keyframe, the slider's tick marks and the path display brought up to date),
// and one frame of playback (the camera of the time, the animated glyph, the
// slider), all without rendering. An edit has one 60 Hz frame, 16.7 ms.
//
// The editor runs as in vorna: a widget application (offscreen), its ports with
// their widgets, attached to a path. Viewer rendering is left out: the host's
// viewers draw only when visible, so the playback benchmark hides viewers 0 and
// 5. Hiding the path viewer would end editing (the editor watches it being
// closed), so the benchmark first puts a filter of its own in front of the
// editor's that keeps that one Hide event away from it.
#include <HxKeyframeCameraPath.h>
#include "HelixPath.h"
#include <HxKeyframeCameraPathEditor.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxMessage.h>
#include <ports/HxPort.h>
#include <session/HxSession.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoTransform.h>
#include <QApplication>
#include <QEvent>
#include <QVBoxLayout>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <clocale>
#include <cmath>
#include <memory>

namespace {

// Spacing of the keyframes: the editor's "add" appends 10 time units after the end.
constexpr float keyframeSpacing = 10.0f;

// Swallows the Hide events of the path viewer's window, so hiding it leaves the
// editor attached.
class KeepEditing : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Hide; }
};

// An editor with its port panel, attached to a helix path of n keyframes.
struct Editing {
    explicit Editing(int n)
        : path(helixPath(n, keyframeSpacing)), editor(new HxKeyframeCameraPathEditor), panel(new QWidget) {
        auto* layout = new QVBoxLayout(panel.get());
        for (HxPort* port : editor->ports()) layout->addWidget(port->createWidget(panel.get()));
        editor->attach(path);
    }
    ~Editing() {
        editor->detach();
        if (keepEditing) pathViewer()->widget()->removeEventFilter(keepEditing.get());
    }
    static HxViewer* pathViewer() { return theController->viewer(HxKeyframeCameraPathEditor::forPath); }

    // Hides the main and the path viewer, so that redraws render nothing.
    void hideViewers() {
        keepEditing = std::make_unique<KeepEditing>();
        pathViewer()->widget()->installEventFilter(keepEditing.get());
        theController->viewer(0)->hide();
        pathViewer()->hide();
    }
    float endTime() const { return path->getTime(0) + path->getDuration(); }

    McHandle<HxKeyframeCameraPath> path;
    McHandle<HxKeyframeCameraPathEditor> editor;
    std::unique_ptr<QWidget> panel;
    std::unique_ptr<KeepEditing> keepEditing;
};

// Brings the display and the slider's ticks back after the path was changed
// behind the editor's back, outside the timing.
void restoreShown(benchmark::State& state, Editing& e) {
    state.PauseTiming();
    e.path->update();
    e.editor->display->update();
    e.editor->updateKeyframeSlider();
    state.ResumeTiming();
}

// The "add" button with the slider after the last keyframe or halfway between
// the two middle ones: a new keyframe, the slider's ticks reset and the path
// display brought up to date (glyphs and flight line). So that every
// iteration adds to a path of the same size, the keyframe is removed again,
// and the display and ticks brought back, outside the timing. Re-adding at an
// existing time would be cheaper (the path replaces that keyframe and the
// display creates no glyph), so it is not used. With `selectLast` the last
// keyframe is selected first (its glyph holds the transform box), so the
// glyphs after the new one are updated in place instead.
void editorAdd(benchmark::State& state, bool atTheEnd, bool selectLast = false) {
    const int n = static_cast<int>(state.range(0));
    Editing e(n);
    if (selectLast) {
        e.hideViewers();
        e.editor->cameraSelected(n - 1, 1);
    }
    theController->viewer(0)->getCamera()->position.setValue(0, 30, 30);
    const int index = atTheEnd ? n : n / 2;
    const float where =
        atTheEnd ? e.endTime() + keyframeSpacing : 0.5f * (e.path->times[index - 1] + e.path->times[index]);
    for (auto _ : state) {
        e.editor->portTimeSlider.setValue(where);
        e.editor->add();
        state.PauseTiming();
        if (e.path->cameras.size() != n + 1 || e.path->times[index] != where) {
            state.SkipWithError("add did not insert a keyframe");
            break;
        }
        e.path->removeKeyframe(index);
        state.ResumeTiming();
        restoreShown(state, e);
    }
}

void BM_editorAdd(benchmark::State& state) { editorAdd(state, true); }
void BM_editorAddInTheMiddle(benchmark::State& state) { editorAdd(state, false); }
void BM_editorAddInTheMiddleLastSelected(benchmark::State& state) { editorAdd(state, false, true); }

// The "remove" button with the slider on the middle keyframe; the keyframe is
// put back outside the timing.
void BM_editorRemoveInTheMiddle(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int half = n / 2;
    Editing e(n);
    for (auto _ : state) {
        const float time = e.path->times[half];
        McHandle<SoCamera> removed = e.path->cameras[half];
        e.editor->portTimeSlider.setValue(time);
        e.editor->remove();
        state.PauseTiming();
        if (e.path->cameras.size() != n - 1) {
            state.SkipWithError("remove did not remove a keyframe");
            break;
        }
        e.path->addKeyframe(time, removed);
        state.ResumeTiming();
        restoreShown(state, e);
    }
}

// A drag of the middle keyframe's glyph: the transform box moves, and its
// sensor, run from the host's event round as in the window, moves the
// keyframe, the main viewer's camera and the flight line. Successive
// iterations move it back and forth by a tenth of the keyframe spacing.
void BM_editorDrag(benchmark::State& state) {
    const int half = static_cast<int>(state.range(0)) / 2;
    Editing e(static_cast<int>(state.range(0)));
    e.hideViewers();
    e.editor->cameraSelected(half, 1);
    SoTransform* manip = e.editor->keyframeManip;
    if (!manip) {
        state.SkipWithError("selecting the keyframe gave no transform box");
        return;
    }
    const SbVec3f start = e.path->cameras[half]->position.getValue();
    float lift = 0;
    for (auto _ : state) {
        lift = lift == 0 ? 0.1f * keyframeSpacing : 0.0f;
        manip->translation.setValue(start + SbVec3f(0, lift, 0));
        HxApplication::handlePendingEvents(1, QEventLoop::AllEvents);
    }
    if (e.path->cameras[half]->position.getValue() != start + SbVec3f(0, lift, 0))
        state.SkipWithError("the drag did not move the keyframe");
    e.editor->cameraSelected(half, 0);
}

// One frame of playback as the editor's play loop runs it, at 60 frames per
// second and its default speed (fps, time units per second): the camera of the
// time put into the main viewer, the animated glyph moved there (the display
// hands pending events to the host once while doing so), the slider set.
// Viewers are hidden: no rendering. With `pumpEvents` the frame also ends with
// the play loop's own round of pending events; the difference between the two
// benchmarks is the cost of one round of the host's event pump.
void playbackFrames(benchmark::State& state, bool pumpEvents) {
    Editing e(static_cast<int>(state.range(0)));
    e.hideViewers();
    if (!e.editor->isAttached() || theController->isViewerVisible(0) ||
        theController->isViewerVisible(HxKeyframeCameraPathEditor::forPath)) {
        state.SkipWithError("could not hide the viewers while editing");
        return;
    }
    const float end = e.endTime();
    const float step = e.editor->fps / 60.0f;
    float t = 0;
    for (auto _ : state) {
        e.editor->setAnimation(t);
        e.editor->portTimeSlider.setValue(t);
        if (pumpEvents) HxApplication::handlePendingEvents(1, QEventLoop::AllEvents);
        t += step;
        if (t > end) t = 0;
    }
}

void BM_editorPlaybackFrame(benchmark::State& state) { playbackFrames(state, false); }
void BM_editorPlaybackFrameWithEvents(benchmark::State& state) { playbackFrames(state, true); }

BENCHMARK(BM_editorAdd)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_editorAddInTheMiddle)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_editorAddInTheMiddleLastSelected)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_editorRemoveInTheMiddle)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_editorDrag)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_editorPlaybackFrame)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_editorPlaybackFrameWithEvents)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // The ports' widgets need a widget application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as vorna does after Qt took the locale's
    HxApplication::initInventor();
    theMsg->setEchoToStdout(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    HxSession::shutdown();
    return 0;
}
