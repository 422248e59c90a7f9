// HxObject and HxBase: the info text and the generic script commands every object understands.
#include "ScriptTestSupport.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortTime.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoSeparator.h>
#include <QString>
#include <algorithm>

// One time port; logs its update and compute calls.
class ObjProbe : public HxObject {
    MC_HEADER(ObjProbe)

public:
    ObjProbe() : portTime(this, "time", QString("Time")) {}
    void update() override { log.push_back(portTime.isNew() ? "update(time new)" : "update"); }
    void compute() override { log.push_back(portTime.isNew() ? "compute(time new)" : "compute"); }
    HxPortTime portTime;
    std::vector<std::string> log;
};
MC_INIT_CLASS(ObjProbe, HxObject::getClassTypeId())

class ObjSized : public HxObject {
    MC_HEADER(ObjSized)

public:
    void info() override { infoTag(QString("Size:"), QString("%1 x %2").arg(width).arg(height)); }
    int width = 3, height = 4;
};
MC_INIT_CLASS(ObjSized, HxObject::getClassTypeId())

namespace {

class HxObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe = new ObjProbe;
        name = theObjectPool->add(probe, "probe");
        theMsg->clear();
    }
    void TearDown() override {
        theObjectPool->clear();
        theMsg->clear();
    }
    std::string wrongCount(const char* command) const { return name + " " + command + ": wrong number of arguments"; }

    McHandle<ObjProbe> probe;
    std::string name;
};

TEST_F(HxObjectTest, infoTextIsKeptUntilRecomputed) {
    probe->updateInfo(false);
    EXPECT_EQ(probe->getInfoText(), "ObjProbe probe");
    EXPECT_EQ(theMsg->text(), "") << "only printNow writes to the console";
    probe->infoTag(QString(), QString("just text"));
    EXPECT_EQ(probe->getInfoText(), "just text");

    McHandle<ObjSized> sized = new ObjSized;
    const std::string sizedName = theObjectPool->add(sized, "sized");
    sized->updateInfo(false);
    sized->width = 7;
    EXPECT_EQ(sized->getInfoText(), "Size: 3 x 4") << "kept until recomputed";
    sized->updateInfo(true);
    EXPECT_EQ(sized->getInfoText(), "Size: 7 x 4");
    EXPECT_EQ(theMsg->text(), "Size: 7 x 4\n");
    sized->height = 9;
    EXPECT_EQ(evalOk(sizedName + " info"), "Size: 7 x 9");
    EXPECT_EQ(evalError(name + " info extra"), wrongCount("info"));
}

TEST_F(HxObjectTest, getLabelAndSetLabel) {
    EXPECT_EQ(evalOk(name + " getLabel"), name);
    const std::string help = evalOk(name + " setLabel help");
    EXPECT_GT(help.size(), std::string("setLabel: ").size());
    EXPECT_EQ(help.rfind("setLabel: ", 0), 0u) << help;
    EXPECT_EQ(evalError(name + " setLabel a b"), wrongCount("setLabel"));
    EXPECT_EQ(probe->getName(), name);

    theObjectPool->add(new ObjProbe, "Busy");
    EXPECT_EQ(evalOk(name + " setLabel Busy"), "Busy2");
    EXPECT_STREQ(probe->getName(), "Busy2");
    EXPECT_EQ(evalOk("Busy2 getLabel"), "Busy2");
    EXPECT_EQ(evalOk("Busy getLabel"), "Busy");
    EXPECT_FALSE(theInterpreter->isCommand(name.c_str()));
}

TEST_F(HxObjectTest, fireRunsUpdateThenComputeAndClearsNewFlags) {
    probe->touch(0x5);
    probe->touch(0x10);
    EXPECT_EQ(probe->getTouchFlags(), 0x15u);
    evalOk(name + " fire");
    EXPECT_EQ(probe->getTouchFlags(), 0u);
    evalOk(name + " time setValue 0.5");
    EXPECT_NE(probe->getTouchFlags(), 0u) << "a port change tells the owner";
    EXPECT_EQ(evalOk(name + " fire"), "");
    EXPECT_EQ(probe->log, (std::vector<std::string>{"update", "compute", "update(time new)", "compute(time new)"}));
    EXPECT_FALSE(probe->portTime.isNew());
    EXPECT_EQ(probe->getTouchFlags(), 0u);
    EXPECT_EQ(evalError(name + " fire now"), wrongCount("fire"));
    EXPECT_EQ(probe->log.size(), 4u);
}

