#include "platform/win32/foreground.h"

#include <array>
#include <string_view>

namespace morvane::win32 {

void takeForeground(HWND window, const ForegroundApi& api) {
    HWND front = api.getForegroundWindow();
    const DWORD frontThread = front != nullptr ? api.getWindowThreadProcessId(front, nullptr) : 0;
    const DWORD ownThread = GetCurrentThreadId();
    DWORD_PTR answer = 0;
    const bool attached = frontThread != 0 && frontThread != ownThread &&
                          api.sendMessageTimeout(front, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                                 kForegroundAnswerMs, &answer) != 0 &&
                          api.attachThreadInput(ownThread, frontThread, TRUE) != FALSE;
    api.setForegroundWindow(window);
    if (attached) {
        api.attachThreadInput(ownThread, frontThread, FALSE);
    }
}

TopmostBoxes::TopmostBoxes()
    : hook_(SetWindowsHookExW(WH_CBT, &TopmostBoxes::onCbt, nullptr, GetCurrentThreadId())) {}

TopmostBoxes::~TopmostBoxes() {
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
    }
}

LRESULT CALLBACK TopmostBoxes::onCbt(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        // A dialog box with an owner: only the message box opens one on this thread.
        HWND box = reinterpret_cast<HWND>(wp);
        std::array<wchar_t, 16> boxClass{};
        if (GetWindow(box, GW_OWNER) != nullptr &&
            GetClassNameW(box, boxClass.data(), static_cast<int>(boxClass.size())) > 0 &&
            std::wstring_view(boxClass.data()) == L"#32770") {
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace morvane::win32
