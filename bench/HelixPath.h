// A keyframe path for benchmarks: n keyframes on a wide helix, each camera
// looking at the helix's axis, `spacing` time units apart.
#pragma once
#include <HxKeyframeCameraPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>

#include <cmath>

inline McHandle<HxKeyframeCameraPath> helixPath(int n, float spacing = 1.0f) {
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    for (int k = 0; k < n; ++k) {
        const float a = 0.3f * static_cast<float>(k);
        const float height = 0.05f * static_cast<float>(k);
        VeVazaruPath::setCamera(camera, SbVec3f(20 * std::cos(a), height, 20 * std::sin(a)), SbVec3f(0, height, 0),
                                SbVec3f(0, 1, 0));
        path->addKeyframe(spacing * static_cast<float>(k), camera);
    }
    path->update();
    return path;
}
