#include <paths/VeVazaruPath.h>

#include <Inventor/nodes/SoCamera.h>
#include <cmath>

MC_ABSTRACT_INIT_CLASS(VeVazaruPath, HxData::getClassTypeId())

VeVazaruPath::VeVazaruPath() = default;
VeVazaruPath::~VeVazaruPath() = default;

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

// The rotation whose -Z axis is `forward` and whose +Y axis is `up`; both unit
// and perpendicular.
SbRotation frame(Vec forward, Vec up) {
    Vec z = forward * -1.0;
    Vec x = cross(up, z);
    // Rows are the images of the unit axes (row-vector convention).
    SbMatrix m(static_cast<float>(x.x), static_cast<float>(x.y), static_cast<float>(x.z), 0,
               static_cast<float>(up.x), static_cast<float>(up.y), static_cast<float>(up.z), 0,
               static_cast<float>(z.x), static_cast<float>(z.y), static_cast<float>(z.z), 0,
               0, 0, 0, 1);
    return SbRotation(m);
}
}  // namespace

void VeVazaruPath::AIMPOINT(const SoCamera* camera, SbVec3f& aim) {
    Vec dir = rotate(camera->orientation.getValue(), {0, 0, -1});
    Vec pos = toVec(camera->position.getValue());
    double d = camera->focalDistance.getValue();
    aim.setValue(static_cast<float>(pos.x + d * dir.x), static_cast<float>(pos.y + d * dir.y),
                 static_cast<float>(pos.z + d * dir.z));
}

void VeVazaruPath::UPDIR(const SoCamera* camera, SbVec3f& up) {
    Vec u = rotate(camera->orientation.getValue(), {0, 1, 0});
    up.setValue(static_cast<float>(u.x), static_cast<float>(u.y), static_cast<float>(u.z));
}

void VeVazaruPath::setCamera(SoCamera* camera, SbVec3f position, SbVec3f aim, SbVec3f up) {
    Vec p = toVec(position);
    if (!finite(p) || !finite(toVec(aim)) || !finite(toVec(up))) return;

    Vec view = toVec(aim) - p;
    double distance = length(view);
    const SbRotation current = camera->orientation.getValue();
    Vec forward = distance > 0 ? view * (1.0 / distance) : rotate(current, {0, 0, -1});

    // Up made perpendicular to the viewing direction; fall back to the current
    // up, then to any perpendicular axis, when it has no such component.
    Vec candidates[] = {toVec(up), rotate(current, {0, 1, 0}), {0, 1, 0}, {1, 0, 0}};
    Vec ortho{0, 1, 0};
    for (Vec c : candidates) {
        Vec o = c - forward * dot(c, forward);
        double len = length(o);
        if (len > 1e-6 * std::max(1.0, length(c))) {
            ortho = o * (1.0 / len);
            break;
        }
    }

    // Position, orientation and focal distance are written with notification
    // only on the last field, so observers see one change.
    camera->position.enableNotify(FALSE);
    camera->position.setValue(position);
    camera->position.enableNotify(TRUE);
    camera->orientation.enableNotify(FALSE);
    camera->orientation.setValue(frame(forward, ortho));
    camera->orientation.enableNotify(TRUE);
    camera->focalDistance.setValue(static_cast<float>(distance));
}
