// HxKeyframeCameraPathEditor: attachment, its commands, playback driven by a
// hand-run clock, keyframe editing, and picking and dragging a keyframe.
#include "EditorFixture.h"
#include "HxCircularCameraPath.h"
#include "internal/QxTickMarkedSlider.h"

#include <WidgetApplication.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McWatch.h>
#include <session/HxPortPanels.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <widgets/QxSlider.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/manips/SoTransformBoxManip.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoTranslation.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <tcl.h>
#include <unistd.h>
#include <vector>

namespace {

SbVec3f positionOf(const SoCamera* camera) { return camera->position.getValue(); }
HxViewer* viewer(int id) { return theController->viewer(id); }

// True when `node` is in the scene of viewer `id`.
bool shows(int id, SoNode* node) {
    SoSearchAction search;
    search.setNode(node);
    search.apply(viewer(id)->getSceneRoot());
    return search.getPath() != nullptr;
}

// Makes the clock of every stopwatch advance by `step` seconds per round of
// pending-event handling, as a running playback loop sees it.
class DrivenClock {
public:
    explicit DrivenClock(double stepSeconds) : step(stepSeconds) {}
    ~DrivenClock() {
        *running = false;
        HxApplication::handlePendingEvents();  // drops the last tick
    }
    void start() { tick(running, step, clock, onTick); }
    // Runs `action` at the given tick (1 = the first round of the loop).
    void at(int round, std::function<void()> action) { actions.emplace_back(round, std::move(action)); }
    double time() const { return clock.time(); }
    int rounds() const { return count; }

private:
    static void tick(std::shared_ptr<bool> on, double step, McManualClock& clock, std::function<void()>& each) {
        HxApplication::post([on, step, &clock, &each] {
            if (!*on) return;
            clock.advance(step);
            each();
            tick(on, step, clock, each);
        });
    }
    McManualClock clock;
    double step;
    std::shared_ptr<bool> running = std::make_shared<bool>(true);
    std::vector<std::pair<int, std::function<void()>>> actions;
    int count = 0;
    std::function<void()> onTick = [this] {
        ++count;
        for (auto& [round, action] : actions)
            if (round == count) action();
    };
};

class EditorTest : public EditorFixture {
protected:
    void SetUp() override {
        // Far behind the keyframes, a scene whose bounding-box diagonal is 80:
        // keyframe glyphs get the scale 2.
        const float side = 80.0f / std::sqrt(3.0f);
        showBox(SbVec3f(0, 0, -300), SbVec3f(side, side, side));
        EditorFixture::SetUp();
    }

