// HxKeyframeCameraPathEditor: attachment, commands, steps and playback driven
// by a hand-run clock, keyframe editing, picking and dragging.
#include "EditorFixture.h"
#include "internal/QxTickMarkedSlider.h"

#include <hxcore/HxInterpreter.h>
#include <mc/McWatch.h>
#include <viewer/HxViewer.h>
#include <widgets/QxSlider.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/manips/SoTransformBoxManip.h>
#include <tcl.h>

#include <functional>

namespace {

SbVec3f positionOf(const SoCamera* camera) { return camera->position.getValue(); }
HxViewer* viewer(int id) { return theController->viewer(id); }

// Advances every stopwatch's clock by `step` seconds per round of pending-event
// handling, and runs actions at given rounds (1 = the first).
class DrivenClock {
public:
    explicit DrivenClock(double stepSeconds) : step(stepSeconds) { tick(); }
    ~DrivenClock() {
        running = false;
        HxApplication::handlePendingEvents();  // drops the last tick
    }
    void at(int round, std::function<void()> action) { actions.emplace_back(round, std::move(action)); }
    int rounds() const { return count; }

private:
    void tick() {
        HxApplication::post([this] {
            if (!running) return;
            clock.advance(step), ++count;
            for (auto& [round, action] : actions)
                if (round == count) action();
            tick();
        });
    }
    McManualClock clock;
    double step;
    bool running = true;
    std::vector<std::pair<int, std::function<void()>>> actions;
    int count = 0;
};

class EditorTest : public EditorFixture {
protected:
    void SetUp() override {
        // Far behind the keyframes, a scene whose bounding-box diagonal is 80: glyph scale 2.
        const float side = 80.0f / std::sqrt(3.0f);
        showBox(SbVec3f(0, 0, -300), SbVec3f(side, side, side));
        EditorFixture::SetUp();
    }
    float slider() const { return editor->portTimeSlider.getValue(); }
    void setSlider(float t) { editor->portTimeSlider.setValue(t); }
    std::vector<float> ticks() const {
        const McDArray<float>& t = editor->portTimeSlider.getSlider()->slider()->getTicks();
        return {t.begin(), t.end()};
    }
    void press(int button) {
        editor->portKCPEButtons.hit(button);
        editor->fire();
    }
    std::string run(const std::string& command) {
        const int code = theInterpreter->eval(("cameraPathEditor " + command).c_str());
        return (code == TCL_OK ? "ok: " : "error: ") + theInterpreter->result();
    }
    std::vector<float> times() const { return {path->times.begin(), path->times.end()}; }
};

bool shows(int id, SoNode* node) {
    SoSearchAction search;
    search.setNode(node);
    search.apply(viewer(id)->getSceneRoot());
    return search.getPath() != nullptr;
}

TEST_F(EditorTest, editingShowsTheDisplayInThePathViewerOnlyAndHidesTheTimePortUntilItEnds) {
    addKeyframes({0, 15, 40});
    editor->attach(path);
    EXPECT_EQ(editor->portTimeSlider.getMaxValue(), 40.0f);
    EXPECT_EQ(ticks(), times());
    for (int id : {0, 1, 5}) EXPECT_EQ(shows(id, editor->displayRoot), id == 5) << "viewer " << id;
    EXPECT_FALSE(path->portTime.isVisible());
    McHandle<SoSeparator> root = editor->displayRoot;
    editor->detach();
    EXPECT_TRUE(path->portTime.isVisible());
    EXPECT_FALSE(shows(5, root));
    EXPECT_FALSE(viewer(5)->isVisible());

    // Closing the path viewer ends editing, each time.
    for (int twice = 0; twice < 2; ++twice) {
        editor->attach(path);
        viewer(5)->hide();
        EXPECT_FALSE(editor->isAttached());
    }
    // Edited again after the first keyframe went, the slider still reaches the last.
    editor->attach(path);
    setSlider(0);
    press(1);
    viewer(5)->hide();
    editor->attach(path);
    EXPECT_EQ(editor->portTimeSlider.getMaxValue(), 40.0f);
    theObjectPool->remove(path);
    EXPECT_FALSE(editor->isAttached()) << "removing the path ends editing";
}

TEST_F(EditorTest, thePathViewerFramesThePathAndTheSceneAndKeepsAddedKeyframesInView) {
    addKeyframes({0, 10});
    SoCamera* camera = viewer(5)->getCamera();
    camera->orientation.setValue(SbVec3f(0, 1, 0), float(M_PI));  // away from everything
    auto inView = [&](const SbVec3f& point) {
        const SbVec2s size = viewer(5)->getSize();
        const SbViewVolume volume = camera->getViewVolume(float(size[0]) / float(size[1]));
        SbVec3f screen;
        volume.projectToScreen(point, screen);
        const bool ahead = (point - camera->position.getValue()).dot(volume.getProjectionDirection()) > 0;
        return ahead && screen[0] >= 0 && screen[0] <= 1 && screen[1] >= 0 && screen[1] <= 1;
    };
    editor->attach(path);
    for (const SbVec3f& point : {SbVec3f(0, 0, 0), SbVec3f(10, 0, 0), SbVec3f(0, 0, -300)})
        EXPECT_TRUE(inView(point)) << point[0] << " " << point[2];
    viewer(0)->getCamera()->position.setValue(1000, 0, 0);
    setSlider(20);
    press(0);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(inView(positionOf(path->cameras[k]))) << "keyframe " << k;
}

TEST_F(EditorTest, commandsRefuseBadArgumentsAndChangeNothing) {
    EXPECT_EQ(run("constv"), "error: cameraPathEditor constv: the editor is not attached to a keyframe path");
    // Its buttons say why they do nothing.
    press(0);
    editor->play();
    const std::string why =
        "cameraPathEditor is not attached to a keyframe path: select one and edit it (Edit > "
        "Edit Selected, or the command \"edit name\").\n";
    EXPECT_EQ(theMsg->text(), why + why);
    EXPECT_EQ(path->cameras.size(), 0);
    editor->attach(path);
    const McHandle<VeVazaruMetric> metric = path->metric;
    for (const auto& [command, message] : {std::pair<const char*, const char*>{"fps", "fps: wrong number of arguments"},
                                           {"fps 1e-30", "fps: expected a number from 0.001 up, got \"1e-30\""},
                                           {"metric zflow 2", "metric zflow: expected 0 or 1, got \"2\""}})
        EXPECT_EQ(run(command), std::string("error: cameraPathEditor ") + message);
    EXPECT_EQ(path->metric.ptr(), metric.ptr());
    EXPECT_EQ(run("fps 25"), "ok: ");
    EXPECT_EQ(editor->fps, 25.0f);
}

TEST_F(EditorTest, stepsAndJumpsLeaveTheSliderAndTheMainViewAtTheExpectedTime) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    using E = HxKeyframeCameraPathEditor;
    const struct {
        void (E::*operation)();
        float from, to;
    } moves[] = {{&E::jmpfwd, 5, 10},  {&E::jmpfwd, 10, 20},       {&E::jmpfwd, 25, 20},
                 {&E::jmpbwd, 15, 10}, {&E::jmpbwd, 10, 0},        {&E::jmpbwd, 0, 0},
                 {&E::stepbwd, 0, 0},  {&E::stepbwd, 0.5f, -0.5f}, {&E::stepfwd, 20, 21}};
    for (const auto& m : moves) {
        SCOPED_TRACE(::testing::Message() << "move " << (&m - moves) << " from " << m.from);
        setSlider(m.from);
        editor->playing = 1;
        (editor.ptr()->*m.operation)();
        EXPECT_EQ(slider(), m.to);
        EXPECT_EQ(editor->playing, 0);
        McHandle<SoCamera> expected = path->getCamera(m.to);
        EXPECT_TRUE(m.to == m.from || positionOf(viewer(0)->getCamera()) == positionOf(expected));
    }
}

