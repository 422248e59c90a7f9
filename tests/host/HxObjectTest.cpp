// HxObject and the command helpers its parse() uses; number parsing and text; pending events.
#include "ScriptTestSupport.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxCmd.h>
#include <mc/McHandle.h>
#include <ports/HxPortTime.h>
#include <viewer/HxViewer.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <cfloat>
#include <clocale>
#include <cmath>

// A command written the way package classes write theirs, a time port, a log of calls, an info text.
class ObjProbe : public HxObject {
    MC_HEADER(ObjProbe)

public:
    ObjProbe() : portTime(this, "time", QString("Time")) {}
    int parse(Tcl_Interp* interp, int argc, char** argv) override {
        const char* word = argc > 1 ? argv[1] : "help";
        if (!cmdCheck(word, "setWidth", "setWidth n: sets the width")) return HxObject::parse(interp, argc, argv);
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        Tcl_VaSetResult(interp, "%d", width = std::atoi(argv[2]));
        return TCL_OK;
    }
    void update() override { log.push_back(portTime.isNew() ? "update(time new)" : "update"); }
    void compute() override { log.push_back(portTime.isNew() ? "compute(time new)" : "compute"); }
    void info() override { infoTag(QString("Size:"), QString("%1 x 4").arg(width)); }
    HxPortTime portTime;
    std::vector<std::string> log;
    int width = 3;
};
MC_INIT_CLASS(ObjProbe, HxObject::getClassTypeId())

