#include "aurelix/engine/lamp.h"

#include "aurelix/engine/engine_state.h"

namespace aurelix::engine {

void ShowLamp(int32_t colour) {
    if (platform::Label* lamp = State().Lamp) {
        lamp->BackColor(colour);
        lamp->Refresh();
    }
}

}  // namespace aurelix::engine
