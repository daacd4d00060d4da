#pragma once

#include <windows.h>

namespace morvane::win32 {

// Paints an owner-drawn label: its caption in `font`, in lines from the shared caption layout,
// each drawn on its baseline so that the whole line box stays inside the label.
void drawLabel(const DRAWITEMSTRUCT& item, HFONT font);

}  // namespace morvane::win32
