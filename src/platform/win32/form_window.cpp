#include "platform/win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "platform/win32/foreground.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/label_paint.h"
#include "platform/win32/resource.h"
#include "platform/win32/text2_box.h"
#include "platform/win32/wide.h"

namespace morvane::win32 {

namespace {

constexpr const wchar_t* kClassName = L"MorvaneForm1";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExStyle = 0;
// Control ids start above IDOK/IDCANCEL, which IsDialogMessageW sends for Enter and Escape.
constexpr int kFirstControlId = 100;
constexpr UINT kTickMessage = WM_APP + 1;
// A plain window timer that nudges the tick pump, so that the hotkey poll (and with it F12)
// never rests on the waiter thread alone: every modal loop dispatches WM_TIMER too.
constexpr UINT_PTR kSafetyNetTimer = 1;
constexpr UINT kSafetyNetMs = 250;
constexpr UINT kDefaultDpi = USER_DEFAULT_SCREEN_DPI;

// The Win32 macros for these are C casts, which the warning set rejects.
LPCWSTR resourceName(WORD id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id)); }
HMENU childId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }
WORD lowWord(WPARAM v) { return static_cast<WORD>(v & 0xFFFFU); }
WORD highWord(WPARAM v) { return static_cast<WORD>((v >> 16U) & 0xFFFFU); }
HBRUSH systemBrush(int colour) {
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour) + 1);
}

// The window class and styles of each kind of control.
struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass controlClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::Frame:
        return {WC_BUTTONW, BS_GROUPBOX, 0};
    case ControlKind::PushButton:
        return {WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::Label:
        return {WC_STATICW, SS_OWNERDRAW, 0};  // drawn here: see drawLabel()
    case ControlKind::TextBox:
        return {WC_EDITW, WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    }
    return {WC_STATICW, 0, 0};
}

}  // namespace

FormWindow::~FormWindow() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

DWORD FormWindow::create(HINSTANCE instance, Form1& form, TickSource& ticks) {
    form_ = &form;
    ticks_ = &ticks;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &FormWindow::windowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, resourceName(IDI_MORVANE), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, resourceName(IDI_MORVANE), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, resourceName(32512));  // IDC_ARROW
    wc.hbrBackground = systemBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    if (RegisterClassExW(&wc) == 0) {
        return GetLastError();
    }

    RECT r{0, 0, twipsToPixels(kFormClientWidthTwips, static_cast<int>(kDefaultDpi)),
           twipsToPixels(kFormClientHeightTwips, static_cast<int>(kDefaultDpi))};
    adjustWindowRect(api_, r, kFormStyle, kFormExStyle, kDefaultDpi);
    const std::wstring caption = wide(kFormCaption);
    CreateWindowExW(kFormExStyle, kClassName, caption.c_str(), kFormStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance,
                    this);
    if (hwnd_ == nullptr) {
        return GetLastError();
    }
    // Without raw input the hotkeys are polled alone, as before.
    listenToRawKeys(api_, hwnd_);
    createControls(instance);
    const UINT dpi = windowDpi(api_, hwnd_);
    resizeToClient(dpi, nullptr);
    layout(dpi);
    SetTimer(hwnd_, kSafetyNetTimer, kSafetyNetMs, nullptr);
    return ticks.start(hwnd_, kTickMessage, form);
}

void FormWindow::createControls(HINSTANCE instance) {
    // Creation order is z-order and Tab order; a frame comes before what sits on it, so its
    // contents stay on top and report straight to this window.
    std::array<const ControlSpec*, kControls.size()> order{};
    std::transform(kControls.begin(), kControls.end(), order.begin(),
                   [](const ControlSpec& s) { return &s; });
    std::stable_sort(order.begin(), order.end(), [](const ControlSpec* a, const ControlSpec* b) {
        return a->tabIndex < b->tabIndex;
    });
    for (const ControlSpec* entry : order) {
        const auto index = static_cast<std::size_t>(entry->id);
        const std::wstring caption = wide(entry->caption);
        const ControlClass cls = controlClass(entry->kind);
        controls_.at(index) = CreateWindowExW(
            cls.exStyle, cls.name, caption.c_str(), WS_CHILD | WS_VISIBLE | cls.style, 0, 0, 0, 0,
            hwnd_, childId(kFirstControlId + static_cast<int>(index)), instance, nullptr);
    }
    if (HWND box = control(ControlId::Text2); box != nullptr) {
        filterTyping(box, *form_);
    }
}

