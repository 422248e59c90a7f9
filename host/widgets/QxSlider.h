// Horizontal slider over a float range, with a sub-range (drawn as a band) and
// tick marks. Values are plain floats in the caller's units.
#pragma once
#include <mc/McDArray.h>

#include <QWidget>

class QxSlider : public QWidget {
    Q_OBJECT

public:
    // Range 0 .. 1, sub-range 0 .. 1, value 0, no ticks, no sub-range buttons.
    explicit QxSlider(QWidget* parent = nullptr, const char* name = nullptr);
    ~QxSlider() override;

    float getValue() const { return value; }
    // Clamps v to the range. Emits valueChanged when the value changed, then
    // valueClipped with v minus the clamped value when v lay outside the range.
    // A NaN is ignored.
    void setValue(float v);

    float getMinValue() const { return minValue; }
    float getMaxValue() const { return maxValue; }
    // Ends in either order. The value and the sub-range are moved inside; a
    // sub-range end that lay on a range end stays on it.
    void setRange(float a, float b);

    float getSubMinValue() const { return subMin; }
    float getSubMaxValue() const { return subMax; }
    // Ends in either order, clamped to the range.
    void setSubRange(float a, float b);

    // One tick mark at each value (those outside the range are not drawn).
    void setTicks(const McDArray<float>& values);
    const McDArray<float>& getTicks() const { return ticks; }
    // Whether a press on a tick mark, below the groove, drags it (off by
    // default). The ticks stay where they are: the release reports the drag
    // with tickDragged, and whoever set them sets them anew.
    void setTicksDraggable(bool on) { ticksDraggable = on; }
    // The tick at pixel x of the tick area, within a few pixels; -1 for none.
    int tickAt(int x) const;
    // Pixel x of value v.
    int xOf(float v) const;

    // Whether the sub-range buttons (and the band's end handles) show.
    void setSubRangeButtons(int on);
    int getSubRangeButtons() const { return subRangeButtons ? 1 : 0; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueChanged(float value);
    // The signed amount by which a requested value lay beyond the range:
    // positive above the maximum, negative below the minimum.
    void valueClipped(float amount);
    void subRangeButtonsChanged(bool on);
    // Tick `index` was dragged to `value` (within the range) and let go.
    void tickDragged(int index, float value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect grooveRect() const;
    float valueAt(int x) const;

    float value = 0.0f;
    float minValue = 0.0f;
    float maxValue = 1.0f;
    float subMin = 0.0f;
    float subMax = 1.0f;
    McDArray<float> ticks;
    bool subRangeButtons = false;
    bool ticksDraggable = false;
    int draggedTick = -1;  // the tick being dragged, drawn at dragValue
    float dragValue = 0.0f;
};
