#include <hxcore/HxApplication.h>
#include <hxcore/HxObjectPool.h>
#include <viewer/HxController.h>
#include <viewer/HxOffscreenContext.h>

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <QCoreApplication>
#include <algorithm>
#include <deque>

void hxRegisterHostCommands();    // HxHostCommands.cpp
void hxRegisterViewerCommands();  // viewer/HxViewerCommands.cpp
void hxRegisterNetworkCommands();  // HxNetwork.cpp

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
    for (int round = 0; round < std::max(1, rounds); ++round) {
        // Only what was queued before this round runs now; events posted by these
        // run in the next round, so a loop that posts cannot starve its caller.
        auto pending = std::move(queue());
        queue().clear();
        for (auto& event : pending) event();
        if (QCoreApplication::instance()) QCoreApplication::processEvents(flags);
    }
}

void HxApplication::shutdown() {
    theObjectPool->clear();
    packages().unloadAll();
    theController->reset();
    // After the viewers, which free their framebuffers in it.
    HxOffscreenContext::shutdown();
}
