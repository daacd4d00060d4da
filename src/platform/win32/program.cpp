#include "platform/win32/program.h"

#include <commctrl.h>

#include "app/form1.h"
#include "platform/win32/form_window.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/win32_platform.h"

namespace morvane::win32 {

int runProgram(HINSTANCE instance, int cmdShow, const SystemApi& api) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    // Morvane clicks while its window is minimized, when Windows would otherwise slow it down.
    keepFullSpeed(api);

    TickSource ticks(api);
    FormWindow window(api);
    Win32Platform ops(window, ticks, api);
    Form1 form(ops);
    if (const DWORD error = window.create(instance, form, ticks); error != ERROR_SUCCESS) {
        return reportStartupFailure(api, error);
    }
    form.load();
    window.show(cmdShow);
    return window.run();
}

}  // namespace morvane::win32