TEST_F(EditorTest, playbackEndsExactlyAtThePathsEndOrTheSubRange) {
    addKeyframes({5, 15, 25});
    editor->attach(path);
    editor->portTimeSlider.setMaxValue(30);
    editor->portTimeSlider.getSlider()->slider()->setSubRange(0, 30);
    setSlider(5);
    DrivenClock clock(0.15);
    editor->play();
    EXPECT_EQ(slider(), 25.0f);
    EXPECT_EQ(editor->playing, 0);
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(20, 0, 0));
    const int rounds = clock.rounds();
    editor->play();  // at the end already
    EXPECT_EQ(clock.rounds(), rounds);

    editor->portTimeSlider.getSlider()->slider()->setSubRange(8, 17);
    setSlider(10);
    editor->play();
    EXPECT_EQ(slider(), 17.0f);
    editor->playbwd();
    EXPECT_EQ(slider(), 8.0f);
}

TEST_F(EditorTest, eventsInsideTheLoopStopItOrEndEditingSafely) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    DrivenClock clock(0.1);
    clock.at(5, [&] { editor->play(); });  // a second play stops the first
    editor->play();
    const float stoppedAt = slider();
    EXPECT_GT(stoppedAt, 0.0f);
    EXPECT_LT(stoppedAt, 10.0f);
    EXPECT_EQ(editor->playing, 0);

    // The editor and the path leave the pool, and the test lets go of them, while the loop runs.
    HxKeyframeCameraPathEditor* running = editor.ptr();
    clock.at(clock.rounds() + 2, [&] {
        theObjectPool->remove(path);
        theObjectPool->remove(editor);
        path = nullptr;
        editor = nullptr;
    });
    running->play();
    EXPECT_EQ(running->playing, 0);
}

