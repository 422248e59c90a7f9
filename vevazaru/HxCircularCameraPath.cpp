#include "HxCircularCameraPath.h"

#include <hxcore/HxCmd.h>
#include <hxcore/HxMessage.h>
#include <viewer/HxController.h>
#include <viewer/HxViewer.h>
#include <viewer/QxViewer.h>
#include <vornamesh/VornaMesh.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <QCoreApplication>
#include <cmath>
#include <string>
#include <tcl.h>

MC_INIT_CLASS(HxCircularCameraPath, VeVazaruPath::getClassTypeId())

namespace {
constexpr double pi = 3.14159265358979323846;

// The navigation mode of viewers that camera paths may drive.
constexpr int drivenMode = 3;
// compute() moves the cameras of viewers 0 to 7.
constexpr int numDrivenViewers = 8;

bool inMask(unsigned short mask, int id) { return id >= 0 && id < 16 && (mask & (1u << id)) != 0; }
}  // namespace

const HxSaveFormatInfo HxCircularCameraPath::si[] = {
    {"Pexil Brio", "brio", static_cast<HxSaveFormatInfo::Writer>(&HxCircularCameraPath::writePexilBrio), nullptr, 1},
    {nullptr, nullptr, nullptr, nullptr, 0},
};

// ---------------------------------------------------------------------------
// Construction and copying

HxCircularCameraPath::HxCircularCameraPath()
    : portTime(this, "time", QCoreApplication::translate("HxCircularCameraPath", "Time"), false, -1),
      portAction(this, "action", QCoreApplication::translate("HxCircularCameraPath", "Action"), 1, 5) {
    portAction.setLabel(0, QCoreApplication::translate("HxCircularCameraPath", "recompute"));
    portAction.setOptLabel(MostVertical, QCoreApplication::translate("HxCircularCameraPath", "most vertical"));
    portAction.setOptLabel(XAxis, QCoreApplication::translate("HxCircularCameraPath", "x-axis"));
    portAction.setOptLabel(YAxis, QCoreApplication::translate("HxCircularCameraPath", "y-axis"));
    portAction.setOptLabel(ZAxis, QCoreApplication::translate("HxCircularCameraPath", "z-axis"));
    portAction.setOptLabel(UpDirection, QCoreApplication::translate("HxCircularCameraPath", "up direction"));
    portAction.setToolTip(QCoreApplication::translate(
        "HxCircularCameraPath",
        "Camera will be recomputed according to the camera in the main viewer when you press the "
        "<i>recompute</i> button or specify the camera orientation."));
    portAction.setFireOnSaveNetwork(true);

    portTime.setMinMax(0, 360);
    portTime.setIncrement(1);
    portTime.setDiscrete(false);

    recompute(MostVertical);
    setSaveFormats(si);
}

HxCircularCameraPath::~HxCircularCameraPath() = default;

void HxCircularCameraPath::copyData(const HxCircularCameraPath& source) {
    cameraPosition = source.cameraPosition;
    aimPoint = source.aimPoint;
    upDirection = source.upDirection;
    rotationAxis = source.rotationAxis;
}

HxCircularCameraPath* HxCircularCameraPath::duplicate() const {
    auto* copy = new HxCircularCameraPath;
    copy->copyData(*this);
    return copy;
}

// ---------------------------------------------------------------------------
// Start camera and axis

HxViewer* HxCircularCameraPath::sourceViewer() const {
    for (int id : theController->getAllVisibleViewerIDs()) {
        if (!inMask(getViewerMask(), id)) continue;
        HxViewer* viewer = theController->viewer(id, 1, nullptr, true);
        if (viewer && viewer->qxViewer()->getNavigationMode() == drivenMode) return viewer;
    }
    return theController->viewer(0, 1, nullptr, true);
}

void HxCircularCameraPath::recompute(int axisChoice) {
    HxViewer* viewer = sourceViewer();
    // A camera with numbers that are not finite gives no start camera.
    if (viewer && isFinite(viewer->getCamera())) {
        const SoCamera* camera = viewer->getCamera();
        AIMPOINT(camera, aimPoint);
        UPDIR(camera, upDirection);
        cameraPosition = camera->position.getValue();
    }
    chooseAxis(axisChoice);
}

