#include "aurelix/timing/cls_x_timer.h"

#include <string>

#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::timing {

namespace {

uint64_t ReadCounter() {
    int64_t count = 0;
    platform::QueryPerformanceCounter(&count);
    return static_cast<uint64_t>(count);
}

}  // namespace

clsXTimer::clsXTimer() {
    int64_t frequency = 0;
    platform::QueryPerformanceFrequency(&frequency);
    CounterFrequency = static_cast<double>(frequency);
}

void clsXTimer::Calibrate() {
    StartCount = ReadCounter();
    StopCount = ReadCounter();
    CallOverhead = platform::Divide(CounterToDouble(StopCount) - CounterToDouble(StartCount),
                                    CounterFrequency);
}

int32_t clsXTimer::CPU_ticks(double CpuMHz_, double Divisor, double Seconds) {
    try {
        if (Divisor <= 0) {
            Divisor = 1;
        }
        return platform::RoundToInt32(
            platform::Divide(CpuMHz_ * 1000000.0, platform::Divide(Divisor, Seconds)));
    } catch (const platform::RuntimeError& error) {
        // After the message the estimate is given up (0) instead of retried: a retry would
        // fail the same way, and with Seconds 0 it would repeat the message forever.
        platform::MsgBox(std::to_string(error.Number()) + ": " + error.Description(),
                         platform::kMsgBoxCritical, "Cpu_ticks");
        return 0;
    }
}

void clsXTimer::StartTimer() {
    StartCount = ReadCounter();
}
void clsXTimer::Start() {
    StartCount = ReadCounter();
}
void clsXTimer::StopTimer() {
    StopCount = ReadCounter();
}
void clsXTimer::Stopp() {
    StopCount = ReadCounter();
}

double clsXTimer::ElapsedOrZero() const {
    const double elapsed =
        platform::Divide(CounterToDouble(StopCount) - CounterToDouble(StartCount),
                         CounterFrequency) -
        CallOverhead;
    // A value that does not compare (NaN) also gives 0.
    return elapsed >= 0 ? elapsed : 0.0;
}

double clsXTimer::TimeElapsed() const {
    return ElapsedOrZero();
}

int32_t clsXTimer::nCPU_ticks(double Divisor) {
    return CPU_ticks(static_cast<double>(CpuMHz), Divisor, ElapsedOrZero());
}

}  // namespace aurelix::timing
