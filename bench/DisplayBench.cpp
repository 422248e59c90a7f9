// Cost of drawing a keyframe path: rebuilding its glyphs and its flight line,
// and the package's own work per played frame (the camera of the time and the
// animated glyph moved to it, without rendering).
#include <HxDisplayCameraPath.h>
#include <HxKeyframeCameraPath.h>
#include "HelixPath.h"
#include <hxcore/HxApplication.h>

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

void BM_updateKeyframe(benchmark::State& state) {
    Displayed d(static_cast<int>(state.range(0)));
    for (auto _ : state) d.display->updateKeyframe(-1);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_updatePath(benchmark::State& state) {
    Displayed d(static_cast<int>(state.range(0)));
    for (auto _ : state) d.display->updatePath();
    state.SetItemsProcessed(state.iterations() * state.range(0));
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

BENCHMARK(BM_updateKeyframe)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_updatePath)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_playedFrame)->Arg(1000)->Arg(10000);

}  // namespace

int main(int argc, char** argv) {
    HxApplication::initInventor();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