    // Keyframes at the times, cameras in a row along x looking down -z.
    void addKeyframes(std::vector<float> times) {
        McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
        for (std::size_t k = 0; k < times.size(); ++k) {
            camera->position.setValue(10.0f * static_cast<float>(k), 0, 0);
            path->addKeyframe(times[k], camera);
        }
    }
    float slider() const { return editor->portTimeSlider.getValue(); }
    void setSlider(float t) { editor->portTimeSlider.setValue(t); }
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

// ---------------------------------------------------------------- attachment

TEST_F(EditorTest, sliderMaximumIsTenForAnEmptyPathAndTheDurationOtherwise) {
    editor->attach(path);
    EXPECT_EQ(editor->portTimeSlider.getMaxValue(), 10.0f);
    editor->detach();
    addKeyframes({0, 15, 40});
    editor->attach(path);
    EXPECT_EQ(editor->portTimeSlider.getMaxValue(), 40.0f);
    EXPECT_EQ(editor->portTimeSlider.getSlider()->slider()->getTicks().size(), 3);
}

TEST_F(EditorTest, editingShowsTheDisplayInThePathViewerOnlyAndHidesTheTimePort) {
    addKeyframes({0, 10});
    editor->attach(path);
    EXPECT_EQ(editor->getViewerMask(), 1 << HxKeyframeCameraPathEditor::forPath);
    for (int id : {0, 1, 5}) EXPECT_EQ(shows(id, editor->displayRoot), id == 5) << "viewer " << id;
    EXPECT_FALSE(path->portTime.isVisible());
    EXPECT_TRUE(viewer(0)->isVisible() && viewer(5)->isVisible());
    EXPECT_FALSE(viewer(0)->hasLogo() || viewer(5)->hasLogo());
    EXPECT_FLOAT_EQ(editor->display->scale, 2.0f);

    path->setViewerMask(0x3);
    McHandle<SoSeparator> root = editor->displayRoot;
    editor->detach();
    EXPECT_TRUE(path->portTime.isVisible());
    EXPECT_EQ(path->getViewerMask(), 0xffff);
    EXPECT_FALSE(shows(5, root));
    EXPECT_FALSE(viewer(5)->isVisible());
    EXPECT_EQ(editor->display.ptr(), nullptr);
}

TEST_F(EditorTest, closingThePathViewerDetachesAndReopeningInstallsANewCatcher) {
    editor->attach(path);
    viewer(5)->hide();
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(editor->hideEventCatcher, nullptr);
    EXPECT_TRUE(path->portTime.isVisible());

    editor->attach(path);
    ASSERT_NE(editor->hideEventCatcher, nullptr);
    viewer(5)->hide();
    EXPECT_FALSE(editor->isAttached());
}

TEST_F(EditorTest, otherDataIsLeftAlone) {
    McHandle<HxCircularCameraPath> circle = new HxCircularCameraPath;
    circle->setLabel("circle");
    editor->attach(circle);
    EXPECT_EQ(editor->path.ptr(), nullptr);
    EXPECT_EQ(theMsg->text(), "cameraPathEditor: circle is not a keyframe camera path\n");
    EXPECT_TRUE(circle->portTime.isVisible());
    editor->detach();
    EXPECT_FALSE(editor->isAttached());
}

TEST_F(EditorTest, removingThePathEndsEditing) {
    editor->attach(path);
    theObjectPool->remove(path);
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(editor->path.ptr(), nullptr);
}

TEST_F(EditorTest, theWidgetsOfItsPortPanelDriveTheEditor) {
    editor->attach(path);
    QWidget* panel = HxPortPanels::find(editor);
    ASSERT_NE(panel, nullptr);
    QPushButton* add = nullptr;
    std::vector<QPushButton*> player;
    for (QPushButton* button : panel->findChildren<QPushButton*>()) {
        if (button->text() == "add") add = button;
        if (button->text().isEmpty()) player.push_back(button);
    }
    ASSERT_NE(add, nullptr);
    ASSERT_EQ(player.size(), 7u);
    add->click();
    add->click();
    EXPECT_EQ(times(), (std::vector<float>{0, 10}));
    EXPECT_EQ(slider(), 20.0f);
    player[1]->click();  // jump back
    EXPECT_EQ(slider(), 10.0f);
    editor->portTimeSlider.getSlider()->textField()->setText("2.5");
    emit editor->portTimeSlider.getSlider()->textField()->returnPressed();
    player[4]->click();  // step forward from the typed time
    EXPECT_EQ(slider(), 3.5f);
}

// ---------------------------------------------------------------- commands

TEST_F(EditorTest, commandsSetTheirValuesQuietly) {
    editor->attach(path);
    EXPECT_EQ(run("fps 25"), "ok: ");
    EXPECT_EQ(editor->fps, 25.0f);
    McHandle<VeVazaruMetric> before = path->metric;
    EXPECT_EQ(theMsg->text(), "");

    EXPECT_EQ(run("metric translation"), "ok: ");
    EXPECT_NE(path->metric.ptr(), before.ptr());
    before = path->metric;
    EXPECT_EQ(run("metric optical"), "ok: ");
    EXPECT_NE(path->metric.ptr(), before.ptr());
    EXPECT_EQ(run("metric zflow 1"), "ok: ");
    EXPECT_EQ(editor->useZflow, 1);
    EXPECT_EQ(theMsg->text(), "use zflow = 1\n");
}

TEST_F(EditorTest, missingArgumentsGiveTheUsageAndAFailure) {
    editor->attach(path);
    for (const char* command : {"fps", "fps 1 2", "project 1 2", "metric zflow", "metric", "createCircularPath 1 2"}) {
        theMsg->clear();
        const std::string word = std::string(command).substr(0, std::string(command).find(' '));
        EXPECT_EQ(run(command), "error: cameraPathEditor " + word + ": wrong number of arguments");
        EXPECT_EQ(theMsg->text().rfind("usage: cameraPathEditor " + word, 0), 0u) << theMsg->text();
    }
    const McHandle<VeVazaruMetric> metric = path->metric;
    theMsg->clear();
    const std::pair<const char*, const char*> refusals[] = {
        {"fps 0", "fps: expected a number from 0.001 up, got \"0\""},
        {"fps -2", "fps: expected a number from 0.001 up, got \"-2\""},
        {"fps abc", "fps: expected a number from 0.001 up, got \"abc\""},
        {"fps inf", "fps: expected a number from 0.001 up, got \"inf\""},
        // Playback at this rate would never end.
        {"fps 1e-30", "fps: expected a number from 0.001 up, got \"1e-30\""},
        {"project a b c", "project: expected three numbers"},
        {"metric bogus", "metric: unknown metric \"bogus\" (translation, optical or zflow n)"},
        {"metric zflow 2", "metric zflow: expected 0 or 1, got \"2\""},
        {"createCircularPath abc", "createCircularPath: expected an angle in degrees"}};
    for (const auto& [command, message] : refusals)
        EXPECT_EQ(run(command), std::string("error: cameraPathEditor ") + message);
    EXPECT_EQ(theMsg->text(), "");
    EXPECT_EQ(editor->fps, 10.0f);
    EXPECT_EQ(editor->useZflow, 0);
    EXPECT_EQ(path->metric.ptr(), metric.ptr());
    EXPECT_EQ(path->cameras.size(), 0);
    EXPECT_EQ(run("bogus"), "error: unknown command \"bogus\"");
}

TEST_F(EditorTest, aMainCameraThatIsNotFiniteGivesNoKeyframe) {
    editor->attach(path);
    viewer(0)->getCamera()->focalDistance = std::numeric_limits<float>::infinity();
    press(0);
    EXPECT_EQ(theMsg->text(), "The main viewer's camera has numbers that are not finite; no keyframe added.\n");
    EXPECT_EQ(theInterpreter->eval("path append"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "path append: the main viewer's camera has numbers that are not finite");
    EXPECT_EQ(path->cameras.size(), 0);
}

TEST_F(EditorTest, projectPrintsTheCameraAndViewVolumeProjections) {
    viewer(0)->getCamera()->position.setValue(0, 0, 10);
    EXPECT_EQ(run("project 0 0 0"), "ok: ");
    std::istringstream lines(theMsg->text());
    std::string camera, volume;
    std::getline(lines, camera);
    std::getline(lines, volume);
    // Straight ahead: the centre of the normalised view, x = y = 0 and 0.5 on screen.
    EXPECT_EQ(camera.rfind("Camera: 0 0 ", 0), 0u) << camera;
    EXPECT_EQ(volume.rfind("ViewVo: 0.5 0.5 ", 0), 0u) << volume;
}

TEST_F(EditorTest, pathCommandsNeedAnAttachedPath) {
    EXPECT_EQ(run("constv"), "error: cameraPathEditor constv: the editor is not attached to a keyframe path");
    EXPECT_EQ(run("createCircularPath"),
              "error: cameraPathEditor createCircularPath: the editor is not attached to a keyframe path");
}

TEST_F(EditorTest, circularPathFromTheButtonTurnsFullyAndFromTheCommandByItsAngle) {
    editor->attach(path);
    press(2);
    ASSERT_EQ(path->times.size(), 17);
    EXPECT_EQ(path->times[1], 6.25f);
    EXPECT_EQ(editor->portTimeSlider.getMaxValue(), 100.0f);

    EXPECT_EQ(run("createCircularPath 180"), "ok: ");
    EXPECT_EQ(path->times.size(), 16);
    EXPECT_EQ(editor->portTimeSlider.getMaxValue(), 93.75f);
    EXPECT_EQ(editor->portTimeSlider.getSlider()->slider()->getTicks().size(), 16);
}

TEST_F(EditorTest, constvRetimesAndUpdatesTheTicks) {
    addKeyframes({0, 1, 20});  // equal distances, unequal times
    editor->attach(path);
    press(3);
    EXPECT_NEAR(path->times[1], 10.0f, 1e-3f);
    EXPECT_EQ(editor->portTimeSlider.getSlider()->slider()->getTicks()[1], path->times[1]);
}

// ---------------------------------------------------------------- steps and jumps

struct Move {
    const char* name;
    void (HxKeyframeCameraPathEditor::*operation)();
    float from;
    float to;
};

class EditorMoves : public EditorTest, public ::testing::WithParamInterface<Move> {};

TEST_P(EditorMoves, leaveTheSliderAtTheExpectedTime) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    setSlider(GetParam().from);
    editor->playing = 1;
    (editor.ptr()->*GetParam().operation)();
    EXPECT_EQ(slider(), GetParam().to);
    EXPECT_EQ(editor->currentTime, GetParam().to);
    EXPECT_EQ(editor->playing, 0);
}

INSTANTIATE_TEST_SUITE_P(Steps, EditorMoves,
                         ::testing::Values(Move{"jmpfwdFrom5", &HxKeyframeCameraPathEditor::jmpfwd, 5, 10},
                                           Move{"jmpfwdFrom10", &HxKeyframeCameraPathEditor::jmpfwd, 10, 20},
                                           Move{"jmpfwdFrom20", &HxKeyframeCameraPathEditor::jmpfwd, 20, 20},
                                           Move{"jmpfwdFrom25", &HxKeyframeCameraPathEditor::jmpfwd, 25, 20},
                                           Move{"jmpbwdFrom15", &HxKeyframeCameraPathEditor::jmpbwd, 15, 10},
                                           Move{"jmpbwdFrom10", &HxKeyframeCameraPathEditor::jmpbwd, 10, 0},
                                           Move{"jmpbwdFrom0", &HxKeyframeCameraPathEditor::jmpbwd, 0, 0},
                                           Move{"stepbwdFromHalf", &HxKeyframeCameraPathEditor::stepbwd, 0.5f, -0.5f},
                                           Move{"stepbwdFrom0", &HxKeyframeCameraPathEditor::stepbwd, 0, 0},
                                           Move{"stepfwdPastTheEnd", &HxKeyframeCameraPathEditor::stepfwd, 20, 21}),
                         [](const ::testing::TestParamInfo<Move>& move) { return std::string(move.param.name); });

TEST_F(EditorTest, movesShowThePathInTheMainViewer) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    setSlider(3.3f);
    editor->jmpfwd();
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(10, 0, 0));
    editor->stepbwd();
    EXPECT_LT(positionOf(viewer(0)->getCamera())[0], 10.0f);
    EXPECT_GT(positionOf(viewer(0)->getCamera())[0], 0.0f);
}

