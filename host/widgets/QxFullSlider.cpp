#include <widgets/QxFullSlider.h>
#include <widgets/QxSlider.h>

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

QxFullSlider::QxFullSlider(QWidget* parent, const char* name, bool withSubRangeButtons, int nDecimals)
    : QWidget(parent),
      inner(new QxSlider(this, "slider")),
      text(new QLineEdit(this)),
      subMinButton(new QToolButton(this)),
      subMaxButton(new QToolButton(this)),
      decimals(std::max(0, nDecimals)) {
    if (name) setObjectName(QString::fromUtf8(name));
    text->setObjectName("valueText");
    text->setFixedWidth(text->fontMetrics().horizontalAdvance(QString(8, QChar('8'))) + 8);
    subMinButton->setObjectName("subMinButton");
    subMinButton->setText("[");
    subMinButton->setToolTip(tr("Start the sub-range at the current value"));
    subMaxButton->setObjectName("subMaxButton");
    subMaxButton->setText("]");
    subMaxButton->setToolTip(tr("End the sub-range at the current value"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(inner, 1);
    layout->addWidget(text);
    layout->addWidget(subMinButton);
    layout->addWidget(subMaxButton);

    connect(inner, &QxSlider::valueChanged, this, &QxFullSlider::sliderValueChanged);
    connect(inner, &QxSlider::subRangeButtonsChanged, this, &QxFullSlider::showSubRangeButtons);
    connect(text, &QLineEdit::returnPressed, this, &QxFullSlider::textEntered);
    connect(subMinButton, &QToolButton::clicked, this,
            [this] { inner->setSubRange(getValue(), std::max(getValue(), getSubMaxValue())); });
    connect(subMaxButton, &QToolButton::clicked, this,
            [this] { inner->setSubRange(std::min(getValue(), getSubMinValue()), getValue()); });

    showSubRangeButtons(false);
    inner->setSubRangeButtons(withSubRangeButtons ? 1 : 0);
    showValue();
}

QxFullSlider::~QxFullSlider() = default;

// The slider may have its signals blocked (a receiver growing the range does
// so), hence the text is refreshed here as well as on valueChanged.
void QxFullSlider::setValue(float v) {
    inner->setValue(v);
    showValue();
}

void QxFullSlider::setRange(float a, float b) {
    inner->setRange(a, b);
    showValue();
}

void QxFullSlider::setMinValue(float v) { setRange(v, std::max(v, getMaxValue())); }
void QxFullSlider::setMaxValue(float v) { setRange(std::min(v, getMinValue()), v); }
float QxFullSlider::getValue() const { return inner->getValue(); }
float QxFullSlider::getMinValue() const { return inner->getMinValue(); }
float QxFullSlider::getMaxValue() const { return inner->getMaxValue(); }
float QxFullSlider::getSubMinValue() const { return inner->getSubMinValue(); }
float QxFullSlider::getSubMaxValue() const { return inner->getSubMaxValue(); }

void QxFullSlider::setDecimals(int n) {
    decimals = std::max(0, n);
    showValue();
}

bool QxFullSlider::setFormat(const char* format) {
    if (!format || std::strncmp(format, "%.", 2) != 0) return false;
    char* end = nullptr;
    const long n = std::strtol(format + 2, &end, 10);
    if (end == format + 2 || std::strcmp(end, "f") != 0 || n < 0 || n > 20) return false;
    setDecimals(static_cast<int>(n));
    return true;
}

void QxFullSlider::sliderValueChanged(float v) {
    showValue();
    emit valueChanged(v);
}

void QxFullSlider::textEntered() {
    bool ok = false;
    const float v = text->text().trimmed().toFloat(&ok);
    if (ok && std::isfinite(v)) setValue(v);
    showValue();  // also restores the shown value after bad text
}

void QxFullSlider::showSubRangeButtons(bool on) {
    subMinButton->setVisible(on);
    subMaxButton->setVisible(on);
}

void QxFullSlider::showValue() { text->setText(QString::number(static_cast<double>(getValue()), 'f', decimals)); }
