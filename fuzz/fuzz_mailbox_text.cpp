// The control's mailbox: any text, as a word mailed by the engine or as a key code, is
// either understood or ignored; only a number argument out of range (Overflow, 6) may
// raise, and every word handled without an error leaves the mailbox empty for the next.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/state/mailbox.h"

namespace {

using namespace aurelix;

// True when the mail went through, false when it raised Overflow; anything else aborts.
template <class Mail>
bool OnlyOverflow(Mail&& mail) {
    try {
        mail();
        return true;
    } catch (const platform::RuntimeError& error) {
        if (error.Number() != platform::err::kOverflow) {
            std::abort();
        }
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::SimpleContainer container;
    static control::AurelEvents events;
    // Never destroyed: the thread's engine state it uses goes before static objects do.
    static control::Aurel& aurel = []() -> control::Aurel& {
        auto* placed = new control::Aurel(container, &events);
        placed->InitProperties();
        return *placed;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (OnlyOverflow([&] { state::SendMailText(aurel.txtMsg().hwnd(), text); }) &&
        !aurel.txtMsg().Text().empty()) {
        std::abort();
    }
    aurel.txtMsg().SetText("");  // a word that raised stays; the next one must still arrive
    if (size >= 2) {
        OnlyOverflow([&] { state::SendMailKey(aurel.txtMsg().hwnd(), data[0] | data[1] << 8); });
    }
    return 0;
}
