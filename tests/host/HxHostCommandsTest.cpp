// The host-wide script commands create, remove, load, edit and quit, with their
// messages word for word. load and edit use the probe package built beside this test.
#include "ScriptTestSupport.h"

#include <hxcore/HxApplication.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>

class CmdsThing : public HxObject {
    MC_HEADER(CmdsThing)
};
MC_INIT_CLASS(CmdsThing, HxObject::getClassTypeId())

class CmdsPlainData : public HxData {  // no package offers an editor for it
    MC_HEADER(CmdsPlainData)
};
MC_INIT_CLASS(CmdsPlainData, HxData::getClassTypeId())

// Registered and creatable, but not a host object.
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
    void TearDown() override {
        theObjectPool->clear();
        theInterpreter->clearQuit();
    }
    std::string pathOf(const std::string& name) const { return folder.path().toStdString() + "/" + name; }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(pathOf(name)) << text;
        return pathOf(name);
    }
    static std::size_t poolSize() { return theObjectPool->objects().size(); }

    QTemporaryDir folder;
};

TEST_F(HxHostCommandsTest, createReturnsTheNewObjectsUniqueName) {
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing");
    HxObject* obj = theObjectPool->find("CmdsThing");
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->getTypeId(), CmdsThing::getClassTypeId());
    EXPECT_EQ(obj->getRefCount(), 1) << "only the pool holds it";
    EXPECT_EQ(obj->getInfoText(), "CmdsThing CmdsThing") << "the info text is ready at once";
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing2");
    EXPECT_EQ(evalOk("create CmdsThing {two words}"), "two_words");
    EXPECT_EQ(evalOk("[create CmdsThing probe] getLabel"), "probe");
    EXPECT_EQ(evalOk("create HostProbeData"), "HostProbeData");
}

TEST_F(HxHostCommandsTest, createRefusalsCreateNothing) {
    CmdsNotAnObject::instances = 0;
    const std::pair<const char*, const char*> cases[] = {
        {"create", "usage: create Type [name]"},
        {"create CmdsThing a b", "usage: create Type [name]"},
        {"create NoSuchType", "create: unknown type \"NoSuchType\""},
        {"create HxObject", "create: unknown type \"HxObject\""},
        {"create HxData x", "create: unknown type \"HxData\""},
        {"create HxPortTime", "create: unknown type \"HxPortTime\""},
        {"create CmdsNotAnObject", "create: unknown type \"CmdsNotAnObject\""},
    };
    for (const auto& [script, message] : cases) EXPECT_EQ(evalError(script), message);
    EXPECT_EQ(poolSize(), 0u);
    EXPECT_EQ(CmdsNotAnObject::instances, 0) << "nothing is instantiated to find out";
}

TEST_F(HxHostCommandsTest, removeTakesObjectsAndTheirCommandsAway) {
    for (const char* name : {"a", "b", "c"}) evalOk(std::string("create CmdsThing ") + name);
    EXPECT_EQ(evalError("remove"), "usage: remove name [name ...]");
    EXPECT_EQ(evalError("remove a nobody"), "remove: no object named \"nobody\"");
    EXPECT_EQ(poolSize(), 3u) << "checked before anything is removed";
    EXPECT_EQ(evalOk("remove a c a"), "");
    EXPECT_EQ(theObjectPool->find("a"), nullptr);
    EXPECT_EQ(theObjectPool->find("c"), nullptr);
    EXPECT_FALSE(theInterpreter->isCommand("a"));
    EXPECT_TRUE(theInterpreter->isCommand("b"));
}

TEST_F(HxHostCommandsTest, loadUsesThePackagesReader) {
    const std::string file = write("scene.hpr", "probe data\n");
    EXPECT_EQ(evalOk("load {" + file + "}"), "scene");
    auto* data = dynamic_cast<HxData*>(theObjectPool->find("scene"));
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data->getTypeId()->getName(), "HostProbeData");
    EXPECT_EQ(data->getLoadCmd(), file);
    EXPECT_EQ(evalOk("load {" + file + "}"), "scene2");
    EXPECT_EQ(evalOk("load {" + write("LOUD.HPR", "probe data\n") + "}"), "LOUD");
}

