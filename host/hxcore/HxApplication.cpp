#include <hxcore/HxApplication.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/sensors/SoSensorManager.h>
#include <QCoreApplication>
#include <algorithm>
#include <deque>
#include <tcl.h>

namespace {
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
        // Script events: "after" timers that are due and idle scripts (those
        // queued before this call: one that queues itself again runs next round).
        // Unlike a Tcl_DoOneEvent loop, this never waits on the notifier (tens
        // of microseconds a call, as much as a played frame's own work).
        static const int previousMode = Tcl_SetServiceMode(TCL_SERVICE_ALL);
        (void)previousMode;
        Tcl_ServiceAll();
    }
}

void HxApplication::discardPendingEvents() { queue().clear(); }
