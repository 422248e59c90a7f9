// McHandle and McHandable: reference counts on host objects and Inventor nodes.
#include <mc/McHandable.h>
#include <mc/McHandle.h>

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <gtest/gtest.h>
#include <utility>

namespace {

// A counted object that reports its destruction into a counter of the test.
class Tracked : public McHandable {
public:
    explicit Tracked(int* deaths, int tag = 0) : deathCounter(deaths), id(tag) {}
    ~Tracked() override { ++*deathCounter; }
    int tag() const { return id; }

    McHandle<Tracked> next;  // lets a test build chains owned through handles

private:
    int* deathCounter;
    int id;
};

class Derived : public Tracked {
public:
    using Tracked::Tracked;
};

// A counted object that is not deleted at zero but recycled.
class Recycled : public McHandable {
public:
    void notifyDelete() override { ++recycled; }
    int recycled = 0;
};

// ---------------------------------------------------------------------------
// McHandable

TEST(McHandable, unrefAtZeroDeletesTheObject) {
    int deaths = 0;
    auto* obj = new Tracked(&deaths);
    obj->ref();
    obj->ref();
    obj->unref();
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(obj->getRefCount(), 1);
    obj->unref();
    EXPECT_EQ(deaths, 1);
}

TEST(McHandable, unrefWithoutRefDeletesToo) {
    int deaths = 0;
    auto* obj = new Tracked(&deaths);
    obj->unref();
    EXPECT_EQ(deaths, 1);
}

TEST(McHandable, unrefNoDeleteNeverDeletes) {
    int deaths = 0;
    Tracked obj(&deaths);
    obj.ref();
    obj.unrefNoDelete();
    obj.unrefNoDelete();  // already at zero: stays at zero
    EXPECT_EQ(obj.getRefCount(), 0);
    EXPECT_EQ(deaths, 0);
}

TEST(McHandable, notifyDeleteDecidesWhatHappensAtZero) {
    Recycled obj;
    obj.ref();
    obj.unref();
    EXPECT_EQ(obj.recycled, 1);
    EXPECT_EQ(obj.getRefCount(), 0);
}

TEST(McHandable, copiesStartWithoutReferences) {
    int deaths = 0;
    Tracked original(&deaths);
    original.ref();
    original.ref();
    Tracked copy(original);
    EXPECT_EQ(copy.getRefCount(), 0);
    Tracked assigned(&deaths);
    assigned.ref();
    assigned = original;
    EXPECT_EQ(assigned.getRefCount(), 1) << "assignment must not copy the count";
    EXPECT_EQ(original.getRefCount(), 2);
    original.unrefNoDelete();
    original.unrefNoDelete();
    assigned.unrefNoDelete();
}

// ---------------------------------------------------------------------------
// McHandle on host objects

TEST(McHandle, holdsOneReferencePerHandle) {
    int deaths = 0;
    auto* obj = new Tracked(&deaths);
    {
        McHandle<Tracked> a(obj);
        EXPECT_EQ(obj->getRefCount(), 1);
        {
            McHandle<Tracked> b(a);
            McHandle<Tracked> c;
            c = a;
            EXPECT_EQ(obj->getRefCount(), 3);
            EXPECT_EQ(b.ptr(), obj);
            EXPECT_EQ(c.ptr(), obj);
        }
        EXPECT_EQ(obj->getRefCount(), 1);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(McHandle, emptyHandleIsNullAndHarmless) {
    McHandle<Tracked> empty;
    EXPECT_EQ(empty.ptr(), nullptr);
    McHandle<Tracked> copy(empty);
    copy = nullptr;
    McHandle<Tracked> moved(std::move(empty));
    EXPECT_EQ(moved.ptr(), nullptr);
}

TEST(McHandle, selfAssignmentKeepsTheObject) {
    int deaths = 0;
    McHandle<Tracked> h(new Tracked(&deaths));
    McHandle<Tracked>& alias = h;  // through a reference, as it happens in real code
    h = alias;
    EXPECT_EQ(deaths, 0);
    ASSERT_NE(h.ptr(), nullptr);
    EXPECT_EQ(h->getRefCount(), 1);

    h = h.ptr();  // the same object as a raw pointer
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(h->getRefCount(), 1);
}

TEST(McHandle, selfMoveAssignmentKeepsTheObject) {
    int deaths = 0;
    McHandle<Tracked> h(new Tracked(&deaths));
    McHandle<Tracked>& alias = h;
    h = std::move(alias);
    EXPECT_EQ(deaths, 0);
    ASSERT_NE(h.ptr(), nullptr);
    EXPECT_EQ(h->getRefCount(), 1);
}

TEST(McHandle, moveConstructionTransfersTheReference) {
    int deaths = 0;
    McHandle<Tracked> a(new Tracked(&deaths));
    Tracked* obj = a.ptr();
    McHandle<Tracked> b(std::move(a));
    EXPECT_EQ(a.ptr(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from state is defined
    EXPECT_EQ(b.ptr(), obj);
    EXPECT_EQ(obj->getRefCount(), 1);
}

TEST(McHandle, moveAssignmentReleasesTheOldObject) {
    int deaths = 0;
    McHandle<Tracked> a(new Tracked(&deaths, 1));
    McHandle<Tracked> b(new Tracked(&deaths, 2));
    b = std::move(a);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(a.ptr(), nullptr);  // NOLINT(bugprone-use-after-move)
    ASSERT_NE(b.ptr(), nullptr);
    EXPECT_EQ(b->tag(), 1);
    EXPECT_EQ(b->getRefCount(), 1);
}

TEST(McHandle, reassignmentReleasesTheOldObject) {
    int deaths = 0;
    McHandle<Tracked> h(new Tracked(&deaths, 1));
    McHandle<Tracked> other(new Tracked(&deaths, 2));
    h = other;
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(h->tag(), 2);
    EXPECT_EQ(other->getRefCount(), 2);

    h = new Tracked(&deaths, 3);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(other->getRefCount(), 1);

    h = nullptr;
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(h.ptr(), nullptr);
}

// Assigning an object that only the old object keeps alive: the new one must be
// referenced before the old one goes.
TEST(McHandle, assigningAnObjectOwnedByTheOldOne) {
    int deaths = 0;
    McHandle<Tracked> head(new Tracked(&deaths, 1));
    head->next = new Tracked(&deaths, 2);

    head = head->next;  // copy assignment
    EXPECT_EQ(deaths, 1);
    ASSERT_NE(head.ptr(), nullptr);
    EXPECT_EQ(head->tag(), 2);
    EXPECT_EQ(head->getRefCount(), 1);

    head->next = new Tracked(&deaths, 3);
    head = head->next.ptr();  // raw pointer assignment
    EXPECT_EQ(deaths, 2);
    ASSERT_NE(head.ptr(), nullptr);
    EXPECT_EQ(head->tag(), 3);
    EXPECT_EQ(head->getRefCount(), 1);
}

// The usual way to drop the first element of a chain.
TEST(McHandle, moveAssigningAHandleOwnedByTheOldObject) {
    int deaths = 0;
    McHandle<Tracked> head(new Tracked(&deaths, 1));
    head->next = new Tracked(&deaths, 2);
    head->next->next = new Tracked(&deaths, 3);

    head = std::move(head->next);
    EXPECT_EQ(deaths, 1);
    ASSERT_NE(head.ptr(), nullptr);
    EXPECT_EQ(head->tag(), 2);
    EXPECT_EQ(head->getRefCount(), 1);
    ASSERT_NE(head->next.ptr(), nullptr);
    EXPECT_EQ(head->next->tag(), 3);

    head = nullptr;
    EXPECT_EQ(deaths, 3);
}

TEST(McHandle, convertsFromAHandleOfADerivedClass) {
    int deaths = 0;
    McHandle<Derived> derived(new Derived(&deaths, 5));
    McHandle<Tracked> base(derived);
    EXPECT_EQ(base.ptr(), derived.ptr());
    EXPECT_EQ(derived->getRefCount(), 2);
    derived = nullptr;
    EXPECT_EQ(deaths, 0);
    base = nullptr;
    EXPECT_EQ(deaths, 1);
}

TEST(McHandle, accessOperatorsReachTheObject) {
    int deaths = 0;
    McHandle<Tracked> h(new Tracked(&deaths, 9));
    EXPECT_EQ(h->tag(), 9);
    EXPECT_EQ((*h).tag(), 9);
    Tracked* raw = h;
    EXPECT_EQ(raw, h.ptr());
}

// ---------------------------------------------------------------------------
// McHandle on Inventor nodes

// Reports when an Inventor node is destroyed.
class NodeDeathWatch {
public:
    explicit NodeDeathWatch(SoNode* node) {
        sensor.setDeleteCallback(&NodeDeathWatch::died, this);
        sensor.attach(node);
    }
    bool isDead() const { return dead; }

private:
    static void died(void* self, SoSensor*) { static_cast<NodeDeathWatch*>(self)->dead = true; }
    SoNodeSensor sensor;
    bool dead = false;
};

TEST(McHandleInventor, countsReferencesOnNodes) {
    auto* node = new SoSeparator;
    NodeDeathWatch watch(node);
    EXPECT_EQ(node->getRefCount(), 0);
    {
        McHandle<SoSeparator> a(node);
        EXPECT_EQ(node->getRefCount(), 1);
        McHandle<SoSeparator> b = a;
        EXPECT_EQ(node->getRefCount(), 2);
        McHandle<SoSeparator> c(std::move(b));
        EXPECT_EQ(node->getRefCount(), 2);
    }
    EXPECT_TRUE(watch.isDead());
}

TEST(McHandleInventor, reassignmentUnrefsTheOldNode) {
    auto* first = new SoSeparator;
    auto* second = new SoSeparator;
    NodeDeathWatch firstWatch(first);
    NodeDeathWatch secondWatch(second);
    McHandle<SoSeparator> h(first);
    h = second;
    EXPECT_TRUE(firstWatch.isDead());
    EXPECT_FALSE(secondWatch.isDead());
    EXPECT_EQ(second->getRefCount(), 1);
    h = nullptr;
    EXPECT_TRUE(secondWatch.isDead());
}

TEST(McHandleInventor, selfAssignmentKeepsTheNode) {
    auto* node = new SoSeparator;
    NodeDeathWatch watch(node);
    McHandle<SoSeparator> h(node);
    McHandle<SoSeparator>& alias = h;
    h = alias;
    h = h.ptr();
    EXPECT_FALSE(watch.isDead());
    EXPECT_EQ(node->getRefCount(), 1);
}

TEST(McHandleInventor, nodeKeptOnlyByItsParentSurvivesAssignment) {
    auto* parent = new SoSeparator;
    auto* child = new SoSeparator;
    parent->addChild(child);  // the child's only reference
    NodeDeathWatch parentWatch(parent);
    NodeDeathWatch childWatch(child);
    McHandle<SoNode> h(parent);
    h = parent->getChild(0);
    EXPECT_TRUE(parentWatch.isDead());
    EXPECT_FALSE(childWatch.isDead());
    EXPECT_EQ(child->getRefCount(), 1);
}

}  // namespace