void HxCircularCameraPath::chooseAxis(int axisChoice) {
    switch (axisChoice) {
        case MostVertical: {
            // Ties go to the later axis: y before x, z before both.
            int k = std::fabs(upDirection[0]) > std::fabs(upDirection[1]) ? 0 : 1;
            if (!(std::fabs(upDirection[k]) > std::fabs(upDirection[2]))) k = 2;
            rotationAxis.setValue(0, 0, 0);
            rotationAxis[k] = upDirection[k] > 0 ? 1.0f : -1.0f;
            break;
        }
        case XAxis:
            rotationAxis.setValue(1, 0, 0);
            break;
        case YAxis:
            rotationAxis.setValue(0, 1, 0);
            break;
        case ZAxis:
            rotationAxis.setValue(0, 0, 1);
            break;
        case UpDirection:
            rotationAxis = upDirection;
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// Camera-path operations

bool HxCircularCameraPath::isClosed() const { return true; }

float HxCircularCameraPath::getDuration() const { return portTime.getMaxValue() - portTime.getMinValue(); }

float HxCircularCameraPath::getTime(int) const { return 0.0f; }

SoCamera* HxCircularCameraPath::getCamera(float t) {
    auto* camera = new SoPerspectiveCamera;
    getCamera(t, *camera);
    return camera;
}

void HxCircularCameraPath::getCamera(float t, SoCamera& camera) {
    float min, max;
    portTime.getMinMax(min, max);
    const float s = max == min ? 0.0f : static_cast<float>(1.0 / (double(max) - double(min)));
    // Not clamped: a time outside the range turns on beyond 0 .. 2 pi.
    const float angle = static_cast<float>(double(2.0f * (t - min) * s) * pi);

    SbRotation rotation;
    rotation.setValue(rotationAxis, angle);
    SbMatrix aboutAim;
    aboutAim.setTransform(SbVec3f(0, 0, 0), rotation, SbVec3f(1, 1, 1), SbRotation::identity(), aimPoint);
    SbVec3f position;
    aboutAim.multVecMatrix(cameraPosition, position);

    SbMatrix turn;
    turn.setRotate(rotation);
    SbVec3f up;
    turn.multVecMatrix(upDirection, up);

    setCamera(&camera, position, aimPoint, up);
}

// ---------------------------------------------------------------------------
// Host callbacks

void HxCircularCameraPath::compute() {
    if (portAction.isNew(0xFFFFFFFF)) {
        recompute(portAction.getOptValue(0));
        portTime.touch(0xFFFFFFFF);
    }
    if (!portTime.isNew(0xFFFFFFFF)) return;
    const float t = portTime.getValue();
    for (int id = 0; id < numDrivenViewers; ++id) {
        HxViewer* viewer = theController->viewer(id, 0, nullptr, true);
        if (!viewer || !inMask(getViewerMask(), id)) continue;
        if (viewer->qxViewer()->getNavigationMode() != drivenMode) continue;
        getCamera(t, *viewer->getCamera());
        touch(2);
    }
}

// The object shows no info text.
void HxCircularCameraPath::info() {}

// The generic re-creation by type: the vectors follow from savePorts(), so no
// data file is written.
int HxCircularCameraPath::saveCreation(FILE* fp, const char* dataDir, unsigned int flags) {
    return HxObject::saveCreation(fp, dataDir, flags);
}

void HxCircularCameraPath::savePorts(FILE* fp) {
    HxObject::savePorts(fp);
    const char* objectName = getName();
    const struct {
        const char* command;
        const SbVec3f& v;
    } lines[] = {{"setPosition", cameraPosition},
                 {"setAimPoint", aimPoint},
                 {"setUpDirection", upDirection},
                 {"setAxis", rotationAxis}};
    for (const auto& line : lines)
        std::fprintf(fp, "\"%s\" %s %s %s %s\n", objectName, line.command, cmdFloatText(line.v[0]).c_str(),
                     cmdFloatText(line.v[1]).c_str(), cmdFloatText(line.v[2]).c_str());
}

// Refuses rather than claim a file it did not write: the path's state is four
// vectors and two ports, which saved networks keep through savePorts().
namespace {
// The names under which the file keeps the path's state.
const char* const circleBundle = "CircularCameraPath";
struct StoredVector {
    const char* name;
    SbVec3f HxCircularCameraPath::*member;
};
const StoredVector storedVectors[] = {{"CameraPosition", &HxCircularCameraPath::cameraPosition},
                                      {"AimPoint", &HxCircularCameraPath::aimPoint},
                                      {"UpDirection", &HxCircularCameraPath::upDirection},
                                      {"RotationAxis", &HxCircularCameraPath::rotationAxis}};

// The n finite reals of a parameter, or false.
bool readReals(const HxParamBundle& bundle, const char* name, int n, double* out) {
    const HxParamBundle::Param* p = bundle.find(name);
    if (!p || p->kind != HxParamBundle::Param::Reals || static_cast<int>(p->reals.size()) != n) return false;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(p->reals[i]) || std::fabs(p->reals[i]) > 3.4e38) return false;
        out[i] = p->reals[i];
    }
    return true;
}
}  // namespace

