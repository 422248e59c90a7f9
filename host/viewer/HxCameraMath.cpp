#include <viewer/HxCameraMath.h>

#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/lists/SoFieldList.h>
#include <Inventor/nodes/SoCamera.h>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

namespace {
struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(Vec a) { return std::sqrt(dot(a, a)); }
Vec toVec(const SbVec3f& v) { return {v[0], v[1], v[2]}; }
bool finite(Vec a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// Rotates v by the unit quaternion q (x, y, z, w), in double precision.
Vec rotate(const SbRotation& rotation, Vec v) {
    const float* q = rotation.getValue();
    Vec u{q[0], q[1], q[2]};
    double w = q[3];
    Vec t = cross(u, v) * 2.0;
    Vec c = cross(u, t);
    return {v.x + w * t.x + c.x, v.y + w * t.y + c.y, v.z + w * t.z + c.z};
}

// The quaternion of the rotation matrix m (rows: images of the unit axes), by
// the same float arithmetic as SbRotation(const SbMatrix&) with m[3][3] = 1,
// without building a 4x4 matrix. SbRotation normalises the quaternion it is
// given, which may change the last bit of a component.
SbRotation quaternionOfRows(const float m[3][3]) {
    float q[4];
    const float trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0f) {
        const float s = static_cast<float>(std::sqrt(trace + 1.0f));
        const float r = 0.5f / s;
        q[0] = (m[1][2] - m[2][1]) * r;
        q[1] = (m[2][0] - m[0][2]) * r;
        q[2] = (m[0][1] - m[1][0]) * r;
        q[3] = s * 0.5f;
    } else {
        // Led by the largest diagonal element, whose component is positive.
        int i = 0;
        if (m[1][1] > m[0][0]) i = 1;
        if (m[2][2] > m[i][i]) i = 2;
        const int j = (i + 1) % 3, k = (j + 1) % 3;
        const float s = static_cast<float>(std::sqrt((m[i][i] - (m[j][j] + m[k][k])) + 1.0f));
        const float r = 0.5f / s;
        q[i] = s * 0.5f;
        q[3] = (m[j][k] - m[k][j]) * r;
        q[j] = (m[i][j] + m[j][i]) * r;
        q[k] = (m[i][k] + m[k][i]) * r;
    }
    return SbRotation(q);
}

// The rotation whose -Z axis is `forward` and whose +Y axis is `up`; both unit
// and perpendicular.
SbRotation frame(Vec forward, Vec up) {
    Vec z = forward * -1.0;
    Vec x = cross(up, z);
    // Rows are the images of the unit axes (row-vector convention).
    const float m[3][3] = {{static_cast<float>(x.x), static_cast<float>(x.y), static_cast<float>(x.z)},
                           {static_cast<float>(up.x), static_cast<float>(up.y), static_cast<float>(up.z)},
                           {static_cast<float>(z.x), static_cast<float>(z.y), static_cast<float>(z.z)}};
    return quaternionOfRows(m);
}

// The unit part of c perpendicular to the unit vector `forward`, unless c has
// next to none; `ortho` is left alone then.
bool perpendicularPart(Vec c, Vec forward, Vec& ortho) {
    Vec o = c - forward * dot(c, forward);
    double len = length(o);
    if (!(len > 1e-6 * length(c))) return false;  // relative: any non-zero length counts
    ortho = o * (1.0 / len);
    return true;
}
}  // namespace

SbVec3f HxCameraMath::aimPoint(const SoCamera* camera) {
    return aimPointOf(camera->position.getValue(), camera->orientation.getValue(), camera->focalDistance.getValue());
}

SbVec3f HxCameraMath::upDirection(const SoCamera* camera) { return upDirOf(camera->orientation.getValue()); }

namespace {
// Where setCamera puts a camera: computed from the input and the camera's
// current orientation, before anything is written.
struct Placement {
    SbRotation orientation;
    float focalDistance;
};

bool finite(const SbVec3f& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// Whether aimPointOf() gives a point within the float range: its double
// arithmetic, checked before the conversion to float.
bool aimPointFits(const SbVec3f& position, const SbRotation& orientation, float focalDistance) {
    const float* q = orientation.getValue();
    const double x = q[0], y = q[1], z = q[2], w = q[3], d = focalDistance;
    const double direction[3] = {-2 * (x * z + w * y), -2 * (y * z - w * x), 2 * (x * x + y * y) - 1};
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(position[i] + d * direction[i]) <= FLT_MAX)) return false;
    }
    return true;
}

