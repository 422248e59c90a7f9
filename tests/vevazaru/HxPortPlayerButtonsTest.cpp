// HxPortPlayerButtons: the editor operation each button reaches.
#include "internal/HxPortPlayerButtons.h"

#include <WidgetApplication.h>

#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct RecordingControls : HxPlayerControls {
    void playbwd() override { calls.push_back("playbwd"); }
    void jmpbwd() override { calls.push_back("jmpbwd"); }
    void stepbwd() override { calls.push_back("stepbwd"); }
    void stop() override { calls.push_back("stop"); }
    void stepfwd() override { calls.push_back("stepfwd"); }
    void jmpfwd() override { calls.push_back("jmpfwd"); }
    void play() override { calls.push_back("play"); }
    std::vector<std::string> calls;
};

// Opens the relay, so that a test can deliver any button id.
struct OpenPort : HxPortPlayerButtons {
    explicit OpenPort(HxPlayerControls* controls) : HxPortPlayerButtons(nullptr, "player", QString("Play"), controls) {}
    using HxPortPlayerButtons::relay;
};

TEST(HxPortPlayerButtons, eachButtonCallsExactlyItsOperationAndOthersNothing) {
    ensureWidgetApplication();
    RecordingControls controls;
    OpenPort port(&controls);
    QWidget parent;
    const QList<QPushButton*> buttons = port.createWidget(&parent)->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 7);
    for (int id = 0; id < 7; ++id) buttons[id]->click();
    EXPECT_EQ(controls.calls,
              (std::vector<std::string>{"playbwd", "jmpbwd", "stepbwd", "stop", "stepfwd", "jmpfwd", "play"}));
    controls.calls.clear();
    port.relay()->slot(7);
    port.relay()->slot(-1);
    OpenPort(nullptr).relay()->slot(3);
    QPushButton* orphan = OpenPort(&controls).createWidget(&parent)->findChild<QPushButton*>();
    ASSERT_NE(orphan, nullptr);
    orphan->click();
    EXPECT_TRUE(controls.calls.empty()) << "ids outside the buttons, no editor, or a port gone";
}

}  // namespace
