// The keyframe camera path editor's time slider: a port whose widget is a
// QxTickMarkedSlider showing the time in seconds with two decimals, a tick at
// every keyframe time, and a range that grows when a value is pushed past it.
// The port only serves its editor: it does not react to user changes itself.
#pragma once
#include <mc/McDArray.h>
#include <mc/QxGuardedPtr.h>
#include <ports/HxPort.h>

class HxKeyframeCameraPathEditor;
class QxTickMarkedSlider;

class HxPortTimeSlider : public HxPort {
    MC_ABSTRACT_HEADER(HxPortTimeSlider)

public:
    // `owner` as for HxPort; `editor` is the editor that owns the port (not owned).
    HxPortTimeSlider(HxBase* owner, const char* name, const QString& label,
                     HxKeyframeCameraPathEditor* editor = nullptr);
    // Deletes the slider widget if it still exists.
    ~HxPortTimeSlider() override;

    HxKeyframeCameraPathEditor* getEditor() const { return editor; }
    // The widget built by createWidget(), or null before that and after Qt destroyed it.
    QxTickMarkedSlider* getSlider() const;

    // Values and ranges live in the widget: without one, getters return 0 and
    // setters do nothing.
    float getValue() const;
    void setValue(float t);
    float getMinValue() const;
    float getMaxValue() const;
    void setMinValue(float t);
    void setMaxValue(float t);
    // The sub-range the user sets with the sub-range buttons; it bounds playback.
    float getSubMinValue() const;
    float getSubMaxValue() const;

    // One tick mark at each keyframe time; call redraw() afterwards.
    void setKeyframes(const McDArray<float>& times);

    // The port does not react to user changes.
    void guiCallback() override {}

    // Accepted and ignored: the editor reads the slider when it acts.
    using Callback = void (*)(void* userData, float value);
    void addStartCallback(Callback, void*) {}
    void addValueChangedCallback(Callback, void*) {}
    void addFinishCallback(Callback, void*) {}
    void clearStartCallback(Callback) {}
    void clearValueChangedCallback(Callback) {}
    void clearFinishCallback(Callback) {}

    // Repaints the slider widget.
    virtual void redraw();

    // getValue, setValue v, getMinMax, setMinMax a b, getSubMinMax,
    // setSubMinMax a b, getKeyframes.
    int parse(Tcl_Interp* interp, int argc, char** argv) override;

protected:
    // The slider: range 0 .. 1, value 0, growth on, sub-range buttons shown.
    void createControls(QWidget* row) override;

private:
    QxGuardedPtr<QxTickMarkedSlider> slider;
    HxKeyframeCameraPathEditor* editor;
};
