// One kind of primitive of a mesh (triangles, lines or points) as Inventor's
// vertex-property nodes take it: shared vertices, and the vertices of each
// primitive in turn. Plain values owned by the holder; positions in the
// file's units, normals of unit length, angles in degrees.
#pragma once
#include <Inventor/SbVec3f.h>
#include <mc/McLargeAllocator.h>

#include <cstddef>
#include <cstdint>
#include <optional>

class HxMeshGeometry {
public:
    // A mesh's vertices as a file gives them. Null arrays are absent.
    struct Vertices {
        const SbVec3f* points = nullptr;
        const SbVec3f* normals = nullptr;
        const std::uint32_t* colors = nullptr;  // 0xRRGGBBAA
        std::size_t count = 0;
        // Whether the file shares its vertices between primitives itself.
        bool shared = false;
    };

    McLargeVector<SbVec3f> points, normals;
    McLargeVector<std::uint32_t> colors;  // empty when the mesh has none
    // Set by the caller to the vertices of `from` that build() takes, each
    // below from.count; build() makes them the numbers of its vertices.
    McLargeVector<std::int32_t> corners;

    // Takes the vertices of the corners from `from`. Vertices the file shares
    // itself are taken as they are. Otherwise each corner has a vertex of its
    // own (STL, OBJ): vertices that agree bit for bit in everything `from`
    // has are merged, and those no corner uses left out; the merged vertices
    // keep the order of first use.
    //
    // With a crease angle, `corners` are triangles (in threes) and each vertex
    // gets a normal: the area-weighted mean of the faces round it. Where faces
    // meet at more than the angle, the vertex is split, one copy for each
    // group of faces within the angle of the group's first face; the copies
    // follow the other vertices. A vertex of faces without area gets
    // (0, 0, 1). Where vertices are merged, a second thread computes the
    // normals of the faces merged so far.
    void build(const Vertices& from, std::optional<float> creaseAngle);

private:
    // The most vertices build() can make of `corners` from `from`.
    std::size_t mostVertices(const Vertices& from) const;
    void takeShared(const Vertices& from);
    class Smoother;
    void merge(const Vertices& from, Smoother* smoother);
};