TEST_F(EditorTest, withFewerThanTwoKeyframesEveryMoveGoesToTheOnlyKeyframe) {
    editor->attach(path);
    using Op = void (HxKeyframeCameraPathEditor::*)();
    const Op moves[] = {&HxKeyframeCameraPathEditor::stepfwd, &HxKeyframeCameraPathEditor::stepbwd,
                        &HxKeyframeCameraPathEditor::jmpfwd,  &HxKeyframeCameraPathEditor::jmpbwd,
                        &HxKeyframeCameraPathEditor::play,    &HxKeyframeCameraPathEditor::playbwd};
    for (float only : {0.0f, 7.0f}) {
        if (only != 0.0f) addKeyframes({only});
        for (Op move : moves) {
            setSlider(3);
            (editor.ptr()->*move)();
            EXPECT_EQ(slider(), only);
            EXPECT_EQ(editor->playing, 0);
        }
    }
}

// ---------------------------------------------------------------- playback

TEST_F(EditorTest, playReachesTheEndInDrivenTimeAndStops) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    DrivenClock clock(0.1);
    clock.start();
    editor->play();
    EXPECT_EQ(slider(), 20.0f);
    EXPECT_EQ(editor->playing, 0);
    EXPECT_NEAR(clock.time(), 2.0, 0.3);
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(20, 0, 0));

    const int rounds = clock.rounds();
    editor->play();  // at the end already
    EXPECT_EQ(clock.rounds(), rounds);
    EXPECT_EQ(slider(), 20.0f);
}

