// QxSlider (clamping, clipped amounts, range, sub-range, ticks, mouse) and
// QxFullSlider (text field, text entry, sub-range buttons).
#include <WidgetApplication.h>
#include <widgets/QxFullSlider.h>
#include <widgets/QxSlider.h>

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

class Widgets : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureWidgetApplication(); }
};

// Records every valueChanged and valueClipped of a slider.
struct Signals {
    explicit Signals(QxSlider& s) {
        QObject::connect(&s, &QxSlider::valueChanged, [this](float v) { changed.push_back(v); });
        QObject::connect(&s, &QxSlider::valueClipped, [this](float d) { clipped.push_back(d); });
    }
    std::vector<float> changed, clipped;
};

using QxSliderTest = Widgets;

TEST_F(QxSliderTest, setValueClampsAndReportsTheSignedClippedAmount) {
    const struct {
        const char* name;
        float start, request, value;
        std::vector<float> changed, clipped;
    } cases[] = {
        {"inside", 2, 4, 4, {4}, {}},   {"above", 2, 10.5f, 10, {10}, {0.5f}},
        {"below", 2, -2, 0, {0}, {-2}}, {"aboveAtMax", 10, 13, 10, {}, {3}},
        {"same", 4, 4, 4, {}, {}},      {"nan", 4, std::nanf(""), 4, {}, {}},
    };
    for (const auto& c : cases) {
        QxSlider slider;
        slider.setRange(0, 10);
        slider.setValue(c.start);
        Signals log(slider);
        slider.setValue(c.request);
        EXPECT_EQ(slider.getValue(), c.value) << c.name;
        EXPECT_EQ(log.changed, c.changed) << c.name;
        EXPECT_EQ(log.clipped, c.clipped) << c.name;
    }
}

// min, max, subMin, subMax, value
std::vector<float> state(const QxSlider& s) {
    return {s.getMinValue(), s.getMaxValue(), s.getSubMinValue(), s.getSubMaxValue(), s.getValue()};
}

TEST_F(QxSliderTest, rangeIsSwappedAndKeepsValueAndSubRangeInside) {
    QxSlider slider;
    EXPECT_EQ(state(slider), (std::vector<float>{0, 1, 0, 1, 0}));
    slider.setRange(10, 0);
    EXPECT_EQ(state(slider), (std::vector<float>{0, 10, 0, 10, 0})) << "a sub-range end on a range end follows it";
    slider.setValue(8);
    slider.setSubRange(7, 3);
    EXPECT_EQ(state(slider), (std::vector<float>{0, 10, 3, 7, 8}));
    Signals log(slider);
    slider.setRange(4, 6);
    EXPECT_EQ(state(slider), (std::vector<float>{4, 6, 4, 6, 6}));
    EXPECT_EQ(log.changed, std::vector<float>{6});
    EXPECT_TRUE(log.clipped.empty()) << "a range change clips silently";
    slider.setSubRange(50, -5);
    EXPECT_EQ(state(slider), (std::vector<float>{4, 6, 4, 6, 6}));
}

TEST_F(QxSliderTest, pressingTheGrooveSetsTheValueAndTicksAreKept) {
    QxSlider slider;
    slider.setRange(0, 10);
    slider.resize(212, 24);
    Signals log(slider);
    for (int x : {0, 211, 106}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 12), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider, &press);
    }
    ASSERT_EQ(log.changed.size(), 2u) << "the first press was already at 0";
    EXPECT_EQ(log.changed[0], 10.0f);
    EXPECT_NEAR(log.changed[1], 5.0f, 0.05f);  // one pixel of the groove is 0.05
    EXPECT_TRUE(log.clipped.empty());
    McDArray<float> times;
    for (float t : {0.0f, 2.5f, 10.0f}) times.append(t);
    slider.setTicks(times);
    EXPECT_EQ(std::vector<float>(slider.getTicks().begin(), slider.getTicks().end()),
              (std::vector<float>{0, 2.5f, 10}));
    EXPECT_EQ(slider.getSubRangeButtons(), 0);
    slider.setSubRangeButtons(5);
    EXPECT_EQ(slider.getSubRangeButtons(), 1);
    EXPECT_FALSE(slider.grab().isNull()) << "draws groove, band, ticks and handles";
}

