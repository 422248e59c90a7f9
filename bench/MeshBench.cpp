// Meshes read through the Open Asset Import Library: a generated torus of
// 1,000,000 triangles as binary STL (facet normals, no shared vertices) and as
// binary PLY (shared vertices with colours, no normals).
//  - BM_read: the library's own reading of the file (with the processing steps
//    our load asks of it) and our whole load into Inventor nodes, each
//    iteration timing both on the same file. The counter "vs_library" is the
//    ratio of the two, each with the release of what it read (the library's
//    scene, the nodes); "vs_library_read" leaves the releases out.
//  - BM_build: the part of our load in this process, from the reading
//    process's result to the nodes.
//  - BM_merge: merging the vertices of the torus as STL has them, without and
//    with computing normals.
//  - BM_draw / BM_firstFrame: one frame at 1920 x 1080 offscreen (drawn and read
//    back), for the shape the load makes and for the other ways Coin can be
//    given the same triangles; the first frame after a shape is made includes
//    building Coin's caches for it.
// Run from a Release build; the drawing renders offscreen through EGL.
#include "BenchTempDir.h"

#include <mc/McHandle.h>
#include <scene/HxMeshGeometry.h>
#include <scene/HxMeshImport.h>
#include <viewer/HxViewer.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoIndexedTriangleStripSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoTriangleStripSet.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A torus of rows x columns quads, two triangles each, closed in both
// directions: (rows * columns) shared vertices, each with a colour.
struct Torus {
    static constexpr int rows = 500, columns = 1000;
    std::vector<float> points;
    std::vector<unsigned char> colors;
    std::vector<std::int32_t> triangles;
    Torus() {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                const double u = 2 * M_PI * c / columns, v = 2 * M_PI * r / rows, ring = 1 + 0.35 * std::cos(v);
                for (double x : {ring * std::cos(u), 0.35 * std::sin(v), ring * std::sin(u)})
                    points.push_back(float(x));
                for (int k : {c * 255 / columns, r * 255 / rows, 128}) colors.push_back(static_cast<unsigned char>(k));
            }
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                const int a = r * columns + c, b = r * columns + (c + 1) % columns, d = ((r + 1) % rows) * columns + c,
                          e = ((r + 1) % rows) * columns + (c + 1) % columns;
                for (int i : {a, d, b, b, d, e}) triangles.push_back(i);
            }
    }
    const float* point(std::int32_t i) const { return &points[3 * std::size_t(i)]; }
};

void put(std::FILE* f, const void* data, std::size_t size) {
    if (std::fwrite(data, 1, size, f) != size) std::abort();
}

std::string writeStl(const Torus& t) {
    const std::string path = benchTempDir() + "/torus.stl";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const char header[80] = "binary STL";
    put(f, header, 80);
    const auto count = static_cast<std::uint32_t>(t.triangles.size() / 3);
    put(f, &count, 4);
    for (std::size_t i = 0; i < t.triangles.size(); i += 3) {
        const float *a = t.point(t.triangles[i]), *b = t.point(t.triangles[i + 1]), *c = t.point(t.triangles[i + 2]);
        const SbVec3f n = (SbVec3f(b) - SbVec3f(a)).cross(SbVec3f(c) - SbVec3f(a));
        float record[12];
        for (int k = 0; k < 3; ++k)
            record[k] = n[k] / n.length(), record[3 + k] = a[k], record[6 + k] = b[k], record[9 + k] = c[k];
        put(f, record, sizeof record);
        put(f, "\0", 2);
    }
    std::fclose(f);
    return path;
}

std::string writePly(const Torus& t) {
    const std::string path = benchTempDir() + "/torus.ply";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f,
                 "ply\nformat binary_little_endian 1.0\nelement vertex %zu\nproperty float x\nproperty float y\n"
                 "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
                 "element face %zu\nproperty list uchar int vertex_indices\nend_header\n",
                 t.points.size() / 3, t.triangles.size() / 3);
    for (std::size_t i = 0; i < t.points.size() / 3; ++i) {
        put(f, &t.points[3 * i], 12);
        put(f, &t.colors[3 * i], 3);
    }
    for (std::size_t i = 0; i < t.triangles.size(); i += 3) {
        put(f, "\3", 1);
        put(f, &t.triangles[i], 12);
    }
    std::fclose(f);
    return path;
}

