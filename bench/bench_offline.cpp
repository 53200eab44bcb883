// Offline analysis through the engine: a 1-hour 44100 Hz mono 16-bit WAV file as an input
// device that delivers as fast as buffers are queued, 1024-sample blocks, spectrum and
// amplitude, loop method 1 (the device's notification hands the buffer back) and 3 (the
// host hands it back from Complete) with one buffer, and loop method 1 with four (the
// analysis then follows the multimedia timer: this one measures the capture alone). The file is
// made once in /tmp and kept for the next run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/state/engine_state.h"
#include "control_session.h"

namespace {

using aurelix::bench::ControlSession;
using aurelix::bench::SessionSettings;

constexpr uint32_t kRate = 44100;
constexpr int64_t kFrames = int64_t(kRate) * 3600;
constexpr int32_t kBlock = 1024;
const char* const kPath = "/tmp/aurelix-bench-1h-44100-mono.wav";

void Put(std::FILE* file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        std::fputc(int((value >> (8 * i)) & 0xFF), file);
}

// A 1 kHz tone whose level drifts slowly, so the analysis has work in every block.
bool MakeTestFile() {
    const auto dataBytes = uint32_t(kFrames * 2);
    if (std::filesystem::exists(kPath) && std::filesystem::file_size(kPath) == 44 + dataBytes)
        return true;
    std::FILE* file = std::fopen(kPath, "wb");
    if (file == nullptr)
        return false;
    std::fwrite("RIFF", 1, 4, file);
    Put(file, 36 + dataBytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, file);
    Put(file, 16, 4);
    Put(file, 1, 2);
    Put(file, 1, 2);
    Put(file, kRate, 4);
    Put(file, kRate * 2, 4);
    Put(file, 2, 2);
    Put(file, 16, 2);
    std::fwrite("data", 1, 4, file);
    Put(file, dataBytes, 4);
    std::vector<int16_t> chunk(kRate);
    for (int64_t first = 0; first < kFrames; first += kRate) {
        for (uint32_t i = 0; i < kRate; ++i) {
            const double t = double(first + i) / kRate;
            const double level = 8000 + 6000 * std::sin(0.01 * t);
            chunk[i] = int16_t(std::lround(level * std::sin(2 * std::numbers::pi * 1000 * t)));
        }
        std::fwrite(chunk.data(), 2, chunk.size(), file);
    }
    return std::fclose(file) == 0;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Args: loop method, buffers.
void BM_OfflineHour(benchmark::State& bench) {
    if (!MakeTestFile()) {
        bench.SkipWithError("cannot write the test file in /tmp");
        return;
    }
    const auto device = aurelix::platform::AddFileInputDevice(kPath, false);
    SessionSettings settings;
    settings.device = device.deviceId;
    settings.sps = kRate;
    settings.channels = 1;
    settings.samples = kBlock;
    settings.loopMethod = int16_t(bench.range(0));
    settings.buffers = int32_t(bench.range(1));
    settings.analysis = 1 | 2;
    settings.trigger = false;
    const int64_t blocks = kFrames / kBlock;
    int64_t captured = 0;
    double seconds = 0, cpuSeconds = 0;
    for (auto _ : bench) {
        // A fresh thread: a zeroed engine state and an empty queue for each run.
        std::thread([&] {
            ControlSession session(settings);
            const auto start = std::chrono::steady_clock::now();
            const double cpuBefore = ProcessCpuSeconds();
            if (!session.Start())
                return;
            aurelix::platform::RunMessageLoop(
                [&] { return aurelix::state::State().BlocksDone >= blocks; },
                std::chrono::minutes(5));
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            cpuSeconds = ProcessCpuSeconds() - cpuBefore;
            captured = aurelix::state::State().BlocksDone;
        }).join();
    }
    aurelix::platform::RemoveWaveDevice(device.key);
    if (captured < blocks)
        bench.SkipWithError("the file was not read to its end");
    bench.counters["us_per_block"] = seconds * 1e6 / double(blocks);
    // CPU time of every thread: on a shared machine it varies far less than the wall time.
    bench.counters["cpu_us_per_block"] = cpuSeconds * 1e6 / double(blocks);
    bench.counters["blocks"] = double(blocks);
}
BENCHMARK(BM_OfflineHour)
    ->ArgNames({"Loop", "Buffers"})
    ->Args({1, 1})
    ->Args({3, 1})
    ->Args({1, 4})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