TEST_F(EditorTest, onlyForwardPlaybackFollowsTheDepthFlowTimeTable) {
    addKeyframes({0, 10});
    editor->attach(path);
    EXPECT_EQ(editor->getRealTime(3), 10.0f) << "no table: the end";
    for (float t : {0.0f, 8.0f, 10.0f}) editor->timeTable.append(t);
    for (const auto& [flowTime, realTime] : {std::pair<float, float>{4, 2.5f}, {9, 7.5f}, {10, 10}, {12, 10}})
        EXPECT_EQ(editor->getRealTime(flowTime), realTime) << flowTime;
    editor->useZflow = 1;
    // Each frame lets events through twice (once while the animated camera moves).
    DrivenClock clock(0.2);
    ::testing::internal::CaptureStdout();
    editor->play();
    const std::string forward = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(forward.rfind("Time 0 -> 0\nTime 4 -> 2.5\n", 0), 0u) << forward;
    EXPECT_EQ(slider(), 10.0f);
    ::testing::internal::CaptureStdout();
    editor->playbwd();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(slider(), 0.0f);
}

TEST_F(EditorTest, addRecordsTheMainCameraAtTenUnitStepsAndInsertsOrReplacesInside) {
    editor->attach(path);
    for (int k = 0; k < 3; ++k) {
        viewer(0)->getCamera()->position.setValue(5.0f * float(k), 1, 0);
        press(0);
    }
    EXPECT_EQ(times(), (std::vector<float>{0, 10, 20}));
    EXPECT_EQ(positionOf(path->cameras[2]), SbVec3f(10, 1, 0));
    EXPECT_EQ(slider(), 30.0f);
    EXPECT_EQ(editor->display->keyframeGroup->getNumChildren(), 3);
    setSlider(5);
    press(0);
    viewer(0)->getCamera()->position.setValue(7, 7, 7);
    press(0);  // replaces the keyframe at 5
    EXPECT_EQ(times(), (std::vector<float>{0, 5, 10, 20}));
    EXPECT_EQ(positionOf(path->cameras[1]), SbVec3f(7, 7, 7));
    EXPECT_EQ(slider(), 5.0f);
    EXPECT_EQ(ticks(), times());
}

