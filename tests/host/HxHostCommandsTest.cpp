// The host-wide script commands; load and edit use the probe package built beside this test.
#include "ScriptTestSupport.h"

#include <TestFiles.h>
#include <hxcore/HxApplication.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxUndoHistory.h>
#include <mc/McHandle.h>

#include <QUndoStack>

class CmdsThing : public HxObject {
    MC_HEADER(CmdsThing)
};
MC_INIT_CLASS(CmdsThing, HxObject::getClassTypeId())

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

class HxHostCommandsTest : public SessionTest {
protected:
    static void SetUpTestSuite() {
        std::string error;
        ASSERT_TRUE(HxApplication::packages().loadFile("hostprobe", HOST_PROBE_LIBRARY, error)) << error;
    }
    static std::size_t poolSize() { return theObjectPool->objects().size(); }
    TempFolder folder;
};

TEST_F(HxHostCommandsTest, createGivesUniqueNamesAndRefusalsCreateNothing) {
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing");
    EXPECT_EQ(theObjectPool->find("CmdsThing")->getRefCount(), 1) << "only the pool holds it";
    EXPECT_EQ(evalOk("create CmdsThing"), "CmdsThing2");
    for (const auto& [script, message] : std::initializer_list<std::pair<const char*, const char*>>{
             {"create CmdsThing a b", "usage: create Type [name]"},
             {"create NoSuchType", "create: unknown type \"NoSuchType\""},
             {"create HxData x", "create: unknown type \"HxData\""},
             {"create CmdsNotAnObject", "create: unknown type \"CmdsNotAnObject\""}})
        EXPECT_EQ(evalError(script), message);
    EXPECT_EQ(poolSize(), 2u);
    EXPECT_EQ(CmdsNotAnObject::instances, 0) << "nothing is instantiated to find out";
}

// One step of a history: adds one to a count.
struct CountStep : QUndoCommand {
    explicit CountStep(int& counted) : QUndoCommand("count"), count(counted) {}
    void redo() override { ++count; }
    void undo() override { --count; }
    int& count;
};

TEST_F(HxHostCommandsTest, undoAndRedoStepTheEditedDatasHistoryWhichASavedNetworkMarksSaved) {
    EXPECT_EQ(evalError("undo"), "undo: no object is being edited");
    evalOk("create HostProbeData data");
    QUndoStack* stack = theUndoHistory->stackFor(dynamic_cast<HxData*>(theObjectPool->find("data")));
    theUndoHistory->setActiveStack(stack);
    EXPECT_EQ(evalError("redo"), "redo: nothing to redo");
    int count = 0;
    stack->push(new CountStep(count));
    EXPECT_TRUE(theUndoHistory->unsaved());
    EXPECT_EQ(evalError("undo now"), "usage: undo");
    EXPECT_EQ(evalOk("undo"), "count");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(evalOk("redo"), "count");
    EXPECT_EQ(count, 1);
    evalOk("saveNetwork {" + folder.path("session.tcl") + "}");
    EXPECT_FALSE(theUndoHistory->unsaved());
    EXPECT_EQ(theUndoHistory->sessionFile(), folder.path("session.tcl"));
    evalOk("undo");
    evalOk("remove data");
    EXPECT_EQ(theUndoHistory->activeStack(), nullptr) << "the history goes with its data";
    EXPECT_FALSE(theUndoHistory->unsaved());
    theUndoHistory->setSessionFile("");
}

TEST_F(HxHostCommandsTest, removeChecksEveryNameBeforeRemovingAny) {
    for (const char* name : {"a", "b", "c"}) evalOk(std::string("create CmdsThing ") + name);
    EXPECT_EQ(evalError("remove"), "usage: remove name [name ...]");
    EXPECT_EQ(evalError("remove a nobody"), "remove: no object named \"nobody\"");
    EXPECT_EQ(poolSize(), 3u);
    EXPECT_EQ(evalOk("remove a c a"), "");
    EXPECT_EQ(poolSize(), 1u);
    EXPECT_FALSE(theInterpreter->isCommand("a"));
}

TEST_F(HxHostCommandsTest, loadUsesThePackagesReaderAndSaysWhyItCannot) {
    const std::string file = folder.write("scene.hpr", "probe data\n");
    EXPECT_EQ(evalOk("load {" + file + "}"), "scene");
    EXPECT_EQ(dynamic_cast<HxData*>(theObjectPool->find("scene"))->getLoadCmd(), file);
    const std::string broken = folder.write("broken.hpr", "bad\n");
    for (const auto& [script, message] : std::initializer_list<std::pair<std::string, std::string>>{
             {broken, "could not read \"" + broken + "\""},
             {folder.write("a.hpx", "x"), "reader hostprobe_no_such_reader missing in package hostprobe"},
             {folder.write("notes.xyz", "x"), "no reader for files of type \".xyz\""},
             {"a b", "usage: load file"}})
        EXPECT_EQ(evalError("load " + script), (message.rfind("usage", 0) ? "load: " : "") + message);
    EXPECT_EQ(poolSize(), 1u);
}

TEST_F(HxHostCommandsTest, editAttachesThePackagesEditorWhichKeepsTheDataUntilItGoes) {
    evalOk("create HostProbeData data; create HostProbeData other");
    HxObject* data = theObjectPool->find("data");
    EXPECT_EQ(evalOk("edit data"), "HostProbeEditor");
    McHandle<HxEditor> editor = dynamic_cast<HxEditor*>(theObjectPool->find("HostProbeEditor"));
    ASSERT_NE(editor.ptr(), nullptr);
    EXPECT_EQ(data->getRefCount(), 2) << "the editor holds the data";
    evalOk("HostProbeEditor detach");
    EXPECT_EQ(data->getRefCount(), 1);
    evalOk("edit data");
    EXPECT_EQ(evalOk("edit other"), "HostProbeEditor") << "the session's one editor moves";
    evalOk("remove other");
    EXPECT_FALSE(editor->isAttached()) << "removing the data ends its editing";
    evalOk("create CmdsThing thing; create HostProbeOrphanData orphan");
    EXPECT_EQ(evalError("edit thing"), "edit: no data object named \"thing\"");
    EXPECT_EQ(evalError("edit orphan"), "edit: editor class HostProbeMissingEditor is not registered");
    EXPECT_EQ(poolSize(), 4u) << "no editor was added";
}

}  // namespace
