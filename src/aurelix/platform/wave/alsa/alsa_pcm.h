#pragma once

#include <alsa/asoundlib.h>

#include <string>

#include "aurelix/platform/wave/wave.h"

namespace aurelix::platform::wave_driver::alsa {

// How long a driver thread waits for the device at a time: also how soon it notices a
// reset or a close.
inline constexpr int kPollMilliseconds = 10;

// Routes ALSA's error messages nowhere; libasound would print them on stderr.
void SilenceAlsaErrors();

// True when `pcm` opens in that direction (it is closed again at once).
bool PcmOpens(const std::string& pcm, snd_pcm_stream_t direction);

// Opens `pcm` non-blocking for interleaved 16-bit samples in `format`, resampling if the
// device needs it. MMSYSERR_ALLOCATED when it is busy, WAVERR_BADFORMAT when it refuses
// the format, MMSYSERR_ERROR when it does not open.
MMRESULT OpenPcm(const std::string& pcm, snd_pcm_stream_t direction, const WAVEFORMATEX& format,
                 snd_pcm_t** opened);

}  // namespace aurelix::platform::wave_driver::alsa