TEST_F(EditorTest, playbackStopsAtTheSubRange) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    editor->portTimeSlider.getSlider()->slider()->setSubRange(4, 15);
    DrivenClock clock(0.25);
    clock.start();
    editor->play();
    EXPECT_EQ(slider(), 15.0f);
    editor->playbwd();
    EXPECT_EQ(slider(), 4.0f);
    EXPECT_EQ(editor->playing, 0);
}

TEST_F(EditorTest, eventsInsideTheLoopStopOrRedirectIt) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    DrivenClock clock(0.1);
    clock.at(5, [&] { editor->play(); });  // a second play stops the first
    clock.start();
    editor->play();
    const float stoppedAt = slider();
    EXPECT_GT(stoppedAt, 0.0f);
    EXPECT_LT(stoppedAt, 10.0f);
    EXPECT_EQ(editor->playing, 0);

    clock.at(clock.rounds() + 3, [&] { editor->stepfwd(); });
    editor->play();  // starts again from the slider
    EXPECT_GT(slider(), stoppedAt + 1.0f);
    EXPECT_LT(slider(), 20.0f);
    EXPECT_EQ(editor->playing, 0);
}

TEST_F(EditorTest, detachingOrRemovingDuringPlaybackEndsTheLoopSafely) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    DrivenClock clock(0.1);
    clock.at(3, [&] { editor->detach(); });
    clock.start();
    editor->play();
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(editor->playing, 0);
    EXPECT_LT(clock.rounds(), 5);

    // The editor and the path leave the pool, and the test lets go of them,
    // while the loop runs.
    editor->attach(path);
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

