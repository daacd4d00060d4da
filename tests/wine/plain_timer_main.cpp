// Morvane.exe on a system that refuses the high-resolution timer, as Windows before 10 1803
// does, so that the plain timer with a 1 ms system tick runs: Wine would never pick it.
#include <windows.h>

#include "platform/win32/program.h"

namespace {

HANDLE WINAPI refuseHighResolution(LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags,
                                   DWORD access) {
    if ((flags & 0x2U) != 0) {  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateWaitableTimerExW(attributes, name, flags, access);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int cmdShow) {
    morvane::win32::SystemApi api = morvane::win32::SystemApi::load();
    api.createWaitableTimerEx = &refuseHighResolution;
    return morvane::win32::runProgram(instance, cmdShow, api);
}
