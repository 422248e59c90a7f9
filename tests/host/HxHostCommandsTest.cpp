// The host-wide script commands create, remove, load, edit and quit, with their
// messages word for word. load and edit use the probe package built beside
// this test (a ".hpr" reader, HostProbeData and its editor).
#include "ScriptTestSupport.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

class CmdsThing : public HxObject {
    MC_HEADER(CmdsThing)
};
MC_INIT_CLASS(CmdsThing, HxObject::getClassTypeId())

// A data class no package offers an editor for.
class CmdsPlainData : public HxData {
    MC_HEADER(CmdsPlainData)
};
MC_INIT_CLASS(CmdsPlainData, HxData::getClassTypeId())

// A registered, creatable class that is not a host object.
class CmdsNotAnObject : public McTypedObject {
    MC_HEADER(CmdsNotAnObject)

public:
    CmdsNotAnObject() { ++instances; }
    static int instances;
};
int CmdsNotAnObject::instances = 0;
MC_INIT_CLASS(CmdsNotAnObject, nullptr)

namespace {

class HxHostCommandsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        ASSERT_TRUE(HxApplication::packages().loadFile("hostprobe", HOST_PROBE_LIBRARY, error)) << error;
    }
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void TearDown() override {
        theObjectPool->clear();
        theInterpreter->clearQuit();
    }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = QDir(folder.path()).filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path) << text;
        return path;
    }
    static std::size_t poolSize() { return theObjectPool->objects().size(); }

    QTemporaryDir folder;
};

// ---------------------------------------------------------------------------
// create

TEST_F(HxHostCommandsTest, createReturnsTheNewObjectsName) {
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing");
    HxObject* obj = theObjectPool->find("CmdsThing");
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->getTypeId(), CmdsThing::getClassTypeId());
    EXPECT_EQ(obj->getRefCount(), 1) << "only the pool holds it";
    EXPECT_EQ(obj->getInfoText(), "CmdsThing CmdsThing") << "the info text is ready at once";
}

TEST_F(HxHostCommandsTest, createAppendsANumberToATakenName) {
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing");
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing2");
    EXPECT_EQ(evalOk("create CmdsThing part"), "part");
    EXPECT_EQ(evalOk("create CmdsThing part"), "part2");
    EXPECT_EQ(evalOk("create CmdsThing {two words}"), "two_words");
    EXPECT_EQ(poolSize(), 5u);
}

TEST_F(HxHostCommandsTest, createdObjectAnswersItsCommand) {
    EXPECT_EQ(evalOk("[create CmdsThing probe] getLabel"), "probe");
}

TEST_F(HxHostCommandsTest, createAnyPackageDataClass) {
    EXPECT_EQ(evalOk("create HostProbeData"), "HostProbeData");
    EXPECT_STREQ(theObjectPool->find("HostProbeData")->getTypeId()->getName(), "HostProbeData");
}

struct CreateRefusal {
    const char* name;
    const char* script;
    const char* message;
};

class HxHostCommandsCreateRefusal : public HxHostCommandsTest, public ::testing::WithParamInterface<CreateRefusal> {};

