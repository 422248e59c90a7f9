// The object pool: names, script commands, removal, port panels, observers and editors.
#include "ScriptTestSupport.h"

#include <WidgetApplication.h>
#include <hxcore/HxCmd.h>
#include <hxcore/HxData.h>
#include <hxcore/HxEditor.h>
#include <mc/McHandle.h>
#include <session/HxPortPanels.h>
#include <ports/HxPortButtonList.h>
#include <ports/HxPortTime.h>

#include <QLabel>
#include <QPointer>

// Reports its destruction; its command "removeSelf" takes it out of the pool.
class PoolProbe : public HxObject {
    MC_HEADER(PoolProbe)

public:
    ~PoolProbe() override { *deathFlag = true; }
    int parse(Tcl_Interp* interp, int argc, char** argv) override {
        if (!cmdCheck(argc > 1 ? argv[1] : "help", "removeSelf", "")) return HxObject::parse(interp, argc, argv);
        theObjectPool->remove(this);
        Tcl_VaSetResult(interp, "%s", *deathFlag ? "dead" : "alive");
        return TCL_OK;
    }
    bool ownFlag = false;
    bool* deathFlag = &ownFlag;
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

using HxObjectPoolTest = SessionTest;
std::string add(const char* wanted) { return theObjectPool->add(new PoolProbe, wanted); }

TEST_F(HxObjectPoolTest, namesAreUniquePlainWordsAndNoExistingCommand) {
    const char* wanted[] = {"Surface", "Surface", "Surface3", "Surface", "my surface", "", "a{b}[c];$d", "set"};
    std::vector<std::string> names;
    for (const char* name : wanted) names.push_back(add(name));
    EXPECT_EQ(names, (std::vector<std::string>{"Surface", "Surface2", "Surface3", "Surface4", "my_surface", "Object",
                                               "a_b__c___d", "set2"}));
    EXPECT_EQ(evalOk("a_b__c___d getLabel"), "a_b__c___d");
    EXPECT_EQ(evalOk("set poolTestVariable 5"), "5") << "the interpreter's own command still works";
    McHandle<PoolProbe> mine = new PoolProbe;
    EXPECT_EQ(theObjectPool->add(mine, "Once"), "Once");
    EXPECT_EQ(theObjectPool->add(mine, "Other"), "Once") << "one entry per object";
    EXPECT_EQ(mine->getRefCount(), 2);
}

TEST_F(HxObjectPoolTest, removeDeletesTheCommandAndTheObjectOnceItsCommandEnded) {
    bool dead = false;
    auto* probe = new PoolProbe;
    probe->deathFlag = &dead;
    theObjectPool->add(probe, "Doomed");
    EXPECT_TRUE(theObjectPool->remove(probe));
    EXPECT_TRUE(dead);
    EXPECT_EQ(evalError("Doomed getLabel"), "invalid command name \"Doomed\"");
    EXPECT_FALSE(theObjectPool->remove(probe));
    EXPECT_EQ(add("Doomed"), "Doomed") << "a removed name is free again";
    EXPECT_EQ(evalOk("Doomed removeSelf"), "alive");
    EXPECT_FALSE(theInterpreter->isCommand("Doomed"));
}

TEST_F(HxObjectPoolTest, removingDataDetachesEachOfItsEditorsAndRemovingAnEditorDetachesIt) {
    McHandle<PoolData> data = new PoolData, other = new PoolData;
    theObjectPool->add(data, "data");
    theObjectPool->add(other, "other");
    add("helper");
    McHandle<PoolEditor> first = new PoolEditor, second = new PoolEditor, elsewhere = new PoolEditor;
    for (PoolEditor* editor : {first.ptr(), second.ptr(), elsewhere.ptr()}) theObjectPool->add(editor, "editor");
    first->attach(data);
    second->attach(data);
    elsewhere->attach(other);
    first->helper = theObjectPool->find("helper");  // shrinks the pool in front of the second
    EXPECT_TRUE(theObjectPool->remove(data));
    EXPECT_EQ(first->stopped, std::vector<std::string>{"data"});
    EXPECT_EQ(second->stopped, std::vector<std::string>{"data"});
    EXPECT_EQ(data->getRefCount(), 1) << "no editor keeps removed data";
    EXPECT_EQ(elsewhere->getData(), other) << "editors of other data keep editing";
    EXPECT_TRUE(theObjectPool->remove(elsewhere));
    EXPECT_FALSE(elsewhere->isAttached());
    EXPECT_EQ(other->getRefCount(), 2) << "the pool's and the test's reference only";
}

TEST_F(HxObjectPoolTest, addAndRemoveBuildAndDeleteAPanelWithARowPerPortAndTellObservers) {
    ensureWidgetApplication();
    static int notifications = 0;
    static const bool observed = (theObjectPool->addObserver([] { ++notifications; }), true);
    ASSERT_TRUE(observed);
    const int before = notifications;
    McHandle<PoolData> data = new PoolData;
    theObjectPool->add(data, "data");
    EXPECT_EQ(notifications, before + 1);
    QPointer<QWidget> panel = HxPortPanels::find(data);
    ASSERT_FALSE(panel.isNull());
    QStringList captions;
    for (QWidget* row : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        captions << row->findChild<QLabel*>()->text();
    EXPECT_EQ(captions, (QStringList{"Time", "Buttons"}));
    theObjectPool->remove(data);
    EXPECT_EQ(notifications, before + 2);
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(HxPortPanels::find(data), nullptr);
    EXPECT_TRUE(data->portButtons.hit(1)) << "the port works on without its widgets";
}

}  // namespace
