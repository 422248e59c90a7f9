// Cost of the keyframe path's interpolation, each Inventor-based benchmark beside
// a plain twin that evaluates the package's own interpolation arithmetic on
// precomputed keyframe quantities, without cameras. After the run a table gives
// the ratio of each benchmark to its twin (CPU time per call, from this run),
// with the target where there is one, and the ratio of random-order getCamera
// to playback-order getCamera.
//
// Paths of 10, 1,000 and 10,000 keyframes, built from a fixed seed: a smooth
// random flight looking at smoothly varying aim points, times ascending.
#include "PlainKeyframePath.h"

#include <HxKeyframeCameraPath.h>
#include <VeVazaruMetricTranslation.h>
#include <hxcore/HxApplication.h>
#include <session/HxSession.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Test paths

McHandle<HxKeyframeCameraPath> buildPath(int n) {
    std::mt19937 rng(12345u + static_cast<unsigned>(n));
    std::uniform_real_distribution<float> jitter(-1.0f, 1.0f);
    McHandle<HxKeyframeCameraPath> path = new HxKeyframeCameraPath;
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    SbVec3f position(0, 0, 0), velocity(1, 0, 0);
    float heading = 0, headingRate = 0, time = 0;
    for (int k = 0; k < n; ++k) {
        velocity = velocity * 0.8f + SbVec3f(jitter(rng), 0.3f * jitter(rng), jitter(rng)) * 0.5f;
        position += velocity;
        headingRate = 0.8f * headingRate + 0.1f * jitter(rng);
        heading += headingRate;
        const SbVec3f look(std::cos(heading), 0.3f * std::sin(2.0f * heading), std::sin(heading));
        const float distance = 5.0f + 2.0f * jitter(rng);
        const SbVec3f up(0.2f * jitter(rng), 1.0f, 0.2f * jitter(rng));
        VeVazaruPath::setCamera(camera, position, position + look * distance, up);
        path->addKeyframe(time, camera);
        time += 0.5f + 0.5f * (jitter(rng) + 1.0f);
    }
    return path;
}

plain::Path plainCopy(const HxKeyframeCameraPath& path) {
    plain::Path copy;
    for (int k = 0; k < path.cameras.size(); ++k) {
        const SoCamera* camera = path.cameras[k];
        keyframe::KeyState key;
        VeVazaruPath::AIMPOINT(camera, key.a);
        VeVazaruPath::UPDIR(camera, key.v);
        key.p = camera->position.getValue();
        key.q = camera->orientation.getValue();
        copy.keys.push_back(key);
        copy.times.push_back(path.times[k]);
    }
    return copy;
}

// The twin is only a fair yardstick if it computes the same cameras: compare
// both on a few samples and say so loudly when they differ.
void checkTwinAgrees(HxKeyframeCameraPath& path, const plain::Path& twin) {
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    plain::Camera expected{};
    float worst = 0;
    const int n = path.cameras.size();
    for (int k = 0; k < 200; ++k) {
        const int i = (k * 7919) % (n - 1);
        const float u = static_cast<float>(k % 13) / 12.0f;
        path.interp(i, u, camera);
        twin.interp(i, u, expected);
        const SbVec3f p = camera->position.getValue();
        const float* q = camera->orientation.getValue().getValue();
        const float sign = q[3] * expected.orientation[3] < 0 ? -1.0f : 1.0f;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(p[c] - expected.position[c]));
        for (int c = 0; c < 4; ++c) worst = std::max(worst, std::fabs(q[c] - sign * expected.orientation[c]));
        worst = std::max(worst, std::fabs(camera->focalDistance.getValue() - expected.focalDistance));
    }
    if (worst > 1e-3f) std::fprintf(stderr, "WARNING: the plain twin differs from the package by %g\n", worst);
}

// Paths are built once per size and shared by the benchmarks; the ones that
// change times restore them inside the loop.
struct Fixture {
    McHandle<HxKeyframeCameraPath> path;
    plain::Path plainPath;
};

std::map<int, Fixture>& fixtures() {
    static std::map<int, Fixture> all;
    return all;
}

Fixture& fixture(int n) {
    Fixture& f = fixtures()[n];
    if (!f.path) {
        f.path = buildPath(n);
        f.plainPath = plainCopy(*f.path);
        checkTwinAgrees(*f.path, f.plainPath);
    }
    return f;
}

// Segment and local parameter pairs, uniformly random over the open path's segments.
struct SegmentSample {
    int segment;
    float u;
};

