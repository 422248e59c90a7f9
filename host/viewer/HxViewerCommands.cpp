// The "viewer n ..." script command: a viewer's camera and window state.
#include <hxcore/HxCmd.h>
#include <hxcore/HxInterpreter.h>
#include <viewer/HxCameraMath.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <tcl.h>

namespace {
// Reads argv[first .. first+n-1] as floats; false if any is not a number.
bool readFloats(const char** argv, int first, int n, float* out) {
    for (int i = 0; i < n; ++i)
        if (!parseFloat(argv[first + i], out[i])) return false;
    return true;
}

struct Command {
    const char* name;
    int numArgs;  // numbers after the command word
    const char* usage;
    int (*run)(Tcl_Interp*, HxViewer*, const float*);
};

// The numbers as a Tcl result, each in the shortest text that reads back exactly.
int numbersResult(Tcl_Interp* interp, std::initializer_list<float> values) {
    std::string text;
    for (float value : values) text += (text.empty() ? "" : " ") + cmdFloatText(value);
    return cmdTextResult(interp, text);
}

// Refuses a camera change whose result has a number that is not finite.
int beyondFloatRange(Tcl_Interp* interp, const char* command) {
    return cmdFail(interp, std::string("viewer ") + command +
                               ": the camera would leave the float range (its aim point or focal distance); "
                               "camera unchanged");
}

int setCamera(Tcl_Interp* interp, HxViewer* v, const float* a) {
    if (!HxCameraMath::placeCamera(v->getCamera(), SbVec3f(a[0], a[1], a[2]), SbVec3f(a[3], a[4], a[5]),
                                   SbVec3f(a[6], a[7], a[8])))
        return beyondFloatRange(interp, "setCamera");
    return TCL_OK;
}
int getCamera(Tcl_Interp* interp, HxViewer* v, const float*) {
    SoCamera* cam = v->getCamera();
    const SbVec3f p = cam->position.getValue(), aim = HxCameraMath::aimPoint(cam), up = HxCameraMath::upDirection(cam);
    return numbersResult(interp, {p[0], p[1], p[2], aim[0], aim[1], aim[2], up[0], up[1], up[2]});
}
int setPosition(Tcl_Interp* interp, HxViewer* v, const float* a) {
    SoCamera* camera = v->getCamera();
    const SbVec3f position(a[0], a[1], a[2]);
    if (!HxCameraMath::isFinite(position, camera->orientation.getValue(), camera->focalDistance.getValue()))
        return beyondFloatRange(interp, "setCameraPosition");
    camera->position.setValue(position);
    return TCL_OK;
}
int getPosition(Tcl_Interp* interp, HxViewer* v, const float*) {
    SbVec3f p = v->getCamera()->position.getValue();
    return numbersResult(interp, {p[0], p[1], p[2]});
}
int setOrientation(Tcl_Interp* interp, HxViewer* v, const float* a) {
    SbVec3f axis(a[0], a[1], a[2]);
    if (axis.length() == 0) return cmdFail(interp, "viewer setCameraOrientation: the axis must not be zero");
    SoCamera* camera = v->getCamera();
    const SbRotation orientation(axis, a[3]);
    if (!HxCameraMath::isFinite(camera->position.getValue(), orientation, camera->focalDistance.getValue()))
        return beyondFloatRange(interp, "setCameraOrientation");
    camera->orientation.setValue(orientation);
    return TCL_OK;
}
int getOrientation(Tcl_Interp* interp, HxViewer* v, const float*) {
    SbVec3f axis;
    float angle;
    v->getCamera()->orientation.getValue(axis, angle);
    return numbersResult(interp, {axis[0], axis[1], axis[2], angle});
}
int setFocal(Tcl_Interp* interp, HxViewer* v, const float* a) {
    if (a[0] < 0) return cmdFail(interp, "viewer setCameraFocalDistance: the distance must not be negative");
    SoCamera* camera = v->getCamera();
    if (!HxCameraMath::isFinite(camera->position.getValue(), camera->orientation.getValue(), a[0]))
        return beyondFloatRange(interp, "setCameraFocalDistance");
    camera->focalDistance.setValue(a[0]);
    return TCL_OK;
}
int getFocal(Tcl_Interp* interp, HxViewer* v, const float*) {
    return numbersResult(interp, {v->getCamera()->focalDistance.getValue()});
}
int showViewer(Tcl_Interp*, HxViewer* v, const float*) {
    v->show();
    return TCL_OK;
}
int hideViewer(Tcl_Interp*, HxViewer* v, const float*) {
    v->hide();
    return TCL_OK;
}
int isVisible(Tcl_Interp* interp, HxViewer* v, const float*) {
    Tcl_VaSetResult(interp, "%d", v->isVisible() ? 1 : 0);
    return TCL_OK;
}
// Whether a is a whole number from min to max.
bool wholeNumber(float a, float min, float max) { return a >= min && a <= max && a == std::trunc(a); }

int setSize(Tcl_Interp* interp, HxViewer* v, const float* a) {
    if (!wholeNumber(a[0], 1, 16384) || !wholeNumber(a[1], 1, 16384))
        return cmdFail(interp, "viewer setSize: width and height must be whole numbers from 1 to 16384");
    v->setSize(static_cast<int>(a[0]), static_cast<int>(a[1]));
    return TCL_OK;
}
// Samples per pixel a user may ask for.
bool sampleCount(float a) { return a == 1 || a == 2 || a == 4 || a == 8; }

// Answers with the samples the viewer renders with, which the GL may limit.
int setSamples(Tcl_Interp* interp, HxViewer* v, const float* a) {
    if (!sampleCount(a[0])) return cmdFail(interp, "viewer setSamples: the samples per pixel must be 1, 2, 4 or 8");
    v->setSamples(static_cast<int>(a[0]));
    Tcl_VaSetResult(interp, "%d", v->getSamples());
    return TCL_OK;
}
int getSamples(Tcl_Interp* interp, HxViewer* v, const float*) {
    Tcl_VaSetResult(interp, "%d", v->getSamples());
    return TCL_OK;
}
int getSize(Tcl_Interp* interp, HxViewer* v, const float*) {
    Tcl_VaSetResult(interp, "%d %d", v->getSize()[0], v->getSize()[1]);
    return TCL_OK;
}
int setNavigation(Tcl_Interp* interp, HxViewer* v, const float* a) {
    // Limits that a float holds exactly and an int too.
    if (!wholeNumber(a[0], -2147483648.0f, 2147483520.0f))
        return cmdFail(interp, "viewer setNavigationMode: the mode must be a whole number within the int range");
    v->setNavigationMode(static_cast<int>(a[0]));
    return TCL_OK;
}
int getNavigation(Tcl_Interp* interp, HxViewer* v, const float*) {
    Tcl_VaSetResult(interp, "%d", v->getNavigationMode());
    return TCL_OK;
}
int redraw(Tcl_Interp*, HxViewer* v, const float*) {
    v->redraw();
    return TCL_OK;
}
int viewAll(Tcl_Interp*, HxViewer* v, const float*) {
    v->viewAll();
    return TCL_OK;
}
// Reads a[0 .. n-1] as pixel coordinates; false unless each is a whole number
// (the range is the viewer's to judge).
bool readPixels(const float* a, int n, int* pixels) {
    for (int i = 0; i < n; ++i) {
        if (!(std::fabs(a[i]) <= 1e6f) || a[i] != std::trunc(a[i])) return false;
        pixels[i] = static_cast<int>(a[i]);
    }
    return true;
}
int pixelUsage(Tcl_Interp* interp, HxViewer* v, const char* usage) {
    const SbVec2s size = v->getSize();
    Tcl_VaSetResult(interp, "usage: viewer n %s (x from 0 to %d, y from 0 to %d)", usage, size[0] - 1, size[1] - 1);
    return TCL_ERROR;
}
int click(Tcl_Interp* interp, HxViewer* v, const float* a) {
    int p[2];
    if (!readPixels(a, 2, p) || !v->click(p[0], p[1])) return pixelUsage(interp, v, "click x y");
    return TCL_OK;
}
int drag(Tcl_Interp* interp, HxViewer* v, const float* a) {
    int p[4];
    if (!readPixels(a, 4, p) || !v->drag(p[0], p[1], p[2], p[3])) return pixelUsage(interp, v, "drag x0 y0 x1 y1");
    return TCL_OK;
}

// Commands whose first argument is a word, not a number, and that may take
// options after it ("-name value" pairs, checked by the command).
struct WordCommand {
    const char* name;
    const char* usage;
    int (*run)(Tcl_Interp*, HxViewer*, int argc, const char** args);  // args[0] is the word
};

// The samples of -samples hold for this image only.
int snapshot(Tcl_Interp* interp, HxViewer* v, int argc, const char** args) {
    float samples = 0;
    if (argc == 3 && (std::strcmp(args[1], "-samples") != 0 || !parseFloat(args[2], samples) || !sampleCount(samples)))
        return cmdFail(interp, "viewer snapshot: -samples must be 1, 2, 4 or 8");
    std::string error;
    // The viewer's own setting is asked for, not what the GL made of it.
    const int own = v->getAskedSamples();
    if (argc == 3) v->setSamples(static_cast<int>(samples));
    const bool saved = v->snapshot(args[0], error);
    v->setSamples(own);
    if (!saved) return cmdFail(interp, "viewer snapshot: " + error);
    return TCL_OK;
}

const Command commands[] = {
    {"setCamera", 9, "setCamera px py pz ax ay az ux uy uz", setCamera},
    {"getCamera", 0, "getCamera", getCamera},
    {"setCameraPosition", 3, "setCameraPosition x y z", setPosition},
    {"getCameraPosition", 0, "getCameraPosition", getPosition},
    {"setCameraOrientation", 4, "setCameraOrientation ax ay az angle", setOrientation},
    {"getCameraOrientation", 0, "getCameraOrientation", getOrientation},
    {"setCameraFocalDistance", 1, "setCameraFocalDistance d", setFocal},
    {"getCameraFocalDistance", 0, "getCameraFocalDistance", getFocal},
    {"show", 0, "show", showViewer},
    {"hide", 0, "hide", hideViewer},
    {"isVisible", 0, "isVisible", isVisible},
    {"setSize", 2, "setSize w h", setSize},
    {"getSize", 0, "getSize", getSize},
    {"setSamples", 1, "setSamples n", setSamples},
    {"getSamples", 0, "getSamples", getSamples},
    {"setNavigationMode", 1, "setNavigationMode m", setNavigation},
    {"getNavigationMode", 0, "getNavigationMode", getNavigation},
    {"redraw", 0, "redraw", redraw},
    {"viewAll", 0, "viewAll", viewAll},
    {"click", 2, "click x y", click},
    {"drag", 4, "drag x0 y0 x1 y1", drag},
};

const WordCommand wordCommands[] = {
    {"snapshot", "snapshot file.png [-samples n]", snapshot},
};

int viewerCmd(ClientData, Tcl_Interp* interp, int argc, const char** argv) {
    long id = -1;
    if (argc < 3 || !parseLong(argv[1], id) || id < 0 || id >= HxController::maxViewers)
        return cmdFail(interp, "usage: viewer n command ... (n from 0 to 15)");
    for (const Command& c : commands) {
        if (std::strcmp(argv[2], c.name) != 0) continue;
        float numbers[9];
        if (argc != 3 + c.numArgs || !readFloats(argv, 3, c.numArgs, numbers))
            return cmdFail(interp, std::string("usage: viewer n ") + c.usage);
        return c.run(interp, theController->viewer(static_cast<int>(id), 1), numbers);
    }
    for (const WordCommand& c : wordCommands) {
        if (std::strcmp(argv[2], c.name) != 0) continue;
        if ((argc != 4 && argc != 6) || !*argv[3]) return cmdFail(interp, std::string("usage: viewer n ") + c.usage);
        return c.run(interp, theController->viewer(static_cast<int>(id), 1), argc - 3, argv + 3);
    }
    std::string known;
    for (const Command& c : commands) known += std::string(" ") + c.name;
    for (const WordCommand& c : wordCommands) known += std::string(" ") + c.name;
    return cmdFail(interp, std::string("viewer: unknown command \"") + argv[2] + "\"; known:" + known);
}
}  // namespace

void hxRegisterViewerCommands() { theInterpreter->createCommand("viewer", viewerCmd); }
