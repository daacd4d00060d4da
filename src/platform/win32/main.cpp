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

#ifdef MORVANE_TEST_PLAIN_TIMER
namespace {
// Test builds only: a system that refuses the high-resolution timer, as Windows before 10 1803
// does, so that the plain timer with a 1 ms system tick runs.
HANDLE WINAPI refuseHighResolution(LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags,
                                   DWORD access) {
    if ((flags & 0x2U) != 0) {  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateWaitableTimerExW(attributes, name, flags, access);
}
}  // namespace
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int cmdShow) {
    morvane::win32::SystemApi api = morvane::win32::SystemApi::load();
#ifdef MORVANE_TEST_PLAIN_TIMER
    api.createWaitableTimerEx = &refuseHighResolution;
#endif
    return morvane::win32::runProgram(instance, cmdShow, api);
}
