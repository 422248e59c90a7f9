// The main program of benchmarks that need nothing but the Inventor library
// set up.
#include <hxcore/HxApplication.h>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    HxApplication::initInventor();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