TEST_F(EditorTest, flowBasedPlaybackShowsTheRealTimesAndPrintsThem) {
    addKeyframes({0, 10});
    editor->attach(path);
    editor->useZflow = 1;
    editor->timeTable.resize(3);
    editor->timeTable[0] = 0, editor->timeTable[1] = 8, editor->timeTable[2] = 10;
    // Each frame lets events through twice (once while the animated camera
    // moves): 0.4 s of playback per frame.
    DrivenClock clock(0.2);
    clock.at(4, [&] { EXPECT_EQ(slider(), editor->getRealTime(4.0f)); });
    clock.start();
    ::testing::internal::CaptureStdout();
    editor->play();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Time 0 -> 0\nTime 4 -> 2.5\n", 0), 0u) << out;
    EXPECT_EQ(slider(), 10.0f);
}

TEST_F(EditorTest, realTimeFollowsTheTimeTable) {
    addKeyframes({0, 10});
    editor->attach(path);
    EXPECT_EQ(editor->getRealTime(3), 10.0f) << "no table: the end";
    for (float t : {0.0f, 8.0f, 10.0f}) editor->timeTable.append(t);
    EXPECT_EQ(editor->getRealTime(4), 2.5f);
    EXPECT_EQ(editor->getRealTime(9), 7.5f);
    EXPECT_EQ(editor->getRealTime(10), 10.0f);
    EXPECT_EQ(editor->getRealTime(12), 10.0f);
}

