// The object pool: unique names, one script command per object, removal and
// renaming, port panels, and editors let go of with their data.
#include "ScriptTestSupport.h"

#include <WidgetApplication.h>
#include <hxcore/HxCmd.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>
#include <session/HxPortPanels.h>
#include <ports/HxPortButtonList.h>
#include <ports/HxPortTime.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QString>

// Counts the commands that reach it and reports its destruction.
class PoolProbe : public HxObject {
    MC_HEADER(PoolProbe)

public:
    ~PoolProbe() override {
        if (deathFlag) *deathFlag = true;
    }
    int parse(Tcl_Interp* interp, int argc, char** argv) override {
        ++parseCalls;
        if (cmdCheck(argc > 1 ? argv[1] : "help", "removeSelf", "removes the object from the pool")) {
            theObjectPool->remove(this);
            if (aliveAfterRemoval) *aliveAfterRemoval = deathFlag && !*deathFlag;  // the command holds it
            Tcl_VaSetResult(interp, "%s", getName());
            return TCL_OK;
        }
        return HxObject::parse(interp, argc, argv);
    }
    int parseCalls = 0;
    bool* deathFlag = nullptr;
    bool* aliveAfterRemoval = nullptr;
};
MC_INIT_CLASS(PoolProbe, HxObject::getClassTypeId())

class PoolData : public HxData {
    MC_HEADER(PoolData)

public:
    PoolData() : portTime(this, "time", QString("Time")), portButtons(this, "buttons", QString("Buttons"), 2) {}
    HxPortTime portTime;
    HxPortButtonList portButtons;
};
MC_INIT_CLASS(PoolData, HxData::getClassTypeId())

// Logs the data it stops editing; may take a helper object out of the pool then.
class PoolEditor : public HxEditor {
    MC_HEADER(PoolEditor)

public:
    std::vector<std::string> stopped;
    HxObject* helper = nullptr;

protected:
    void stopEditing() override {
        stopped.emplace_back(getData()->getName());
        if (helper) theObjectPool->remove(helper);
    }
};
MC_INIT_CLASS(PoolEditor, HxEditor::getClassTypeId())

