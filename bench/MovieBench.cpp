// Wall time per movie frame of a generated 1-million-triangle scene at
// 1920 x 1080 (or the size given as arguments): drawing and reading the pixels
// back alone, then the same with each frame handed to the encoder thread
// (PNG sequence, MP4), and the encoders' own cost per frame on one thread.
// Run from a Release build; every benchmark renders offscreen through EGL.
#include <hxcore/HxApplication.h>
#include <viewer/HxMovieWriter.h>
#include <viewer/HxViewer.h>

#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// A sphere of rows x columns quads, two triangles each, with vertex normals.
SoSeparator* sphere(int rows, int columns) {
    auto* vertices = new SoVertexProperty;
    vertices->normalBinding = SoVertexProperty::PER_VERTEX_INDEXED;
    std::vector<SbVec3f> points;
    points.reserve(static_cast<size_t>(rows + 1) * (columns + 1));
    for (int r = 0; r <= rows; ++r) {
        const double theta = M_PI * r / rows;
        for (int c = 0; c <= columns; ++c) {
            const double phi = 2 * M_PI * c / columns;
            points.emplace_back(float(std::sin(theta) * std::cos(phi)), float(std::cos(theta)),
                                float(std::sin(theta) * std::sin(phi)));
        }
    }
    vertices->vertex.setValues(0, static_cast<int>(points.size()), points.data());
    vertices->normal.setValues(0, static_cast<int>(points.size()), points.data());
    std::vector<int32_t> index;
    index.reserve(static_cast<size_t>(rows) * columns * 8);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int32_t a = r * (columns + 1) + c, b = a + columns + 1;
            for (int32_t i : {a, b, a + 1, -1, a + 1, b, b + 1, -1}) index.push_back(i);
        }
    auto* faces = new SoIndexedFaceSet;
    faces->vertexProperty = vertices;
    faces->coordIndex.setValues(0, static_cast<int>(index.size()), index.data());
    faces->normalIndex.setValues(0, static_cast<int>(index.size()), index.data());
    auto* material = new SoMaterial;
    material->diffuseColor.setValue(0.8f, 0.5f, 0.2f);
    auto* root = new SoSeparator;
    root->addChild(material);
    root->addChild(faces);
    return root;
}

int width = 1920, height = 1080;

struct Scene {
    Scene() : viewer(0) {
        viewer.setSize(width, height);
        viewer.addGeometry(sphere(500, 1000));  // 1,000,000 triangles
        viewer.viewAll();
        std::string error;
        std::vector<unsigned char> pixels;
        // The first frame builds the caches.
        if (!viewer.renderPixels(pixels, error)) throw std::runtime_error(error);
    }
    // Moves the camera a little along a circle around the sphere, looking at
    // it, so each frame differs.
    bool frame(std::vector<unsigned char>& pixels, std::string& error) {
        SoCamera* camera = viewer.getCamera();
        const float distance = camera->position.getValue().length();
        const SbRotation turn(SbVec3f(0, 1, 0), 0.01f * float(++step));
        SbVec3f position;
        turn.multVec(SbVec3f(0, 0, distance), position);
        camera->orientation.setValue(turn);
        camera->position.setValue(position);
        return viewer.renderPixels(pixels, error);
    }
    int step = 0;
    HxViewer viewer;
};

Scene& scene() {
    static Scene shared;
    return shared;
}

void BM_drawAndReadBack(benchmark::State& state) {
    Scene& s = scene();
    s.viewer.setSamples(static_cast<int>(state.range(0)));
    std::vector<unsigned char> pixels;
    std::string error;
    for (auto _ : state)
        if (!s.frame(pixels, error)) state.SkipWithError(error.c_str());
    s.viewer.setSamples(1);
}

HxMovieSettings settings(int compression) {
    HxMovieSettings movie;
    movie.width = width;
    movie.height = height;
    movie.compression = compression;
    return movie;
}

// The movie loop: draw, read back, queue; the last frames are waited for.
void movie(benchmark::State& state, const std::string& name, int compression) {
    Scene& s = scene();
    QTemporaryDir dir;
    std::string error;
    auto writer =
        HxMovieWriter::open(dir.filePath(QString::fromStdString(name)).toStdString(), settings(compression), error);
    if (!writer) {
        state.SkipWithError(error.c_str());
        return;
    }
    HxMovieEncoder encoder(std::move(writer));
    long index = 0;
    for (auto _ : state) {
        std::vector<unsigned char> pixels;
        if (!s.frame(pixels, error) || !encoder.push(index++, std::move(pixels))) state.SkipWithError("frame failed");
    }
    if (!encoder.finish()) state.SkipWithError(encoder.error().c_str());
}

void BM_moviePng(benchmark::State& state) { movie(state, "f%04d.png", static_cast<int>(state.range(0))); }
void BM_movieMp4(benchmark::State& state) { movie(state, "m.mp4", 1); }

// An encoder alone, one frame after another on this thread.
void encodeOnly(benchmark::State& state, const std::string& name, int compression) {
    Scene& s = scene();
    QTemporaryDir dir;
    std::string error;
    std::vector<unsigned char> pixels;
    s.frame(pixels, error);
    auto writer =
        HxMovieWriter::open(dir.filePath(QString::fromStdString(name)).toStdString(), settings(compression), error);
    if (!writer) {
        state.SkipWithError(error.c_str());
        return;
    }
    long index = 0;
    for (auto _ : state)
        if (!writer->write(index++, pixels.data(), error)) state.SkipWithError(error.c_str());
    writer->finish(error);
}

void BM_encodePng(benchmark::State& state) { encodeOnly(state, "f%04d.png", static_cast<int>(state.range(0))); }
void BM_encodeMp4(benchmark::State& state) { encodeOnly(state, "m.mp4", 1); }

// Each frame takes a few hundred milliseconds: a fixed count keeps a run short.
BENCHMARK(BM_drawAndReadBack)->Arg(1)->Arg(4)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_moviePng)->Arg(1)->Arg(6)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_movieMp4)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_encodePng)->Arg(1)->Arg(6)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_encodeMp4)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// Arguments after the benchmark library's own: width and height.
int main(int argc, char** argv) {
    HxApplication::initInventor();
    benchmark::Initialize(&argc, argv);
    if (argc == 3) {
        width = std::max(16, std::atoi(argv[1]) & ~1);
        height = std::max(16, std::atoi(argv[2]) & ~1);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
