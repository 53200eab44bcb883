#pragma once

#include <cstdint>

namespace aurelix::timing {

// High-resolution stopwatch on the monotonic performance counter. Not restarted per
// block: the library reads it as "seconds since Start".
class clsXTimer {
  public:
    clsXTimer();

    // Measures the cost of two back-to-back counter reads; TimeElapsed subtracts it.
    void Calibrate();
    // Processor cycles at CpuMHz in Seconds, divided by Divisor (<= 0 counts as 1),
    // rounded half to even. Errors show a message box and give 0.
    int32_t CPU_ticks(double CpuMHz, double Divisor, double Seconds);
    void StartTimer();
    void Start();
    void StopTimer();
    void Stopp();
    // Seconds between the last start and the last stop, less the call overhead; never
    // negative. Raises Division by zero (11) without a counter frequency.
    double TimeElapsed() const;
    // CPU_ticks for the elapsed time at the stopwatch's CpuMHz.
    int32_t nCPU_ticks(double Divisor);

    uint64_t StartCount = 0;
    uint64_t StopCount = 0;
    double CounterFrequency = 0.0;
    double CallOverhead = 0.0;
    int32_t CpuMHz = 300;

  private:
    static double CounterToDouble(uint64_t count) { return static_cast<double>(count); }
    double ElapsedOrZero() const;
};

}  // namespace aurelix::timing
