// Double-precision 3-vectors for reference computations in tests: expected
// values are worked out with these, never with the single-precision types of
// the code under test.
#pragma once
#include <Inventor/SbLinear.h>

#include <cmath>
#include <ostream>

struct Vec {
    double x = 0, y = 0, z = 0;
};
inline Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(Vec a) { return std::sqrt(dot(a, a)); }
inline Vec unit(Vec a) { return a * (1.0 / length(a)); }
inline Vec toVec(const SbVec3f& v) { return {v[0], v[1], v[2]}; }
inline std::ostream& operator<<(std::ostream& out, Vec v) {
    return out << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}
