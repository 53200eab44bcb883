// Heap allocations per block in steady state, on every thread of the process: a control
// captures from the simulated sine, analyses (amplitude, spectrum, peaks, a trigger band),
// records to a WAV file and raises its events. Every operator new and malloc of the
// process is counted while the measured blocks run; the program exits non-zero, with the
// stack of the first offending allocation, when any block allocated.
#include <benchmark/benchmark.h>
#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "aurelix/platform/wave/sim_devices.h"
#include "control_session.h"

// Sanitizers interpose malloc themselves; otherwise glibc lets the program define it, so
// that C allocations (stdio buffers, the runtime's own) are counted too.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define AURELIX_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<int64_t> allocations{0};
std::atomic<bool> stackShown{false};

void CountAllocation() {
    if (!counting.load(std::memory_order_relaxed))
        return;
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (!stackShown.exchange(true)) {
        void* frames[32];
        const int depth = backtrace(frames, 32);
        static const char kTitle[] = "first allocation inside a measured block:\n";
        [[maybe_unused]] auto written = write(STDERR_FILENO, kTitle, sizeof kTitle - 1);
        backtrace_symbols_fd(frames, depth, STDERR_FILENO);
    }
}

void* RawMalloc(size_t size) {
#ifdef AURELIX_COUNT_MALLOC
    return __libc_malloc(size);
#else
    return std::malloc(size);
#endif
}

}  // namespace

void* operator new(size_t size) {
    CountAllocation();
    if (void* p = RawMalloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    CountAllocation();
    return RawMalloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void* operator new(size_t size, std::align_val_t align) {
    CountAllocation();
    const size_t a = size_t(align);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t align) {
    return operator new(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    std::free(p);
}

#ifdef AURELIX_COUNT_MALLOC
extern "C" {
void* malloc(size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    CountAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}
}
#endif

namespace {

using aurelix::bench::ControlSession;
using aurelix::bench::SessionSettings;

constexpr int64_t kWarmUpBlocks = 40;
constexpr int64_t kMeasuredBlocks = 200;

// Args: buffers, loop method, recording, analysis flags.
void BM_AllocationsPerBlock(benchmark::State& bench) {
    SessionSettings settings;
    settings.device = aurelix::platform::SimInputDeviceId(aurelix::platform::SimSignal::Sine);
    settings.buffers = int32_t(bench.range(0));
    settings.loopMethod = int16_t(bench.range(1));
    settings.analysis = int32_t(bench.range(3));
    if (bench.range(2) != 0)
        settings.recordTo = "/tmp/aurelix-bench-alloc-" + std::to_string(getpid()) + ".wav";
    int64_t counted = 0, triggerEvents = 0;
    {
        ControlSession session(settings);
        if (!session.Start() || !session.RunBlocks(kWarmUpBlocks)) {
            bench.SkipWithError("the simulated input did not deliver");
            return;
        }
        allocations = 0;
        counting = true;
        for (auto _ : bench) {
            session.RunBlocks(1);
        }
        counting = false;
        counted = allocations;
        triggerEvents = session.events.triggered + session.events.triggersOff;
    }
    if (!settings.recordTo.empty())
        std::remove(settings.recordTo.c_str());
    bench.counters["allocs_per_block"] =
        benchmark::Counter(double(counted), benchmark::Counter::kAvgIterations);
    bench.counters["trigger_events"] = double(triggerEvents);
}
BENCHMARK(BM_AllocationsPerBlock)
    ->ArgNames({"Buffers", "Loop", "Record", "Analysis"})
    ->Args({8, 1, 1, 1 | 2 | 16})
    ->Args({1, 1, 1, 1 | 2 | 16})
    ->Args({8, 3, 0, 1 | 2 | 16 | 32})
    ->Iterations(kMeasuredBlocks)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    {
        void* warm[1];
        backtrace(warm, 1);  // loads the unwinder before anything is counted
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Any allocation counted shows its stack once; that is the verdict.
    const bool clean = !stackShown.load();
    if (!clean)
        std::fprintf(stderr, "FAILED: blocks allocated on the heap\n");
    return clean ? EXIT_SUCCESS : EXIT_FAILURE;
}
