#include "platform/win32/system_api.h"

#include <array>

#include "app/layout.h"
#include "platform/win32/wide.h"

namespace morvane::win32 {

namespace {

constexpr USHORT kGenericDesktopPage = 0x01;
constexpr USHORT kKeyboardUsage = 0x06;
constexpr DWORD kLeftDown = MOUSEEVENTF_LEFTDOWN;
constexpr DWORD kLeftUp = MOUSEEVENTF_LEFTUP;
constexpr DWORD kRightDown = MOUSEEVENTF_RIGHTDOWN;
constexpr DWORD kRightUp = MOUSEEVENTF_RIGHTUP;

int systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi;
}

}  // namespace

SystemApi SystemApi::load() {
    SystemApi api;
    lookUp(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation", api.setProcessInformation);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    lookUp(user32, "GetDpiForWindow", api.getDpiForWindow);
    lookUp(user32, "AdjustWindowRectExForDpi", api.adjustWindowRectExForDpi);
    lookUp(user32, "SystemParametersInfoForDpi", api.systemParametersInfoForDpi);
    void (*wineVersion)() = nullptr;
    lookUp(GetModuleHandleW(L"ntdll.dll"), "wine_get_version", wineVersion);
    api.injectedButtonsSwap = wineVersion == nullptr;
    return api;
}

UINT windowDpi(const SystemApi& api, HWND hwnd) {
    if (api.getDpiForWindow != nullptr) {
        if (const UINT dpi = api.getDpiForWindow(hwnd); dpi != 0) {
            return dpi;
        }
    }
    const int dpi = systemDpi();
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void adjustWindowRect(const SystemApi& api, RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    if (api.adjustWindowRectExForDpi == nullptr ||
        api.adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi) == FALSE) {
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

LOGFONTW messageFont(const SystemApi& api, UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (api.systemParametersInfoForDpi != nullptr &&
        api.systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                       dpi) != FALSE) {
        return metrics.lfMessageFont;
    }
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) == FALSE) {
        LOGFONTW fallback{};
        fallback.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
        fallback.lfCharSet = DEFAULT_CHARSET;
        return fallback;
    }
    // The answer is in system DPI; rescale it for this window's monitor.
    if (const int system = systemDpi(); system > 0) {
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), system);
    }
    return metrics.lfMessageFont;
}

ULONG keepFullSpeed(const SystemApi& api) {
    if (api.setProcessInformation == nullptr) {
        return 0;
    }
    // A bit in the control mask with its state bit clear turns that throttling off.
    for (const ULONG mask : {ULONG{PROCESS_POWER_THROTTLING_EXECUTION_SPEED |
                                   PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION},
                             ULONG{PROCESS_POWER_THROTTLING_EXECUTION_SPEED}}) {
        PROCESS_POWER_THROTTLING_STATE state{PROCESS_POWER_THROTTLING_CURRENT_VERSION, mask, 0};
        if (api.setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state,
                                      sizeof(state)) != FALSE) {
            return mask;
        }
        if (GetLastError() != ERROR_INVALID_PARAMETER) {
            break;
        }
    }
    return 0;
}

bool listenToRawKeys(const SystemApi& api, HWND window) {
    const RAWINPUTDEVICE keyboard{kGenericDesktopPage, kKeyboardUsage, RIDEV_INPUTSINK, window};
    return api.registerRawInputDevices(&keyboard, 1, sizeof(keyboard)) != FALSE;
}

RawKey readRawKey(const SystemApi& api, LPARAM input) {
    RAWINPUT raw{};
    UINT size = sizeof(raw);
    if (api.getRawInputData(reinterpret_cast<HRAWINPUT>(input), RID_INPUT, &raw, &size,
                            sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1) ||
        raw.header.dwType != RIM_TYPEKEYBOARD) {
        return {};
    }
    return {raw.data.keyboard.VKey, (raw.data.keyboard.Flags & RI_KEY_BREAK) == 0};
}

DWORD primaryButtonFlags(const SystemApi& api, std::uint32_t leftFlags) {
    if (!api.injectedButtonsSwap || api.getSystemMetrics(SM_SWAPBUTTON) == 0) {
        return leftFlags;
    }
    DWORD flags = leftFlags & ~(kLeftDown | kLeftUp);
    if ((leftFlags & kLeftDown) != 0) {
        flags |= kRightDown;
    }
    if ((leftFlags & kLeftUp) != 0) {
        flags |= kRightUp;
    }
    return flags;
}

std::wstring systemErrorText(DWORD error) {
    std::array<wchar_t, 512> buffer{};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
    while (n > 0 && (buffer.at(n - 1) == L'\n' || buffer.at(n - 1) == L'\r')) {
        --n;
    }
    return {buffer.data(), n};
}

int reportStartupFailure(const SystemApi& api, DWORD error) {
    std::wstring text = L"Morvane 无法启动。";
    if (error != ERROR_SUCCESS) {
        text += L"\n\n" + systemErrorText(error);
    }
    const std::wstring title = wide(kMessageBoxTitle);
    api.messageBox(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    return error != ERROR_SUCCESS ? static_cast<int>(error) : 1;
}

}  // namespace morvane::win32
