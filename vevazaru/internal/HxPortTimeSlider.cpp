#include "HxPortTimeSlider.h"

#include "QxTickMarkedSlider.h"

#include "../HxKeyframeCameraPathEditor.h"

#include <hxcore/HxCmd.h>
#include <ports/HxPortTypeInfo.h>
#include <widgets/QxSlider.h>

#include <QLayout>
#include <QWidget>
#include <string>
#include <tcl.h>

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
    QObject::connect(widget, &QxFullSlider::valueChanged, relay(), qOverload<float>(&HxPortRelay::slot));
    // A keyframe's tick dragged along the slider moves the keyframe in time.
    widget->slider()->setTicksDraggable(editor != nullptr);
    widget->slider()->setToolTip(
        QObject::tr("Drag along to change the time; drag a keyframe's tick "
                    "(below the bar) to move that keyframe in time"));
    QObject::connect(widget->slider(), &QxSlider::tickDragged, relay(), [this](int index, float t) {
        if (editor) editor->retimeKeyframe(index, t);
    });
    QObject::connect(widget, &QxFullSlider::valueChanged, relay(), [this] {
        if (editor) editor->sliderMoved();
    });
}

float HxPortTimeSlider::getValue() const { return slider ? slider->getValue() : 0.0f; }
float HxPortTimeSlider::getMinValue() const { return slider ? slider->getMinValue() : 0.0f; }
float HxPortTimeSlider::getMaxValue() const { return slider ? slider->getMaxValue() : 0.0f; }
float HxPortTimeSlider::getSubMinValue() const { return slider ? slider->getSubMinValue() : 0.0f; }
float HxPortTimeSlider::getSubMaxValue() const { return slider ? slider->getSubMaxValue() : 0.0f; }

void HxPortTimeSlider::setValue(float t) {
    if (!slider) return;
    slider->setValue(t);
    // A range grown by the clipped amount can end a rounding step short of t
    // (end + (t - end) need not be t in float). The second request then lies
    // next to the end, where the sum is exact: the slider holds t itself, as
    // keyframe lookups by exact time need.
    if (slider->getValue() != t) slider->setValue(t);
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

namespace {
// Reads argv[2] .. argv[2 + n - 1] as numbers; false when one is not a number.
bool readNumbers(char** argv, int n, float* values) {
    for (int i = 0; i < n; ++i)
        if (!parseFloat(argv[2 + i], values[i])) return false;
    return true;
}
}  // namespace

int HxPortTimeSlider::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    enum Op { GetValue, SetValue, GetMinMax, SetMinMax, GetSubMinMax, SetSubMinMax, GetKeyframes };
    struct Command {
        Op op;
        const char* name;
        const char* description;
        int numbers;  // arguments it takes
    };
    static const Command commands[] = {
        {GetValue, "getValue", "returns the time", 0},
        {SetValue, "setValue", "setValue t: moves the slider to t (the range grows to hold it)", 1},
        {GetMinMax, "getMinMax", "returns the range", 0},
        {SetMinMax, "setMinMax", "setMinMax a b: sets the range", 2},
        {GetSubMinMax, "getSubMinMax", "returns the sub-range that bounds playback", 0},
        {SetSubMinMax, "setSubMinMax", "setSubMinMax a b: sets the sub-range that bounds playback", 2},
        {GetKeyframes, "getKeyframes", "returns the times of the tick marks", 0},
    };
    for (const Command& c : commands) {
        if (!cmdCheck(word, c.name, c.description)) continue;
        if (int r = cmdHelp(interp, word, argc == 2 + c.numbers, argc, argv); r != TCL_CONTINUE) return r;
        const std::string command = std::string(getName()) + " " + word;
        float v[2] = {0, 0};
        if (!readNumbers(argv, c.numbers, v))
            return cmdFail(interp, command + ": expected " + (c.numbers == 1 ? "a number" : "two numbers"));
        if (!slider) return cmdFail(interp, command + ": the slider has no widget");
        // Times go out in full float precision, so that they can be handed back exactly.
        std::string result;
        switch (c.op) {
            case GetValue:
                result = cmdFloatText(getValue());
                break;
            case SetValue:
                setValue(v[0]);
                break;
            case GetMinMax:
                result = cmdFloatText(getMinValue()) + " " + cmdFloatText(getMaxValue());
                break;
            case SetMinMax:
                slider->setRange(v[0], v[1]);
                break;
            case GetSubMinMax:
                result = cmdFloatText(getSubMinValue()) + " " + cmdFloatText(getSubMaxValue());
                break;
            case SetSubMinMax:
                slider->slider()->setSubRange(v[0], v[1]);
                break;
            case GetKeyframes:
                for (float t : slider->slider()->getTicks()) result += (result.empty() ? "" : " ") + cmdFloatText(t);
                break;
        }
        Tcl_SetObjResult(interp, Tcl_NewStringObj(result.c_str(), -1));
        return TCL_OK;
    }
    return HxPort::parse(interp, argc, argv);
}