const std::string& file(int format) {
    static const Torus torus;
    static const std::string files[] = {writeStl(torus), writePly(torus)};
    return files[format];
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_read(benchmark::State& state) {
    const std::string& path = file(static_cast<int>(state.range(0)));
    // Seconds to read, and to read and free what was read.
    double libraryRead = 0, library = 0, oursRead = 0, ours = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            Assimp::Importer importer;
            if (!importer.ReadFile(path, HxMeshImport::librarySteps)) state.SkipWithError("the library failed");
            libraryRead += secondsSince(start);
        }
        library += secondsSince(start);
        start = std::chrono::steady_clock::now();
        std::string error;
        McHandle<SoSeparator> scene = HxMeshImport::readFile(path.c_str(), error);
        if (!scene) state.SkipWithError(error.c_str());
        oursRead += secondsSince(start);
        scene = nullptr;
        const double seconds = secondsSince(start);
        ours += seconds;
        state.SetIterationTime(seconds);
        // The load gives its result's memory back on a thread of its own: done
        // before the library reads again, so that the two never overlap.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    state.counters["library_ms"] = 1000 * library / double(state.iterations());
    state.counters["vs_library"] = ours / library;
    state.counters["vs_library_read"] = oursRead / libraryRead;
}

// Building the nodes from the reading process's result for the file: the
// part of a load that runs in this process.
void BM_build(benchmark::State& state) {
    const std::string& path = file(static_cast<int>(state.range(0)));
    std::string error;
    const std::string result = HxMeshImport::readResult(path.c_str(), error);
    if (result.empty()) state.SkipWithError(error.c_str());
    std::vector<std::uint32_t> aligned(result.size() / 4 + 1);
    std::memcpy(aligned.data(), result.data(), result.size());
    for (auto _ : state) {
        McHandle<SoSeparator> scene = HxMeshImport::buildScene(aligned.data(), result.size(), path.c_str(), error);
        if (!scene) state.SkipWithError(error.c_str());
        state.PauseTiming();
        scene = nullptr;
        state.ResumeTiming();
    }
}

// Merging the vertices of the torus as STL gives it (each corner a vertex of
// its own), without and with computing the normals.
void BM_merge(benchmark::State& state) {
    static const std::vector<SbVec3f> points = [] {
        const Torus torus;
        std::vector<SbVec3f> each;
        for (std::int32_t i : torus.triangles) each.emplace_back(torus.point(i));
        return each;
    }();
    HxMeshGeometry::Vertices vertices;
    vertices.points = points.data();
    vertices.count = points.size();
    std::optional<float> smoothing;
    if (state.range(0)) smoothing = HxMeshImport::creaseAngle;
    state.SetLabel(smoothing ? "with normals" : "vertices only");
    for (auto _ : state) {
        state.PauseTiming();
        HxMeshGeometry g;
        g.corners.resize(points.size());
        std::iota(g.corners.begin(), g.corners.end(), 0);
        state.ResumeTiming();
        g.build(vertices, smoothing);
        benchmark::DoNotOptimize(g.points.data());
    }
}

// The triangles of the loaded PLY torus, given to Coin in other ways.
enum Shape { asLoaded, noHints, solid, normalIndex, indexedStrips, strips, faces, shapes };
const char* const shapeNames[] = {"as loaded: indexed face set, two-sided lighting",
                                  "indexed face set, no shape hints",
                                  "indexed face set, solid (back faces culled)",
                                  "indexed face set, normalIndex = coordIndex",
                                  "indexed triangle strip set, a strip per triangle",
                                  "triangle strip set, unshared vertices",
                                  "face set, unshared vertices"};

struct Loaded {
    McHandle<SoSeparator> scene;
    SoIndexedFaceSet* faces = nullptr;
    Loaded() {
        std::string error;
        scene = HxMeshImport::readFile(file(1).c_str(), error);
        SoSearchAction search;
        search.setType(SoIndexedFaceSet::getClassTypeId());
        if (scene) search.apply(scene);
        if (!search.getPath()) std::abort();
        faces = static_cast<SoIndexedFaceSet*>(search.getPath()->getTail());
    }
};