// Nothing when the input or the camera so placed is not finite.
std::optional<Placement> placement(const SoCamera* camera, const SbVec3f& position, const SbVec3f& aim,
                                   const SbVec3f& up) {
    Vec p = toVec(position);
    if (!finite(p) || !finite(toVec(aim)) || !finite(toVec(up))) return std::nullopt;

    Vec view = toVec(aim) - p;
    double distance = length(view);
    // The current orientation is read only where the input leaves the viewing
    // direction or the roll undefined.
    Vec forward = distance > 0 ? view * (1.0 / distance) : rotate(camera->orientation.getValue(), {0, 0, -1});

    // Up made perpendicular to the viewing direction; fall back to the current
    // up, then to any perpendicular axis, when it has no such component.
    Vec ortho{0, 1, 0};
    if (!perpendicularPart(toVec(up), forward, ortho)) {
        Vec fallbacks[] = {rotate(camera->orientation.getValue(), {0, 1, 0}), {0, 1, 0}, {1, 0, 0}};
        for (Vec c : fallbacks) {
            if (perpendicularPart(c, forward, ortho)) break;
        }
    }
    if (!(distance <= FLT_MAX)) return std::nullopt;
    const Placement result{frame(forward, ortho), static_cast<float>(distance)};
    const float* q = result.orientation.getValue();
    if (!std::isfinite(q[0]) || !std::isfinite(q[1]) || !std::isfinite(q[2]) || !std::isfinite(q[3]))
        return std::nullopt;
    // The aim point lies within the focal distance of the position (the viewing
    // direction is a unit vector up to rounding): only near the float limit can
    // it fall outside the range.
    const double reach = std::fabs(p.x) + std::fabs(p.y) + std::fabs(p.z) + 1.001 * distance;
    if (reach > FLT_MAX && !aimPointFits(position, result.orientation, result.focalDistance)) return std::nullopt;
    return result;
}
}  // namespace

bool HxCameraMath::isFinite(const SbVec3f& position, const SbRotation& orientation, float focalDistance) {
    const float* q = orientation.getValue();
    return finite(position) && std::isfinite(q[0]) && std::isfinite(q[1]) && std::isfinite(q[2]) &&
           std::isfinite(q[3]) && std::isfinite(focalDistance) && aimPointFits(position, orientation, focalDistance);
}

bool HxCameraMath::isFinite(const SoCamera* camera) {
    if (!isFinite(camera->position.getValue(), camera->orientation.getValue(), camera->focalDistance.getValue()))
        return false;
    // The other float fields (near and far distance, aspect ratio, height angle ...).
    SoFieldList fields;
    const int n = camera->getFields(fields);
    for (int i = 0; i < n; ++i) {
        if (fields[i]->isOfType(SoSFFloat::getClassTypeId()) &&
            !std::isfinite(static_cast<const SoSFFloat*>(fields[i])->getValue()))
            return false;
    }
    return true;
}

bool HxCameraMath::canPlaceCamera(const SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
    return placement(camera, position, aim, up).has_value();
}

namespace {
void place(SoCamera* camera, const SbVec3f& position, const Placement& where) {
    // Position, orientation and focal distance are written with notification
    // only on the last field, so observers see one change.
    const SbBool notifyPosition = camera->position.enableNotify(FALSE);
    camera->position.setValue(position);
    camera->position.enableNotify(notifyPosition);
    const SbBool notifyOrientation = camera->orientation.enableNotify(FALSE);
    camera->orientation.setValue(where.orientation);
    camera->orientation.enableNotify(notifyOrientation);
    camera->focalDistance.setValue(where.focalDistance);
}
}  // namespace

// setCamera runs in every interpolated frame: it calls the local helpers
// directly rather than through placeCamera.
void HxCameraMath::setCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
    if (const std::optional<Placement> where = placement(camera, position, aim, up)) place(camera, position, *where);
}

bool HxCameraMath::placeCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
    const std::optional<Placement> where = placement(camera, position, aim, up);
    if (where) place(camera, position, *where);
    return where.has_value();
}
