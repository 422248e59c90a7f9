// The time source: time ports connect to it and follow its time when it fires.
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxObjectPool.h>
#include <hxcore/HxTimeSource.h>
#include <ports/HxPortTime.h>

#include <gtest/gtest.h>
#include <tcl.h>

namespace {
// An object with a time port that counts its computes.
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

int eval(const std::string& script) { return theInterpreter->eval(script.c_str()); }
}  // namespace

TEST(HxTimeSource, connectedPortsFollowTheTimeAndTheirObjectsFire) {
    auto* source = new HxTimeSource;
    auto* a = new Clocked;
    auto* b = new Clocked;
    theObjectPool->add(source, "timer");
    theObjectPool->add(a, "a");
    theObjectPool->add(b, "b");
    ASSERT_EQ(eval("a time connect timer"), TCL_OK) << theInterpreter->result();
    ASSERT_EQ(eval("timer time setValue 12.5; timer fire"), TCL_OK);
    EXPECT_EQ(a->seen, std::vector<float>{12.5f});
    EXPECT_TRUE(b->seen.empty());  // not connected
    // The target's own range still holds.
    ASSERT_EQ(eval("timer time setValue 80; timer fire"), TCL_OK);
    EXPECT_EQ(a->seen.back(), 50.0f);
    // Nothing new, nothing handed on.
    ASSERT_EQ(eval("timer fire"), TCL_OK);
    EXPECT_EQ(a->seen.size(), 2u);
    theObjectPool->clear();
}

TEST(HxTimeSource, onlyATimeSourceCanDriveATimePort) {
    auto* a = new Clocked;
    auto* b = new Clocked;
    theObjectPool->add(a, "a");
    theObjectPool->add(b, "b");
    EXPECT_EQ(eval("a time connect b"), TCL_ERROR);
    EXPECT_EQ(theInterpreter->result(), "connect: \"b\" cannot be a source of port \"time\"");
    EXPECT_EQ(a->portTime.getSource(), nullptr);
    theObjectPool->clear();
}
