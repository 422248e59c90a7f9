// Session-wide services: start-up of the scene database and the script
// commands, the loaded packages, and the queue of pending events.
#pragma once
#include <hxcore/HxPackageLoader.h>

#include <QEventLoop>
#include <functional>

class HxApplication {
public:
    // Initialises the scene database once; safe to call repeatedly.
    static void initInventor();
    // Registers the host-wide script commands (create, remove, load, quit,
    // viewer, ...) in the interpreter; safe to call repeatedly.
    static void initCommands();

    static HxPackageLoader& packages();

    // Queues work to run on the next handlePendingEvents() (clicks, script
    // commands arriving while a loop runs).
    static void post(std::function<void()> event);
    // Delivers queued host events, then, when a Qt application exists, Qt's
    // events (with the given flags), then the script interpreter's due events
    // ("after" scripts); `rounds` times.
    static void handlePendingEvents(int rounds = 1, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    static int numPendingEvents();

    // Removes every object, calls the packages' finishing entry points and drops
    // the viewers. Call before the program ends.
    static void shutdown();
    // Ends the program with `code` after shutdown(). Tcl's "exit" comes here
    // (installed by initCommands()), from however deep in the event handling it
    // runs: nothing below it on the stack is returned to.
    [[noreturn]] static void exit(int code);
    // A program that owns more than the host (its windows, the Qt application)
    // ends it here, as it would on returning from main: exit() then calls
    // `end` instead of shutdown(), which `end` must call itself, and ends the
    // process when it returns.
    static void setProgramEnd(std::function<void()> end);
};
