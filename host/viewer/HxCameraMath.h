// Camera placement by position, aim point and up direction, and the reading
// back of a camera's aim point and up direction. The viewer commands, saved
// networks and camera paths all place cameras through these.
#pragma once
#include <Inventor/SbLinear.h>

class SoCamera;

namespace HxCameraMath {
// The point the camera looks at: its position plus the focal distance along
// the viewing direction.
SbVec3f aimPoint(const SoCamera* camera);
// The camera's up direction (unit length).
SbVec3f upDirection(const SoCamera* camera);
// aimPoint and upDirection from field values already read: the same results,
// for callers that read each camera's fields once.
inline SbVec3f aimPointOf(const SbVec3f& position, const SbRotation& orientation, float focalDistance);
inline SbVec3f upDirOf(const SbRotation& orientation);

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
void setCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);
// setCamera, telling whether it placed the camera (false: left as it was).
bool placeCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);
// Whether placeCamera would place the camera; changes nothing.
bool canPlaceCamera(const SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up);

// Whether every number of the camera is finite: its position, orientation,
// focal distance and other single float fields, and its aim point.
bool isFinite(const SoCamera* camera);
// The same for a camera with these fields.
bool isFinite(const SbVec3f& position, const SbRotation& orientation, float focalDistance);
}  // namespace HxCameraMath

// Inline: the interpolation calls these several times per camera. Both rotate
// an axis by the quaternion (x, y, z, w) in double precision.
inline SbVec3f HxCameraMath::aimPointOf(const SbVec3f& position, const SbRotation& orientation, float focalDistance) {
    const float* q = orientation.getValue();
    const double x = q[0], y = q[1], z = q[2], w = q[3], d = focalDistance;
    // The viewing direction is the image of -Z.
    const double dx = -2 * (x * z + w * y), dy = -2 * (y * z - w * x), dz = 2 * (x * x + y * y) - 1;
    return SbVec3f(static_cast<float>(position[0] + d * dx), static_cast<float>(position[1] + d * dy),
                   static_cast<float>(position[2] + d * dz));
}

inline SbVec3f HxCameraMath::upDirOf(const SbRotation& orientation) {
    const float* q = orientation.getValue();
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return SbVec3f(static_cast<float>(2 * (x * y - w * z)), static_cast<float>(1 - 2 * (x * x + z * z)),
                   static_cast<float>(2 * (y * z + w * x)));
}