int HxCircularCameraPath::writePexilBrio(const char* file) {
    VornaMesh mesh;
    mesh.parameters = parameters;
    mesh.parameters.set("ContentType", "CircularCameraPath", 0);
    mesh.parameters2 = parameters2;
    const double range[2] = {portTime.getMinValue(), portTime.getMaxValue()};
    // The reader refuses numbers that are not finite: such a file is not written.
    bool finite = std::isfinite(range[0]) && std::isfinite(range[1]);
    for (const StoredVector& v : storedVectors) {
        const SbVec3f& value = this->*(v.member);
        for (int i = 0; i < 3; ++i) finite = finite && std::isfinite(value[i]);
    }
    if (!finite) {
        theMsg->printf("%s: the circular path has numbers that are not finite; not saved", file);
        return 0;
    }
    HxParamBundle& state = mesh.parameters.bundle(circleBundle);
    for (const StoredVector& v : storedVectors) {
        const SbVec3f& value = this->*(v.member);
        const double reals[3] = {value[0], value[1], value[2]};
        state.set(v.name, 3, reals, 0);
    }
    state.set("TimeRange", 2, range, 0);
    const int result = mesh.write(file, false, nullptr, false, true);
    if (result)
        setLoadCmd(file, false);
    else
        theMsg->printf("%s", mesh.lastError().c_str());
    return result;
}

int HxCircularCameraPath::readVornaMesh(VornaMesh* mesh, const char* file) {
    const HxParamBundle::Param* stateParam = mesh ? mesh->parameters.find(circleBundle) : nullptr;
    const HxParamBundle* state =
        stateParam && stateParam->kind == HxParamBundle::Param::Bundle ? stateParam->bundle.get() : nullptr;
    double values[4][3], range[2];
    bool complete = state && readReals(*state, "TimeRange", 2, range);
    for (int i = 0; complete && i < 4; ++i) complete = readReals(*state, storedVectors[i].name, 3, values[i]);
    if (!complete) {
        theMsg->printf("%s", qPrintable(QCoreApplication::translate("HxCircularCameraPath",
                                                                    "%1 holds no complete circular camera path")
                                            .arg(QString::fromLocal8Bit(file ? file : ""))));
        return 0;
    }
    auto* path = new HxCircularCameraPath;
    for (int i = 0; i < 4; ++i)
        path->*(storedVectors[i].member) = SbVec3f(float(values[i][0]), float(values[i][1]), float(values[i][2]));
    path->portTime.setMinMax(float(range[0]), float(range[1]));
    path->parameters = mesh->parameters;
    path->parameters.remove(circleBundle);
    path->parameters2 = mesh->parameters2;
    HxData::registerData(path, file);
    return 1;
}

// ---------------------------------------------------------------------------
// Script commands

int HxCircularCameraPath::parse(Tcl_Interp* interp, int argc, char** argv) {
    const char* cmd = argc > 1 ? argv[1] : nullptr;
    const struct {
        const char* name;
        SbVec3f HxCircularCameraPath::*vector;
    } commands[] = {{"setPosition", &HxCircularCameraPath::cameraPosition},
                    {"setAimPoint", &HxCircularCameraPath::aimPoint},
                    {"setUpDirection", &HxCircularCameraPath::upDirection},
                    {"setAxis", &HxCircularCameraPath::rotationAxis}};
    for (const auto& command : commands) {
        if (!cmdCheck(cmd, command.name, "")) continue;
        if (int r = cmdHelp(interp, argv[1], argc == 5, argc, argv); r != TCL_CONTINUE) return r;
        float v[3];
        if (!parseFloat(argv[2], v[0]) || !parseFloat(argv[3], v[1]) || !parseFloat(argv[4], v[2]))
            return cmdFail(interp, std::string(argv[0]) + " " + command.name + ": expected three numbers");
        // No rotation turns about a zero axis.
        if (command.vector == &HxCircularCameraPath::rotationAxis && v[0] == 0 && v[1] == 0 && v[2] == 0)
            return cmdFail(interp, std::string(argv[0]) + " setAxis: the axis must not be zero");
        // The vector takes effect at the next camera request.
        this->*command.vector = SbVec3f(v[0], v[1], v[2]);
        return TCL_OK;
    }
    return HxData::parse(interp, argc, argv);
}
