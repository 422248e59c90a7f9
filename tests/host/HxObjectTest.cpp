// HxObject and the command helpers its parse() uses (cmdCheck, cmdHelp,
// Tcl_VaSetResult): the generic commands, info text, fire, viewer masks, saved
// lines; number parsing and text; pending events.
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
#include <tuple>

// A command of its own written the way package classes write theirs, one time
// port, a log of update and compute calls, and an info text telling its size.
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

TEST_F(HxObjectTest, ownCommandsRunAnswerHelpAndRefuseWrongCounts) {
    const std::string help = evalOk("probe help");
    const std::vector<std::string> names = words(help);
    for (const char* expected : {"setWidth", "info", "fire", "time"})
        EXPECT_EQ(std::count(names.begin(), names.end(), expected), 1) << expected;
    evalOk("probe setWidth 5");
    EXPECT_EQ(evalOk("probe help"), help) << "the list is emptied before each command";
    EXPECT_EQ(evalOk("probe setWidth help"), "setWidth: setWidth n: sets the width");
    theMsg->clear();
    EXPECT_EQ(evalError("probe setWidth 4 5"), "probe setWidth: wrong number of arguments");
    EXPECT_EQ(theMsg->text(), "probe setWidth: wrong number of arguments\n");
    EXPECT_EQ(evalError("probe fire now"), "probe fire: wrong number of arguments");
    EXPECT_EQ(evalError("probe time frobnicate").rfind("unknown command \"frobnicate\"", 0), 0u);
    const std::string longText(100000, 'x');
    Tcl_VaSetResult(theInterpreter->interp(), "<%s>", longText.c_str());
    EXPECT_EQ(theInterpreter->result(), "<" + longText + ">");
    EXPECT_EQ(probe->width, 5);
    EXPECT_TRUE(probe->log.empty());
}

TEST_F(HxObjectTest, infoTextIsKeptUntilRecomputed) {
    probe->updateInfo(false);
    probe->width = 7;
    EXPECT_EQ(probe->getInfoText(), "Size: 3 x 4");
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
    probe->setViewerMask(0x00f0);
    probe->setViewerMask(0xff00, 0x0f00);
    EXPECT_EQ(evalOk("probe getViewerMask"), "4080");
    for (int id : {0, 1, 2}) theController->viewer(id);
    evalOk("probe setViewerMask 3");
    McHandle<SoCube> cube = new SoCube;
    probe->showGeom(cube);
    EXPECT_EQ(viewersShowing(cube), (std::vector<int>{0, 1}));
    probe->setViewerMask(0x4, 0x5);
    EXPECT_EQ(viewersShowing(cube), (std::vector<int>{1, 2}));
    probe->setViewerMask(0x8, 0x8);
    theController->viewer(3);
    EXPECT_EQ(viewersShowing(cube), (std::vector<int>{1, 2, 3})) << "a viewer made later shows it too";
    probe->setViewerMask(0x1);
    probe->hideGeom(cube);
    EXPECT_TRUE(viewersShowing(cube).empty()) << "hidden where the latest mask showed it";
    EXPECT_EQ(cube->getRefCount(), 1);
}

TEST(HxCmdNumbers, theWholeWordMustBeAFiniteNumberAndARefusalKeepsTheValue) {
    for (const auto& [word, ok, want] :
         std::initializer_list<std::tuple<const char*, bool, float>>{{"-1e3", true, -1000},
                                                                     {"-0x1.8p1", true, -3},
                                                                     {"1e-50", true, 0},
                                                                     {"3.4028235e38", true, FLT_MAX},
                                                                     {"1.5.2", false, 0},
                                                                     {"2,5", false, 0},
                                                                     {"nan", false, 0},
                                                                     {"1e39", false, 0},
                                                                     {"", false, 0}}) {
        float value = -777;
        EXPECT_EQ(parseFloat(word, value), ok) << word;
        EXPECT_EQ(value, ok ? want : -777.0f) << word;
    }
    long value = -777;
    EXPECT_FALSE(parseLong("99999999999999999999", value) || parseLong("12x", value));
    EXPECT_TRUE(parseLong("+5", value));
    EXPECT_EQ(value, 5);
}

// Qt sets the C library's locale from the environment; a comma locale must not
// change how numbers are read or written.
TEST(HxCmdNumbers, textIsTheShortestThatReadsBackExactlyInAnyLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "scripts/install-deps.sh generates this locale";
    float value = 0;
    const bool read = parseFloat("0.5", value);
    std::string texts;
    for (float v : {0.1f, -3.0f, 1e7f + 1, 2.5e-7f, 1.0f / 3}) texts += cmdFloatText(v) + " ";
    for (float v : {20.0f, 6.6666665f, 1e-7f}) texts += cmdFixedText(v) + " ";
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_TRUE(read && value == 0.5f);
    EXPECT_EQ(texts, "0.1 -3 10000001 2.5e-07 0.33333334 20.000000 6.6666665 0.0000001 ");
    for (float v : {0.7f, std::nextafter(1.0f, 2.0f), FLT_MAX, -FLT_MIN, FLT_TRUE_MIN})
        EXPECT_EQ(std::strtof(cmdFloatText(v).c_str(), nullptr), v);
}

TEST(HxApplication, pendingEventsRunAfterScriptsAndDelayedSensorsAndASelfQueueingScriptCannotHoldTheCaller) {
    McHandle<SoCube> cube = new SoCube;
    int fired = 0;
    SoNodeSensor sensor([](void* count, SoSensor*) { ++*static_cast<int*>(count); }, &fired);
    sensor.attach(cube);
    cube->width = 3;
    cube->height = 4;
    evalOk("set ::ran {}; after 0 {lappend ::ran timer}; proc again {} { lappend ::ran idle; after idle again }");
    evalOk("after idle again");
    EXPECT_EQ(evalOk("set ::ran") + std::to_string(fired), "0") << "nothing runs before events are handled";
    HxApplication::handlePendingEvents();
    EXPECT_EQ(fired, 1) << "once for both changes";
    const std::string once = evalOk("lsort $::ran");
    EXPECT_EQ(once.rfind("idle", 0), 0u);
    EXPECT_NE(once.find("timer"), std::string::npos);
    HxApplication::handlePendingEvents(3);
    EXPECT_GT(evalOk("set ::ran").size(), once.size()) << "each call carries on where the last stopped";
    evalOk("after cancel again");
}

}  // namespace
