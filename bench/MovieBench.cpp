// Wall time per movie frame of a generated 1-million-triangle scene at
// 1920 x 1080 (or the size given as arguments): drawing and reading the pixels
// back alone, then whole movies with each frame handed to the encoder thread
// (outputs 0, 1: PNG sequences at zlib level 1 and 6; 2: MP4), and the
// encoders' own cost per frame on one thread.
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
#include <chrono>
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

// The outputs compared: a PNG sequence at the default compression and at a
// higher one, and an MP4 video.
struct Output {
    const char* name;
    int compression;
};
const Output outputs[] = {{"f%04d.png", 1}, {"f%04d.png", 6}, {"m.mp4", 1}};

// Each iteration is a whole movie, from opening the output to the video's
// trailer, so an encoder's start-up and its delayed last frames count; the
// time reported is the movie's wall time divided by its frames.
constexpr int movieFrames = 48;

std::unique_ptr<HxMovieWriter> openOutput(benchmark::State& state, const QTemporaryDir& dir) {
    const Output& output = outputs[state.range(0)];
    std::string error;
    auto writer = HxMovieWriter::open(dir.filePath(output.name).toStdString(), settings(output.compression), error);
    if (!writer) state.SkipWithError(error.c_str());
    return writer;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The movie loop: draw, read back, queue for the encoder thread. Each movie
// follows the same frames drawn and read back alone, and the counter
// "vs_draw" is the ratio of the two: the machine's speed drifts less within
// an iteration than across benchmarks.
void BM_movie(benchmark::State& state) {
    Scene& s = scene();
    std::string error;
    double movieSeconds = 0, drawSeconds = 0;
    for (auto _ : state) {
        std::vector<unsigned char> pixels;
        auto start = std::chrono::steady_clock::now();
        for (int index = 0; index < movieFrames; ++index)
            if (!s.frame(pixels, error)) state.SkipWithError(error.c_str());
        drawSeconds += secondsSince(start);

        QTemporaryDir dir;
        start = std::chrono::steady_clock::now();
        auto writer = openOutput(state, dir);
        if (!writer) return;
        HxMovieEncoder encoder(std::move(writer));
        for (int index = 0; index < movieFrames; ++index) {
            std::vector<unsigned char> frame;
            if (!s.frame(frame, error) || !encoder.push(index, std::move(frame))) state.SkipWithError("frame failed");
        }
        if (!encoder.finish()) state.SkipWithError(encoder.error().c_str());
        const double seconds = secondsSince(start);
        movieSeconds += seconds;
        state.SetIterationTime(seconds / movieFrames);
    }
    state.counters["vs_draw"] = movieSeconds / drawSeconds;
}

// An encoder alone, one frame after another on this thread, over a few
// distinct frames (a video encoder makes little of a frame that repeats).
void BM_encode(benchmark::State& state) {
    Scene& s = scene();
    std::string error;
    std::vector<std::vector<unsigned char>> frames(8);
    for (auto& pixels : frames) s.frame(pixels, error);
    for (auto _ : state) {
        QTemporaryDir dir;
        const auto start = std::chrono::steady_clock::now();
        auto writer = openOutput(state, dir);
        if (!writer) return;
        for (int index = 0; index < movieFrames; ++index)
            if (!writer->write(index, frames[index % frames.size()].data(), error)) state.SkipWithError(error.c_str());
        if (!writer->finish(error)) state.SkipWithError(error.c_str());
        state.SetIterationTime(secondsSince(start) / movieFrames);
    }
}

// Each frame takes a hundred milliseconds or more: fixed counts keep a run short.
BENCHMARK(BM_drawAndReadBack)->Arg(1)->Arg(4)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_movie)->DenseRange(0, 2)->Iterations(2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_encode)->DenseRange(0, 2)->Iterations(2)->Unit(benchmark::kMillisecond)->UseManualTime();

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
