// The host's full slider whose range grows when a value is pushed past either
// end: the time slider of the keyframe camera path editor.
#pragma once
#include <widgets/QxFullSlider.h>

class QxTickMarkedSlider : public QxFullSlider {
    Q_OBJECT

public:
    // Arguments as QxFullSlider's. Range growth is off until setAutoRemax(1).
    QxTickMarkedSlider(QWidget* parent, const char* name, bool withSubRangeButtons, int nDecimals);
    ~QxTickMarkedSlider() override;

    // Switches range growth on (non-zero) or off (0). Switching to the state the
    // widget is already in changes nothing, so the growth is never connected twice.
    void setAutoRemax(int on);
    int getAutoRemax() const { return autoRemax; }

public slots:
    // Grows the range by `amount`, the signed amount by which the inner slider
    // clipped a requested value (above the maximum if positive, below the
    // minimum if negative), and moves the value by it as well.
    void valueClipped(float amount);

private:
    int autoRemax = 0;
};
