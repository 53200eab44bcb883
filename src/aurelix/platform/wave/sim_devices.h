#pragma once

#include <cstdint>

// The simulated wave-input devices. Four are always listed, right after the ALSA devices
// (see wave_devices.h): a sine, two tones, white noise and silence. They accept 16-bit
// PCM, mono or stereo, 8000 to 96000 samples per second, any number of handles at once,
// and deliver in real time against absolute deadlines of a steady clock: a 1024-frame
// buffer at 44100 Hz comes back every 23.22 ms on average, without drift. A stream that
// nobody queued buffers for during more than half a second resumes at once rather than
// bursting; samples are never skipped.
//
// What they deliver is exact. With k the index of a frame since the handle was opened
// (0 for the first frame of the first buffer; resets do not restart it), A the amplitude
// (A2 the second tone's), rate the samples per second and RoundHalfEven rounding to
// nearest, halves to even:
//
//   phase(f, k)  = 2.0 * pi * fmod(f * k, rate) / rate      (in double precision)
//   Sine:          RoundHalfEven(A * sin(phase(frequency, k)))
//   TwoTones:      RoundHalfEven(A * sin(phase(frequency, k)) + A2 * sin(phase(frequency2, k)))
//   WhiteNoise:    RoundHalfEven(A * (2 * u - 1)), u = (SplitMix64(k) >> 11) * 2^-53, uniform
//                  in [0, 1); SplitMix64 is the generator's output for state k
//   Silence:       0
//
// Every channel of a frame carries the same sample. A handle reads its input's signal at the
// start of every buffer, so a change reaches handles already open from their next buffer;
// drivers read it on their own threads, the setters may run on any thread.
namespace aurelix::platform {

enum class SimSignal { Sine, TwoTones, WhiteNoise, Silence };

struct SimSignalSettings {
    double frequency = 0.0;   // hertz: the sine, or the first of the two tones
    double frequency2 = 0.0;  // hertz: the second tone
    double amplitude = 0.0;   // peak, in sample units: the sine, the noise or the first tone
    double amplitude2 = 0.0;  // peak of the second tone
    bool operator==(const SimSignalSettings&) const = default;
};

// Defaults: Sine 1000 Hz at 16384; TwoTones 440 Hz and 2000 Hz at 8192 each; WhiteNoise at
// 8192; Silence.
SimSignalSettings DefaultSimSettings(SimSignal signal);
SimSignalSettings GetSimInput(SimSignal signal);
// Makes the input listed for `signal` deliver that kind of signal with `settings`, and
// names it after them ("Sine 440 Hz (simulated)"). False, changing nothing, for a frequency outside
// 0 to 1000000 Hz, an amplitude outside 0 to 32767, or two amplitudes that add up to more than
// 32767.
bool ConfigureSimInput(SimSignal signal, const SimSignalSettings& settings);
// Every simulated input back to its own kind of signal with the default settings.
void RestoreSimInputDefaults();

// A test signal: what the first simulated input delivers, as a plain value.
struct TestSignal {
    SimSignal kind = SimSignal::Sine;
    SimSignalSettings settings = {1000.0, 0.0, 16384.0, 0.0};  // those the kind uses count
    bool operator==(const TestSignal&) const = default;
};

// Makes the first simulated input (the sine until set otherwise) deliver `signal`, named
// after it ("Silence (simulated)"), so that tests and scripts can change what an open
// capture hears. False, changing nothing, for settings ConfigureSimInput refuses.
bool SetTestSignal(const TestSignal& signal);
TestSignal GetTestSignal();

// The device id of a simulated input now (ALSA devices come before it).
uint32_t SimInputDeviceId(SimSignal signal);

}  // namespace aurelix::platform
