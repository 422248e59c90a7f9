#include "QxTickMarkedSlider.h"

#include <widgets/QxSlider.h>

QxTickMarkedSlider::QxTickMarkedSlider(QWidget* parent, const char* name, bool withSubRangeButtons, int nDecimals)
    : QxFullSlider(parent, name, withSubRangeButtons, nDecimals) {}

QxTickMarkedSlider::~QxTickMarkedSlider() = default;

void QxTickMarkedSlider::setAutoRemax(int on) {
    if ((on != 0) == (autoRemax != 0)) return;
    if (on) {
        // The flag follows the connection: a failed connect leaves growth off.
        const bool connected =
            static_cast<bool>(connect(slider(), &QxSlider::valueClipped, this, &QxTickMarkedSlider::valueClipped));
        autoRemax = connected ? 1 : 0;
    } else {
        disconnect(slider(), &QxSlider::valueClipped, this, &QxTickMarkedSlider::valueClipped);
        autoRemax = 0;
    }
}

void QxTickMarkedSlider::valueClipped(float amount) {
    float minValue = slider()->getMinValue();
    float maxValue = slider()->getMaxValue();
    if (amount > 0)
        maxValue += amount;
    else
        minValue += amount;
    // Silent, so that the value moved here does not clip again and re-enter.
    const bool wasBlocked = slider()->blockSignals(true);
    setRange(minValue, maxValue);
    setValue(slider()->getValue() + amount);
    slider()->blockSignals(wasBlocked);
}
