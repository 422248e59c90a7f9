// A QxSlider with a text field that shows and edits the value, and two small
// buttons that set the ends of the sub-range to the current value.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;
class QxSlider;

class QxFullSlider : public QWidget {
    Q_OBJECT

public:
    // `name` becomes the object name (may be null); the value is shown with
    // `decimals` digits after the point (negative taken as 0).
    QxFullSlider(QWidget* parent, const char* name, bool withSubRangeButtons, int decimals);
    ~QxFullSlider() override;

    // The inner slider, owned by this widget.
    QxSlider* slider() const { return inner; }
    QLineEdit* textField() const { return text; }

    virtual void setValue(float v);
    virtual void setRange(float a, float b);
    void setMinValue(float v);
    void setMaxValue(float v);
    float getValue() const;
    float getMinValue() const;
    float getMaxValue() const;
    float getSubMinValue() const;
    float getSubMaxValue() const;

    void setDecimals(int n);
    int getDecimals() const { return decimals; }
    // Accepts only the form "%.Nf" (N digits after the point); false, changing
    // nothing, for anything else.
    bool setFormat(const char* format);

signals:
    void valueChanged(float value);

private slots:
    void sliderValueChanged(float v);
    void textEntered();
    void showSubRangeButtons(bool on);

private:
    void showValue();

    QxSlider* inner;
    QLineEdit* text;
    QToolButton* subMinButton;
    QToolButton* subMaxButton;
    int decimals;
};
