// A camera path from keyframes: copies of cameras with ascending times (seconds),
// interpolated into a flight. Owns its keyframe cameras and one camera metric.
#pragma once
#include <mc/McDArray.h>
#include <mc/McHandle.h>
#include <paths/VeVazaruPath.h>
#include <ports/HxPortTime.h>

#include "VeVazaruMetric.h"

class SoCamera;

class HxKeyframeCameraPath : public VeVazaruPath {
    MC_HEADER(HxKeyframeCameraPath)

public:
    HxKeyframeCameraPath();
    ~HxKeyframeCameraPath() override;

    // Keyframes and their settings.
    McDArray<McHandle<SoCamera>> cameras;
    McDArray<float> times;
    int splineAimPoint;
    int splineUpDir;
    int splinePosition;
    HxPortTime portTime;
    int keepAimDistance;
    int closed;
    int arcTableSegment;
    int rotationMode;
    McDArray<float> arcTable;
    McHandle<VeVazaruMetric> metric;

    // Inserts a copy of `camera` at `time`, keeping times ascending; a time within
    // 0.001 of an existing keyframe replaces that keyframe's camera instead.
    void addKeyframe(float time, SoCamera* camera);
    // Removes keyframe `index` (0 <= index < count; not checked).
    void removeKeyframe(int index);
    // Re-aims keyframes first..last (last < 0: the last keyframe) at `aim`.
    void setAimPoint(const SbVec3f& aim, int first, int last);
    // Gives keyframes first..last (last < 0: the last keyframe) the up direction `up`.
    void setUpDir(const SbVec3f& up, int first, int last);
    // Moves every keyframe along its line of sight to the mean distance of the
    // keyframes from `refPoint`.
    void equalDist(SbVec3f refPoint);
    void setMetric(VeVazaruMetric* newMetric);
    void copyData(const HxKeyframeCameraPath& source);

    // Camera-path operations.
    bool isClosed() const override;
    float getDuration() const override;
    float getTime(int k) const override;
    SoCamera* getCamera(float t) override;
    void getCamera(float t, SoCamera& camera) override;

    // The camera of segment i at local parameter u (0: keyframe i, 1: its successor).
    void interp(int i, float u, SoCamera* camera);
    // The local parameter of segment i at which the fraction u of its metric
    // length is reached.
    float getRealTime(int i, float u);
    // Fills arcTable with the cumulative metric lengths of segment i.
    void fillPath(int i);

    // Host callbacks.
    void info() override;
    void update() override;
    void compute() override;
    HxKeyframeCameraPath* duplicate() const override;
};
