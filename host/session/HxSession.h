// Start and end of a session: the one place that knows every module of the
// host. start() sets up the scene database, registers every module's script
// commands and the host's own readers and keeps the objects' port panels;
// shutdown() takes it all down again.
#pragma once
#include <functional>

class HxSession {
public:
    // Initialises the scene database and registers the host-wide script
    // commands (create, remove, load, edit, saveNetwork, quit, viewer, movie,
    // ...) and the scene reader; safe to call repeatedly.
    static void start();

    // Removes every object, calls the packages' finishing entry points and drops
    // the viewers. Call before the program ends.
    static void shutdown();
    // Ends the program with `code` after shutdown(). Tcl's "exit" comes here
    // (installed by start()), from however deep in the event handling it runs:
    // nothing below it on the stack is returned to.
    [[noreturn]] static void exit(int code);
    // A program that owns more than the host (its windows, the Qt application)
    // ends it here, as it would on returning from main: exit() then calls
    // `end` instead of shutdown(), which `end` must call itself, and ends the
    // process when it returns.
    static void setProgramEnd(std::function<void()> end);
};
