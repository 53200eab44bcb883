// Start queues every buffer of the ring; its cost must grow linearly with Buffers (it
// was quadratic: each queueing searched the queue).
#include <benchmark/benchmark.h>

#include <thread>

#include "support/pipeline_host.h"

namespace {

void StartWithBuffers(benchmark::State& run) {
    // A thread of its own: the engine keeps its state per thread.
    std::thread([&] {
        aurelix::testing::PipelineHost host;
        host.Configure({.samples = 64, .buffers = int32_t(run.range(0))}, *host.input.DeviceId());
        for (auto _ : run) {
            run.PauseTiming();
            host.Open();
            run.ResumeTiming();
            host.engine->Start();
            run.PauseTiming();
            host.engine->Reset();
            run.ResumeTiming();
        }
        run.SetComplexityN(run.range(0));
    }).join();
}
BENCHMARK(StartWithBuffers)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

}  // namespace

BENCHMARK_MAIN();
