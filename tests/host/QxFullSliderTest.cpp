// QxSlider and QxFullSlider.
#include <WidgetApplication.h>
#include <widgets/QxFullSlider.h>
#include <widgets/QxSlider.h>

#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(QxSlider, valuesAreClampedWithTheSignedClippedAmountReportedAndPressesSetThem) {
    ensureWidgetApplication();
    QxSlider slider;
    slider.setRange(10, 0);
    slider.resize(212, 24);
    std::vector<float> changed, clipped;
    QObject::connect(&slider, &QxSlider::valueChanged, [&](float v) { changed.push_back(v); });
    QObject::connect(&slider, &QxSlider::valueClipped, [&](float d) { clipped.push_back(d); });
    for (float request : {10.5f, 13.0f, -2.0f, 4.0f, 4.0f, std::nanf("")}) slider.setValue(request);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(106, 12), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &press);
    slider.setRange(1, 2);  // clips silently
    ASSERT_EQ(changed.size(), 5u);
    EXPECT_NEAR(changed[3], 5.0f, 0.05f);  // one pixel of the groove is 0.05
    changed[3] = 5;
    EXPECT_EQ(changed, (std::vector<float>{10, 0, 4, 5, 2}));
    EXPECT_EQ(clipped, (std::vector<float>{0.5f, 3, -2}));
}

TEST(QxFullSlider, theTextFieldShowsTheValueTypedTextSetsItAndButtonsSetTheSubRange) {
    ensureWidgetApplication();
    QxFullSlider full(nullptr, "time", false, 2);
    full.setRange(0, 10);
    full.slider()->blockSignals(true);  // as a receiver growing the range does
    full.setValue(2.345f);
    full.slider()->blockSignals(false);
    EXPECT_EQ(full.textField()->text(), QString("2.35")) << "shown even with the slider's signals blocked";
    for (const auto& [typed, shown] : std::initializer_list<std::pair<const char*, const char*>>{
             {"abc", "2.35"}, {"inf", "2.35"}, {"12", "10.00"}, {" 3 ", "3.00"}}) {
        full.textField()->setText(typed);
        emit full.textField()->returnPressed();
        EXPECT_EQ(full.textField()->text(), QString(shown)) << typed;
    }
    auto* startButton = full.findChild<QToolButton*>("subMinButton");
    full.setValue(8);
    full.findChild<QToolButton*>("subMaxButton")->click();
    full.setValue(9);
    startButton->click();  // past the end: the end moves along
    const QxSlider& s = *full.slider();
    EXPECT_EQ((std::vector<float>{s.getSubMinValue(), s.getSubMaxValue(), s.getValue()}),
              (std::vector<float>{9, 9, 9}));
    EXPECT_FALSE(full.setFormat("%.2e"));
}

}  // namespace