std::vector<SegmentSample> segmentSamples(int n) {
    std::mt19937 rng(777u);
    std::uniform_int_distribution<int> segment(0, n - 2);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<SegmentSample> samples(1 << 14);
    for (SegmentSample& s : samples) s = {segment(rng), u(rng)};
    return samples;
}

// Playback: 60 samples per segment, every segment in order.
std::vector<float> playbackTimes(const plain::Path& path) {
    std::vector<float> t;
    for (std::size_t i = 0; i + 1 < path.times.size(); ++i)
        for (int j = 0; j < 60; ++j) t.push_back(path.times[i] + (path.times[i + 1] - path.times[i]) * (j / 60.0f));
    return t;
}

std::vector<float> randomTimes(const plain::Path& path) {
    std::mt19937 rng(4242u);
    std::uniform_real_distribution<float> t(path.times.front(), path.times.back());
    std::vector<float> samples(1 << 14);
    for (float& s : samples) s = t(rng);
    return samples;
}

// ---------------------------------------------------------------------------
// Benchmarks: one call per iteration, except for the re-timing.

void interpCamera(benchmark::State& state) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    const std::vector<SegmentSample> samples = segmentSamples(static_cast<int>(state.range(0)));
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    std::size_t next = 0;
    for (auto _ : state) {
        const SegmentSample& s = samples[next++ & (samples.size() - 1)];
        f.path->interp(s.segment, s.u, camera);
    }
    benchmark::DoNotOptimize(camera->position.getValue());
}

void interpPlain(benchmark::State& state) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    const std::vector<SegmentSample> samples = segmentSamples(static_cast<int>(state.range(0)));
    plain::Camera camera{};
    std::size_t next = 0;
    for (auto _ : state) {
        const SegmentSample& s = samples[next++ & (samples.size() - 1)];
        f.plainPath.interp(s.segment, s.u, camera);
        benchmark::DoNotOptimize(camera);
    }
}

// getCamera over the times in a loop. Both paths keep each segment's arc-length
// table once filled, so the times are gone through once before the timing:
// what is timed is a path whose segments have all been visited, as when
// scrubbing back and forth over a path already seen. With `firstPass` the
// tables are dropped instead at the start of every pass (a new metric object
// does that and nothing else), so each pass fills every segment's table once,
// as the first playback of a path does.
template <class Order>
void getCameraInventor(benchmark::State& state, Order order, bool firstPass = false) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    const std::vector<float> times = order(f.plainPath);
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    f.path->update();  // no table from an earlier benchmark
    if (!firstPass)
        for (float t : times) f.path->getCamera(t, *camera);
    std::size_t next = 0;
    for (auto _ : state) {
        if (firstPass && next == 0) f.path->setMetric(new VeVazaruMetricTranslation);
        f.path->getCamera(times[next], *camera);
        if (++next == times.size()) next = 0;
    }
    benchmark::DoNotOptimize(camera->position.getValue());
}

template <class Order>
void getCameraPlain(benchmark::State& state, Order order) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    const std::vector<float> times = order(f.plainPath);
    plain::Path path = f.plainPath;  // tables of its own
    plain::Camera camera{};
    for (float t : times) path.getCamera(t, camera);
    std::size_t next = 0;
    for (auto _ : state) {
        path.getCamera(times[next], camera);
        benchmark::DoNotOptimize(camera);
        if (++next == times.size()) next = 0;
    }
}

void getCameraPlayback(benchmark::State& state) { getCameraInventor(state, playbackTimes); }
void getCameraPlaybackPlain(benchmark::State& state) { getCameraPlain(state, playbackTimes); }
void getCameraFirstPlayback(benchmark::State& state) { getCameraInventor(state, playbackTimes, true); }
void getCameraRandom(benchmark::State& state) { getCameraInventor(state, randomTimes); }
void getCameraRandomPlain(benchmark::State& state) { getCameraPlain(state, randomTimes); }

// The original times are copied back at the start of each iteration; the copy
// is a few microseconds at most against milliseconds of re-timing.
void makeConstVelocity(benchmark::State& state) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    const McDArray<float> original = f.path->times;
    for (auto _ : state) {
        f.path->times = original;
        f.path->makeConstVelocity();
    }
    f.path->times = original;
    f.path->update();
}

void makeConstVelocityPlain(benchmark::State& state) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    plain::Path path = f.plainPath;
    for (auto _ : state) {
        path.times = f.plainPath.times;
        path.makeConstVelocity();
        benchmark::DoNotOptimize(path.times.data());
    }
}

