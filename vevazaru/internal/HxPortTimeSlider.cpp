#include "HxPortTimeSlider.h"

#include "QxTickMarkedSlider.h"

#include <ports/HxPortTypeInfo.h>
#include <widgets/QxSlider.h>

#include <QLayout>
#include <QWidget>

// Only the editor constructs the port: the host gets no factories.
HX_INIT_PORT_CLASS(HxPortTimeSlider, HxPort::getClassTypeId(), nullptr, nullptr)

HxPortTimeSlider::HxPortTimeSlider(HxBase* portOwner, const char* scriptName, const QString& portLabel,
                                   HxKeyframeCameraPathEditor* portEditor)
    : HxPort(portOwner, scriptName, portLabel), editor(portEditor) {}

HxPortTimeSlider::~HxPortTimeSlider() { delete slider.data(); }

QxTickMarkedSlider* HxPortTimeSlider::getSlider() const { return slider; }

void HxPortTimeSlider::createControls(QWidget* row) {
    auto* widget = new QxTickMarkedSlider(row, "timeSlider", false, 10);
    slider = widget;
    widget->setMinimumWidth(300);
    widget->setFormat("%.2f");
    widget->setRange(0, 1);
    widget->setValue(0);
    widget->setAutoRemax(1);
    widget->slider()->setSubRangeButtons(1);
    row->layout()->addWidget(widget);
    QObject::connect(widget, SIGNAL(valueChanged(float)), relay(), SLOT(slot(float)));
}

float HxPortTimeSlider::getValue() const { return slider ? slider->getValue() : 0.0f; }
float HxPortTimeSlider::getMinValue() const { return slider ? slider->getMinValue() : 0.0f; }
float HxPortTimeSlider::getMaxValue() const { return slider ? slider->getMaxValue() : 0.0f; }
float HxPortTimeSlider::getSubMinValue() const { return slider ? slider->getSubMinValue() : 0.0f; }
float HxPortTimeSlider::getSubMaxValue() const { return slider ? slider->getSubMaxValue() : 0.0f; }

void HxPortTimeSlider::setValue(float t) {
    if (slider) slider->setValue(t);
}

void HxPortTimeSlider::setMinValue(float t) {
    if (slider) slider->setMinValue(t);
}

void HxPortTimeSlider::setMaxValue(float t) {
    if (slider) slider->setMaxValue(t);
}

void HxPortTimeSlider::setKeyframes(const McDArray<float>& times) {
    if (slider) slider->slider()->setTicks(times);
}

void HxPortTimeSlider::redraw() {
    if (slider) slider->repaint();
}