TEST_F(EditorTest, timeTableIsBuiltFromTheSamplesAndWritten) {
    addKeyframes({0, 8});
    editor->attach(path);
    const auto dir = std::filesystem::temp_directory_path() / ("vevazaru-editor-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const struct {
        std::vector<float> samples, table;
        const char* written;
    } cases[] = {{{5, 1, 3}, {0, 2, 8}, "2\n8\n"},
                 // Nothing moved: the path's own times, not 0/0.
                 {{0, 0, 0}, {0, 4, 8}, "4\n8\n"}};
    for (const auto& c : cases) {
        editor->flowSamples.resize(0);
        for (float s : c.samples) editor->flowSamples.append(s);
        editor->initTimeTable();
        EXPECT_EQ(std::vector<float>(editor->timeTable.begin(), editor->timeTable.end()), c.table);
        std::ifstream written(dir / "time.dat");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), c.written);
    }
    std::filesystem::current_path(before);
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------- keyframe editing

TEST_F(EditorTest, addRecordsAtTenUnitStepsAndFramesThePathViewerForTheFirstTwo) {
    editor->attach(path);
    SoCamera* pathCamera = viewer(5)->getCamera();
    std::vector<bool> framed;
    for (int k = 0; k < 3; ++k) {
        viewer(0)->getCamera()->position.setValue(5.0f * k, 1, 0);
        pathCamera->position.setValue(0, 0, 12345);
        press(0);
        framed.push_back(positionOf(pathCamera) != SbVec3f(0, 0, 12345));
    }
    EXPECT_EQ(times(), (std::vector<float>{0, 10, 20}));
    EXPECT_EQ(positionOf(path->cameras[2]), SbVec3f(10, 1, 0));
    EXPECT_EQ(slider(), 30.0f);
    EXPECT_EQ(framed, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(editor->display->keyframeGroup->getNumChildren(), 3);
}

TEST_F(EditorTest, addInsideThePathInsertsOrReplacesWithoutMovingOn) {
    addKeyframes({0, 10});
    editor->attach(path);
    setSlider(5);
    press(0);
    EXPECT_EQ(times(), (std::vector<float>{0, 5, 10}));
    EXPECT_EQ(slider(), 5.0f);

    viewer(0)->getCamera()->position.setValue(7, 7, 7);
    press(0);  // replaces the keyframe at 5
    EXPECT_EQ(times(), (std::vector<float>{0, 5, 10}));
    EXPECT_EQ(positionOf(path->cameras[1]), SbVec3f(7, 7, 7));
    EXPECT_EQ(slider(), 5.0f);
    setSlider(10);
    press(0);  // replaces the last: moves on
    EXPECT_EQ(slider(), 20.0f);
}

TEST_F(EditorTest, removeNeedsTheSliderExactlyOnAKeyframe) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    setSlider(3.3f);
    press(1);
    EXPECT_EQ(theMsg->text(), "Please use step buttons to select a keyframe.\n");
    EXPECT_EQ(path->times.size(), 3);

    editor->jmpfwd();
    press(1);
    EXPECT_EQ(times(), (std::vector<float>{0, 20}));
    EXPECT_EQ(slider(), 10.0f);
}

TEST_F(EditorTest, removeAtTheEndsMovesToTheNeighbour) {
    addKeyframes({0, 10, 20});
    editor->attach(path);
    setSlider(0);
    press(1);
    EXPECT_EQ(times(), (std::vector<float>{10, 20}));
    EXPECT_EQ(slider(), 10.0f);
    setSlider(20);
    press(1);
    EXPECT_EQ(times(), (std::vector<float>{10}));
    EXPECT_EQ(slider(), 10.0f);
    press(1);
    EXPECT_TRUE(times().empty());
    EXPECT_EQ(slider(), 10.0f);
    EXPECT_EQ(editor->display->keyframeGroup->getNumChildren(), 0);
}

TEST_F(EditorTest, removeFindsKeyframeTimesTheSliderCannotShowInTwoDecimals) {
    addKeyframes({0, 1.0f / 3.0f, 100.0f / 7.0f});
    editor->attach(path);
    editor->portTimeSlider.setMaxValue(1);  // the last keyframe lies beyond the range
    setSlider(0);
    editor->jmpfwd();
    editor->jmpfwd();
    press(1);
    EXPECT_EQ(times(), (std::vector<float>{0, 1.0f / 3.0f}));
}

// ---------------------------------------------------------------- picking and dragging

class EditorPickTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        addKeyframes({0, 10, 20});
        editor->attach(path);
        HxViewer* v = viewer(5);
        v->setSize(400, 400);
        auto* camera = static_cast<SoPerspectiveCamera*>(v->getCamera());
        camera->position.setValue(10, 0, 60);
        camera->orientation.setValue(SbRotation::identity());
        camera->nearDistance = 1;
        camera->farDistance = 500;
    }
    // Clicks a point on the upper face of glyph k.
    void clickGlyph(int k) {
        const SoCamera* keyframe = path->cameras[k];
        SbVec3f offset, screen;
        keyframe->orientation.getValue().multVec(SbVec3f(0, 0.9f, -1.8f) * editor->display->scale, offset);
        viewer(5)->getCamera()->getViewVolume(1.0f).projectToScreen(positionOf(keyframe) + offset, screen);
        ASSERT_TRUE(viewer(5)->click(static_cast<int>(screen[0] * 400), static_cast<int>((1 - screen[1]) * 400)));
    }
    SoNode* glyphTransform(int k) const {
        auto* glyph = static_cast<SoGroup*>(editor->display->keyframeGroup->getChild(k));
        for (int i = 0; i < glyph->getNumChildren(); ++i)
            if (glyph->getChild(i)->isOfType(SoTransform::getClassTypeId())) return glyph->getChild(i);
        return nullptr;
    }
};

TEST_F(EditorPickTest, pickingAKeyframeShowsItsViewAndPutsTheManipulatorOnIt) {
    clickGlyph(1);
    EXPECT_EQ(slider(), 10.0f);
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(10, 0, 0));
    EXPECT_EQ(editor->selectedKeyframe, 1);
    ASSERT_NE(editor->keyframeManip.ptr(), nullptr);
    EXPECT_EQ(glyphTransform(1), editor->keyframeManip.ptr());
    EXPECT_NE(editor->manipSensor, nullptr);

    clickGlyph(2);  // the former selection is released first
    EXPECT_EQ(slider(), 20.0f);
    EXPECT_TRUE(glyphTransform(1)->isOfType(SoTransform::getClassTypeId()));
    EXPECT_FALSE(glyphTransform(1)->isOfType(SoTransformBoxManip::getClassTypeId()));
    EXPECT_EQ(glyphTransform(2), editor->keyframeManip.ptr());
}

TEST_F(EditorPickTest, draggingMovesTheKeyframeTheLineAndTheMainViewButNeverScales) {
    clickGlyph(1);
    SoTransform* manip = editor->keyframeManip;
    const SbVec3f lineBefore = editor->display->pathCoords->point[10];
    manip->translation.setValue(10, 5, 0);
    manip->rotation.setValue(SbVec3f(0, 1, 0), 0.5f);
    manip->scaleFactor.setValue(9, 9, 9);
    HxApplication::handlePendingEvents();  // the sensor runs from the delay queue

    EXPECT_EQ(positionOf(path->cameras[1]), SbVec3f(10, 5, 0));
    EXPECT_TRUE(path->cameras[1]->orientation.getValue().equals(SbRotation(SbVec3f(0, 1, 0), 0.5f), 1e-6f));
    const float s = editor->display->scale;
    EXPECT_EQ(manip->scaleFactor.getValue(), SbVec3f(s, s, s));
    EXPECT_EQ(positionOf(viewer(0)->getCamera()), SbVec3f(10, 5, 0));
    EXPECT_NE(editor->display->pathCoords->point[10], lineBefore);
    EXPECT_EQ(editor->display->pathCoords->point[10], SbVec3f(10, 5, 0));

    editor->cameraSelected(1, 0);
    EXPECT_EQ(editor->keyframeManip.ptr(), nullptr);
    EXPECT_EQ(editor->manipSensor, nullptr);
    auto* plain = static_cast<SoTransform*>(glyphTransform(1));
    EXPECT_EQ(plain->translation.getValue(), SbVec3f(10, 5, 0)) << "the glyph stays where it was dragged";
}

}  // namespace
