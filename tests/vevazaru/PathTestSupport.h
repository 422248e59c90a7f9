// Shared by the package's tests: cameras placed by position, aim point and up
// direction; what a camera shows, read back from its fields alone; scratch folders.
#pragma once
#include <mc/McHandle.h>
#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline McHandle<SoCamera> lookAt(const SbVec3f& position, const SbVec3f& aim, const SbVec3f& up = SbVec3f(0, 1, 0)) {
    McHandle<SoCamera> camera = new SoPerspectiveCamera;
    VeVazaruPath::setCamera(camera, position, aim, up);
    return camera;
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
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
