#include "SpeedProfile.h"

#include "HxKeyframeCameraPath.h"
#include "VeVazaruMetricOpticalFlow.h"

#include <hxcore/HxCmd.h>

#include <Inventor/nodes/SoCamera.h>
#include <algorithm>
#include <cmath>
#include <limits>

namespace speedprofile {

namespace {
// Intervals of the default step: fine enough to show every keyframe's segment
// on a plot of ordinary width.
constexpr int defaultIntervals = 200;

// max / min of `values`, by the rules of Ratios.
float spread(const std::vector<float>& values) {
    if (values.empty()) return 1.0f;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    if (*high == 0.0f) return 1.0f;
    if (*low == 0.0f) return std::numeric_limits<float>::infinity();
    return *high / *low;
}

std::string listText(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
    return text;
}
}  // namespace

float FlowMeasurement::speedAt(float t) const {
    const int n = static_cast<int>(values.size());
    if (n == 0 || !(spacing > 0) || !(per > 0)) return 0.0f;
    const float position = std::clamp((t - first) / spacing, 0.0f, static_cast<float>(n - 1));
    const int i = std::min(static_cast<int>(position), n - 1);
    const float u = position - static_cast<float>(i);
    const float value = i + 1 < n ? values[i] + u * (values[i + 1] - values[i]) : values[i];
    return value / per;
}

float defaultStep(float duration) { return duration / defaultIntervals; }

bool stepFits(float duration, float step) {
    if (!(step > 0) || !std::isfinite(step)) return false;
    return std::ceil(static_cast<double>(duration) / step) <= maxSamples;
}

Profile sample(HxKeyframeCameraPath& path, float step, const VeVazaruMetric& translation,
               const VeVazaruMetricOpticalFlow& optical, const FlowMeasurement* flow) {
    Profile profile;
    profile.hasFlow = flow && !flow->values.empty();
    const float duration = path.getDuration();
    if (path.cameras.size() < 2 || !(duration > 0) || !stepFits(duration, step)) return profile;
    const double start = path.getTime(0), end = start + duration;
    const long intervals = static_cast<long>(std::ceil(duration / static_cast<double>(step)));
    McHandle<SoCamera> from = path.getCamera(static_cast<float>(start));
    McHandle<SoCamera> to = path.getCamera(static_cast<float>(start));
    double t0 = start;
    for (long i = 1; i <= intervals; ++i) {
        const double t1 = i == intervals ? end : std::min(end, start + static_cast<double>(i) * step);
        if (!(t1 > t0)) continue;
        path.getCamera(static_cast<float>(t1), *to);
        const double length = t1 - t0;
        Sample s;
        s.t = static_cast<float>(0.5 * (t0 + t1));
        s.translation = static_cast<float>(translation.dist(from, to) / length);
        s.optical = static_cast<float>(optical.displacement(from, to) / length);
        if (profile.hasFlow) s.flow = flow->speedAt(s.t);
        profile.samples.push_back(s);
        std::swap(from, to);
        t0 = t1;
    }
    return profile;
}

Ratios ratios(const Profile& profile) {
    std::vector<float> translation, optical, flow;
    for (const Sample& s : profile.samples) {
        translation.push_back(s.translation);
        optical.push_back(s.optical);
        flow.push_back(s.flow);
    }
    Ratios r;
    r.translation = spread(translation);
    r.optical = spread(optical);
    r.hasFlow = profile.hasFlow;
    if (r.hasFlow) r.flow = spread(flow);
    return r;
}

std::string rowsText(const Profile& profile) {
    std::vector<std::string> rows;
    for (const Sample& s : profile.samples) {
        std::vector<std::string> row{cmdFloatText(s.t), cmdFloatText(s.translation), cmdFloatText(s.optical)};
        if (profile.hasFlow) row.push_back(cmdFloatText(s.flow));
        rows.push_back("{" + listText(row) + "}");
    }
    return listText(rows);
}

std::string summaryText(const Ratios& ratios) {
    std::vector<std::string> items{"translation", cmdFloatText(ratios.translation), "optical",
                                   cmdFloatText(ratios.optical)};
    if (ratios.hasFlow) {
        items.push_back("flow");
        items.push_back(cmdFloatText(ratios.flow));
    }
    return listText(items);
}

}  // namespace speedprofile
