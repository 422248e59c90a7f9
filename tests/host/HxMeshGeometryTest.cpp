// Vertices merged and normals computed for one kind of primitive of a mesh.
#include <scene/HxMeshGeometry.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <optional>
#include <vector>

namespace {

// A mesh as a file gives it: its vertices (with colours and normals where
// set) and the corners of its primitives.
struct Mesh {
    std::vector<SbVec3f> points, normals;
    std::vector<std::uint32_t> colors;
    std::vector<std::int32_t> corners;
    bool shared = false;

    // Each corner a vertex of its own, as STL has it.
    static Mesh unshared(const std::vector<SbVec3f>& positions, const std::vector<std::int32_t>& triangles) {
        Mesh mesh;
        for (std::int32_t i : triangles) mesh.points.push_back(positions[i]);
        mesh.corners.resize(mesh.points.size());
        std::iota(mesh.corners.begin(), mesh.corners.end(), 0);
        return mesh;
    }
    HxMeshGeometry build(std::optional<float> creaseAngle = std::nullopt) const {
        HxMeshGeometry g;
        g.corners.assign(corners.begin(), corners.end());
        HxMeshGeometry::Vertices from;
        from.points = points.data();
        from.normals = normals.empty() ? nullptr : normals.data();
        from.colors = colors.empty() ? nullptr : colors.data();
        from.count = points.size();
        from.shared = shared;
        g.build(from, creaseAngle);
        return g;
    }
};

std::vector<std::int32_t> cornersOf(const HxMeshGeometry& g) { return {g.corners.begin(), g.corners.end()}; }

// A unit square in z = 0 as two triangles, counter-clockwise from +z.
const std::vector<SbVec3f> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<std::int32_t> squareTriangles = {0, 1, 2, 0, 2, 3};

TEST(HxMeshGeometry, mergesTheCornersOfOneVertexInOrderOfFirstUse) {
    const HxMeshGeometry g = Mesh::unshared(square, squareTriangles).build();
    ASSERT_EQ(g.points.size(), 4u);
    EXPECT_EQ(cornersOf(g), (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3}));
    for (std::size_t k = 0; k < squareTriangles.size(); ++k)
        EXPECT_EQ(g.points[g.corners[k]], square[squareTriangles[k]]) << k;
}

TEST(HxMeshGeometry, keepsVerticesApartThatDifferInAnythingTheFileGives) {
    // The last corner differs from the first in one attribute only.
    struct Case {
        const char* name;
        void (*change)(Mesh&);
    };
    const Case cases[] = {
        {"position", [](Mesh& m) { m.points.back() = SbVec3f(1e-7f, 0, 0); }},
        {"negative zero", [](Mesh& m) { m.points.back() = SbVec3f(-0.f, 0, 0); }},
        {"normal", [](Mesh& m) { m.normals.back() = SbVec3f(0, 1, 0); }},
        {"colour", [](Mesh& m) { m.colors.back() = 0xff0000ffu; }},
    };
    for (const Case& c : cases) {
        Mesh mesh = Mesh::unshared(square, {0, 1, 2, 2, 1, 0});
        mesh.normals.assign(mesh.points.size(), SbVec3f(0, 0, 1));
        mesh.colors.assign(mesh.points.size(), 0xffffffffu);
        EXPECT_EQ(mesh.build().points.size(), 3u) << c.name << ": all agree";
        c.change(mesh);
        const HxMeshGeometry g = mesh.build();
        EXPECT_EQ(g.points.size(), 4u) << c.name;
        EXPECT_EQ(g.normals.size(), g.points.size()) << c.name;
        EXPECT_EQ(g.colors.size(), g.points.size()) << c.name;
        EXPECT_EQ(g.corners.back(), 3) << c.name;
    }
}

TEST(HxMeshGeometry, takesVerticesTheFileSharesAsTheyAreUnusedOnesIncluded) {
    Mesh mesh;
    mesh.points = square;
    mesh.points.push_back(square[0]);  // equal to another, and used by no corner
    mesh.corners = squareTriangles;
    mesh.shared = true;
    const HxMeshGeometry g = mesh.build();
    EXPECT_EQ(g.points.size(), 5u);
    EXPECT_EQ(cornersOf(g), squareTriangles);
}

// Each corner's normal, as drawn.
std::vector<SbVec3f> cornerNormals(const HxMeshGeometry& g) {
    std::vector<SbVec3f> normals;
    for (std::int32_t v : g.corners) normals.push_back(g.normals[v]);
    return normals;
}

