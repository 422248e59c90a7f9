// The script commands of a keyframe camera path.
#include "HxKeyframeCameraPath.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <climits>
#include <string>
#include <tcl.h>

namespace {
// A failed command: the message on the console and as the Tcl result.
int fail(Tcl_Interp* interp, const std::string& message) {
    theMsg->printf("%s", message.c_str());
    return cmdFail(interp, message);
}

SoCamera* mainViewerCamera() {
    HxViewer* viewer = theController->viewer(0, 1, nullptr, true);
    return viewer ? viewer->getCamera() : nullptr;
}

// argv[first], argv[first + 1], argv[first + 2] as a vector; false if one is not a number.
bool readVector(char** argv, int first, SbVec3f& v) {
    float x, y, z;
    if (!parseFloat(argv[first], x) || !parseFloat(argv[first + 1], y) || !parseFloat(argv[first + 2], z)) return false;
    v.setValue(x, y, z);
    return true;
}

// A keyframe number for a command; false when the word is not a whole number in
// the range of int.
bool readIndex(const char* word, int& index) {
    long value = 0;
    if (!parseLong(word, value) || value < INT_MIN || value > INT_MAX) return false;
    index = static_cast<int>(value);
    return true;
}
}  // namespace

int HxKeyframeCameraPath::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* cmd = argv[1];
    const std::string self = argv[0];

    if (cmdCheck(cmd, "camera", "")) {
        if (argc <= 2) return fail(interp, "Usage: camera n <cmd>");
        McDArray<CmdInfo>& list = getCmdInfo();
        for (CmdInfo& entry : list) entry.release();
        list.resize(0);
        return cameraParse(interp, argc - 2, argv + 2);
    }
    if (cmdCheck(cmd, "interpRot", "")) {
        if (int r = cmdHelp(interp, cmd, argc == 3, argc, argv); r != TCL_CONTINUE) return r;
        long mode = 0;
        if (!parseLong(argv[2], mode) || mode < 0 || mode > 2)
            return fail(interp, self + " interpRot: expected 0, 1 or 2, got \"" + argv[2] + "\"");
        rotationMode = static_cast<int>(mode);
        return TCL_OK;
    }
    if (cmdCheck(cmd, "getDuration", "")) return cmdTextResult(interp, cmdFixedText(getDuration()));
    if (cmdCheck(cmd, "getStarttime", "")) return cmdTextResult(interp, cmdFixedText(getTime(0)));
    if (cmdCheck(cmd, "getNumCameras", "")) {
        Tcl_VaSetResult(interp, "%d", cameras.size());
        return TCL_OK;
    }
    const bool isUpDir = cmdCheck(cmd, "setUpDir", "");
    if (isUpDir || cmdCheck(cmd, "setAimPoint", "")) {
        const std::string usage =
            isUpDir ? "Usage: setUpDir x y z [first [last]]" : "Usage: setAimPoint x y z [first [last]]";
        if (argc < 5 || argc > 7) return fail(interp, usage);
        SbVec3f v;
        int first = 0, last = -1;
        if (!readVector(argv, 2, v) || (argc > 5 && !readIndex(argv[5], first)) ||
            (argc > 6 && !readIndex(argv[6], last)))
            return fail(interp, usage + " (numbers expected)");
        if (isUpDir && v.length() == 0) return fail(interp, self + " setUpDir: the up direction must not be zero");
        if (!(isUpDir ? setUpDir(v, first, last) : setAimPoint(v, first, last)))
            return fail(interp, self + " " + cmd + ": a keyframe would leave the float range; nothing changed");
        return TCL_OK;
    }
    if (cmdCheck(cmd, "append", "")) {
        const float t = times.size() == 0 ? 0.0f : times.last() + 10.0f;
        SoCamera* camera = mainViewerCamera();
        if (!camera) return fail(interp, self + " append: there is no main viewer");
        if (!isFinite(camera))
            return fail(interp, self + " append: the main viewer's camera has numbers that are not finite");
        addKeyframe(t, camera);
        return TCL_OK;
    }
    if (cmdCheck(cmd, "createCircularPath", "")) {
        SoCamera* camera = mainViewerCamera();
        if (!camera) return fail(interp, self + " createCircularPath: there is no main viewer");
        if (!createCircularPath(camera, 360.0f, 100.0f, 16))
            return fail(interp, self + " createCircularPath: the circle would leave the float range; nothing changed");
        return TCL_OK;
    }
    return HxData::parse(interp, argc, argv);
}

int HxKeyframeCameraPath::cameraParse(Tcl_Interp* interp, int argc, char** argv) {
    long n = -1;
    if (!parseLong(argv[0], n) || n < 0 || n >= cameras.size()) return fail(interp, "No such camera");
    SoCamera* camera = cameras[static_cast<int>(n)];
    const char* cmd = argc > 1 ? argv[1] : "help";
    SbVec3f v;
    if (cmdCheck(cmd, "getPosition", "")) {
        v = camera->position.getValue();
    } else if (cmdCheck(cmd, "getAimPoint", "")) {
        AIMPOINT(camera, v);
    } else if (cmdCheck(cmd, "getUpDir", "")) {
        UPDIR(camera, v);
    } else {
        return CmdInfo::usage(interp, cmd);
    }
    return cmdTextResult(interp, cmdFloatText(v[0]) + " " + cmdFloatText(v[1]) + " " + cmdFloatText(v[2]));
}
