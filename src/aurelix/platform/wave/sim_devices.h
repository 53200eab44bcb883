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
// (0 for the first frame of the first buffer; resets do not restart it), A the amplitude,
// rate the samples per second and RoundHalfEven rounding to nearest, halves to even:
//
//   phase(f, k)  = 2.0 * pi * fmod(f * k, rate) / rate      (in double precision)
//   Sine:          RoundHalfEven(A * sin(phase(frequency, k)))
//   TwoTones:      RoundHalfEven(A / 2 * (sin(phase(frequency, k)) + sin(phase(frequency2, k))))
//   WhiteNoise:    RoundHalfEven(A * (2 * u - 1)), u = (SplitMix64(k) >> 11) * 2^-53, uniform
//                  in [0, 1); SplitMix64 is the generator's output for state k
//   Silence:       0
//
// Every channel of a frame carries the same sample. A handle keeps the settings that held
// when it was opened.
namespace aurelix::platform {

enum class SimSignal { Sine, TwoTones, WhiteNoise, Silence };

struct SimSignalSettings {
    double frequency = 0.0;   // hertz: the sine, or the first of the two tones
    double frequency2 = 0.0;  // hertz: the second tone
    double amplitude = 0.0;   // peak, in sample units, 0 to 32767
    bool operator==(const SimSignalSettings&) const = default;
};

// Defaults: Sine 1000 Hz at 16384; TwoTones 440 Hz and 2000 Hz at 16384; WhiteNoise at
// 8192; Silence.
SimSignalSettings DefaultSimSettings(SimSignal signal);
SimSignalSettings GetSimInput(SimSignal signal);
// Changes the signal and the listed name ("Sine 440 Hz (simulated)") for handles opened
// from now on. False, changing nothing, for a frequency outside 0 to 1000000 Hz or an
// amplitude outside 0 to 32767.
bool ConfigureSimInput(SimSignal signal, const SimSignalSettings& settings);
void RestoreSimInputDefaults();

// The device id of a simulated input now (ALSA devices come before it).
uint32_t SimInputDeviceId(SimSignal signal);

}  // namespace aurelix::platform
