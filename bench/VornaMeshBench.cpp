// Reading data files whose header holds many parameters: the time per file
// should grow with the number of parameters, not with its square.
#include "BenchTempDir.h"

#include <vornamesh/VornaMesh.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

// A data file with `count` parameters (reals, one value each) in its first
// bundle, written once per count.
const std::string& fileWithParameters(int count) {
    static std::map<int, std::string> files;
    auto found = files.find(count);
    if (found != files.end()) return found->second;
    VornaMesh mesh;
    for (int i = 0; i < count; ++i) {
        const double value = 0.5 * i;
        mesh.parameters.set(("Parameter" + std::to_string(i)).c_str(), 1, &value, HxParamBundle::Replace);
    }
    const std::string path = benchTempDir() + "/parameters" + std::to_string(count) + ".vm";
    if (!mesh.write(path.c_str(), false, nullptr, true, false)) std::abort();
    return files.emplace(count, path).first->second;
}

void BM_readParameters(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& file = fileWithParameters(count);
    std::string error;
    for (auto _ : state) {
        auto mesh = VornaMesh::read(file.c_str(), error);
        if (!mesh || mesh->parameters.size() != count) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(mesh);
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_readParameters)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
