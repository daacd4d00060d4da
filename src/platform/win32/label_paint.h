#pragma once

#include <windows.h>

#include "app/caption_layout.h"

namespace morvane::win32 {

// Paints an owner-drawn label: its caption in `font`, in lines from the shared caption layout,
// each drawn on its baseline so that the whole line box stays inside the label. `box` is the
// font's line box, measured once when the font was chosen.
void drawLabel(const DRAWITEMSTRUCT& item, HFONT font, const LineBox& box);

}  // namespace morvane::win32
