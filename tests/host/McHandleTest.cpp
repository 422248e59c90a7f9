// McHandle and McHandable: reference counts on host objects and Inventor nodes.
#include <mc/McHandable.h>
#include <mc/McHandle.h>

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <gtest/gtest.h>
#include <utility>

namespace {

class Tracked : public McHandable {
public:
    explicit Tracked(int* deaths, int tag = 0) : deathCounter(deaths), id(tag) {}
    ~Tracked() override { ++*deathCounter; }
    int tag() const { return id; }
    McHandle<Tracked> next;  // chains owned through handles

private:
    int* deathCounter;
    int id;
};
class Derived : public Tracked {
public:
    using Tracked::Tracked;
};
class Recycled : public McHandable {
public:
    void notifyDelete() override { ++recycled; }
    int recycled = 0;
};

TEST(McHandable, countsDeletesAtZeroAndCopiesStartUncounted) {
    int deaths = 0;
    auto* obj = new Tracked(&deaths);
    obj->ref();
    obj->ref();
    obj->unref();
    EXPECT_EQ(obj->getRefCount(), 1);
    EXPECT_EQ(deaths, 0);
    obj->unref();
    EXPECT_EQ(deaths, 1);
    (new Tracked(&deaths))->unref();  // unref without ref deletes too
    EXPECT_EQ(deaths, 2);

    Tracked local(&deaths);
    local.ref();
    local.unrefNoDelete();
    local.unrefNoDelete();  // stays at zero
    EXPECT_EQ(local.getRefCount(), 0);
    local.ref();
    local.ref();
    Tracked copy(local);
    EXPECT_EQ(copy.getRefCount(), 0);
    copy.ref();
    copy = local;
    EXPECT_EQ(copy.getRefCount(), 1) << "assignment must not copy the count";
    EXPECT_EQ(local.getRefCount(), 2);
    local.unrefNoDelete();
    local.unrefNoDelete();
    copy.unrefNoDelete();
    EXPECT_EQ(deaths, 2);

    Recycled r;
    r.ref();
    r.unref();
    EXPECT_EQ(r.recycled, 1);
}

TEST(McHandle, copiesMovesAndReassignmentsCount) {
    int deaths = 0;
    auto* obj = new Tracked(&deaths, 1);
    {
        McHandle<Tracked> a(obj);
        McHandle<Tracked> b(a), c;
        c = a;
        EXPECT_EQ(obj->getRefCount(), 3);
        McHandle<Tracked> d(std::move(b));
        EXPECT_EQ(b.ptr(), nullptr);  // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(d.ptr(), obj);
        EXPECT_EQ(obj->getRefCount(), 3);
        McHandle<Tracked> other(new Tracked(&deaths, 2));
        other = std::move(d);  // releases object 2
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(other->tag(), 1);
        other = new Tracked(&deaths, 3);
        EXPECT_EQ(obj->getRefCount(), 2);
        other = nullptr;
        EXPECT_EQ(deaths, 2);
        EXPECT_EQ((*a).tag(), 1);
    }
    EXPECT_EQ(deaths, 3);

    McHandle<Tracked> empty, emptyCopy(empty);
    emptyCopy = nullptr;
    McHandle<Tracked> moved(std::move(empty));
    EXPECT_EQ(moved.ptr(), nullptr);
}

TEST(McHandle, selfAssignmentKeepsTheObject) {
    int deaths = 0;
    McHandle<Tracked> h(new Tracked(&deaths));
    McHandle<Tracked>& alias = h;
    h = alias;
    h = h.ptr();
    h = std::move(alias);
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(h ? h->getRefCount() : -1, 1);
}

// The new object, kept alive only by the old one, must be referenced before the old one goes.
TEST(McHandle, assigningAnObjectOwnedByTheOldOne) {
    int deaths = 0;
    const auto tagOf = [](const McHandle<Tracked>& h) { return h ? h->tag() : -1; };
    McHandle<Tracked> head(new Tracked(&deaths, 1));
    head->next = new Tracked(&deaths, 2);
    head = head->next;
    EXPECT_EQ(deaths, 1);
    ASSERT_EQ(tagOf(head), 2);
    head->next = new Tracked(&deaths, 3);
    head = head->next.ptr();
    EXPECT_EQ(deaths, 2);
    ASSERT_EQ(tagOf(head), 3);
    EXPECT_EQ(head->getRefCount(), 1);

    head->next = new Tracked(&deaths, 4);
    head->next->next = new Tracked(&deaths, 5);
    head = std::move(head->next);  // drops the first of a chain
    EXPECT_EQ(deaths, 3);
    ASSERT_EQ(tagOf(head), 4);
    EXPECT_EQ(head->getRefCount(), 1);
    EXPECT_EQ(tagOf(head->next), 5);
    head = nullptr;
    EXPECT_EQ(deaths, 5);
}

TEST(McHandle, convertsFromAHandleOfADerivedClass) {
    int deaths = 0;
    McHandle<Derived> derived(new Derived(&deaths, 5));
    McHandle<Tracked> base(derived);
    EXPECT_EQ(base.ptr(), derived.ptr());
    derived = nullptr;
    EXPECT_EQ(deaths, 0);
    base = nullptr;
    EXPECT_EQ(deaths, 1);
}

class NodeDeathWatch {
public:
    explicit NodeDeathWatch(SoNode* node) {
        sensor.setDeleteCallback([](void* self, SoSensor*) { static_cast<NodeDeathWatch*>(self)->dead = true; }, this);
        sensor.attach(node);
    }
    bool dead = false;

private:
    SoNodeSensor sensor;
};

// Includes a node kept only by its parent, which must survive being assigned.
TEST(McHandleInventor, countsReferencesOnNodes) {
    auto* parent = new SoSeparator;
    auto* child = new SoSeparator;
    parent->addChild(child);
    NodeDeathWatch parentWatch(parent), childWatch(child);
    McHandle<SoNode> h(parent);
    McHandle<SoNode> copy = h;
    EXPECT_EQ(parent->getRefCount(), 2);
    copy = nullptr;
    McHandle<SoNode>& alias = h;
    h = alias;
    h = h.ptr();
    EXPECT_FALSE(parentWatch.dead);
    h = parent->getChild(0);
    EXPECT_TRUE(parentWatch.dead);
    EXPECT_FALSE(childWatch.dead);
    EXPECT_EQ(child->getRefCount(), 1);
    h = nullptr;
    EXPECT_TRUE(childWatch.dead);
}

}  // namespace