TEST(HxMeshGeometry, smoothNormalsWeighTheFacesRoundAVertexByTheirArea) {
    // Two faces folded 30 degrees about the x axis; the second twice as large.
    const float c = std::cos(float(M_PI) / 6), s = std::sin(float(M_PI) / 6);
    const std::vector<SbVec3f> fold = {{0, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 2 * c, 2 * s}};
    const HxMeshGeometry g = Mesh::unshared(fold, {0, 2, 1, 0, 1, 3}).build(60.f);
    ASSERT_EQ(g.points.size(), 4u) << "no vertex split below the crease angle";
    SbVec3f expected = SbVec3f(0, 0, 1) + 2 * SbVec3f(0, -s, c);
    expected.normalize();
    EXPECT_LT((g.normals[0] - expected).length(), 1e-6f);
    // The merged vertices in order of first use: corner 0, then 2, 1 and 3.
    EXPECT_LT((g.normals[1] - SbVec3f(0, 0, 1)).length(), 1e-6f) << "a vertex of one face has the face's normal";
}

TEST(HxMeshGeometry, splitsVerticesAtEdgesSharperThanTheCreaseAngle) {
    // Three faces of a cube meeting at its corner (the origin).
    const std::vector<SbVec3f> corner = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const Mesh mesh = Mesh::unshared(corner, {0, 2, 1, 0, 3, 2, 0, 1, 3});
    const HxMeshGeometry sharp = mesh.build(60.f);
    // The origin and each edge's far end twice over: one vertex per face at
    // each, the copies after the merged vertices.
    EXPECT_EQ(sharp.points.size(), 4u + 2 + 3);
    const SbVec3f faceNormal[3] = {{0, 0, -1}, {-1, 0, 0}, {0, -1, 0}};
    const std::vector<SbVec3f> normals = cornerNormals(sharp);
    for (std::size_t k = 0; k < normals.size(); ++k)
        EXPECT_LT((normals[k] - faceNormal[k / 3]).length(), 1e-6f) << "corner " << k;
    for (std::size_t k = 0; k < 3; ++k) EXPECT_LT(sharp.corners[k], 4) << "the first face keeps the merged vertices";
    EXPECT_EQ(std::count_if(sharp.corners.begin(), sharp.corners.end(), [](std::int32_t v) { return v >= 4; }), 5)
        << "each copy serves one later face";
    EXPECT_EQ(mesh.build(100.f).points.size(), 4u) << "within a wider angle the corner stays one vertex";
}

TEST(HxMeshGeometry, facesWithoutAreaLendNoDirection) {
    // A triangle and, on its first edge, one with all corners in a line.
    const std::vector<SbVec3f> points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {5, 5, 5}};
    Mesh mesh = Mesh::unshared(points, {0, 3, 1, 0, 1, 2, 4, 4, 4});
    const HxMeshGeometry g = mesh.build(60.f);
    EXPECT_EQ(g.points.size(), 5u) << "a face without area starts no group of its own";
    for (std::int32_t v : {0, 2}) EXPECT_LT((g.normals[v] - SbVec3f(0, 0, 1)).length(), 1e-6f);
    EXPECT_EQ(g.normals[g.corners.back()], SbVec3f(0, 0, 1)) << "a vertex of faces without area only";
    for (const SbVec3f& n : g.normals) EXPECT_TRUE(std::isfinite(n[0]) && std::isfinite(n[1]) && std::isfinite(n[2]));
}

// A torus of rows x columns quads with a ridge: every fourth row sits
// higher, so that some edges are sharper than the crease angle.
Mesh ridgedTorus(int rows, int columns) {
    Mesh mesh;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const double u = 2 * M_PI * c / columns, v = 2 * M_PI * r / rows;
            const double tube = r % 4 == 0 ? 0.6 : 0.3, ring = 1 + tube * std::cos(v);
            mesh.points.emplace_back(float(ring * std::cos(u)), float(tube * std::sin(v)), float(ring * std::sin(u)));
        }
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int a = r * columns + c, b = r * columns + (c + 1) % columns, d = (r + 1) % rows * columns + c,
                      e = (r + 1) % rows * columns + (c + 1) % columns;
            for (int i : {a, d, b, b, d, e}) mesh.corners.push_back(i);
        }
    mesh.shared = true;
    return mesh;
}

TEST(HxMeshGeometry, mergingWhileANormalThreadFollowsGivesWhatTheSharedMeshGives) {
    // Large enough that the thread that computes the normals takes the
    // triangles in many parts as the merge goes.
    const Mesh shared = ridgedTorus(120, 200);
    const Mesh unshared = Mesh::unshared(shared.points, shared.corners);
    const HxMeshGeometry fromShared = shared.build(60.f), merged = unshared.build(60.f);
    EXPECT_GT(fromShared.points.size(), shared.points.size()) << "the ridges split vertices";
    EXPECT_EQ(merged.points.size(), fromShared.points.size());
    ASSERT_EQ(merged.corners.size(), fromShared.corners.size());
    for (std::size_t k = 0; k < merged.corners.size(); ++k) {
        ASSERT_EQ(merged.points[merged.corners[k]], fromShared.points[fromShared.corners[k]]) << k;
        ASSERT_EQ(merged.normals[merged.corners[k]], fromShared.normals[fromShared.corners[k]]) << k;
    }
}

}  // namespace