TEST_F(HxObjectTest, viewerMask) {
    EXPECT_EQ(evalOk(name + " getViewerMask"), "65535");
    for (unsigned mask : {0u, 0x8000u, 0xffffu}) {
        evalOk(name + " setViewerMask " + std::to_string(mask));
        EXPECT_EQ(probe->getViewerMask(), mask);
    }
    probe->setViewerMask(0x0f0f);
    for (const std::string word : {"-1", "65536", "abc", "1.5", "", "99999999999999999999"})
        EXPECT_EQ(evalError(name + " setViewerMask {" + word + "}"),
                  name + " setViewerMask: expected a mask from 0 to 65535, got \"" + word + "\"");
    EXPECT_EQ(evalError(name + " setViewerMask 1 2"), wrongCount("setViewerMask"));
    EXPECT_EQ(probe->getViewerMask(), 0x0f0f);
}

// The ids of the viewers whose scene holds `node`.
std::vector<int> viewersShowing(SoNode* node) {
    std::vector<int> ids;
    for (int id = 0; id < HxController::maxViewers; ++id) {
        HxViewer* viewer = theController->viewer(id, 0);
        if (!viewer) continue;
        SoSearchAction search;
        search.setNode(node);
        search.apply(viewer->getSceneRoot());
        if (search.getPath()) ids.push_back(id);
    }
    return ids;
}

TEST_F(HxObjectTest, viewerMaskSetsOnlyTheMasterBitsAndTheGeometryFollows) {
    probe->setViewerMask(0x0f);
    probe->setViewerMask(1u << 5, 0xffffffff);
    EXPECT_EQ(probe->getViewerMask(), 0x20);
    probe->setViewerMask(0x00f0);
    probe->setViewerMask(0xff00, 0x0f00);
    EXPECT_EQ(probe->getViewerMask(), 0x0ff0);
    probe->setViewerMask(0x0001, 0x0011);
    EXPECT_EQ(probe->getViewerMask(), 0x0fe1);

    theController->reset();
    for (int id : {0, 1, 2}) theController->viewer(id);
    probe->setViewerMask(0x3);
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
    theController->reset();
}

TEST_F(HxObjectTest, helpListsCommandsAndPortsAndUnknownWordsAreErrors) {
    const auto names = words(evalOk(name + " help"));
    for (const char* expected : {"info", "getLabel", "setLabel", "fire", "getViewerMask", "setViewerMask", "time"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    const auto portNames = words(evalOk(name + " time help"));
    for (const char* expected : {"getValue", "setMinMax", "connect", "isNew"})
        EXPECT_NE(std::find(portNames.begin(), portNames.end(), expected), portNames.end()) << expected;
    EXPECT_EQ(std::find(portNames.begin(), portNames.end(), "fire"), portNames.end());
    for (const std::string& script : {name + " noSuchCommand", name + " time noSuchCommand"})
        EXPECT_EQ(evalError(script).rfind("unknown command \"noSuchCommand\"", 0), 0u) << script;
}

TEST_F(HxObjectTest, savedLinesRecreateTheObjectAndItsPorts) {
    probe->portTime.setValue(0.75f);
    const std::string script = writtenBy([&](FILE* fp) {
        EXPECT_EQ(probe->saveCreation(fp, "", 0), 0);
        probe->savePorts(fp);
    });
    theObjectPool->clear();
    evalOk(script);
    auto* recreated = dynamic_cast<ObjProbe*>(theObjectPool->find("probe"));
    ASSERT_NE(recreated, nullptr) << script;
    EXPECT_EQ(recreated->portTime.getValue(), 0.75f);
}

}  // namespace
