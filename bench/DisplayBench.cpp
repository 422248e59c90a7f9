// Cost of drawing a keyframe path: building its glyphs and its flight line in
// a new display, bringing a display up to date after one keyframe moved or
// after nothing changed, and the package's own work per played frame (the
// camera of the time and the animated glyph moved to it, without rendering).
#include <HxDisplayCameraPath.h>
#include <HxKeyframeCameraPath.h>
#include "HelixPath.h"

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <benchmark/benchmark.h>

#include <cmath>

namespace {

struct Displayed {
    explicit Displayed(int n) : path(helixPath(n)), root(new SoSeparator) {
        display = new HxDisplayCameraPath(root, path, 40.0f, 1);
        display->update();
    }
    McHandle<HxKeyframeCameraPath> path;
    McHandle<SoSeparator> root;
    McHandle<HxDisplayCameraPath> display;
};

// A new display's glyphs or flight line; the display is dropped outside the timing.
void build(benchmark::State& state, void (*part)(HxDisplayCameraPath*)) {
    McHandle<HxKeyframeCameraPath> path = helixPath(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        McHandle<SoSeparator> root = new SoSeparator;
        McHandle<HxDisplayCameraPath> display = new HxDisplayCameraPath(root, path, 40.0f, 1);
        part(display);
        state.PauseTiming();
        display = nullptr;
        root = nullptr;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void glyphs(HxDisplayCameraPath* display) { display->updateKeyframe(-1); }
void line(HxDisplayCameraPath* display) { display->updatePath(); }

void BM_buildGlyphs(benchmark::State& state) { build(state, glyphs); }
void BM_buildPath(benchmark::State& state) { build(state, line); }

// update() with the path as it was: the cost of finding that nothing changed.
void BM_updateUnchanged(benchmark::State& state) {
    Displayed d(static_cast<int>(state.range(0)));
    for (auto _ : state) d.display->update();
}

// update() after the middle keyframe moved up or back down.
void BM_updateMovedKeyframe(benchmark::State& state) {
    Displayed d(static_cast<int>(state.range(0)));
    SoCamera* moved = d.path->cameras[d.path->cameras.size() / 2];
    const SbVec3f start = moved->position.getValue();
    float lift = 0;
    for (auto _ : state) {
        lift = lift == 0 ? 1.0f : 0.0f;
        moved->position.setValue(start + SbVec3f(0, lift, 0));
        d.display->update();
    }
}

// One played frame: 60 frames per segment, in order, as playback advances.
void BM_playedFrame(benchmark::State& state) {
    Displayed d(static_cast<int>(state.range(0)));
    McHandle<SoPerspectiveCamera> camera = new SoPerspectiveCamera;
    const float duration = d.path->getDuration();
    float t = 0;
    for (auto _ : state) {
        d.path->getCamera(t, *camera);
        d.display->setAnimatedCamera(camera);
        t += 1.0f / 60.0f;
        if (t > duration) t = 0;
    }
}

BENCHMARK(BM_buildGlyphs)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_buildPath)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_updateUnchanged)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_updateMovedKeyframe)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_playedFrame)->Arg(1000)->Arg(10000);

}  // namespace