SoSeparator* makeShape(Shape shape) {
    static const Loaded loaded;
    auto* root = new SoSeparator;
    if (shape == asLoaded) {
        root->addChild(loaded.scene->copy(TRUE));
        return root;
    }
    auto* hints = new SoShapeHints;
    hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
    hints->shapeType = shape == solid ? SoShapeHints::SOLID : SoShapeHints::UNKNOWN_SHAPE_TYPE;
    if (shape != noHints) root->addChild(hints);
    auto* from = static_cast<SoVertexProperty*>(loaded.faces->vertexProperty.getValue());
    const SoMFInt32& index = loaded.faces->coordIndex;
    if (shape == strips || shape == faces) {
        // Every corner its own vertex, in order.
        auto* property = new SoVertexProperty;
        property->normalBinding = SoVertexProperty::PER_VERTEX;
        property->materialBinding = SoVertexProperty::PER_VERTEX;
        std::vector<SbVec3f> points, normals;
        std::vector<std::uint32_t> colors;
        for (int i = 0; i < index.getNum(); ++i) {
            if (index[i] < 0) continue;
            points.push_back(from->vertex[index[i]]);
            normals.push_back(from->normal[index[i]]);
            colors.push_back(from->orderedRGBA[index[i]]);
        }
        property->vertex.setValues(0, int(points.size()), points.data());
        property->normal.setValues(0, int(normals.size()), normals.data());
        property->orderedRGBA.setValues(0, int(colors.size()), colors.data());
        std::vector<std::int32_t> threes(points.size() / 3, 3);
        if (shape == strips) {
            auto* set = new SoTriangleStripSet;
            set->vertexProperty = property;
            set->numVertices.setValues(0, int(threes.size()), threes.data());
            root->addChild(set);
        } else {
            auto* set = new SoFaceSet;
            set->vertexProperty = property;
            set->numVertices.setValues(0, int(threes.size()), threes.data());
            root->addChild(set);
        }
        return root;
    }
    auto* property = static_cast<SoVertexProperty*>(from->copy());
    if (shape == indexedStrips) {
        auto* set = new SoIndexedTriangleStripSet;
        set->vertexProperty = property;
        set->coordIndex = index;
        root->addChild(set);
        return root;
    }
    auto* set = new SoIndexedFaceSet;
    set->vertexProperty = property;
    set->coordIndex = index;
    if (shape == normalIndex) set->normalIndex = index;
    root->addChild(set);
    return root;
}

struct Frame {
    Frame() : viewer(0) { viewer.setSize(1920, 1080); }
    void show(SoSeparator* shape) {
        if (shown) viewer.removeGeometry(shown);
        shown = shape;
        viewer.addGeometry(shown);
        viewer.viewAll();
    }
    // Turns the camera a little about the torus's axis, so that each frame differs.
    bool draw(std::string& error) {
        SoCamera* camera = viewer.getCamera();
        const float distance = camera->position.getValue().length();
        const SbRotation turn(SbVec3f(1, 0, 0), -0.6f + 0.002f * float(++step % 100));
        SbVec3f position;
        turn.multVec(SbVec3f(0, 0, distance), position);
        camera->orientation.setValue(turn);
        camera->position.setValue(position);
        return viewer.renderPixels(pixels, error);
    }
    HxViewer viewer;
    McHandle<SoSeparator> shown;
    std::vector<unsigned char> pixels;
    int step = 0;
};

Frame& frame() {
    static Frame shared;
    return shared;
}

void BM_draw(benchmark::State& state) {
    const auto shape = static_cast<Shape>(state.range(0));
    state.SetLabel(shapeNames[shape]);
    Frame& f = frame();
    f.show(makeShape(shape));
    std::string error;
    if (!f.draw(error)) state.SkipWithError(error.c_str());  // the first frame builds the caches
    for (auto _ : state)
        if (!f.draw(error)) state.SkipWithError(error.c_str());
}

void BM_firstFrame(benchmark::State& state) {
    const auto shape = static_cast<Shape>(state.range(0));
    state.SetLabel(shapeNames[shape]);
    Frame& f = frame();
    std::string error;
    for (auto _ : state) {
        state.PauseTiming();
        f.show(makeShape(shape));
        state.ResumeTiming();
        if (!f.draw(error)) state.SkipWithError(error.c_str());
    }
}

// Reads and frames take from a tenth of a second to seconds: fixed counts keep a run short.
BENCHMARK(BM_read)->DenseRange(0, 1)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_build)->DenseRange(0, 1)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_merge)->DenseRange(0, 1)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_draw)->DenseRange(0, shapes - 1)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_firstFrame)->DenseRange(0, shapes - 1)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
