#include "aurelix/platform/wave/alsa/alsa_pcm.h"

#include <cerrno>
#include <mutex>

namespace aurelix::platform::wave_driver::alsa {
namespace {

// The buffer the device keeps: long enough to ride out a busy moment of the driver thread.
constexpr unsigned kLatencyMicroseconds = 100000;

void Quiet(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

void SilenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(Quiet); });
}

bool PcmOpens(const std::string& pcm, snd_pcm_stream_t direction) {
    SilenceAlsaErrors();
    snd_pcm_t* opened = nullptr;
    if (snd_pcm_open(&opened, pcm.c_str(), direction, SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    snd_pcm_close(opened);
    return true;
}

MMRESULT OpenPcm(const std::string& pcm, snd_pcm_stream_t direction, const WAVEFORMATEX& format,
                 snd_pcm_t** opened) {
    SilenceAlsaErrors();
    snd_pcm_t* handle = nullptr;
    int error = snd_pcm_open(&handle, pcm.c_str(), direction, SND_PCM_NONBLOCK);
    if (error < 0) {
        return error == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_ERROR;
    }
    error = snd_pcm_set_params(handle, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                               format.nChannels, format.nSamplesPerSec, 1, kLatencyMicroseconds);
    if (error < 0) {
        snd_pcm_close(handle);
        return error == -EBUSY ? MMSYSERR_ALLOCATED : WAVERR_BADFORMAT;
    }
    *opened = handle;
    return MMSYSERR_NOERROR;
}

}  // namespace aurelix::platform::wave_driver::alsa