TEST_P(HxHostCommandsCreateRefusal, givesTheMessageAndCreatesNothing) {
    CmdsNotAnObject::instances = 0;
    EXPECT_EQ(evalError(GetParam().script), GetParam().message);
    EXPECT_EQ(poolSize(), 0u);
    EXPECT_EQ(CmdsNotAnObject::instances, 0) << "nothing is instantiated to find out";
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, HxHostCommandsCreateRefusal,
    ::testing::Values(CreateRefusal{"noType", "create", "usage: create Type [name]"},
                      CreateRefusal{"tooMany", "create CmdsThing a b", "usage: create Type [name]"},
                      CreateRefusal{"unknownType", "create NoSuchType", "create: unknown type \"NoSuchType\""},
                      CreateRefusal{"abstractType", "create HxObject", "create: unknown type \"HxObject\""},
                      CreateRefusal{"abstractData", "create HxData x", "create: unknown type \"HxData\""},
                      CreateRefusal{"portType", "create HxPortTime", "create: unknown type \"HxPortTime\""},
                      CreateRefusal{"notAnObject", "create CmdsNotAnObject",
                                    "create: unknown type \"CmdsNotAnObject\""}),
    [](const auto& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------------------
// remove

TEST_F(HxHostCommandsTest, removeTakesObjectsAndTheirCommandsAway) {
    evalOk("create CmdsThing a");
    evalOk("create CmdsThing b");
    evalOk("create CmdsThing c");
    EXPECT_EQ(evalOk("remove a c"), "");
    EXPECT_EQ(theObjectPool->find("a"), nullptr);
    EXPECT_EQ(theObjectPool->find("c"), nullptr);
    EXPECT_NE(theObjectPool->find("b"), nullptr);
    EXPECT_FALSE(theInterpreter->isCommand("a"));
    EXPECT_TRUE(theInterpreter->isCommand("b"));
}

TEST_F(HxHostCommandsTest, removeWithoutNamesIsRefused) {
    EXPECT_EQ(evalError("remove"), "usage: remove name [name ...]");
}

TEST_F(HxHostCommandsTest, removeOfAnUnknownNameRemovesNothing) {
    evalOk("create CmdsThing a");
    EXPECT_EQ(evalError("remove nobody"), "remove: no object named \"nobody\"");
    EXPECT_EQ(evalError("remove a nobody"), "remove: no object named \"nobody\"");
    EXPECT_NE(theObjectPool->find("a"), nullptr) << "checked before anything is removed";
}

TEST_F(HxHostCommandsTest, removeNamingAnObjectTwice) {
    evalOk("create CmdsThing a");
    EXPECT_EQ(evalOk("remove a a"), "");
    EXPECT_EQ(poolSize(), 0u);
}

// ---------------------------------------------------------------------------
// load

TEST_F(HxHostCommandsTest, loadUsesThePackagesReaderAndReturnsTheName) {
    const std::string file = write("scene.hpr", "probe data\n");
    EXPECT_EQ(evalOk("load {" + file + "}"), "scene");
    auto* data = dynamic_cast<HxData*>(theObjectPool->find("scene"));
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data->getTypeId()->getName(), "HostProbeData");
    EXPECT_EQ(data->getLoadCmd(), file);
}

TEST_F(HxHostCommandsTest, loadMatchesTheExtensionWhateverItsCase) {
    const std::string file = write("LOUD.HPR", "probe data\n");
    EXPECT_EQ(evalOk("load {" + file + "}"), "LOUD");
}

TEST_F(HxHostCommandsTest, loadTwiceGivesTwoObjects) {
    const std::string file = write("scene.hpr", "probe data\n");
    EXPECT_EQ(evalOk("load {" + file + "}"), "scene");
    EXPECT_EQ(evalOk("load {" + file + "}"), "scene2");
}

TEST_F(HxHostCommandsTest, loadReportsAReaderThatFails) {
    const std::string file = write("broken.hpr", "bad\n");
    EXPECT_EQ(evalError("load {" + file + "}"), "load: could not read \"" + file + "\"");
    EXPECT_EQ(poolSize(), 0u);
}

TEST_F(HxHostCommandsTest, loadReportsAReaderMissingFromItsPackage) {
    const std::string file = write("scene.hpx", "probe data\n");
    EXPECT_EQ(evalError("load {" + file + "}"), "load: reader hostprobe_no_such_reader missing in package hostprobe");
}

TEST_F(HxHostCommandsTest, loadOfAnUnknownExtension) {
    const std::string file = write("notes.xyz", "text\n");
    EXPECT_EQ(evalError("load {" + file + "}"), "load: no reader for files of type \".xyz\"");
}

TEST_F(HxHostCommandsTest, loadOfAMissingFile) {
    const std::string file = folder.path().toStdString() + "/absent.hpr";
    EXPECT_EQ(evalError("load {" + file + "}"), "load: cannot read file \"" + file + "\"");
}

TEST_F(HxHostCommandsTest, loadOfAFolder) {
    QDir(folder.path()).mkdir("dir.hpr");
    const std::string dir = folder.path().toStdString() + "/dir.hpr";
    EXPECT_EQ(evalError("load {" + dir + "}"), "load: cannot read file \"" + dir + "\"");
}

TEST_F(HxHostCommandsTest, loadWithAWrongCount) {
    EXPECT_EQ(evalError("load"), "usage: load file");
    EXPECT_EQ(evalError("load a b"), "usage: load file");
}

// ---------------------------------------------------------------------------
// edit

TEST_F(HxHostCommandsTest, editAttachesThePackagesEditor) {
    evalOk("create HostProbeData data");
    HxObject* data = theObjectPool->find("data");
    const int refsBefore = data->getRefCount();

    const std::string editorName = evalOk("edit data");
    EXPECT_EQ(editorName, "HostProbeEditor");
    auto* editor = dynamic_cast<HxEditor*>(theObjectPool->find(editorName.c_str()));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->getData(), data);
    EXPECT_EQ(data->getRefCount(), refsBefore + 1) << "the editor holds the data";

    evalOk(editorName + " detach");
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(data->getRefCount(), refsBefore);
}

