// HxObject and HxBase: the info text and the generic script commands every
// object understands (getLabel, setLabel, fire, viewer mask, info, help).
#include "ScriptTestSupport.h"

#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <ports/HxPortTime.h>

#include <QString>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// An object with one time port that logs its update and compute calls.
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

// An object that composes its own info text.
class ObjSized : public HxObject {
    MC_HEADER(ObjSized)

public:
    void info() override { infoTag(QString("Size:"), QString("%1 x %2").arg(width).arg(height)); }
    int width = 3, height = 4;
};
MC_INIT_CLASS(ObjSized, HxObject::getClassTypeId())

namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

class HxObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe = new ObjProbe;
        name = theObjectPool->add(probe, "probe");
        theMsg->clear();
    }
    void TearDown() override { theObjectPool->clear(); }

    McHandle<ObjProbe> probe;
    std::string name;
};

// ---------------------------------------------------------------------------
// Info text

TEST_F(HxObjectTest, defaultInfoShowsTypeAndName) {
    probe->updateInfo(false);
    EXPECT_EQ(probe->getInfoText(), "ObjProbe probe");
    EXPECT_EQ(theMsg->text(), "") << "only printNow writes to the console";
}

TEST_F(HxObjectTest, infoTagJoinsLabelAndText) {
    probe->infoTag(QString("Camera Path:"), QString("3 keyframes"));
    EXPECT_EQ(probe->getInfoText(), "Camera Path: 3 keyframes");
    probe->infoTag(QString(), QString("just text"));
    EXPECT_EQ(probe->getInfoText(), "just text");
}

TEST_F(HxObjectTest, updateInfoRecomputesAndMayPrint) {
    McHandle<ObjSized> sized = new ObjSized;
    sized->updateInfo(false);
    EXPECT_EQ(sized->getInfoText(), "Size: 3 x 4");
    sized->width = 7;
    EXPECT_EQ(sized->getInfoText(), "Size: 3 x 4") << "kept until recomputed";
    sized->updateInfo(true);
    EXPECT_EQ(sized->getInfoText(), "Size: 7 x 4");
    EXPECT_EQ(theMsg->text(), "Size: 7 x 4\n");
}

TEST_F(HxObjectTest, infoCommandReturnsTheFreshText) {
    McHandle<ObjSized> sized = new ObjSized;
    const std::string sizedName = theObjectPool->add(sized, "sized");
    sized->height = 9;
    EXPECT_EQ(evalOk(sizedName + " info"), "Size: 3 x 9");
    EXPECT_EQ(evalOk(name + " info"), "ObjProbe probe");
    EXPECT_EQ(evalError(name + " info extra"), name + " info: wrong number of arguments");
}

// ---------------------------------------------------------------------------
// getLabel / setLabel

TEST_F(HxObjectTest, getLabelReturnsTheName) {
    EXPECT_EQ(evalOk(name + " getLabel"), name);
    EXPECT_EQ(probe->getLabel().toStdString(), name);
}

TEST_F(HxObjectTest, setLabelRenamesAndReturnsTheNewName) {
    EXPECT_EQ(evalOk(name + " setLabel Renamed"), "Renamed");
    EXPECT_STREQ(probe->getName(), "Renamed");
    EXPECT_EQ(evalOk("Renamed getLabel"), "Renamed");
    EXPECT_FALSE(theInterpreter->isCommand(name.c_str()));
}

TEST_F(HxObjectTest, setLabelToATakenNameAppendsANumber) {
    McHandle<ObjProbe> other = new ObjProbe;
    theObjectPool->add(other, "Busy");
    EXPECT_EQ(evalOk(name + " setLabel Busy"), "Busy2");
    EXPECT_EQ(evalOk("Busy getLabel"), "Busy");
}

TEST_F(HxObjectTest, setLabelWithAWrongCountChangesNothing) {
    EXPECT_EQ(evalError(name + " setLabel"), name + " setLabel: wrong number of arguments");
    EXPECT_EQ(evalError(name + " setLabel a b"), name + " setLabel: wrong number of arguments");
    EXPECT_EQ(probe->getName(), name);
    EXPECT_NE(theMsg->text().find(name + " setLabel: wrong number of arguments"), std::string::npos);
}

TEST_F(HxObjectTest, setLabelHelpDescribesInsteadOfRenaming) {
    const std::string answer = evalOk(name + " setLabel help");
    EXPECT_EQ(answer.rfind("setLabel: ", 0), 0u) << answer;
    EXPECT_GT(answer.size(), std::string("setLabel: ").size()) << "a description follows";
    EXPECT_EQ(probe->getName(), name);
    EXPECT_EQ(theObjectPool->find("help"), nullptr);
}

// ---------------------------------------------------------------------------
// fire

TEST_F(HxObjectTest, fireRunsUpdateThenComputeAndClearsNewFlags) {
    evalOk(name + " time setValue 0.5");
    ASSERT_TRUE(probe->portTime.isNew());
    EXPECT_EQ(evalOk(name + " fire"), "");
    EXPECT_EQ(probe->log, (std::vector<std::string>{"update(time new)", "compute(time new)"}));
    EXPECT_FALSE(probe->portTime.isNew());
    EXPECT_EQ(probe->getTouchFlags(), 0u);

    evalOk(name + " fire");
    EXPECT_EQ(probe->log, (std::vector<std::string>{"update(time new)", "compute(time new)", "update", "compute"}));
}