using QxFullSliderTest = Widgets;

TEST_F(QxFullSliderTest, showsTheValueWithItsDecimalsAndReemitsChanges) {
    QxFullSlider full(nullptr, "time", false, 2);
    EXPECT_EQ(full.objectName(), QString("time"));
    EXPECT_EQ(full.textField()->text(), QString("0.00"));
    std::vector<float> changed;
    QObject::connect(&full, &QxFullSlider::valueChanged, [&](float v) { changed.push_back(v); });
    full.setRange(0, 10);
    full.setValue(2.345f);
    EXPECT_EQ(full.textField()->text(), QString("2.35"));
    full.slider()->setValue(7);
    EXPECT_EQ(full.textField()->text(), QString("7.00"));
    EXPECT_EQ(changed, (std::vector<float>{2.345f, 7}));
    full.slider()->blockSignals(true);  // as a receiver growing the range does
    full.setValue(1);
    full.slider()->blockSignals(false);
    EXPECT_EQ(full.textField()->text(), QString("1.00")) << "shown even with the slider's signals blocked";
    full.setMinValue(8);
    full.setMaxValue(9);
    EXPECT_EQ(state(*full.slider()), (std::vector<float>{8, 9, 8, 9, 8}));
    EXPECT_EQ(full.getMinValue() + full.getMaxValue() + full.getValue(), 25.0f);
    EXPECT_TRUE(full.setFormat("%.1f"));
    for (const char* bad : {"%s", "%.2e", "%.f", "%.3fx"}) EXPECT_FALSE(full.setFormat(bad)) << bad;
    EXPECT_FALSE(full.setFormat(nullptr));
    EXPECT_EQ(full.textField()->text(), QString("8.0"));
}

TEST_F(QxFullSliderTest, enteredTextSetsTheValueAndBadTextIsRefused) {
    QxFullSlider full(nullptr, "time", false, 2);
    full.setRange(0, 10);
    const struct {
        const char* typed;
        float value;
        const char* shown;
    } cases[] = {{"4.5", 4.5f, "4.50"}, {"abc", 4.5f, "4.50"}, {"", 4.5f, "4.50"},
                 {"inf", 4.5f, "4.50"}, {"12", 10, "10.00"},   {" 3 ", 3, "3.00"}};
    for (const auto& c : cases) {
        full.textField()->setText(c.typed);
        emit full.textField()->returnPressed();
        EXPECT_EQ(full.getValue(), c.value) << c.typed;
        EXPECT_EQ(full.textField()->text(), QString(c.shown)) << c.typed;
    }
}

TEST_F(QxFullSliderTest, subRangeButtonsSetTheEndsToTheValue) {
    QxFullSlider full(nullptr, "time", false, 2);
    auto* startButton = full.findChild<QToolButton*>("subMinButton");
    auto* endButton = full.findChild<QToolButton*>("subMaxButton");
    ASSERT_TRUE(startButton && endButton);
    EXPECT_TRUE(startButton->isHidden());
    full.slider()->setSubRangeButtons(1);
    EXPECT_FALSE(startButton->isHidden());
    EXPECT_FALSE(endButton->isHidden());
    full.setRange(0, 10);
    for (auto [v, button] : {std::pair{6.0f, endButton}, {2.0f, startButton}}) {
        full.setValue(v);
        button->click();
    }
    EXPECT_EQ(state(*full.slider()), (std::vector<float>{0, 10, 2, 6, 2}));
    full.setValue(8);
    startButton->click();  // past the end: the end moves along
    EXPECT_EQ(state(*full.slider()), (std::vector<float>{0, 10, 8, 8, 8}));
    QxFullSlider shown(nullptr, nullptr, true, 0);
    EXPECT_FALSE(shown.findChild<QToolButton*>("subMaxButton")->isHidden());
}

}  // namespace
