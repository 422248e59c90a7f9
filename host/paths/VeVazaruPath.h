// Base of camera paths: data objects that map a time (seconds) to a camera.
// Also the camera helpers that place a camera by position, aim point and up
// direction and read those back.
#pragma once
#include <hxcore/HxData.h>

#include <Inventor/SbLinear.h>

class SoCamera;

class VeVazaruPath : public HxData {
    MC_ABSTRACT_HEADER(VeVazaruPath)

public:
    VeVazaruPath();
    ~VeVazaruPath() override;

    virtual bool isClosed() const = 0;
    virtual float getDuration() const = 0;
    virtual float getTime(int keyframe) const = 0;
    // A new camera for time t; the caller owns it (its reference count is 0).
    virtual SoCamera* getCamera(float t) = 0;
    virtual void getCamera(float t, SoCamera& camera) = 0;

    // The point the camera looks at: its position plus the focal distance along
    // the viewing direction.
    static void AIMPOINT(const SoCamera* camera, SbVec3f& aim);
    // The camera's up direction (unit length).
    static void UPDIR(const SoCamera* camera, SbVec3f& up);
    // Places the camera at `position`, looking at `aim`, with `up` projected
    // perpendicular to the viewing direction. `up` may have any non-zero length.
    // Degenerate input keeps what cannot be derived: aim == position keeps the
    // viewing direction (focal distance becomes 0); an up vector that is zero or
    // parallel to the viewing direction keeps the camera's current roll as far
    // as possible. The camera never receives a NaN.
    static void setCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);
};
