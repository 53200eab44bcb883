// The pipeline at real time: whole-process CPU of one control and of eight controls on
// eight threads capturing the simulated sine (48000 Hz stereo, 256-sample blocks, eight
// buffers, spectrum), and the latency from a driver completing a buffer to the host's
// Complete event. CPU figures come from getrusage over the whole run, so they include
// every thread: timers, drivers and message loops. The machine is shared: compare the
// figures of one run, not across runs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/state/engine_state.h"
#include "control_session.h"

namespace {

using aurelix::bench::ControlSession;
using aurelix::bench::SessionSettings;
using Clock = std::chrono::steady_clock;

constexpr auto kRunTime = std::chrono::seconds(10);

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

SessionSettings SimSine() {
    SessionSettings settings;
    settings.device = aurelix::platform::SimInputDeviceId(aurelix::platform::SimSignal::Sine);
    settings.trigger = false;
    return settings;
}

struct ThreadOutcome {
    int64_t captured = 0;
    int64_t analysed = 0;
    int64_t missed = 0;
    double engineThreadCpu = 0;
};

// One control on the calling thread for `duration`.
ThreadOutcome RunControl(Clock::duration duration) {
    ThreadOutcome outcome;
    ControlSession session(SimSine());
    if (!session.Start())
        return outcome;
    const double cpuBefore = CpuSeconds(RUSAGE_THREAD);
    aurelix::platform::RunMessageLoop(nullptr, duration);
    outcome.engineThreadCpu = CpuSeconds(RUSAGE_THREAD) - cpuBefore;
    outcome.captured = aurelix::state::State().BlocksDone;
    outcome.analysed = session.events.completed;
    outcome.missed = session.events.missed;
    return outcome;
}

// Arg: the number of controls, each on a thread of its own.
void BM_CpuAtRealTime(benchmark::State& bench) {
    const auto controls = size_t(bench.range(0));
    std::vector<ThreadOutcome> outcomes(controls);
    double processCpu = 0, wall = 0;
    for (auto _ : bench) {
        const double cpuBefore = CpuSeconds(RUSAGE_SELF);
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (size_t i = 0; i < controls; ++i)
            threads.emplace_back([&outcomes, i] { outcomes[i] = RunControl(kRunTime); });
        for (auto& thread : threads)
            thread.join();
        wall = std::chrono::duration<double>(Clock::now() - start).count();
        processCpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    }
    ThreadOutcome total;
    for (const auto& outcome : outcomes) {
        total.captured += outcome.captured;
        total.analysed += outcome.analysed;
        total.missed += outcome.missed;
        total.engineThreadCpu += outcome.engineThreadCpu;
    }
    bench.counters["cpu_pct_of_core"] = 100.0 * processCpu / wall;
    bench.counters["engine_threads_pct"] = 100.0 * total.engineThreadCpu / wall;
    bench.counters["blocks_captured"] = double(total.captured);
    // Blocks still in the ring when the run stops are counted too: a few per control.
    bench.counters["blocks_unanalysed"] = double(total.captured - total.analysed);
    bench.counters["missed_events"] = double(total.missed);
}
BENCHMARK(BM_CpuAtRealTime)
    ->ArgName("Controls")
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// Buffers of one block, analysed inside the notification: a feeder thread plays the
// driver, filling the queued buffer every few milliseconds while the control's thread
// sleeps in its message loop; the Complete handler takes the time.
void BM_InCallbackLatency(benchmark::State& bench) {
    constexpr int kBlocks = 1500;
    aurelix::platform::ManualWaveInput input("Latency input");
    SessionSettings settings = SimSine();
    settings.device = *input.DeviceId();
    settings.buffers = 1;
    ControlSession session(settings);
    std::atomic<int64_t> filledAt{0};
    std::vector<double> latencies;
    latencies.reserve(kBlocks);
    session.events.onComplete = [&] {
        const auto now = Clock::now().time_since_epoch().count();
        latencies.push_back(double(now - filledAt.load()) / 1000.0);
    };
    if (!session.Start()) {
        bench.SkipWithError("the manual input did not open");
        return;
    }
    const std::vector<int16_t> block(size_t(settings.samples) * 2, 1000);
    for (auto _ : bench) {
        std::atomic<bool> stop{false};
        std::thread driver([&] {
            for (int i = 0; i < kBlocks && !stop; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                while (input.QueuedCount() == 0 && !stop)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                filledAt = Clock::now().time_since_epoch().count();
                input.Fill(block);
            }
        });
        session.RunBlocks(kBlocks, std::chrono::seconds(30));
        stop = true;
        driver.join();
    }
    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        return latencies.empty() ? 0.0 : latencies[size_t(p * double(latencies.size() - 1))];
    };
    bench.counters["median_us"] = percentile(0.5);
    bench.counters["p99_us"] = percentile(0.99);
    bench.counters["blocks"] = double(latencies.size());
}
BENCHMARK(BM_InCallbackLatency)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
