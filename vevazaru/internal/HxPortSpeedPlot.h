// The keyframe camera path editor's speed plot row: the chart of the path's
// speed profile with the keyframe times and the current time, and the summary
// line beside it. The port only shows; a click on the chart is handed to
// `seek`, which the editor sets.
#pragma once
#include "SpeedProfile.h"

#include <mc/QxGuardedPtr.h>
#include <ports/HxPort.h>

#include <functional>
#include <vector>

class QLabel;
class SpeedPlotView;  // SpeedPlot.h: needs the Qt Charts headers, which the editor's users need not have

class HxPortSpeedPlot : public HxPort {
    MC_ABSTRACT_HEADER(HxPortSpeedPlot)

public:
    HxPortSpeedPlot(HxBase* owner, const char* name, const QString& label);
    ~HxPortSpeedPlot() override;

    // The plot's time axis spans from .. to, as the time slider does.
    void showProfile(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes, float from,
                     float to);
    void showTime(float t);
    std::function<void(float)> seek;

    // The chart's view and the summary, once the row is built (null before and after).
    SpeedPlotView* view() const;
    QLabel* summary() const;

protected:
    void createControls(QWidget* row) override;

private:
    void refresh();
    QxGuardedPtr<SpeedPlotView> plotView;
    QxGuardedPtr<QLabel> summaryLabel;
    speedprofile::Profile profile;
    std::vector<float> keyframes;
    float time = 0;
    float rangeFrom = 0, rangeTo = 0;
};