void FormWindow::resizeToClient(UINT dpi, const RECT* suggested) {
    RECT r{0, 0, twipsToPixels(kFormClientWidthTwips, static_cast<int>(dpi)),
           twipsToPixels(kFormClientHeightTwips, static_cast<int>(dpi))};
    adjustWindowRect(api_, r, kFormStyle, kFormExStyle, dpi);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    int x = 0;
    int y = 0;
    if (suggested != nullptr) {
        x = suggested->left;
        y = suggested->top;
    } else {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(hwnd_, nullptr, x, y, r.right - r.left, r.bottom - r.top, flags);
}

void FormWindow::layout(UINT dpi) {
    // The captions' face at the size where every one fits its control at `dpi`.
    const LOGFONTW message = messageFont(api_, dpi);
    HFONT font = nullptr;
    if (HDC dc = GetDC(hwnd_); dc != nullptr) {
        font = captionFont(dc, message, static_cast<int>(dpi),
                           [dpi](ControlId id) { return captionRoom(id, dpi); });
        lineBox_ = lineBox(GdiTextMeasure(dc, font));
        ReleaseDC(hwnd_, dc);
    } else {
        font = CreateFontIndirectW(&message);
    }
    for (const ControlSpec& entry : kControls) {
        HWND child = control(entry.id);
        if (child == nullptr) {
            continue;
        }
        const PixelRect p = controlPixels(entry.id, dpi);
        SetWindowPos(child, nullptr, p.left, p.top, p.width, p.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;
}

void FormWindow::show(int cmdShow) {
    if (hwnd_ == nullptr) {
        return;
    }
    ShowWindow(hwnd_, cmdShow);
    UpdateWindow(hwnd_);
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE); first != nullptr) {
        SetFocus(first);
    }
}

int FormWindow::run() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab, Shift+Tab and the arrow keys move between the controls as in a dialog.
        if (hwnd_ == nullptr || IsDialogMessageW(hwnd_, &msg) == FALSE) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

void FormWindow::setText(ControlId id, const std::wstring& caption) {
    if (HWND c = control(id); c != nullptr) {
        SetWindowTextW(c, caption.c_str());
        // An owner-drawn static does not repaint by itself when its text changes.
        InvalidateRect(c, nullptr, TRUE);
    }
}

std::wstring FormWindow::text(ControlId id) const {
    HWND c = control(id);
    if (c == nullptr) {
        return {};
    }
    const int length = GetWindowTextLengthW(c);
    if (length <= 0) {
        return {};
    }
    std::wstring out(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(c, out.data(), length + 1);
    out.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return out;
}

void FormWindow::messageBox(const std::wstring& prompt) {
    if (hwnd_ == nullptr) {
        return;
    }
    // F10 may come while another program is in front or Form1 is minimized; a box opened from
    // the background would then only flash in the taskbar while the run waits on it.
    takeForeground(hwnd_);
    const TopmostBoxes topmost;
    const std::wstring title = wide(kMessageBoxTitle);
    MessageBoxW(hwnd_, prompt.c_str(), title.c_str(), MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
}

void FormWindow::minimize() {
    if (hwnd_ != nullptr) {
        ShowWindow(hwnd_, SW_MINIMIZE);
    }
}

void FormWindow::destroy() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

void FormWindow::onCommand(WORD controlId, WORD code) {
    if (code != BN_CLICKED || controlId < kFirstControlId) {
        return;
    }
    const auto index = static_cast<std::size_t>(controlId - kFirstControlId);
    if (index >= kControls.size()) {
        return;
    }
    switch (kControls.at(index).id) {
    case ControlId::Command1:
        form_->command1Click();
        break;
    case ControlId::Command3:
        form_->command3Click();
        break;
    default:
        break;
    }
}

LRESULT CALLBACK FormWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        auto* self = static_cast<FormWindow*>(cs->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    return self->handle(msg, wp, lp);
}

LRESULT FormWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = hwnd_;
    switch (msg) {
    case WM_COMMAND:
        if (lp != 0) {
            onCommand(lowWord(wp), highWord(wp));
        } else if (lowWord(wp) == IDOK) {
            // IsDialogMessageW turns Enter into IDOK; as in a dialog, it presses the button
            // that has the focus.
            if (HWND focus = GetFocus();
                focus != nullptr && IsChild(hwnd, focus) != FALSE &&
                (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON) != 0) {
                SendMessageW(focus, BM_CLICK, 0, 0);
            }
        }
        return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item->CtlType == ODT_STATIC && font_ != nullptr) {
            drawLabel(*item, font_, lineBox_);
            return TRUE;
        }
        break;
    }
    case WM_CLOSE:
        // System menu, Alt+F4, the taskbar: all of them are Form1's unload.
        form_->unload();
        return 0;
    case kTickMessage:
        ticks_->deliver();
        return 0;
    case WM_INPUT:
        if (const RawKey key = readRawKey(api_, lp); key.vk != 0) {
            if (key.down) {
                // Where the cursor was when the input came, not when it is read: F7 fixes the
                // point the user pressed it over.
                const DWORD at = GetMessagePos();
                keys_.press(key.vk, morvane::POINT{static_cast<short>(lowWord(at)),
                                                   static_cast<short>(highWord(at))});
            } else {
                keys_.release(key.vk);
            }
        }
        break;  // DefWindowProcW frees the input
    case WM_TIMER:
        if (wp == kSafetyNetTimer) {
            ticks_->nudge();
            return 0;
        }
        break;
    case WM_ACTIVATE:
        // Give the focus back to the control that had it, as a dialog does.
        if (lowWord(wp) == WA_INACTIVE) {
            lastFocus_ = GetFocus();
        } else if (lastFocus_ != nullptr && IsChild(hwnd, lastFocus_) != FALSE) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lp);
        const UINT dpi = lowWord(wp);
        resizeToClient(dpi, suggested);
        layout(dpi);
        return 0;
    }
    case WM_DESTROY:
        controls_.fill(nullptr);
        lastFocus_ = nullptr;
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace morvane::win32