TEST_F(HxHostCommandsTest, loadRefusals) {
    const std::string broken = write("broken.hpr", "bad\n");
    EXPECT_EQ(evalError("load {" + broken + "}"), "load: could not read \"" + broken + "\"");
    EXPECT_EQ(evalError("load {" + write("scene.hpx", "probe data\n") + "}"),
              "load: reader hostprobe_no_such_reader missing in package hostprobe");
    EXPECT_EQ(evalError("load {" + write("notes.xyz", "text\n") + "}"), "load: no reader for files of type \".xyz\"");
    QDir(folder.path()).mkdir("dir.hpr");
    for (const std::string& name : {pathOf("absent.hpr"), pathOf("dir.hpr")})
        EXPECT_EQ(evalError("load {" + name + "}"), "load: cannot read file \"" + name + "\"");
    EXPECT_EQ(evalError("load"), "usage: load file");
    EXPECT_EQ(evalError("load a b"), "usage: load file");
    EXPECT_EQ(poolSize(), 0u);
}

TEST_F(HxHostCommandsTest, editAttachesThePackagesEditorWhichKeepsTheData) {
    evalOk("create HostProbeData data");
    HxObject* data = theObjectPool->find("data");
    const int refsBefore = data->getRefCount();
    EXPECT_EQ(evalOk("edit data"), "HostProbeEditor");
    McHandle<HxEditor> editor = dynamic_cast<HxEditor*>(theObjectPool->find("HostProbeEditor"));
    ASSERT_NE(editor.ptr(), nullptr);
    EXPECT_EQ(editor->getData(), data);
    EXPECT_EQ(data->getRefCount(), refsBefore + 1) << "the editor holds the data";
    evalOk("HostProbeEditor detach");
    EXPECT_FALSE(editor->isAttached());
    EXPECT_EQ(data->getRefCount(), refsBefore);

    evalOk("edit data");
    evalOk("create HostProbeData other");
    EXPECT_EQ(evalOk("edit other"), "HostProbeEditor") << "the session's one editor moves";
    EXPECT_EQ(editor->getData(), theObjectPool->find("other"));
    evalOk("remove other");
    EXPECT_FALSE(editor->isAttached()) << "removing the data ends its editing";
    evalOk("edit data");
    evalOk("remove HostProbeEditor");
    EXPECT_FALSE(editor->isAttached()) << "removing the editor ends its editing";
}

TEST_F(HxHostCommandsTest, editRefusals) {
    evalOk("create CmdsThing thing");
    evalOk("create CmdsPlainData plain");
    evalOk("create HostProbeOrphanData orphan");
    EXPECT_EQ(evalError("edit"), "usage: edit name");
    EXPECT_EQ(evalError("edit a b"), "usage: edit name");
    EXPECT_EQ(evalError("edit nobody"), "edit: no data object named \"nobody\"");
    EXPECT_EQ(evalError("edit thing"), "edit: no data object named \"thing\"");
    EXPECT_EQ(evalError("edit plain"), "edit: no editor for objects of type CmdsPlainData");
    EXPECT_EQ(evalError("edit orphan"), "edit: editor class HostProbeMissingEditor is not registered");
    EXPECT_EQ(poolSize(), 3u) << "no editor was added";
}

TEST_F(HxHostCommandsTest, quitRequestsTheExitAndUnwindsTheScript) {
    for (const char* bad : {"quit now", "quit 1 2", "quit 1.5", "quit {}"}) {
        EXPECT_EQ(evalError(bad), "usage: quit [exitCode]");
        EXPECT_FALSE(theInterpreter->quitRequested()) << bad;
    }
    const ScriptResult r = runScript("proc work {} { quit; return finished }; work");
    EXPECT_EQ(r.code, TCL_ERROR);
    EXPECT_EQ(r.text, "quit");
    EXPECT_TRUE(theInterpreter->quitRequested());
    EXPECT_EQ(theInterpreter->quitCode(), 0);
    EXPECT_EQ(evalOk("set errorCode"), "VORNA QUIT");
    theInterpreter->clearQuit();
    EXPECT_EQ(evalError("quit 3"), "quit");
    EXPECT_EQ(theInterpreter->quitCode(), 3);
}

}  // namespace
