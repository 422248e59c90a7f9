#include "HxPortKeyframeTiming.h"

#include "NumberText.h"

#include <ports/HxPortTypeInfo.h>

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QWidget>
#include <cmath>

// Only the editor constructs the port: the host gets no factories.
HX_INIT_PORT_CLASS(HxPortKeyframeTiming, HxPort::getClassTypeId(), nullptr, nullptr)

HxPortKeyframeTiming::HxPortKeyframeTiming(HxBase* portOwner, const char* scriptName, const QString& portLabel,
                                           HxKeyframeTimingControls* timingControls)
    : HxPort(portOwner, scriptName, portLabel), controls(timingControls) {}

HxPortKeyframeTiming::~HxPortKeyframeTiming() = default;

QLineEdit* HxPortKeyframeTiming::timeField() const { return time; }
QDoubleSpinBox* HxPortKeyframeTiming::speedField() const { return speed; }

void HxPortKeyframeTiming::createControls(QWidget* row) {
    auto* timeLabel = new QLabel(QObject::tr("keyframe at"), row);
    time = new QLineEdit(row);
    time->setObjectName("keyframeTime");
    time->setToolTip(
        QObject::tr("The time of the keyframe the slider stands on; type a time between its "
                    "neighbours' and press Return to move it there"));
    time->setMaximumWidth(90);
    auto* speedLabel = new QLabel(QObject::tr("speed"), row);
    speed = new QDoubleSpinBox(row);
    speed->setObjectName("playbackSpeed");
    speed->setToolTip(QObject::tr("Playback speed: path time units played per second"));
    speed->setDecimals(3);
    speed->setRange(minSpeed, 1e6);
    speed->setSuffix(QObject::tr(" units/s"));
    for (QWidget* w : {static_cast<QWidget*>(timeLabel), static_cast<QWidget*>(time.data()),
                       static_cast<QWidget*>(speedLabel), static_cast<QWidget*>(speed.data())})
        row->layout()->addWidget(w);
    QObject::connect(time.data(), &QLineEdit::returnPressed, time.data(), [this] { timeEntered(); });
    QObject::connect(speed.data(), qOverload<double>(&QDoubleSpinBox::valueChanged), speed.data(), [this](double v) {
        shownSpeed = static_cast<float>(v);
        if (controls) controls->setPlaybackSpeed(shownSpeed);
    });
    showKeyframe(shownTime, shownNone);
    showSpeed(shownSpeed);
}

void HxPortKeyframeTiming::showKeyframe(float t, bool none) {
    shownTime = t;
    shownNone = none;
    if (!time) return;
    time->setEnabled(!none);
    time->setText(none ? QString() : QString::fromStdString(numbertext::general(t)));
}

void HxPortKeyframeTiming::showSpeed(float unitsPerSecond) {
    shownSpeed = unitsPerSecond;
    if (!speed) return;
    const QSignalBlocker quiet(speed.data());
    speed->setValue(static_cast<double>(unitsPerSecond));
}

void HxPortKeyframeTiming::timeEntered() {
    bool ok = false;
    const float t = time->text().trimmed().toFloat(&ok);
    const bool applied = ok && std::isfinite(t) && controls && controls->setSelectedKeyframeTime(t);
    // A refused time gives way to the keyframe's own again.
    if (!applied) showKeyframe(shownTime, shownNone);
}
