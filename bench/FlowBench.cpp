// One depth-flow frame at 128 x 128, in its two parts: reading the depth
// buffer from GL, and the package's own computation (unprojecting every drawn
// pixel and projecting it with the later camera). The computation should not
// cost more than the read.
#include <HxKeyframeCameraPathEditor.h>
#include <hxcore/HxApplication.h>
#include <viewer/HxOffscreenContext.h>

#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr int side = HxKeyframeCameraPathEditor::measuredSize;

void BM_flowDepthRead(benchmark::State& state) {
    HxApplication::initInventor();
    HxOffscreenTarget target;
    std::string error;
    if (!target.begin(SbVec2s(side, side), SbColor(0, 0, 0), 1, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<float> depth(side * side);
    for (auto _ : state) {
        benchmark::DoNotOptimize(HxKeyframeCameraPathEditor::readDepth(side, side, depth.data()));
        benchmark::ClobberMemory();
    }
    target.end();
    state.SetItemsProcessed(state.iterations() * side * side);
}

// Every pixel drawn (the worst case), depths spread over the view's range.
void BM_flowComputation(benchmark::State& state) {
    HxApplication::initInventor();
    McHandle<SoPerspectiveCamera> now = new SoPerspectiveCamera, later = new SoPerspectiveCamera;
    now->position.setValue(0, 0, 5);
    later->position.setValue(0.001f, 0, 5);
    later->orientation.setValue(SbVec3f(0, 1, 0), 0.001f);
    const SbMatrix m0 = now->getViewVolume(0.0f).getMatrix();
    const SbMatrix m1 = later->getViewVolume(0.0f).getMatrix();
    std::vector<float> depth(side * side), flow(side * side);
    for (std::size_t k = 0; k < depth.size(); ++k) depth[k] = 0.5f + 0.4f * static_cast<float>(k % 97) / 97.0f;
    for (auto _ : state) {
        auto sum = HxKeyframeCameraPathEditor::measureFlow(depth.data(), flow.data(), side, side, side, side,
                                                           SbVec2f(1, 1), m0, m1);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

BENCHMARK(BM_flowDepthRead);
BENCHMARK(BM_flowComputation);

}  // namespace

BENCHMARK_MAIN();
