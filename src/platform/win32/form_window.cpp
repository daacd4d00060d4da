#include "platform/win32/form_window.h"

#include <commctrl.h>
#include <imm.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/win32/gdi_text.h"
#include "platform/win32/label_paint.h"
#include "platform/win32/resource.h"
#include "platform/win32/utf.h"

namespace morvane::win32 {

namespace {

constexpr const wchar_t* kClassName = L"MorvaneForm1";
constexpr const wchar_t* kMessageBoxTitle = L"Morvane";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExStyle = 0;
// Control ids start above IDOK/IDCANCEL, which IsDialogMessageW sends for Enter and Escape.
constexpr int kFirstControlId = 100;
constexpr UINT kTickMessage = WM_APP + 1;
// A plain window timer that nudges the tick pump, so that the hotkey poll (and with it F12)
// never rests on the waiter thread alone: every modal loop dispatches WM_TIMER too.
constexpr UINT_PTR kSafetyNetTimer = 1;
constexpr UINT kSafetyNetMs = 250;
constexpr UINT_PTR kTextBoxSubclass = 1;
constexpr UINT kDefaultDpi = USER_DEFAULT_SCREEN_DPI;

// The Win32 macros for these are C casts, which the warning set rejects.
LPCWSTR resourceName(WORD id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id)); }
HMENU childId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }
WORD lowWord(WPARAM v) { return static_cast<WORD>(v & 0xFFFFU); }
WORD highWord(WPARAM v) { return static_cast<WORD>((v >> 16U) & 0xFFFFU); }
HBRUSH systemBrush(int colour) {
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour) + 1);
}

const wchar_t* windowClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::Frame:
    case ControlKind::PushButton:
        return WC_BUTTONW;
    case ControlKind::Label:
        return WC_STATICW;
    case ControlKind::TextBox:
        return WC_EDITW;
    }
    return WC_STATICW;
}

DWORD windowStyle(ControlKind kind) {
    const DWORD common = WS_CHILD | WS_VISIBLE;
    switch (kind) {
    case ControlKind::Frame:
        return common | BS_GROUPBOX;
    case ControlKind::PushButton:
        return common | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::Label:
        // Drawn here: see drawLabel().
        return common | SS_OWNERDRAW;
    case ControlKind::TextBox:
        return common | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    }
    return common;
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

bool FormWindow::create(HINSTANCE instance, Form1& form, TickSource& ticks) {
    form_ = &form;
    ticks_ = &ticks;
    user32_ = User32Api::load();

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
        return false;
    }

    RECT r{0, 0, twipsToPixels(kFormClientWidthTwips, static_cast<int>(kDefaultDpi)),
           twipsToPixels(kFormClientHeightTwips, static_cast<int>(kDefaultDpi))};
    user32_.adjustWindowRect(r, kFormStyle, kFormExStyle, kDefaultDpi);
    const std::wstring caption = widen(kFormCaption);
    CreateWindowExW(kFormExStyle, kClassName, caption.c_str(), kFormStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance,
                    this);
    if (hwnd_ == nullptr) {
        return false;
    }
    createControls(instance);
    const UINT dpi = user32_.windowDpi(hwnd_);
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
        const std::wstring caption = widen(entry->caption);
        const DWORD exStyle = entry->kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0;
        controls_.at(index) = CreateWindowExW(
            exStyle, windowClass(entry->kind), caption.c_str(), windowStyle(entry->kind), 0, 0, 0,
            0, hwnd_, childId(kFirstControlId + static_cast<int>(index)), instance, nullptr);
    }
    if (HWND box = control(ControlId::Text2); box != nullptr) {
        SetWindowSubclass(box, &FormWindow::textBoxProc, kTextBoxSubclass,
                          reinterpret_cast<DWORD_PTR>(this));
        // Only digits and one point belong in the box, typed one by one through the filter; an
        // input method would compose text around it (as on Linux, where the box has none).
        ImmAssociateContextEx(box, nullptr, 0);
    }
}

void FormWindow::resizeToClient(UINT dpi, const RECT* suggested) {
    RECT r{0, 0, twipsToPixels(kFormClientWidthTwips, static_cast<int>(dpi)),
           twipsToPixels(kFormClientHeightTwips, static_cast<int>(dpi))};
    user32_.adjustWindowRect(r, kFormStyle, kFormExStyle, dpi);
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
    HFONT font = fittingFont(dpi);
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

HFONT FormWindow::fittingFont(UINT dpi) const {
    const LOGFONTW message = user32_.messageFont(dpi);
    HDC dc = GetDC(hwnd_);
    if (dc == nullptr) {
        return CreateFontIndirectW(&message);
    }
    HFONT font = captionFont(dc, message, static_cast<int>(dpi),
                             [dpi](ControlId id) { return captionRoom(id, dpi); });
    ReleaseDC(hwnd_, dc);
    return font;
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
    // the background would then only flash in the taskbar (the foreground lock) while the run
    // waits on it. Joining the foreground thread's input for a moment lets this thread take the
    // foreground; the box asks for it too, and is created topmost so that it shows above the
    // other program even where the foreground is refused.
    HWND front = GetForegroundWindow();
    const DWORD frontThread = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
    const DWORD ownThread = GetCurrentThreadId();
    const bool attached = frontThread != 0 && frontThread != ownThread &&
                          AttachThreadInput(ownThread, frontThread, TRUE) != FALSE;
    SetForegroundWindow(hwnd_);
    if (attached) {
        AttachThreadInput(ownThread, frontThread, FALSE);
    }
    HHOOK hook = SetWindowsHookExW(WH_CBT, &FormWindow::boxCreationHook, nullptr, ownThread);
    MessageBoxW(hwnd_, prompt.c_str(), kMessageBoxTitle, MB_OK | MB_TOPMOST | MB_SETFOREGROUND);
    if (hook != nullptr) {
        UnhookWindowsHookEx(hook);
    }
}

// Windows makes an MB_TOPMOST box topmost; Wine does not, so the box's activation does it here.
LRESULT CALLBACK FormWindow::boxCreationHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wp);
        HWND owner = GetWindow(box, GW_OWNER);
        std::array<wchar_t, 32> ownerClass{};
        if (owner != nullptr &&
            GetClassNameW(owner, ownerClass.data(), static_cast<int>(ownerClass.size())) > 0 &&
            std::wstring_view(ownerClass.data()) == kClassName) {
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
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
            drawLabel(*item, font_);
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

LRESULT CALLBACK FormWindow::textBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                         UINT_PTR subclassId, DWORD_PTR self) {
    switch (msg) {
    case WM_CHAR:
    // The box has no input method, but a character an IME commits anyway (a full-width digit,
    // "。") is a typed character like any other and goes through the same filter.
    case WM_IME_CHAR: {
        auto* window = reinterpret_cast<FormWindow*>(self);
        const auto code = static_cast<std::int16_t>(static_cast<std::uint16_t>(wp));
        const std::int16_t kept = window->form_->text2KeyPress(code);
        if (kept == 0) {
            return 0;
        }
        // As WM_CHAR either way: the edit control's own WM_IME_CHAR handling would let
        // DefWindowProc turn it into a WM_CHAR that comes back through here.
        return DefSubclassProc(hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<std::uint16_t>(kept)),
                               lp);
    }
    case WM_IME_COMPOSITION:
        // The edit control inserts a committed string whole, past the filter; the default
        // handling hands it over as WM_IME_CHAR instead, one character at a time.
        if ((static_cast<DWORD>(lp) & GCS_RESULTSTR) != 0) {
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &FormWindow::textBoxProc, subclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace morvane::win32