// ---------------------------------------------------------------------------
// Ratio table

struct Pair {
    const char* inventor;
    const char* plain;
    double target;  // 0: none
};

const Pair pairs[] = {
    {"interp_camera", "interp_plain", 8},
    {"getCamera_playback", "getCamera_playback_plain", 10},
    {"getCamera_random", "getCamera_random_plain", 0},
    {"makeConstVelocity", "makeConstVelocity_plain", 0},
};
const int sizes[] = {10, 1000, 10000};

void registerAll() {
    auto add = [](const char* name, void (*fn)(benchmark::State&), benchmark::TimeUnit unit) {
        benchmark::RegisterBenchmark(name, fn)->Unit(unit)->Arg(sizes[0])->Arg(sizes[1])->Arg(sizes[2]);
    };
    add(pairs[0].inventor, interpCamera, benchmark::kNanosecond);
    add(pairs[0].plain, interpPlain, benchmark::kNanosecond);
    add(pairs[1].inventor, getCameraPlayback, benchmark::kNanosecond);
    add(pairs[1].plain, getCameraPlaybackPlain, benchmark::kNanosecond);
    add("getCamera_first_playback", getCameraFirstPlayback, benchmark::kNanosecond);
    add(pairs[2].inventor, getCameraRandom, benchmark::kNanosecond);
    add(pairs[2].plain, getCameraRandomPlain, benchmark::kNanosecond);
    add(pairs[3].inventor, makeConstVelocity, benchmark::kMicrosecond);
    add(pairs[3].plain, makeConstVelocityPlain, benchmark::kMicrosecond);
}

// The console output, followed by the ratio of each benchmark to its twin.
// With repetitions the median is used.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            const double ns = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            const std::string name = run.run_name.str();
            if (median || !medianSeen.count(name)) cpuNs[name] = ns;
            if (median) medianSeen[name] = true;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fprintf(out, "\nRatio to the plain-float twin (CPU time per call, this run):\n");
        std::fprintf(out, "%-22s %8s %14s %14s %8s %8s\n", "benchmark", "keys", "ns/call", "plain ns/call", "ratio",
                     "target");
        for (const Pair& pair : pairs) {
            for (int n : sizes) {
                const std::string suffix = "/" + std::to_string(n);
                auto a = cpuNs.find(pair.inventor + suffix), b = cpuNs.find(pair.plain + suffix);
                if (a == cpuNs.end() || b == cpuNs.end()) continue;
                const double ratio = a->second / b->second;
                char target[32] = "-";
                if (pair.target > 0)
                    std::snprintf(target, sizeof target, "%s %g", ratio <= pair.target ? "met" : "MISSED", pair.target);
                std::fprintf(out, "%-22s %8d %14.1f %14.1f %8.2f %8s\n", pair.inventor, n, a->second, b->second, ratio,
                             target);
            }
        }
        reportOrder(out, pairs[2], pairs[1], 3);
        std::fflush(out);
    }

private:
    // Random-order getCamera against playback order, for the package and for
    // its twin, with the package's target.
    void reportOrder(std::FILE* out, const Pair& random, const Pair& playback, double target) const {
        std::fprintf(out, "\nRandom order to playback order (CPU time per call, this run):\n");
        std::fprintf(out, "%-22s %8s %14s %14s %8s\n", "benchmark", "keys", "ratio", "plain ratio", "target");
        for (int n : sizes) {
            const std::string suffix = "/" + std::to_string(n);
            auto r = cpuNs.find(random.inventor + suffix), p = cpuNs.find(playback.inventor + suffix);
            auto rp = cpuNs.find(random.plain + suffix), pp = cpuNs.find(playback.plain + suffix);
            if (r == cpuNs.end() || p == cpuNs.end()) continue;
            const double ratio = r->second / p->second;
            const double plainRatio = rp != cpuNs.end() && pp != cpuNs.end() ? rp->second / pp->second : 0;
            std::fprintf(out, "%-22s %8d %14.2f %14.2f %5s %g\n", random.inventor, n, ratio, plainRatio,
                         ratio <= target ? "met" : "MISSED", target);
        }
    }

    std::map<std::string, double> cpuNs;
    std::map<std::string, bool> medianSeen;
};

}  // namespace

int main(int argc, char** argv) {
    HxApplication::initInventor();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    fixtures().clear();
    HxSession::shutdown();
    return 0;
}
