#include "hotkeys/hotkey_poller.h"

namespace morvane {

void pollHotkeys(PlatformOps& ops, HotkeyActions& actions) {
    if (actions.unloaded()) {
        return;
    }
    if (ops.GetAsyncKeyState(kVkF7) != 0) {
        actions.stopCapture(ops.keyPressPoint(kVkF7));
    }
    if (ops.GetAsyncKeyState(kVkF10) != 0) {
        actions.runAction();
        // F12 seen by a poll inside the run's message box has already ended the program.
        if (actions.unloaded()) {
            return;
        }
    }
    if (ops.GetAsyncKeyState(kVkF12) != 0) {
        actions.unload();
    }
}

}  // namespace morvane
