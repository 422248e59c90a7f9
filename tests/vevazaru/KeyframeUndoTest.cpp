// The editor's undo history: every kind of keyframe change is one step that
// undoes to the path as it was and redoes to the path as it became; re-timing
// keeps the keyframes' order; the history outlives a detach.
#include "EditorFixture.h"
#include "internal/QxTickMarkedSlider.h"

#include <hxcore/HxInterpreter.h>
#include <hxcore/HxUndoHistory.h>
#include <viewer/HxViewer.h>
#include <widgets/QxSlider.h>

#include <Inventor/nodes/SoTransform.h>
#include <QDoubleSpinBox>
#include <QUndoStack>
#include <tcl.h>

#include <functional>

namespace {

struct Keyframe {
    float time;
    SbVec3f position;
    SbVec4f orientation;
    bool operator==(const Keyframe& o) const {
        return time == o.time && position == o.position && orientation == o.orientation;
    }
};

void PrintTo(const Keyframe& k, std::ostream* out) {
    *out << "{t " << k.time << " at " << k.position[0] << ' ' << k.position[1] << ' ' << k.position[2] << '}';
}

// The changes of the tables below reach the editor and these helpers.
class UndoTest : public EditorFixture {
public:
    using EditorFixture::editor;
    void SetUp() override {
        showBox(SbVec3f(0, 0, -300), SbVec3f(40, 40, 40));
        EditorFixture::SetUp();
        // Uneven times, so that constant velocity changes them.
        addKeyframes({0, 5, 20, 30});
        editor->attach(path);
        history = editor->history();
        ASSERT_NE(history, nullptr);
    }
    std::vector<Keyframe> keyframes() const {
        std::vector<Keyframe> all;
        for (int i = 0; i < path->cameras.size(); ++i)
            all.push_back({path->times[i], path->cameras[i]->position.getValue(),
                           SbVec4f(path->cameras[i]->orientation.getValue().getValue())});
        return all;
    }
    std::vector<float> ticks() const {
        const McDArray<float>& t = editor->portTimeSlider.getSlider()->slider()->getTicks();
        return {t.begin(), t.end()};
    }
    void addAt(float t, const SbVec3f& from) {
        editor->portTimeSlider.setValue(t);
        theController->viewer(0)->getCamera()->position.setValue(from);
        editor->add();
    }
    void removeAt(float t) {
        editor->portTimeSlider.setValue(t);
        editor->remove();
    }
    void dragKeyframe(int k, const std::vector<SbVec3f>& through) {
        editor->cameraSelected(k, 1);
        for (const SbVec3f& p : through) {
            editor->keyframeManip->translation.setValue(p);
            HxApplication::handlePendingEvents();  // the sensor runs from the delay queue
        }
    }
    QUndoStack* history = nullptr;
};

struct Change {
    const char* name;
    std::function<void(UndoTest&)> make;
};

void PrintTo(const Change& c, std::ostream* out) { *out << c.name; }

class ChangeKinds : public UndoTest, public ::testing::WithParamInterface<Change> {};

TEST_P(ChangeKinds, areOneStepThatUndoesToTheOldPathAndRedoesToTheNew) {
    const std::vector<Keyframe> before = keyframes();
    const int steps = history->count();
    GetParam().make(*this);
    const std::vector<Keyframe> after = keyframes();
    ASSERT_NE(after, before) << "the change changed nothing";
    EXPECT_EQ(history->count(), steps + 1);
    EXPECT_TRUE(theUndoHistory->unsaved());

    history->undo();
    EXPECT_EQ(keyframes(), before);
    EXPECT_EQ(ticks(), std::vector<float>(path->times.begin(), path->times.end()));
    EXPECT_EQ(editor->display->keyframeGroup->getNumChildren(), path->cameras.size());
    history->redo();
    EXPECT_EQ(keyframes(), after);
    EXPECT_EQ(ticks(), std::vector<float>(path->times.begin(), path->times.end()));
    history->undo();
    EXPECT_EQ(keyframes(), before) << "a second undo after a redo";
}

const Change changes[] = {
    Change{"addInside", [](UndoTest& u) { u.addAt(12, SbVec3f(1, 2, 3)); }},
    Change{"addReplacing", [](UndoTest& u) { u.addAt(20, SbVec3f(4, 5, 6)); }},
    Change{"removeInside", [](UndoTest& u) { u.removeAt(5); }},
    Change{"dragInManySteps",
           [](UndoTest& u) {
               u.dragKeyframe(2, {SbVec3f(20, 1, 0), SbVec3f(21, 3, 0)});
           }},
    Change{"retime", [](UndoTest& u) { EXPECT_TRUE(u.editor->retimeKeyframe(1, 17.5f)); }},
    Change{"circularPath", [](UndoTest& u) { EXPECT_TRUE(u.editor->createCircularPath(360.0f)); }},
    Change{"constvCommand", [](UndoTest&) { theInterpreter->eval("cameraPathEditor constv"); }},
};
INSTANTIATE_TEST_SUITE_P(Editor, ChangeKinds, ::testing::ValuesIn(changes),
                         [](const ::testing::TestParamInfo<Change>& p) { return std::string(p.param.name); });

TEST_F(UndoTest, twoDragsOfOneKeyframeAreTwoSteps) {
    const std::vector<Keyframe> start = keyframes();
    dragKeyframe(1, {SbVec3f(10, 1, 0), SbVec3f(10, 2, 0)});
    const std::vector<Keyframe> first = keyframes();
    editor->cameraSelected(1, 0);
    dragKeyframe(1, {SbVec3f(10, 3, 0)});
    EXPECT_EQ(history->count(), 2);
    history->undo();
    EXPECT_EQ(keyframes(), first);
    EXPECT_EQ(editor->keyframeManip.ptr(), nullptr) << "a step back lets go of the manipulator";
    history->undo();
    EXPECT_EQ(keyframes(), start);
}

struct Retiming {
    const char* name;
    int index;
    float to;
    bool accepted;
};

class Retimings : public UndoTest, public ::testing::WithParamInterface<Retiming> {};

// Keyframes at 0, 5, 20, 30: a keyframe moves only between its neighbours (here by the script command).
TEST_P(Retimings, keepTheKeyframesInOrder) {
    const Retiming& r = GetParam();
    const std::vector<Keyframe> before = keyframes();
    const std::string command =
        "cameraPathEditor setKeyframeTime " + std::to_string(r.index) + " " + std::to_string(r.to);
    EXPECT_EQ(theInterpreter->eval(command.c_str()) == TCL_OK, r.accepted) << theInterpreter->result();
    if (r.accepted) {
        EXPECT_EQ(path->times[r.index], r.to);
        EXPECT_EQ(history->count(), 1);
    } else {
        EXPECT_EQ(keyframes(), before);
        EXPECT_EQ(history->count(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Editor, Retimings,
                         ::testing::Values(Retiming{"insideItsNeighbours", 1, 19.0f, true},
                                           Retiming{"theFirstEarlier", 0, -3.0f, true},
                                           Retiming{"theLastLater", 3, 90.0f, true},
                                           Retiming{"ontoTheNextNeighbour", 1, 20.0f, false},
                                           Retiming{"pastTheNextNeighbour", 1, 25.0f, false},
                                           Retiming{"pastThePreviousNeighbour", 2, 4.0f, false},
                                           Retiming{"theFirstPastTheSecond", 0, 6.0f, false}),
                         [](const ::testing::TestParamInfo<Retiming>& p) { return std::string(p.param.name); });

TEST_F(UndoTest, theRefusalNamesTheKeyframeAndItsNeighbour) {
    editor->retimeKeyframe(2, 3.0f);
    EXPECT_EQ(theMsg->text(),
              "The keyframe at 20 stays: at 3 it would reach or pass its neighbour at 5, and keyframes keep their "
              "order.\n");
}

TEST_F(UndoTest, theSpeedFieldAndTheFpsCommandSetTheSameSpeed) {
    QDoubleSpinBox* speed = editor->portTiming.speedField();
    ASSERT_NE(speed, nullptr);
    speed->setValue(25.0);
    EXPECT_EQ(editor->fps, 25.0f);
    theInterpreter->eval("cameraPathEditor fps 4");
    EXPECT_EQ(speed->value(), 4.0);
}

TEST_F(UndoTest, theHistoryIsThePathsAndOutlivesADetach) {
    editor->retimeKeyframe(1, 6.0f);
    EXPECT_EQ(theUndoHistory->activeStack(), history);
    editor->detach();
    EXPECT_EQ(theUndoHistory->activeStack(), nullptr) << "nothing to undo while nothing is edited";
    EXPECT_TRUE(theUndoHistory->unsaved());
    editor->attach(path);
    EXPECT_EQ(editor->history(), history);
    history->undo();
    EXPECT_EQ(path->times[1], 5.0f);
    EXPECT_FALSE(theUndoHistory->unsaved()) << "back where it was saved";
}

}  // namespace
