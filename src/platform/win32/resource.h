#pragma once

// Shared by morvane.rc and the C++ sources.
#define IDI_MORVANE 1  // NOLINT(cppcoreguidelines-macro-usage): windres reads this file
