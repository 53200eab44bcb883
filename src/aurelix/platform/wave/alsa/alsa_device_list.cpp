#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "aurelix/platform/wave/alsa/alsa_devices.h"
#include "aurelix/platform/wave/alsa/alsa_pcm.h"

namespace aurelix::platform::wave_driver::alsa {
namespace {

struct PcmChoice {
    std::string pcm;
    std::string name;
};

// Plugins the configuration lists that are converters or bridges, not devices by
// themselves. "jack" is here too: opening it without a running server makes libjack write
// to stderr.
constexpr std::array<std::string_view, 12> kNotDevices = {
    "null",     "lavrate", "samplerate", "speexrate", "speex",     "upmix",
    "vdownmix", "a52",     "jack",       "oss",       "usbstream", "sysdefault"};

std::string Hint(void* hint, const char* field) {
    char* value = snd_device_name_get_hint(hint, field);
    std::string text = value == nullptr ? "" : value;
    std::free(value);
    return text;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

bool Listable(const std::string& pcm) {
    if (pcm.starts_with("plughw:")) {
        return true;
    }
    return pcm.find(':') == std::string::npos &&
           std::find(kNotDevices.begin(), kNotDevices.end(), pcm) == kNotDevices.end();
}

std::vector<PcmChoice> ListPcms(snd_pcm_stream_t direction) {
    if (!PcmOpens("default", direction)) {
        return {};
    }
    std::vector<PcmChoice> choices{{"default", "System default (ALSA)"}};
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) {
        return choices;
    }
    const char* wanted = direction == SND_PCM_STREAM_CAPTURE ? "Input" : "Output";
    for (void** hint = hints; *hint != nullptr; ++hint) {
        const std::string pcm = Hint(*hint, "NAME");
        const std::string ioid = Hint(*hint, "IOID");
        const std::string name = FirstLine(Hint(*hint, "DESC"));
        if (!ioid.empty() && ioid != wanted) {
            continue;
        }
        if (pcm == "default") {
            continue;
        }
        const std::string shown = name.empty() ? pcm : name;
        const bool duplicate = std::any_of(choices.begin(), choices.end(),
                                           [&](const PcmChoice& c) { return c.name == shown; });
        if (duplicate || !Listable(pcm)) {
            continue;
        }
        choices.push_back({pcm, shown});
    }
    snd_device_name_free_hint(hints);
    return choices;
}

}  // namespace

std::vector<std::shared_ptr<InputDevice>> ScanInputDevices() {
    std::vector<std::shared_ptr<InputDevice>> devices;
    for (const PcmChoice& choice : ListPcms(SND_PCM_STREAM_CAPTURE)) {
        devices.push_back(MakeInputDevice(choice.pcm, choice.name));
    }
    return devices;
}

std::vector<std::shared_ptr<OutputDevice>> ScanOutputDevices() {
    std::vector<std::shared_ptr<OutputDevice>> devices;
    for (const PcmChoice& choice : ListPcms(SND_PCM_STREAM_PLAYBACK)) {
        devices.push_back(MakeOutputDevice(choice.pcm, choice.name));
    }
    return devices;
}

}  // namespace aurelix::platform::wave_driver::alsa