TEST_F(EditorTest, removeTakesTheKeyframeUnderTheSliderAndMovesToItsNeighbour) {
    addKeyframes({0, 1.0f / 3.0f, 10, 100.0f / 7.0f});
    editor->attach(path);
    setSlider(3.3f);
    press(1);
    EXPECT_EQ(theMsg->text(), "Please use step buttons to select a keyframe.\n");
    EXPECT_EQ(path->times.size(), 4);
    // Times the slider cannot show in two decimals are found too.
    setSlider(0);
    editor->jmpfwd();
    press(1);
    EXPECT_EQ(times(), (std::vector<float>{0, 10, 100.0f / 7.0f}));
    setSlider(0);
    press(1);  // the first: on to the next
    EXPECT_EQ(slider(), 10.0f);
    setSlider(100.0f / 7.0f);
    press(1);  // the last: back to the one before
    EXPECT_EQ(slider(), 10.0f);
    EXPECT_EQ(times(), std::vector<float>{10});
    EXPECT_EQ(ticks(), times());
    EXPECT_EQ(editor->display->keyframeGroup->getNumChildren(), 1);
}

TEST_F(EditorTest, pickingShowsTheKeyframeAndDraggingMovesItTheLineAndTheMainViewButNeverScales) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    viewer(5)->setSize(400, 400);
    auto* camera = static_cast<SoPerspectiveCamera*>(viewer(5)->getCamera());
    camera->position.setValue(10, 0, 60);
    camera->orientation.setValue(SbRotation::identity());
    camera->nearDistance = 1;
    camera->farDistance = 500;
    auto clickGlyph = [&](int k) {  // on the upper face of glyph k
        const SoCamera* keyframe = path->cameras[k];
        SbVec3f offset, screen;
        keyframe->orientation.getValue().multVec(SbVec3f(0, 0.9f, -1.8f) * editor->display->scale, offset);
        viewer(5)->getCamera()->getViewVolume(1.0f).projectToScreen(positionOf(keyframe) + offset, screen);
        EXPECT_TRUE(viewer(5)->click(int(screen[0] * 400), int((1 - screen[1]) * 400)));
    };
    auto glyphTransform = [&](int k) {
        return static_cast<SoGroup*>(editor->display->keyframeGroup->getChild(k))->getChild(0);
    };
    clickGlyph(2);
    clickGlyph(1);  // the former selection is released first
    EXPECT_EQ(slider(), 10.0f);
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(10, 0, 0));
    EXPECT_FALSE(glyphTransform(2)->isOfType(SoTransformBoxManip::getClassTypeId()));
    SoTransform* manip = editor->keyframeManip;
    ASSERT_EQ(glyphTransform(1), manip);

    manip->translation.setValue(10, 5, 0);
    manip->rotation.setValue(SbVec3f(0, 1, 0), 0.5f);
    manip->scaleFactor.setValue(9, 9, 9);
    HxApplication::handlePendingEvents();  // the sensor runs from the delay queue
    EXPECT_EQ(positionOf(path->cameras[1]), SbVec3f(10, 5, 0));
    EXPECT_TRUE(path->cameras[1]->orientation.getValue().equals(SbRotation(SbVec3f(0, 1, 0), 0.5f), 1e-6f));
    const float s = editor->display->scale;
    EXPECT_EQ(manip->scaleFactor.getValue(), SbVec3f(s, s, s));
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(10, 5, 0));
    EXPECT_EQ(editor->display->pathCoords->point[10], SbVec3f(10, 5, 0));

    editor->cameraSelected(1, 0);
    EXPECT_EQ(editor->keyframeManip.ptr(), nullptr);
    EXPECT_EQ(static_cast<SoTransform*>(glyphTransform(1))->translation.getValue(), SbVec3f(10, 5, 0))
        << "the glyph stays where it was dragged";
}

}  // namespace
