// A time port: a float value in a range, with an increment, optionally discrete,
// optionally driven by a time source through its connection. Times in seconds.
#pragma once
#include <ports/HxConnection.h>

class HxPortTime : public HxConnection {
    MC_ABSTRACT_HEADER(HxPortTime)

public:
    // `connectToGlobalTime`: whether the window's global time source may drive the
    // port; `decimals`: digits shown after the point (negative: the default, 2).
    HxPortTime(HxBase* owner, const char* name, const QString& label, bool connectToGlobalTime = false,
               int decimals = 1);
    ~HxPortTime() override;

    float getValue() const { return value; }
    // Sets the value (clamped to the range) and marks the port new.
    void setValue(float v);
    void getMinMax(float& min, float& max) const {
        min = minValue;
        max = maxValue;
    }
    float getMinValue() const { return minValue; }
    float getMaxValue() const { return maxValue; }
    // Sets the range; min > max are swapped; the value is kept inside it. A
    // bound that is not finite leaves the range as it was.
    void setMinMax(float min, float max);
    float getIncrement() const { return increment; }
    void setIncrement(float inc) { increment = inc; }
    bool isDiscrete() const { return discrete; }
    void setDiscrete(bool on) { discrete = on; }
    int getDecimals() const { return decimals; }
    bool connectsToGlobalTime() const { return globalTime; }

    // Only a time source (HxTimeSource) can drive a time port; null disconnects.
    bool connect(HxObject* src) override;

    int parse(Tcl_Interp* interp, int argc, char** argv) override;
    std::string valueForSave() const override;
    // The range first, so that the value is not clamped to an older range.
    bool writeSaveLines(FILE* fp, const char* objectName) const override;

protected:
    void createControls(QWidget* row) override;
    void guiCallback() override;

private:
    float clamped(float v) const;
    float value = 0;
    float minValue = 0;
    float maxValue = 1;
    float increment = 1;
    bool discrete = false;
    bool globalTime;
    int decimals;
    class QDoubleSpinBox* spinBox = nullptr;
};
