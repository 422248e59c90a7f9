#include <hxcore/HxBase.h>
#include <hxcore/HxCmd.h>
#include <ports/HxPortTime.h>
#include <ports/HxPortTypeInfo.h>
#include <ports/HxTimeSource.h>

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <tcl.h>

HX_INIT_PORT_CLASS(HxPortTime, HxConnection::getClassTypeId(), nullptr, nullptr)

HxPortTime::HxPortTime(HxBase* portOwner, const char* scriptName, const QString& portLabel, bool connectToGlobalTime,
                       int decimalDigits)
    : HxConnection(portOwner, scriptName, portLabel),
      globalTime(connectToGlobalTime),
      decimals(decimalDigits < 0 ? 2 : decimalDigits) {}

HxPortTime::~HxPortTime() = default;

float HxPortTime::clamped(float v) const {
    if (v < minValue) return minValue;
    if (v > maxValue) return maxValue;
    return v;
}

void HxPortTime::setValue(float v) {
    if (std::isnan(v)) return;
    value = clamped(v);
    if (spinBox) {
        QSignalBlocker block(spinBox);
        spinBox->setValue(value);
    }
    valueChanged();
}

void HxPortTime::setMinMax(float min, float max) {
    // A range that is not finite could not be saved or sourced again.
    if (!std::isfinite(min) || !std::isfinite(max)) return;
    if (min > max) std::swap(min, max);
    minValue = min;
    maxValue = max;
    value = clamped(value);
    if (spinBox) {
        QSignalBlocker block(spinBox);
        spinBox->setRange(minValue, maxValue);
        spinBox->setValue(value);
    }
}

std::string HxPortTime::valueForSave() const { return cmdFloatText(value); }

bool HxPortTime::connect(HxObject* src) {
    if (src && !src->isOfType(HxTimeSource::getClassTypeId())) return false;
    return HxConnection::connect(src);
}

bool HxPortTime::writeSaveLines(FILE* fp, const char* objectName) const {
    std::fprintf(fp, "{%s} %s setMinMax %s %s\n", objectName, getName(), cmdFloatText(minValue).c_str(),
                 cmdFloatText(maxValue).c_str());
    return HxConnection::writeSaveLines(fp, objectName);
}

void HxPortTime::createControls(QWidget* row) {
    spinBox = new QDoubleSpinBox(row);
    spinBox->setDecimals(decimals);
    spinBox->setRange(minValue, maxValue);
    spinBox->setSingleStep(increment);
    spinBox->setValue(value);
    row->layout()->addWidget(spinBox);
    QObject::connect(spinBox, qOverload<double>(&QDoubleSpinBox::valueChanged), relay(), &HxPortRelay::guiCallback);
    QObject::connect(spinBox, &QObject::destroyed, relay(), [this] { spinBox = nullptr; });
}

void HxPortTime::guiCallback() {
    if (!spinBox) return;
    setValue(static_cast<float>(spinBox->value()));
    if (getOwner()) getOwner()->fire();
}

int HxPortTime::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* word = argc > 1 ? argv[1] : "help";
    if (cmdCheck(word, "getValue", "returns the time")) {
        return cmdTextResult(interp, cmdFloatText(value));
    }
    if (cmdCheck(word, "setValue", "setValue t")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        float v;
        if (!parseFloat(argv[2], v)) {
            Tcl_VaSetResult(interp, "%s setValue: \"%s\" is not a number", getName(), argv[2]);
            return TCL_ERROR;
        }
        setValue(v);
        return TCL_OK;
    }
    if (cmdCheck(word, "getMinMax", "returns the range")) {
        return cmdTextResult(interp, cmdFloatText(minValue) + " " + cmdFloatText(maxValue));
    }
    if (cmdCheck(word, "setMinMax", "setMinMax min max")) {
        if (int r = cmdHelp(interp, word, argc == 4, argc, argv); r != 4) return r;
        float a, b;
        if (!parseFloat(argv[2], a) || !parseFloat(argv[3], b)) {
            Tcl_VaSetResult(interp, "%s setMinMax: expected two numbers", getName());
            return TCL_ERROR;
        }
        setMinMax(a, b);
        return TCL_OK;
    }
    if (cmdCheck(word, "getIncrement", "returns the increment")) {
        return cmdTextResult(interp, cmdFloatText(increment));
    }
    if (cmdCheck(word, "setIncrement", "setIncrement step")) {
        if (int r = cmdHelp(interp, word, argc == 3, argc, argv); r != 4) return r;
        float step;
        if (!parseFloat(argv[2], step) || step <= 0) {
            Tcl_VaSetResult(interp, "%s setIncrement: expected a positive number", getName());
            return TCL_ERROR;
        }
        setIncrement(step);
        return TCL_OK;
    }
    return HxConnection::parse(interp, argc, argv);
}
