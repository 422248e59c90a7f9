// The object pool: unique names, one script command per object, removal and
// renaming.
#include "ScriptTestSupport.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McHandle.h>

#include <QString>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Counts the commands that reach it and reports its destruction.
class PoolProbe : public HxObject {
    MC_HEADER(PoolProbe)

public:
    ~PoolProbe() override {
        if (deathFlag) *deathFlag = true;
    }
    int parse(Tcl_Interp* interp, int argc, char** argv) override {
        ++parseCalls;
        const char* word = argc > 1 ? argv[1] : "help";
        if (cmdCheck(word, "removeSelf", "removes the object from the pool")) {
            theObjectPool->remove(this);
            // Still alive here: the running command holds the object.
            if (aliveAfterRemoval) *aliveAfterRemoval = deathFlag && !*deathFlag;
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

namespace {

class HxObjectPoolTest : public ::testing::Test {
protected:
    void TearDown() override { theObjectPool->clear(); }

    // A new object, added to the pool; the test keeps no reference.
    PoolProbe* addProbe(const char* wanted, std::string* givenName = nullptr) {
        auto* probe = new PoolProbe;
        std::string name = theObjectPool->add(probe, wanted);
        if (givenName) *givenName = name;
        return probe;
    }
};

TEST_F(HxObjectPoolTest, addUsesTheWantedNameWhenFree) {
    std::string name;
    PoolProbe* probe = addProbe("Surface", &name);
    EXPECT_EQ(name, "Surface");
    EXPECT_STREQ(probe->getName(), "Surface");
    EXPECT_EQ(theObjectPool->find("Surface"), probe);
    EXPECT_TRUE(theObjectPool->contains(probe));
}

TEST_F(HxObjectPoolTest, takenNamesGetANumberAppended) {
    std::vector<std::string> names(4);
    for (auto& n : names) addProbe("Surface", &n);
    EXPECT_EQ(names, (std::vector<std::string>{"Surface", "Surface2", "Surface3", "Surface4"}));
    for (const auto& n : names) EXPECT_NE(theObjectPool->find(n.c_str()), nullptr) << n;
}

TEST_F(HxObjectPoolTest, appendedNumbersSkipNamesInUse) {
    std::string a, b, c;
    addProbe("Grid", &a);
    addProbe("Grid2", &b);
    addProbe("Grid", &c);
    EXPECT_EQ(a, "Grid");
    EXPECT_EQ(b, "Grid2");
    EXPECT_EQ(c, "Grid3");
}

TEST_F(HxObjectPoolTest, namesBecomeOnePlainWord) {
    std::string spaced, empty, braced;
    addProbe("my surface", &spaced);
    addProbe("", &empty);
    addProbe("a{b}[c];$d", &braced);
    EXPECT_EQ(spaced, "my_surface");
    EXPECT_EQ(empty, "Object");
    EXPECT_EQ(braced, "a_b__c___d");
    EXPECT_EQ(evalOk("my_surface getLabel"), "my_surface");
    EXPECT_EQ(evalOk("a_b__c___d getLabel"), "a_b__c___d");
}

TEST_F(HxObjectPoolTest, nameOfAnExistingCommandIsNotTaken) {
    std::string name;
    addProbe("set", &name);
    EXPECT_EQ(name, "set2");
    // The interpreter's own command still works.
    EXPECT_EQ(evalOk("set poolTestVariable 5"), "5");
}

TEST_F(HxObjectPoolTest, poolHoldsOneReference) {
    McHandle<PoolProbe> mine = new PoolProbe;
    theObjectPool->add(mine, "Counted");
    EXPECT_EQ(mine->getRefCount(), 2);
    theObjectPool->remove(mine);
    EXPECT_EQ(mine->getRefCount(), 1);
}

TEST_F(HxObjectPoolTest, addingTwiceKeepsOneEntry) {
    std::string name;
    PoolProbe* probe = addProbe("Once", &name);
    EXPECT_EQ(theObjectPool->add(probe, "Other"), "Once");
    EXPECT_EQ(theObjectPool->objects().size(), 1u);
    EXPECT_EQ(probe->getRefCount(), 1);
    EXPECT_EQ(theObjectPool->find("Other"), nullptr);
}

TEST_F(HxObjectPoolTest, eachObjectHasACommandReachingItsParse) {
    PoolProbe* first = addProbe("First");
    PoolProbe* second = addProbe("Second");
    EXPECT_TRUE(theInterpreter->isCommand("First"));
    EXPECT_TRUE(theInterpreter->isCommand("Second"));
    evalOk("First getLabel");
    evalOk("First getLabel");
    evalOk("Second getLabel");
    EXPECT_EQ(first->parseCalls, 2);
    EXPECT_EQ(second->parseCalls, 1);
    EXPECT_EQ(evalOk("Second getLabel"), "Second");
}

TEST_F(HxObjectPoolTest, removeDeletesTheCommandAndTheObject) {
    bool dead = false;
    PoolProbe* probe = addProbe("Doomed");
    probe->deathFlag = &dead;
    EXPECT_TRUE(theObjectPool->remove(probe));
    EXPECT_TRUE(dead) << "the pool held the last reference";
    EXPECT_FALSE(theInterpreter->isCommand("Doomed"));
    EXPECT_EQ(theObjectPool->find("Doomed"), nullptr);
    EXPECT_EQ(evalError("Doomed getLabel"), "invalid command name \"Doomed\"");
}

TEST_F(HxObjectPoolTest, removeOfAnObjectNotInThePoolIsFalse) {
    McHandle<PoolProbe> outsider = new PoolProbe;
    EXPECT_FALSE(theObjectPool->remove(outsider));
    EXPECT_FALSE(theObjectPool->remove(nullptr));
    PoolProbe* probe = addProbe("Twice");
    McHandle<PoolProbe> keep = probe;
    EXPECT_TRUE(theObjectPool->remove(probe));
    EXPECT_FALSE(theObjectPool->remove(probe));
}

TEST_F(HxObjectPoolTest, removedNameCanBeGivenAgain) {
    PoolProbe* probe = addProbe("Reused");
    theObjectPool->remove(probe);
    std::string name;
    addProbe("Reused", &name);
    EXPECT_EQ(name, "Reused");
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

TEST_F(HxObjectPoolTest, renameMovesTheCommand) {
    PoolProbe* probe = addProbe("OldName");
    EXPECT_EQ(theObjectPool->rename(probe, "NewName"), "NewName");
    EXPECT_STREQ(probe->getName(), "NewName");
    EXPECT_FALSE(theInterpreter->isCommand("OldName"));
    EXPECT_TRUE(theInterpreter->isCommand("NewName"));
    EXPECT_EQ(theObjectPool->find("NewName"), probe);
    EXPECT_EQ(theObjectPool->find("OldName"), nullptr);
    EXPECT_EQ(evalOk("NewName getLabel"), "NewName");
    EXPECT_EQ(probe->parseCalls, 1);
}

TEST_F(HxObjectPoolTest, renameToATakenNameAppendsANumber) {
    addProbe("Taken");
    PoolProbe* probe = addProbe("Mover");
    EXPECT_EQ(theObjectPool->rename(probe, "Taken"), "Taken2");
    EXPECT_EQ(theObjectPool->find("Taken2"), probe);
    EXPECT_EQ(evalOk("Taken getLabel"), "Taken") << "the other object keeps its command";
}

TEST_F(HxObjectPoolTest, renameToItsOwnSanitisedNameKeepsIt) {
    PoolProbe* probe = addProbe("two words");
    EXPECT_EQ(theObjectPool->rename(probe, "two words"), "two_words");
    EXPECT_TRUE(theInterpreter->isCommand("two_words"));
}

TEST_F(HxObjectPoolTest, setLabelRenamesAPooledObject) {
    PoolProbe* probe = addProbe("Labelled");
    addProbe("Wanted");
    probe->setLabel(QString("Wanted"));
    EXPECT_STREQ(probe->getName(), "Wanted2");
    EXPECT_TRUE(theInterpreter->isCommand("Wanted2"));
    EXPECT_FALSE(theInterpreter->isCommand("Labelled"));
    probe->setLabel(QString());  // an empty label changes nothing
    EXPECT_STREQ(probe->getName(), "Wanted2");
}

TEST_F(HxObjectPoolTest, setLabelOutsideThePoolOnlyRenames) {
    McHandle<PoolProbe> outsider = new PoolProbe;
    outsider->setLabel(QString("Loose"));
    EXPECT_STREQ(outsider->getName(), "Loose");
    EXPECT_FALSE(theInterpreter->isCommand("Loose"));
    EXPECT_EQ(theObjectPool->find("Loose"), nullptr);
}

TEST_F(HxObjectPoolTest, clearRemovesEveryObjectAndCommand) {
    bool deadA = false, deadB = false;
    addProbe("A")->deathFlag = &deadA;
    addProbe("B")->deathFlag = &deadB;
    theObjectPool->clear();
    EXPECT_TRUE(theObjectPool->objects().empty());
    EXPECT_TRUE(deadA);
    EXPECT_TRUE(deadB);
    EXPECT_FALSE(theInterpreter->isCommand("A"));
    EXPECT_FALSE(theInterpreter->isCommand("B"));
}

TEST_F(HxObjectPoolTest, objectsKeepTheirOrder) {
    addProbe("One");
    addProbe("Two");
    addProbe("Three");
    std::vector<std::string> names;
    for (const auto& obj : theObjectPool->objects()) names.emplace_back(obj->getName());
    EXPECT_EQ(names, (std::vector<std::string>{"One", "Two", "Three"}));
}

}  // namespace