namespace {

class HxObjectPoolTest : public ::testing::Test {
protected:
    void TearDown() override { theObjectPool->clear(); }
    // A new pooled object; the test keeps no reference.
    PoolProbe* addProbe(const char* wanted, std::string* givenName = nullptr) {
        auto* probe = new PoolProbe;
        const std::string name = theObjectPool->add(probe, wanted);
        if (givenName) *givenName = name;
        return probe;
    }
    std::string nameFor(const char* wanted) {
        std::string name;
        addProbe(wanted, &name);
        return name;
    }
};

TEST_F(HxObjectPoolTest, namesAreUniquePlainWordsAndNoExistingCommand) {
    PoolProbe* first = addProbe("Surface");
    EXPECT_STREQ(first->getName(), "Surface");
    EXPECT_EQ(theObjectPool->find("Surface"), first);
    EXPECT_EQ(nameFor("Surface"), "Surface2");
    EXPECT_EQ(nameFor("Surface3"), "Surface3");
    EXPECT_EQ(nameFor("Surface"), "Surface4") << "numbers skip names in use";
    EXPECT_EQ(nameFor("my surface"), "my_surface");
    EXPECT_EQ(nameFor(""), "Object");
    EXPECT_EQ(nameFor("a{b}[c];$d"), "a_b__c___d");
    EXPECT_EQ(evalOk("a_b__c___d getLabel"), "a_b__c___d");
    EXPECT_EQ(nameFor("set"), "set2");
    EXPECT_EQ(evalOk("set poolTestVariable 5"), "5") << "the interpreter's own command still works";
}

TEST_F(HxObjectPoolTest, poolHoldsOneReferenceAndOneEntry) {
    McHandle<PoolProbe> mine = new PoolProbe;
    EXPECT_EQ(theObjectPool->add(mine, "Once"), "Once");
    EXPECT_EQ(theObjectPool->add(mine, "Other"), "Once");
    EXPECT_EQ(mine->getRefCount(), 2);
    EXPECT_EQ(theObjectPool->objects().size(), 1u);
    EXPECT_TRUE(theObjectPool->remove(mine));
    EXPECT_EQ(mine->getRefCount(), 1);
    EXPECT_FALSE(theObjectPool->remove(mine));
    EXPECT_FALSE(theObjectPool->remove(nullptr));
}

TEST_F(HxObjectPoolTest, eachObjectHasACommandReachingItsParse) {
    PoolProbe* first = addProbe("First");
    PoolProbe* second = addProbe("Second");
    evalOk("First getLabel");
    EXPECT_EQ(evalOk("First getLabel"), "First");
    EXPECT_EQ(evalOk("Second getLabel"), "Second");
    EXPECT_EQ(first->parseCalls, 2);
    EXPECT_EQ(second->parseCalls, 1);
}

TEST_F(HxObjectPoolTest, removeDeletesTheCommandAndTheObject) {
    bool dead = false;
    PoolProbe* probe = addProbe("Doomed");
    probe->deathFlag = &dead;
    EXPECT_TRUE(theObjectPool->remove(probe));
    EXPECT_TRUE(dead) << "the pool held the last reference";
    EXPECT_EQ(theObjectPool->find("Doomed"), nullptr);
    EXPECT_EQ(evalError("Doomed getLabel"), "invalid command name \"Doomed\"");
    EXPECT_EQ(nameFor("Doomed"), "Doomed") << "a removed name is free again";
}

TEST_F(HxObjectPoolTest, objectRemovingItselfLivesUntilItsCommandEnds) {
    bool dead = false, aliveDuringCommand = false;
    PoolProbe* probe = addProbe("SelfRemover");
    probe->deathFlag = &dead;
    probe->aliveAfterRemoval = &aliveDuringCommand;
    EXPECT_EQ(evalOk("SelfRemover removeSelf"), "SelfRemover");
    EXPECT_TRUE(aliveDuringCommand);
    EXPECT_TRUE(dead) << "gone once its command ended";
    EXPECT_FALSE(theInterpreter->isCommand("SelfRemover"));
}

TEST_F(HxObjectPoolTest, renameAndSetLabelMoveTheCommand) {
    addProbe("Taken");
    PoolProbe* probe = addProbe("OldName");
    EXPECT_EQ(theObjectPool->rename(probe, "Taken"), "Taken2");
    EXPECT_FALSE(theInterpreter->isCommand("OldName"));
    EXPECT_EQ(theObjectPool->find("Taken2"), probe);
    EXPECT_EQ(evalOk("Taken2 getLabel"), "Taken2");
    EXPECT_EQ(evalOk("Taken getLabel"), "Taken") << "the other object keeps its command";
    EXPECT_EQ(theObjectPool->rename(probe, "two words"), "two_words");
    EXPECT_EQ(theObjectPool->rename(probe, "two words"), "two_words") << "its own name is not taken";

    probe->setLabel(QString("Taken"));
    EXPECT_STREQ(probe->getName(), "Taken2");
    EXPECT_TRUE(theInterpreter->isCommand("Taken2"));
    EXPECT_FALSE(theInterpreter->isCommand("two_words"));
    probe->setLabel(QString());  // an empty label changes nothing
    EXPECT_STREQ(probe->getName(), "Taken2");

    McHandle<PoolProbe> outsider = new PoolProbe;
    outsider->setLabel(QString("Loose"));
    EXPECT_STREQ(outsider->getName(), "Loose");
    EXPECT_FALSE(theInterpreter->isCommand("Loose"));
}

TEST_F(HxObjectPoolTest, objectsKeepTheirOrderAndClearRemovesAll) {
    bool deadA = false;
    addProbe("One")->deathFlag = &deadA;
    addProbe("Two");
    addProbe("Three");
    std::vector<std::string> names;
    for (const auto& obj : theObjectPool->objects()) names.emplace_back(obj->getName());
    EXPECT_EQ(names, (std::vector<std::string>{"One", "Two", "Three"}));
    theObjectPool->clear();
    EXPECT_TRUE(theObjectPool->objects().empty());
    EXPECT_TRUE(deadA);
    EXPECT_FALSE(theInterpreter->isCommand("Two"));
}

TEST_F(HxObjectPoolTest, removingDataDetachesEachOfItsEditorsAndRemovingAnEditorDetachesIt) {
    McHandle<PoolData> data = new PoolData, other = new PoolData;
    theObjectPool->add(data, "data");
    theObjectPool->add(other, "other");
    PoolProbe* helper = addProbe("helper");
    McHandle<PoolEditor> first = new PoolEditor, second = new PoolEditor, elsewhere = new PoolEditor;
    for (PoolEditor* editor : {first.ptr(), second.ptr(), elsewhere.ptr()}) theObjectPool->add(editor, "editor");
    first->attach(data);
    second->attach(data);
    elsewhere->attach(other);
    // The first editor's stopEditing() shrinks the pool in front of the second.
    first->helper = helper;

    EXPECT_TRUE(theObjectPool->remove(data));
    EXPECT_EQ(first->stopped, std::vector<std::string>{"data"});
    EXPECT_EQ(second->stopped, std::vector<std::string>{"data"});
    EXPECT_FALSE(first->isAttached() || second->isAttached());
    EXPECT_EQ(data->getRefCount(), 1) << "no editor keeps removed data";
    EXPECT_EQ(theObjectPool->find("helper"), nullptr);
    EXPECT_EQ(elsewhere->getData(), other) << "editors of other data keep editing";

    EXPECT_TRUE(theObjectPool->remove(elsewhere));
    EXPECT_EQ(elsewhere->stopped, std::vector<std::string>{"other"});
    EXPECT_FALSE(elsewhere->isAttached());
    EXPECT_EQ(other->getRefCount(), 2) << "the pool's and the test's reference only";
}

class HxObjectPoolPanels : public HxObjectPoolTest {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }
};

TEST_F(HxObjectPoolPanels, addBuildsAPanelWithARowPerPortAndRemoveDeletesIt) {
    McHandle<PoolData> data = new PoolData;
    theObjectPool->add(data, "data");
    QPointer<QWidget> panel = HxPortPanels::find(data);
    ASSERT_FALSE(panel.isNull());
    QStringList captions;
    for (QWidget* row : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        captions << row->findChild<QLabel*>()->text();
    EXPECT_EQ(captions, (QStringList{"Time", "Buttons"}));

    theObjectPool->remove(data);
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(HxPortPanels::find(data), nullptr);
    EXPECT_TRUE(data->portButtons.hit(1)) << "the port works on without its widgets";
}

}  // namespace
