#include <hxcore/HxApplication.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>
#include <viewer/HxOffscreenContext.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/sensors/SoSensorManager.h>
#include <QCoreApplication>
#include <algorithm>
#include <deque>
#include <tcl.h>

void hxRegisterHostCommands();    // HxHostCommands.cpp
void hxRegisterViewerCommands();  // viewer/HxViewerCommands.cpp
void hxRegisterNetworkCommands();  // HxNetwork.cpp

namespace {
constexpr int maxScriptEventsPerRound = 100;

std::deque<std::function<void()>>& queue() {
    static std::deque<std::function<void()>> events;
    return events;
}
}  // namespace

void HxApplication::initInventor() {
    static bool done = false;
    if (done) return;
    done = true;
    SoDB::init();
    // Selection nodes and manipulators need the interaction classes.
    SoInteraction::init();
}

void HxApplication::initCommands() {
    static bool done = false;
    if (done) return;
    done = true;
    initInventor();
    hxRegisterHostCommands();
    hxRegisterViewerCommands();
    hxRegisterNetworkCommands();
}

HxPackageLoader& HxApplication::packages() {
    static HxPackageLoader loader;
    return loader;
}

void HxApplication::post(std::function<void()> event) { queue().push_back(std::move(event)); }

int HxApplication::numPendingEvents() { return static_cast<int>(queue().size()); }

void HxApplication::handlePendingEvents(int rounds, QEventLoop::ProcessEventsFlags flags) {
    initInventor();
    for (int round = 0; round < std::max(1, rounds); ++round) {
        // Only what was queued before this round runs now; events posted by these
        // run in the next round, so a loop that posts cannot starve its caller.
        auto pending = std::move(queue());
        queue().clear();
        for (auto& event : pending) event();
        // Inventor's sensors: due timers, then the delayed ones (node sensors of
        // manipulators, for instance).
        SoSensorManager* sensors = SoDB::getSensorManager();
        sensors->processTimerQueue();
        sensors->processDelayQueue(TRUE);
        if (QCoreApplication::instance()) QCoreApplication::processEvents(flags);
        // Script events: "after" timers and idle scripts that are due. Bounded,
        // since an idle script may queue itself again.
        for (int n = 0; n < maxScriptEventsPerRound && Tcl_DoOneEvent(TCL_ALL_EVENTS | TCL_DONT_WAIT); ++n) {
        }
    }
}

void HxApplication::shutdown() {
    theObjectPool->clear();
    // Undelivered events may hold the last references to objects.
    queue().clear();
    packages().unloadAll();
    theController->reset();
    // After the viewers, which free their framebuffers in it.
    HxOffscreenContext::shutdown();
}
