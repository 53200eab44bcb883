#include "aurelix/state/lamp.h"

#include "aurelix/state/engine_state.h"

namespace aurelix::state {

void ShowLamp(int32_t colour) {
    if (platform::Label* lamp = State().Lamp) {
        lamp->BackColor(colour);
        lamp->Refresh();
    }
}

}  // namespace aurelix::state
