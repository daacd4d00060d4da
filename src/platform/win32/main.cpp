#include <windows.h>

#include <commctrl.h>

#include <cstdlib>

#include "app/form1.h"
#include "platform/win32/form_window.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/win32_platform.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler demangles the exception's type name onto stderr, which
// a GUI program does not have; it alone would be a fifth of the executable. Nothing here is
// meant to throw, so terminating is all that is left to do.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int cmdShow) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    morvane::win32::TickSource ticks;
    morvane::win32::FormWindow window;
    morvane::win32::Win32Platform ops(window, ticks);
    morvane::Form1 form(ops);
    if (!window.create(instance, form, ticks)) {
        return 1;
    }
    form.load();
    window.show(cmdShow);
    return window.run();
}
