#include <hxcore/HxApplication.h>
#include <hxcore/HxObjectPool.h>
#include <scene/HxInventorScene.h>
#include <scene/HxMeshImport.h>
#include <session/HxPortPanels.h>
#include <session/HxSession.h>
#include <viewer/HxController.h>
#include <viewer/HxOffscreenContext.h>

#include <cstdint>
#include <cstdlib>
#include <tcl.h>

void hxRegisterHostCommands();     // HxHostCommands.cpp
void hxRegisterNetworkCommands();  // HxNetwork.cpp
void hxRegisterMovieCommand();     // HxMovieCommand.cpp
void hxRegisterViewerCommands();   // viewer/HxViewerCommands.cpp

namespace {
std::function<void()>& programEnd() {
    static std::function<void()> end;
    return end;
}

// Tcl_Exit hands over the exit code as its client data.
void exitFromTcl(ClientData code) { HxSession::exit(static_cast<int>(reinterpret_cast<std::intptr_t>(code))); }
}  // namespace

void HxSession::start() {
    static bool done = false;
    if (done) return;
    done = true;
    HxApplication::initInventor();
    // Left to Tcl, "exit" ends the process at once, and static destruction then
    // meets the objects, viewers and GL context of a session never shut down.
    Tcl_SetExitProc(exitFromTcl);
    hxRegisterHostCommands();
    hxRegisterViewerCommands();
    HxInventorScene::registerReaderAndCommands();
    HxMeshImport::registerReaders();  // after the scene reader: Inventor headers come first
    hxRegisterMovieCommand();
    hxRegisterNetworkCommands();
    HxPortPanels::followPool();
}

void HxSession::shutdown() {
    theObjectPool->clear();
    // Undelivered events may hold the last references to objects.
    HxApplication::discardPendingEvents();
    HxApplication::packages().unloadAll();
    theController->reset();
    // After the viewers, which free their framebuffers in it.
    HxOffscreenContext::shutdown();
}

void HxSession::setProgramEnd(std::function<void()> end) { programEnd() = std::move(end); }

void HxSession::exit(int code) {
    // An "exit" run while shutting down (by an object's removal, say) only ends.
    static bool shuttingDown = false;
    if (!shuttingDown) {
        shuttingDown = true;
        if (programEnd())
            programEnd()();
        else
            shutdown();
    }
    std::exit(code);
}
