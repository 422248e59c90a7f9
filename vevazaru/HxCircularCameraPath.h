// A camera path computed instead of keyed: the start camera turned about an axis
// through its aim point, one full turn over the range of the time port. The
// start camera and the axis come from a viewer when the object is created and
// when "recompute" is pressed; scripts may set all four vectors.
#pragma once
#include <paths/VeVazaruPath.h>
#include <ports/HxPortButtonMenu.h>
#include <ports/HxPortTime.h>

class SoCamera;
class HxViewer;
class VornaMesh;

class HxCircularCameraPath : public VeVazaruPath {
    MC_HEADER(HxCircularCameraPath)

public:
    // Axis choices of the action port's menu.
    enum AxisChoice { MostVertical = 0, XAxis = 1, YAxis = 2, ZAxis = 3, UpDirection = 4 };

    HxCircularCameraPath();
    ~HxCircularCameraPath() override;

    HxPortTime portTime;
    HxPortButtonMenu portAction;
    // Where the camera stands at the start of the turn.
    SbVec3f cameraPosition;
    // What the camera looks at: the centre of the turn.
    SbVec3f aimPoint;
    // The camera's up direction at the start of the turn.
    SbVec3f upDirection;
    // The direction of the axis through aimPoint; used as given, never normalised.
    SbVec3f rotationAxis;

    // Takes the start camera from a viewer (the first visible one in the viewer
    // mask and in navigation mode 3, else the main viewer) and sets the axis by
    // the choice.
    void recompute(int axisChoice);
    // Sets rotationAxis from upDirection by the choice; a choice outside the
    // menu leaves it as it is.
    void chooseAxis(int axisChoice);

    // Camera-path operations. Times are those of portTime; its range is one turn.
    bool isClosed() const override;
    float getDuration() const override;
    float getTime(int keyframe) const override;
    SoCamera* getCamera(float t) override;
    void getCamera(float t, SoCamera& camera) override;

    // Copies the four vectors; ports keep their values.
    void copyData(const HxCircularCameraPath& source);
    HxCircularCameraPath* duplicate() const override;

    // Host callbacks.
    void compute() override;
    void info() override;
    int saveCreation(FILE* fp, const char* dataDir, unsigned int flags) override;
    void savePorts(FILE* fp) override;
    int parse(Tcl_Interp* interp, int argc, char** argv) override;

    // The writer of the "Pexil Brio" save format: a data file whose parameters
    // hold the four vectors and the time range (ContentType
    // "CircularCameraPath"). Returns 1 on success, 0 with a console message on
    // failure (an existing file is then left as it was).
    int writePexilBrio(const char* file);
    // The reader of such files: 1 with a new path in the object pool, 0 with a
    // console message when the parameters are missing or not finite.
    static int readVornaMesh(VornaMesh* mesh, const char* file);

private:
    static const HxSaveFormatInfo si[];
    // The viewer whose camera recompute() takes.
    HxViewer* sourceViewer() const;
};
