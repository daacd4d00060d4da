#include "platform/win32/user32_api.h"

#include "platform/win32/system_api.h"

namespace morvane::win32 {

namespace {

int systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi;
}

}  // namespace

User32Api User32Api::load() {
    User32Api api;
    if (HMODULE user32 = GetModuleHandleW(L"user32.dll"); user32 != nullptr) {
        lookUp(user32, "GetDpiForWindow", api.getDpiForWindow);
        lookUp(user32, "AdjustWindowRectExForDpi", api.adjustWindowRectExForDpi);
        lookUp(user32, "SystemParametersInfoForDpi", api.systemParametersInfoForDpi);
    }
    return api;
}

UINT User32Api::windowDpi(HWND hwnd) const {
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(hwnd); dpi != 0) {
            return dpi;
        }
    }
    const int dpi = systemDpi();
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void User32Api::adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) const {
    if (adjustWindowRectExForDpi == nullptr ||
        adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi) == FALSE) {
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
}

LOGFONTW User32Api::messageFont(UINT dpi) const {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (systemParametersInfoForDpi != nullptr &&
        systemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi) !=
            FALSE) {
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

}  // namespace morvane::win32
