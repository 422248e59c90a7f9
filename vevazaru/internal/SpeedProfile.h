// The speed profile of a keyframe camera path: the camera's speed along time,
// sampled at a fixed step, by the translation metric (scene units per time
// unit), by the optical-flow metric (normalised device units per time unit) and,
// where the editor has measured the depth flow, by that measurement (in the
// optical unit too, so both share an axis).
#pragma once
#include <string>
#include <vector>

class HxKeyframeCameraPath;
class VeVazaruMetric;
class VeVazaruMetricOpticalFlow;

namespace speedprofile {

// One interval between consecutive sampled cameras: `t` its middle, the speeds
// the distance between its cameras divided by its length.
struct Sample {
    float t = 0;
    float translation = 0;
    float optical = 0;
    float flow = 0;  // meaningful only where the profile has a flow column
};

// A depth-flow measurement: `values[i]` is the on-screen motion measured at
// time first + i * spacing, per `per` time units.
struct FlowMeasurement {
    float first = 0;
    float spacing = 1;
    float per = 1;
    std::vector<float> values;
    // The measured speed at t (per time unit), linear between measurements
    // and the nearest one outside them; 0 without any.
    float speedAt(float t) const;
};

struct Profile {
    std::vector<Sample> samples;
    bool hasFlow = false;
};

// The most intervals a profile may have.
constexpr long maxSamples = 100000;

// The step that splits `duration` into the default number of intervals.
float defaultStep(float duration);

// Whether sampling `duration` at `step` fits: the step positive and finite, the
// number of intervals at most maxSamples.
bool stepFits(float duration, float step);

// Samples the path from its first keyframe's time to its end at `step` (the last
// interval may be shorter); empty with fewer than two keyframes or a step that
// does not fit. `flow` may be null.
Profile sample(HxKeyframeCameraPath& path, float step, const VeVazaruMetric& translation,
               const VeVazaruMetricOpticalFlow& optical, const FlowMeasurement* flow);

// The ratio of the highest to the lowest speed of each column: 1 where the speed
// is even or nothing moves at all, infinite where it stops somewhere but not
// everywhere.
struct Ratios {
    float translation = 1;
    float optical = 1;
    float flow = 1;
    bool hasFlow = false;
};
Ratios ratios(const Profile& profile);

// The samples as a Tcl list of {t translation optical [flow]} rows.
std::string rowsText(const Profile& profile);
// The ratios as a Tcl list of metric names and ratios: "translation r optical r [flow r]".
std::string summaryText(const Ratios& ratios);

}  // namespace speedprofile
