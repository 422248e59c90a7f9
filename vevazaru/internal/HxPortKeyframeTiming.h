// The keyframe camera path editor's timing row: the time of the keyframe the
// slider stands on, to be set exactly (Return applies it), and the playback
// speed in time units per second. The port only shows; its owner acts.
#pragma once
#include <mc/QxGuardedPtr.h>
#include <ports/HxPort.h>

class QDoubleSpinBox;
class QLineEdit;

// What the row's fields ask of the editor.
class HxKeyframeTimingControls {
public:
    virtual ~HxKeyframeTimingControls() = default;
    // The keyframe the slider stands on moves to time t; false when refused.
    virtual bool setSelectedKeyframeTime(float t) = 0;
    virtual void setPlaybackSpeed(float unitsPerSecond) = 0;
};

class HxPortKeyframeTiming : public HxPort {
    MC_ABSTRACT_HEADER(HxPortKeyframeTiming)

public:
    // The slowest speed the field offers, in time units per second.
    static constexpr float minSpeed = 0.001f;

    HxPortKeyframeTiming(HxBase* owner, const char* name, const QString& label, HxKeyframeTimingControls* controls);
    ~HxPortKeyframeTiming() override;

    // Shows keyframe time t in an enabled field; with no keyframe (`none`) the field is empty and disabled.
    void showKeyframe(float t, bool none = false);
    void showSpeed(float unitsPerSecond);

    // The fields, once the row is built (null before and after).
    QLineEdit* timeField() const;
    QDoubleSpinBox* speedField() const;

protected:
    void createControls(QWidget* row) override;

private:
    void timeEntered();
    QxGuardedPtr<QLineEdit> time;
    QxGuardedPtr<QDoubleSpinBox> speed;
    HxKeyframeTimingControls* controls;
    float shownTime = 0.0f;
    bool shownNone = true;
    float shownSpeed = 1.0f;
};
