// Morvane.exe with a tick waiter that stops delivering after a few wakes, as a stuck thread
// would: the window's safety net must keep the hotkey poll, and with it F12, alive.
#include <windows.h>

#include "platform/win32/program.h"

namespace {

constexpr int kWakesBeforeStall = 10;
int wakes = 0;  // the waiter thread's alone

DWORD WINAPI stallingWait(DWORD count, const HANDLE* handles, BOOL all, DWORD ms) {
    const DWORD r = WaitForMultipleObjects(count, handles, all, ms);
    // The timer is the second handle; the first, the stop event, still ends the thread when the
    // program closes.
    if (r == WAIT_OBJECT_0 + 1 && ++wakes > kWakesBeforeStall) {
        return WaitForSingleObject(handles[0], INFINITE);
    }
    return r;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int cmdShow) {
    morvane::win32::SystemApi api = morvane::win32::SystemApi::load();
    api.waitForMultipleObjects = &stallingWait;
    return morvane::win32::runProgram(instance, cmdShow, api);
}