namespace {

class HxObjectTest : public SessionTest {
protected:
    void SetUp() override { theObjectPool->add(probe, "probe"); }
    McHandle<ObjProbe> probe = new ObjProbe;
};

TEST_F(HxObjectTest, ownCommandsRunAnswerHelpAndRefuseWrongCountsAndInfoIsKeptUntilRecomputed) {
    const std::string help = " " + evalOk("probe help") + " ";
    for (const char* expected : {" setWidth ", " info ", " fire ", " time "})
        EXPECT_EQ(help.find(expected), help.rfind(expected)) << expected;
    evalOk("probe setWidth 5");
    EXPECT_EQ(" " + evalOk("probe help") + " ", help) << "the list is emptied before each command";
    EXPECT_EQ(evalOk("probe setWidth help"), "setWidth: setWidth n: sets the width");
    theMsg->clear();
    EXPECT_EQ(evalError("probe setWidth 4 5"), "probe setWidth: wrong number of arguments");
    EXPECT_EQ(theMsg->text(), "probe setWidth: wrong number of arguments\n");
    const std::string longText(100000, 'x');
    Tcl_VaSetResult(theInterpreter->interp(), "<%s>", longText.c_str());
    EXPECT_EQ(theInterpreter->result(), "<" + longText + ">");
    EXPECT_EQ(probe->width, 5);
    EXPECT_TRUE(probe->log.empty());
    theMsg->clear();
    probe->updateInfo(false);
    probe->width = 7;
    EXPECT_EQ(probe->getInfoText(), "Size: 5 x 4");
    EXPECT_EQ(theMsg->text(), "") << "only printNow writes to the console";
    probe->updateInfo(true);
    EXPECT_EQ(theMsg->text(), "Size: 7 x 4\n");
    EXPECT_EQ(evalOk("probe setWidth 9; probe info"), "Size: 9 x 4");
}

TEST_F(HxObjectTest, aPortChangeTouchesTheOwnerAndFireRunsUpdateThenComputeOnce) {
    evalOk("probe fire; probe time setValue 0.5");
    EXPECT_NE(probe->getTouchFlags(), 0u) << "a port change tells the owner";
    evalOk("probe fire");
    EXPECT_EQ(probe->log, (std::vector<std::string>{"update", "compute", "update(time new)", "compute(time new)"}));
    EXPECT_FALSE(probe->portTime.isNew());
    EXPECT_EQ(probe->getTouchFlags(), 0u);
}

// The ids of the viewers whose scene holds `node`.
std::vector<int> viewersShowing(SoNode* node) {
    std::vector<int> ids;
    for (int id = 0; id < HxController::maxViewers; ++id) {
        SoSearchAction search;
        search.setNode(node);
        if (HxViewer* viewer = theController->viewer(id, 0)) search.apply(viewer->getSceneRoot());
        if (search.getPath()) ids.push_back(id);
    }
    return ids;
}

TEST_F(HxObjectTest, viewerMaskSetsOnlyTheMasterBitsAndTheGeometryFollows) {
    EXPECT_EQ(evalError("probe setViewerMask 65536"),
              "probe setViewerMask: expected a mask from 0 to 65535, got \"65536\"");
    for (int id : {0, 1, 2}) theController->viewer(id);
    evalOk("probe setViewerMask 3");
    McHandle<SoCube> cube = new SoCube;
    probe->showGeom(cube);
    EXPECT_EQ(viewersShowing(cube), (std::vector<int>{0, 1}));
    probe->setViewerMask(0xc, 0xd);
    theController->viewer(3);
    EXPECT_EQ(viewersShowing(cube), (std::vector<int>{1, 2, 3})) << "masked bits only, and in viewers made later";
    probe->setViewerMask(0x1);
    probe->hideGeom(cube);
    EXPECT_TRUE(viewersShowing(cube).empty()) << "hidden where the latest mask showed it";
    EXPECT_EQ(cube->getRefCount(), 1);
}

// Qt sets the C library's locale from the environment: a comma locale must change nothing.
TEST(HxCmdNumbers, wholeFiniteWordsAreReadAndTheShortestExactTextWrittenInAnyLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "scripts/install-deps.sh generates this locale";
    std::string got;
    for (const char* word : {"0.5", "-0x1.8p1", "2,5", "1.5.2", "nan", "1e39", ""}) {
        float value = -777;
        const bool read = parseFloat(word, value);
        got += std::to_string(read) + ":" + cmdFloatText(value) + " ";
    }
    for (float v : {0.1f, 1e7f + 1, 2.5e-7f}) got += cmdFloatText(v) + " ";
    for (float v : {6.6666665f, 1e-7f}) got += cmdFixedText(v) + " ";
    long number = -777;
    got += std::to_string(parseLong("99999999999999999999", number) || parseLong("12x", number) || number != -777);
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(got, "1:0.5 1:-3 0:-777 0:-777 0:-777 0:-777 0:-777 0.1 10000001 2.5e-07 6.6666665 0.0000001 0");
    for (float v : {0.7f, std::nextafter(1.0f, 2.0f), FLT_MAX, -FLT_MIN, FLT_TRUE_MIN})
        EXPECT_EQ(std::strtof(cmdFloatText(v).c_str(), nullptr), v);
}

TEST(HxApplication, pendingEventsRunAfterScriptsAndDelayedSensorsAndASelfQueueingScriptCannotHoldTheCaller) {
    McHandle<SoCube> cube = new SoCube;
    int fired = 0;
    SoNodeSensor sensor([](void* count, SoSensor*) { ++*static_cast<int*>(count); }, &fired);
    sensor.attach(cube);
    cube->width = 3;
    cube->height = 4;  // one notification for both
    evalOk("set ::ran {}; after 0 {lappend ::ran timer}; proc again {} { lappend ::ran idle; after idle again }");
    evalOk("after idle again");
    EXPECT_EQ(evalOk("set ::ran") + std::to_string(fired), "0") << "nothing runs before events are handled";
    HxApplication::handlePendingEvents();
    EXPECT_EQ(fired, 1);
    const std::string once = evalOk("lsort $::ran");
    EXPECT_TRUE(once.rfind("idle", 0) == 0 && once.find("timer") != std::string::npos) << once;
    HxApplication::handlePendingEvents(3);
    EXPECT_GT(evalOk("set ::ran").size(), once.size()) << "each call carries on where the last stopped";
    evalOk("after cancel again");
}

}  // namespace
