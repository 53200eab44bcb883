#include "aurelix/capture/bmove.h"

#include <cstring>

#include "aurelix/platform/runtime/message_box.h"

namespace aurelix::capture {

void BMOVE(const void* Source, void* Destination, int32_t Count) {
    if (Count == 0) {
        return;
    }
    if (Count < 0) {
        platform::MsgBox("Versuchte Verwendug von BMOVE mit negativer Anzahl von Bytes!",
                         platform::kMsgBoxInformation, "BMOVE");
        return;
    }
    if (Destination == nullptr) {
        platform::MsgBox("Zieladresse ist 0 ", platform::kMsgBoxInformation, "BMOVE");
        return;
    }
    std::memmove(Destination, Source, static_cast<size_t>(Count));
}

}  // namespace aurelix::capture
