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
    // AIMPOINT and UPDIR from field values already read: the same results, for
    // callers that read each camera's fields once.
    static SbVec3f aimPointOf(const SbVec3f& position, const SbRotation& orientation, float focalDistance);
    static SbVec3f upDirOf(const SbRotation& orientation);
    // Places the camera at `position`, looking at `aim`, with `up` projected
    // perpendicular to the viewing direction. `up` may have any non-zero length.
    // Degenerate input keeps what cannot be derived: aim == position keeps the
    // viewing direction (focal distance becomes 0); an up vector that is zero or
    // parallel to the viewing direction keeps the camera's current roll as far
    // as possible. The camera never receives a number that is not finite:
    // input that is not finite, or that would give a focal distance or aim
    // point beyond the float range, leaves the camera as it was.
    // Position and orientation are written with their notification switched
    // off, so observers of the camera see one change (of the focal distance);
    // each field's own notification setting is restored afterwards.
    static void setCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);
    // setCamera, telling whether it placed the camera (false: left as it was).
    static bool placeCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);
    // Whether placeCamera would place the camera; changes nothing.
    static bool canPlaceCamera(const SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);

    // Whether every number of the camera is finite: its position, orientation,
    // focal distance and other single float fields, and its aim point.
    static bool isFinite(const SoCamera* camera);
    // The same for a camera with these fields.
    static bool isFinite(const SbVec3f& position, const SbRotation& orientation, float focalDistance);
};

// Inline: the interpolation calls these several times per camera. Both rotate
// an axis by the quaternion (x, y, z, w) in double precision.
inline SbVec3f VeVazaruPath::aimPointOf(const SbVec3f& position, const SbRotation& orientation, float focalDistance) {
    const float* q = orientation.getValue();
    const double x = q[0], y = q[1], z = q[2], w = q[3], d = focalDistance;
    // The viewing direction is the image of -Z.
    const double dx = -2 * (x * z + w * y), dy = -2 * (y * z - w * x), dz = 2 * (x * x + y * y) - 1;
    return SbVec3f(static_cast<float>(position[0] + d * dx), static_cast<float>(position[1] + d * dy),
                   static_cast<float>(position[2] + d * dz));
}

inline SbVec3f VeVazaruPath::upDirOf(const SbRotation& orientation) {
    const float* q = orientation.getValue();
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return SbVec3f(static_cast<float>(2 * (x * y - w * z)), static_cast<float>(1 - 2 * (x * x + z * z)),
                   static_cast<float>(2 * (y * z + w * x)));
}
