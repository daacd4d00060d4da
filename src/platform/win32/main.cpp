#include <windows.h>

#include <cstdlib>

#include "platform/win32/program.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler demangles the exception's type name onto stderr, which
// a GUI program does not have; it alone would be a fifth of the executable. Nothing here is
// meant to throw, so terminating is all that is left to do.
namespace __gnu_cxx {
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming): libstdc++'s name
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int cmdShow) {
    const morvane::win32::SystemApi api = morvane::win32::SystemApi::load();
    return morvane::win32::runProgram(instance, cmdShow, api);
}
