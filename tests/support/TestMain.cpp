// Shared main of the test programs: the scene database and the host's script
// commands exist before any test runs; the console is captured, not echoed.
// Every test must leave the session as it found it: a test that changes the
// process-wide state fails, so that no test depends on the order they run in.
#include <hxcore/HxApplication.h>
#include <hxcore/HxInterpreter.h>
#include <hxcore/HxMessage.h>
#include <hxcore/HxObject.h>
#include <hxcore/HxObjectPool.h>
#include <mc/McWatch.h>
#include <session/HxMovieCommand.h>
#include <session/HxSession.h>
#include <viewer/HxController.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// The process-wide state, as text: one line per part, so a failure shows
// what changed.
std::string sessionState() {
    std::ostringstream state;
    state << "objects:";
    for (const auto& object : theObjectPool->objects()) state << ' ' << object->getName();
    state << "\nviewers (existing, visible):";
    for (int id = 0; id < HxController::maxViewers; ++id)
        if (theController->viewer(id, 0)) state << ' ' << id << (theController->isViewerVisible(id) ? "v" : "");
    state << "\nconsole: " << theMsg->text().size() << " characters";
    state << "\nclock replaced: " << McWatch::isClockReplaced();
    state << "\nmovie progress report: " << static_cast<bool>(HxMovieCommand::progress());
    state << "\npending host events: " << HxApplication::numPendingEvents();
    state << "\nquit requested: " << theInterpreter->quitRequested();
    theInterpreter->eval("llength [after info]");
    state << "\npending script events: " << theInterpreter->result() << '\n';
    return state.str();
}

class SessionStateCheck : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { before = sessionState(); }
    // Runs after the fixture is gone, while failures still count for the test.
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::string after = sessionState();
        if (after != before)
            ADD_FAILURE() << "the test left the session changed; before:\n" << before << "after:\n" << after;
    }
    std::string before;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    HxSession::start();
    theMsg->setEchoToStdout(false);
    // Appended last, so it reports before the result printer prints the outcome.
    ::testing::UnitTest::GetInstance()->listeners().Append(new SessionStateCheck);
    const int result = RUN_ALL_TESTS();
    HxSession::shutdown();
    return result;
}
