// Shared by the package's tests: cameras placed and read back, scratch folders.
#pragma once
#include "HxKeyframeCameraPath.h"

#include <mc/McHandle.h>
#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline McHandle<SoCamera> lookAt(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = SbVec3f(0, 1, 0)) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
}

// Keyframes around the origin, each with its own aim point and tilt, at uneven times.
inline McHandle<HxKeyframeCameraPath> makePath(int count) {
    const float times[] = {0.0f, 1.5f, 2.0f, 4.0f, 4.5f, 7.0f};
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    for (int k = 0; k < count; ++k) {
        const float angle = 1.1f * float(k), f = float(k);
        const SbVec3f position(4 * std::cos(angle), 0.7f * float(k % 3) - 0.5f, 3 * std::sin(angle));
        const SbVec3f aim(0.3f * f - 0.8f, 0.2f * float(k % 2), -0.4f), up(0.15f * float(k % 3) - 0.1f, 1, 0.1f * f);
        path->addKeyframe(times[k], lookAt(position, aim, up));
    }
    return path;
}

inline SbVec3f turned(const SoCamera* camera, const SbVec3f& v) {
    SbVec3f out;
    camera->orientation.getValue().multVec(v, out);
    return out;
}
inline SbVec3f sightOf(const SoCamera* c) { return turned(c, SbVec3f(0, 0, -1)); }
inline SbVec3f upOf(const SoCamera* c) { return turned(c, SbVec3f(0, 1, 0)); }
inline SbVec3f aimOf(const SoCamera* c) { return c->position.getValue() + sightOf(c) * c->focalDistance.getValue(); }

inline ::testing::AssertionResult near(const SbVec3f& actual, const SbVec3f& expected, float tolerance) {
    if ((actual - expected).length() <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual[0] << ", " << actual[1] << ", " << actual[2]
                                         << ") is not within " << tolerance << " of (" << expected[0] << ", "
                                         << expected[1] << ", " << expected[2] << ")";
}

// Position, aim point and up direction agree within the tolerance.
inline ::testing::AssertionResult sameView(const SoCamera* actual, const SoCamera* expected, float tolerance = 1e-4f) {
    if (auto r = near(actual->position.getValue(), expected->position.getValue(), tolerance); !r)
        return r << " (position)";
    if (auto r = near(aimOf(actual), aimOf(expected), tolerance); !r) return r << " (aim point)";
    if (auto r = near(upOf(actual), upOf(expected), tolerance); !r) return r << " (up direction)";
    return ::testing::AssertionSuccess();
}

// A fresh folder, removed with its contents when the holder goes.
struct ScratchDir {
    ScratchDir() {
        char pattern[] = "/tmp/vevazaru-test-XXXXXX";
        if (mkdtemp(pattern)) path = pattern;
    }
    ~ScratchDir() {
        if (!path.empty()) std::filesystem::remove_all(path);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

inline std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
