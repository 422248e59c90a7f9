// HxPortPlayerButtons: the button row it builds, the editor operation each
// click reaches, the icon shapes, and its type record.
#include "internal/HxPortPlayerButtons.h"

#include <WidgetApplication.h>
#include <ports/HxPortTypeInfo.h>

#include <QApplication>
#include <QLayout>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Records the operations it receives, in order.
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

bool drawn(const unsigned char* bits, int x, int y) { return (bits[2 * y + x / 8] >> (x % 8)) & 1; }

std::vector<int> rowsDrawnIn(const unsigned char* bits, int x) {
    std::vector<int> rows;
    for (int y = 0; y < 16; ++y)
        if (drawn(bits, x, y)) rows.push_back(y);
    return rows;
}

class HxPortPlayerButtonsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }
    void SetUp() override {
        QWidget* row = port.createWidget(&parent);
        ASSERT_EQ(row->layout()->count(), 2) << "the label, then the buttons' layout";
        buttons = dynamic_cast<QHBoxLayout*>(row->layout()->itemAt(1)->layout());
        ASSERT_NE(buttons, nullptr);
        ASSERT_EQ(buttons->count(), HxPortPlayerButtons::numButtons);
        for (int i = 0; i < buttons->count(); ++i) {
            auto* button = qobject_cast<QPushButton*>(buttons->itemAt(i)->widget());
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->parentWidget(), row);
            EXPECT_EQ(buttons->stretch(i), 0);
            pushButtons.push_back(button);
        }
        row->resize(600, 40);
        row->layout()->activate();
    }
    RecordingControls controls;
    OpenPort port{&controls};
    QWidget parent;
    QHBoxLayout* buttons = nullptr;
    std::vector<QPushButton*> pushButtons;
};

TEST_F(HxPortPlayerButtonsTest, sevenIconButtonsRunLeftToRightWithFivePixelGapsAndNoMargin) {
    EXPECT_EQ(buttons->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(buttons->spacing(), 5);
    for (int id = 0; id < HxPortPlayerButtons::numButtons; ++id) {
        QPushButton* button = pushButtons[id];
        EXPECT_EQ(button->iconSize(), QSize(16, 16));
        ASSERT_FALSE(button->icon().isNull());
        if (id > 0) {
            EXPECT_EQ(button->x() - pushButtons[id - 1]->geometry().right() - 1, 5) << "button " << id;
        }
        // The icon shows the button's bitmap: a set bit is black, a clear one is not.
        const QImage image = button->icon().pixmap(16, 16).toImage();
        ASSERT_EQ(image.size(), QSize(16, 16));
        int mismatches = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                mismatches +=
                    (image.pixelColor(x, y) == QColor(Qt::black)) != drawn(HxPortPlayerButtons::iconBits(id), x, y);
        EXPECT_EQ(mismatches, 0) << "icon of button " << id;
    }
}

TEST_F(HxPortPlayerButtonsTest, eachClickCallsExactlyItsOperation) {
    const std::vector<std::string> operations = {"playbwd", "jmpbwd", "stepbwd", "stop", "stepfwd", "jmpfwd", "play"};
    for (int id = 0; id < HxPortPlayerButtons::numButtons; ++id) {
        controls.calls.clear();
        pushButtons[id]->click();
        EXPECT_EQ(controls.calls, std::vector<std::string>{operations[id]}) << "button " << id;
    }
}

TEST_F(HxPortPlayerButtonsTest, idsOutsideTheButtonsAndAMissingEditorCallNothing) {
    port.relay()->slot(7);
    port.relay()->slot(-1);
    EXPECT_TRUE(controls.calls.empty());
    OpenPort alone(nullptr);
    EXPECT_EQ(alone.getEditor(), nullptr);
    alone.relay()->slot(3);
    EXPECT_EQ(port.getEditor(), &controls);
}

TEST_F(HxPortPlayerButtonsTest, buttonsOutlivingTheirPortStaySilent) {
    QWidget other;
    QPushButton* orphan = nullptr;
    {
        OpenPort shortLived(&controls);
        orphan = shortLived.createWidget(&other)->findChild<QPushButton*>();
        ASSERT_NE(orphan, nullptr);
    }
    orphan->click();
    EXPECT_TRUE(controls.calls.empty());
}

TEST(HxPortPlayerButtonsIcons, stopIsAFrameAroundASquare) {
    const unsigned char* stop = HxPortPlayerButtons::iconBits(3);
    auto within = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool frame = within(x, 2, 13) && within(y, 2, 13) && (x == 2 || x == 13 || y == 2 || y == 13);
            const bool square = within(x, 4, 11) && within(y, 4, 11);
            EXPECT_EQ(drawn(stop, x, y), frame || square) << "pixel " << x << "," << y;
        }
}

TEST(HxPortPlayerButtonsIcons, playPointsRightAndPlayBackwardsIsItsMirrorImage) {
    const unsigned char* play = HxPortPlayerButtons::iconBits(6);
    const unsigned char* playbwd = HxPortPlayerButtons::iconBits(0);
    const std::vector<int> base = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    const std::vector<int> tip = {7, 8};
    EXPECT_TRUE(rowsDrawnIn(play, 1).empty());
    EXPECT_EQ(rowsDrawnIn(play, 2), base);
    EXPECT_EQ(rowsDrawnIn(play, 13), tip);
    EXPECT_TRUE(rowsDrawnIn(play, 14).empty());
    EXPECT_EQ(rowsDrawnIn(playbwd, 11), base);
    EXPECT_EQ(rowsDrawnIn(playbwd, 0), tip);
    EXPECT_TRUE(rowsDrawnIn(playbwd, 12).empty());
    for (int x = 0; x <= 13; ++x) EXPECT_EQ(rowsDrawnIn(playbwd, 13 - x), rowsDrawnIn(play, x)) << "column " << x;
    EXPECT_EQ(HxPortPlayerButtons::iconBits(7), nullptr);
    EXPECT_EQ(HxPortPlayerButtons::iconBits(-1), nullptr);
}

TEST(HxPortPlayerButtonsType, isAPortThatNothingCreatesByName) {
    const McTypeInfo* type = McTypeInfo::fromName("HxPortPlayerButtons");
    ASSERT_EQ(type, HxPortPlayerButtons::getClassTypeId());
    EXPECT_TRUE(type->isDerivedFrom(HxPort::getClassTypeId()));
    EXPECT_EQ(type->createInstance(), nullptr);
    const auto* portType = dynamic_cast<const HxPortTypeInfo*>(type);
    ASSERT_NE(portType, nullptr);
    EXPECT_EQ(portType->objectFactory(), nullptr);
    EXPECT_EQ(portType->dialogFactory(), nullptr);
}

}  // namespace