TEST_F(HxHostCommandsTest, editorKeepsItsDataAlive) {
    evalOk("create HostProbeData data");
    McHandle<HxEditor> editor = dynamic_cast<HxEditor*>(theObjectPool->find(evalOk("edit data").c_str()));
    ASSERT_NE(editor.ptr(), nullptr);
    evalOk("remove data");
    ASSERT_NE(editor->getData(), nullptr);
    EXPECT_EQ(editor->getData()->getRefCount(), 1);
    EXPECT_STREQ(editor->getData()->getName(), "data");
}

TEST_F(HxHostCommandsTest, secondEditGivesASecondEditor) {
    evalOk("create HostProbeData data");
    EXPECT_EQ(evalOk("edit data"), "HostProbeEditor");
    EXPECT_EQ(evalOk("edit data"), "HostProbeEditor2");
}

TEST_F(HxHostCommandsTest, editRefusals) {
    evalOk("create CmdsThing thing");
    evalOk("create CmdsPlainData plain");
    evalOk("create HostProbeOrphanData orphan");
    const auto before = poolSize();
    EXPECT_EQ(evalError("edit"), "usage: edit name");
    EXPECT_EQ(evalError("edit a b"), "usage: edit name");
    EXPECT_EQ(evalError("edit nobody"), "edit: no data object named \"nobody\"");
    EXPECT_EQ(evalError("edit thing"), "edit: no data object named \"thing\"");
    EXPECT_EQ(evalError("edit plain"), "edit: no editor for objects of type CmdsPlainData");
    EXPECT_EQ(evalError("edit orphan"), "edit: editor class HostProbeMissingEditor is not registered");
    EXPECT_EQ(poolSize(), before) << "no editor was added";
}

// ---------------------------------------------------------------------------
// quit

TEST_F(HxHostCommandsTest, quitRequestsTheExitAndUnwindsTheScript) {
    const ScriptResult r = runScript("proc work {} { quit; return finished }; work");
    EXPECT_EQ(r.code, TCL_ERROR);
    EXPECT_EQ(r.text, "quit");
    EXPECT_TRUE(theInterpreter->quitRequested());
    EXPECT_EQ(theInterpreter->quitCode(), 0);
    EXPECT_EQ(evalOk("set errorCode"), "VORNA QUIT");
}

TEST_F(HxHostCommandsTest, quitWithAnExitCode) {
    EXPECT_EQ(evalError("quit 3"), "quit");
    EXPECT_TRUE(theInterpreter->quitRequested());
    EXPECT_EQ(theInterpreter->quitCode(), 3);
}

class HxHostCommandsBadQuit : public HxHostCommandsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(HxHostCommandsBadQuit, isRefusedAndDoesNotQuit) {
    EXPECT_EQ(evalError(GetParam()), "usage: quit [exitCode]");
    EXPECT_FALSE(theInterpreter->quitRequested());
}

INSTANTIATE_TEST_SUITE_P(Scripts, HxHostCommandsBadQuit,
                         ::testing::Values("quit now", "quit 1 2", "quit 1.5", "quit {}"));

}  // namespace
