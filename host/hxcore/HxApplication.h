// Session-wide services of the object model: the scene database, the loaded
// packages and the queue of pending events. Start-up and shutdown of a whole
// session, which know every module, are in session/HxSession.h.
#pragma once
#include <hxcore/HxPackageLoader.h>

#include <QEventLoop>
#include <functional>

class HxApplication {
public:
    // Initialises the scene database once; safe to call repeatedly.
    static void initInventor();

    static HxPackageLoader& packages();

    // Queues work to run on the next handlePendingEvents() (clicks, script
    // commands arriving while a loop runs).
    static void post(std::function<void()> event);
    // Delivers queued host events, then, when a Qt application exists, Qt's
    // events (with the given flags), then the script interpreter's due events
    // ("after" scripts); `rounds` times.
    static void handlePendingEvents(int rounds = 1, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    static int numPendingEvents();
    // Drops the queued events undelivered (at shutdown: they may hold the last
    // references to objects).
    static void discardPendingEvents();
};
