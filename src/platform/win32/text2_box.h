#pragma once

#include <windows.h>

#include "app/form1.h"

namespace morvane::win32 {

// Puts every character typed into the edit control `box` through Form1's key filter, for as
// long as the control lives; an input method's characters too, one at a time.
void filterTyping(HWND box, Form1& form);

}  // namespace morvane::win32
