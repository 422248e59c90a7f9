// The time source: time ports connect to it and follow its time when it fires.
#include "ScriptTestSupport.h"

#include <hxcore/HxObjectPool.h>
#include <ports/HxPortTime.h>
#include <ports/HxTimeSource.h>

namespace {

// An object with a time port that records the new times its computes see.
class Clocked : public HxObject {
public:
    Clocked() : portTime(this, "time", "Time") { portTime.setMinMax(0, 50); }
    const McTypeInfo* getTypeId() const override { return HxObject::getClassTypeId(); }
    void compute() override {
        if (portTime.isNew()) seen.push_back(portTime.getValue());
    }
    HxPortTime portTime;
    std::vector<float> seen;
};

TEST(HxTimeSource, connectedTimePortsFollowItWithinTheirRangeAndTheirObjectsFire) {
    auto* a = new Clocked;
    auto* b = new Clocked;
    theObjectPool->add(new HxTimeSource, "timer");
    theObjectPool->add(a, "a");
    theObjectPool->add(b, "b");
    EXPECT_EQ(evalError("a time connect b"), "connect: \"b\" cannot be a source of port \"time\"");
    EXPECT_EQ(a->portTime.getSource(), nullptr) << "only a time source can drive a time port";
    evalOk("a time connect timer");
    evalOk("timer time setValue 12.5; timer fire");
    evalOk("timer time setValue 80; timer fire");  // beyond a's own range
    evalOk("timer fire");                          // nothing new, nothing handed on
    EXPECT_EQ(a->seen, (std::vector<float>{12.5f, 50.0f}));
    EXPECT_TRUE(b->seen.empty()) << "not connected";
    theObjectPool->clear();
}

}  // namespace
