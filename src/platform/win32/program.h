#pragma once

#include <windows.h>

#include "platform/win32/system_api.h"

namespace morvane::win32 {

// The whole program: the window, its event loop, and the exit code. A start-up that fails says
// why in a message box and returns non-zero.
int runProgram(HINSTANCE instance, int cmdShow, const SystemApi& api);

}  // namespace morvane::win32
