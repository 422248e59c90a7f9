// HxApplication::handlePendingEvents: Inventor's delayed sensors and the
// interpreter's "after" scripts are delivered, and a script that keeps queueing
// itself cannot hold the caller.
#include "ScriptTestSupport.h"

#include <hxcore/HxApplication.h>
#include <mc/McHandle.h>

#include <Inventor/nodes/SoCube.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <string>

namespace {

TEST(HxApplication, pendingEventsRunTheScriptsQueuedWithAfter) {
    evalOk("set ::ran {}; after 0 {lappend ::ran timer}; after idle {lappend ::ran idle}");
    EXPECT_EQ(evalOk("set ::ran"), "") << "nothing runs before events are handled";
    HxApplication::handlePendingEvents();
    EXPECT_EQ(evalOk("lsort $::ran"), "idle timer");
}

TEST(HxApplication, pendingEventsFireInventorsDelayedSensors) {
    McHandle<SoCube> cube = new SoCube;
    int fired = 0;
    SoNodeSensor sensor([](void* count, SoSensor*) { ++*static_cast<int*>(count); }, &fired);
    sensor.attach(cube);
    cube->width = 3;
    cube->height = 4;
    EXPECT_EQ(fired, 0) << "the sensor waits in the delay queue";
    HxApplication::handlePendingEvents();
    EXPECT_EQ(fired, 1) << "once for both changes";
}

TEST(HxApplication, idleScriptQueueingItselfLetsTheCallerGoOnEveryRound) {
    evalOk("set ::runs 0; proc again {} { incr ::runs; after idle again }; after idle again");
    HxApplication::handlePendingEvents();
    const int afterOne = std::stoi(evalOk("set ::runs"));
    EXPECT_GE(afterOne, 1);
    HxApplication::handlePendingEvents(3);
    EXPECT_GT(std::stoi(evalOk("set ::runs")), afterOne) << "each call carries on where the last stopped";
    evalOk("after cancel again");
    EXPECT_EQ(evalOk("after info"), "");
}

}  // namespace