TEST_F(HxObjectTest, fireClearsTheObjectsTouchFlags) {
    probe->touch(0x5);
    EXPECT_EQ(probe->getTouchFlags(), 0x5u);
    probe->touch(0x10);
    EXPECT_EQ(probe->getTouchFlags(), 0x15u);
    evalOk(name + " fire");
    EXPECT_EQ(probe->getTouchFlags(), 0u);
}

TEST_F(HxObjectTest, portValueChangeTellsTheOwner) {
    ASSERT_EQ(probe->getTouchFlags(), 0u);
    evalOk(name + " time setValue 0.25");
    EXPECT_NE(probe->getTouchFlags(), 0u);
    evalOk(name + " fire");
    EXPECT_EQ(probe->getTouchFlags(), 0u);
}

TEST_F(HxObjectTest, fireWithArgumentsIsRefused) {
    EXPECT_EQ(evalError(name + " fire now"), name + " fire: wrong number of arguments");
    EXPECT_TRUE(probe->log.empty());
}

// ---------------------------------------------------------------------------
// Viewer mask

TEST_F(HxObjectTest, viewerMaskDefaultsToEveryViewer) {
    EXPECT_EQ(probe->getViewerMask(), 0xffff);
    EXPECT_EQ(evalOk(name + " getViewerMask"), "65535");
}

TEST_F(HxObjectTest, setViewerMaskAcceptsTheWholeRange) {
    for (unsigned mask : {0u, 1u, 5u, 0x8000u, 0xffffu}) {
        evalOk(name + " setViewerMask " + std::to_string(mask));
        EXPECT_EQ(probe->getViewerMask(), mask);
        EXPECT_EQ(evalOk(name + " getViewerMask"), std::to_string(mask));
    }
}

class HxObjectBadMask : public HxObjectTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(HxObjectBadMask, isRefusedWithTheExactMessageAndChangesNothing) {
    probe->setViewerMask(0x0f0f);
    const std::string word = GetParam();
    EXPECT_EQ(evalError(name + " setViewerMask {" + word + "}"),
              name + " setViewerMask: expected a mask from 0 to 65535, got \"" + word + "\"");
    EXPECT_EQ(probe->getViewerMask(), 0x0f0f);
}

INSTANTIATE_TEST_SUITE_P(Words, HxObjectBadMask,
                         ::testing::Values("-1", "65536", "100000", "abc", "1.5", "", "3x", "99999999999999999999"));

TEST_F(HxObjectTest, setViewerMaskWithAWrongCountChangesNothing) {
    EXPECT_EQ(evalError(name + " setViewerMask"), name + " setViewerMask: wrong number of arguments");
    EXPECT_EQ(evalError(name + " setViewerMask 1 2"), name + " setViewerMask: wrong number of arguments");
    EXPECT_EQ(probe->getViewerMask(), 0xffff);
}

// ---------------------------------------------------------------------------
// help and unknown commands

TEST_F(HxObjectTest, helpListsTheGenericCommandsAndThePorts) {
    const auto names = words(evalOk(name + " help"));
    for (const char* expected : {"info", "getLabel", "setLabel", "fire", "getViewerMask", "setViewerMask", "time"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
}

TEST_F(HxObjectTest, portHelpListsThePortsCommands) {
    const auto names = words(evalOk(name + " time help"));
    for (const char* expected : {"getValue", "setValue", "getMinMax", "setMinMax", "connect", "isNew"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_EQ(std::find(names.begin(), names.end(), "fire"), names.end()) << "not the object's commands";
}

TEST_F(HxObjectTest, unknownCommandIsAnError) {
    const std::string message = evalError(name + " noSuchCommand");
    EXPECT_EQ(message.rfind("unknown command \"noSuchCommand\"", 0), 0u) << message;
    const std::string portMessage = evalError(name + " time noSuchCommand");
    EXPECT_EQ(portMessage.rfind("unknown command \"noSuchCommand\"", 0), 0u) << portMessage;
}

// ---------------------------------------------------------------------------
// Saved-network lines

std::string writtenBy(const std::function<void(FILE*)>& write) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    write(file.get());
    std::rewind(file.get());
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file.get())) text += buffer;
    return text;
}

TEST_F(HxObjectTest, savedLinesRecreateTheObjectAndItsPorts) {
    probe->portTime.setValue(0.75f);
    const std::string script = writtenBy([&](FILE* fp) {
        EXPECT_EQ(probe->saveCreation(fp, "", 0), 0);
        probe->savePorts(fp);
    });
    theObjectPool->clear();
    ASSERT_EQ(theObjectPool->find("probe"), nullptr);

    evalOk(script);
    auto* recreated = dynamic_cast<ObjProbe*>(theObjectPool->find("probe"));
    ASSERT_NE(recreated, nullptr) << script;
    EXPECT_NE(recreated, probe.ptr());
    EXPECT_EQ(recreated->portTime.getValue(), 0.75f);
}

}  // namespace
