#include "platform/win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "clicker/target_capture.h"
#include "platform/win32/label_text.h"
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

// GetProcAddress hands back a generic pointer; going through void(*)() keeps GCC's
// -Wcast-function-type quiet while staying standard C++.
template <typename Fn>
Fn user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) {
        return nullptr;
    }
    using Generic = void (*)();
    return reinterpret_cast<Fn>(reinterpret_cast<Generic>(GetProcAddress(user32, name)));
}

// Per-monitor DPI functions exist from Windows 10 1607 on; older systems get the system DPI.
UINT windowDpi(HWND hwnd) {
    using Fn = UINT(WINAPI*)(HWND);
    const Fn getDpiForWindow = user32Function<Fn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(hwnd); dpi != 0) {
            return dpi;
        }
    }
    HDC dc = GetDC(hwnd);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc != nullptr) {
        ReleaseDC(hwnd, dc);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

void adjustWindowRect(RECT& rect, UINT dpi) {
    using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    const Fn adjustForDpi = user32Function<Fn>("AdjustWindowRectExForDpi");
    if (adjustForDpi == nullptr || adjustForDpi(&rect, kFormStyle, FALSE, kFormExStyle, dpi) == 0) {
        AdjustWindowRectEx(&rect, kFormStyle, FALSE, kFormExStyle);
    }
}

// The message font (what dialogs use) at `dpi`.
LOGFONTW messageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    using Fn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    const Fn forDpi = user32Function<Fn>("SystemParametersInfoForDpi");
    if (forDpi != nullptr &&
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi) != FALSE) {
        return metrics.lfMessageFont;
    }
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) == FALSE) {
        LOGFONTW fallback{};
        fallback.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
        fallback.lfCharSet = DEFAULT_CHARSET;
        return fallback;
    }
    // The answer is in system DPI; rescale it for this window's monitor.
    HDC screen = GetDC(nullptr);
    const int systemDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    if (systemDpi > 0) {
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), systemDpi);
    }
    return metrics.lfMessageFont;
}

struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};

// Edges are converted rather than sizes, so neighbours that touch in twips touch in pixels.
PixelRect toPixels(const TwipRect& r, UINT dpi) {
    const int d = static_cast<int>(dpi);
    const int left = twipsToPixels(r.left, d);
    const int top = twipsToPixels(r.top, d);
    return {left, top, twipsToPixels(r.left + r.width, d) - left,
            twipsToPixels(r.top + r.height, d) - top};
}

// Where a control goes in the client area. A label painted over its frame's edge would wipe out
// that stretch of the border (Label2 reaches Frame1's right edge), so labels stop short of the
// frame's line, as they would inside a real container.
PixelRect controlPixels(ControlId id, UINT dpi) {
    PixelRect p = toPixels(absoluteRect(id), dpi);
    const ControlSpec& entry = controlSpec(id);
    if (entry.kind == ControlKind::Label && entry.container) {
        const PixelRect frame = toPixels(absoluteRect(*entry.container), dpi);
        const int line = MulDiv(2, static_cast<int>(dpi), 96);
        p.width = std::min(p.left + p.width, frame.left + frame.width - line) - p.left;
        p.height = std::min(p.top + p.height, frame.top + frame.height - line) - p.top;
    }
    return p;
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

// Every caption the window shows, for glyph checks.
std::wstring allCaptions() {
    std::wstring text = widen(kFormCaption);
    for (const ControlSpec& entry : kControls) {
        text += widen(entry.caption);
    }
    text += widen(coordinateCaption(POINT{0, 0}));
    std::erase(text, L' ');
    return text;
}

// Whether the font itself has a glyph for every caption character.
bool drawsCaptions(HDC dc, const LOGFONTW& lf) {
    HFONT font = CreateFontIndirectW(&lf);
    if (font == nullptr) {
        return false;
    }
    const HGDIOBJ previous = SelectObject(dc, font);
    const std::wstring text = allCaptions();
    std::vector<WORD> glyphs(text.size());
    const DWORD n = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                                     GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    DeleteObject(font);
    return n == text.size() &&
           std::find(glyphs.begin(), glyphs.end(), WORD{0xFFFF}) == glyphs.end();
}

int CALLBACK collectFace(const LOGFONTW* lf, const TEXTMETRICW* /*metrics*/, DWORD type,
                         LPARAM faces) {
    // '@' faces are the vertical-writing variants.
    if ((type & TRUETYPE_FONTTYPE) != 0 && lf->lfFaceName[0] != L'@') {
        reinterpret_cast<std::vector<std::wstring>*>(faces)->emplace_back(lf->lfFaceName);
    }
    return 1;
}

// `lf` in the first Chinese face that has every caption character: the usual Windows UI faces
// first, then whatever Simplified Chinese TrueType face is installed.
std::optional<LOGFONTW> inChineseFace(HDC dc, LOGFONTW lf) {
    std::vector<std::wstring> faces{L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun"};
    LOGFONTW query{};
    query.lfCharSet = GB2312_CHARSET;
    EnumFontFamiliesExW(dc, &query, &collectFace, reinterpret_cast<LPARAM>(&faces), 0);
    for (const std::wstring& face : faces) {
        const std::size_t n = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
        face.copy(lf.lfFaceName, n);
        lf.lfFaceName[n] = L'\0';
        lf.lfCharSet = DEFAULT_CHARSET;
        if (drawsCaptions(dc, lf)) {
            return lf;
        }
    }
    return std::nullopt;
}

// Lines are spaced by the em height rather than the full cell: the layout gives Label5 two
// lines in 25 pixels at 96 DPI, which the cell height of most Chinese UI fonts exceeds while
// their glyphs themselves fit.
int linePitch(HDC dc) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    return std::max(1, static_cast<int>(tm.tmHeight - tm.tmInternalLeading));
}

std::vector<TextLine> wrapForDc(HDC dc, std::wstring_view text, int width) {
    return wrapLabel(text, [dc, width](std::wstring_view rest) {
        int fit = 0;
        SIZE size{};
        GetTextExtentExPointW(dc, rest.data(), static_cast<int>(rest.size()), width, &fit, nullptr,
                              &size);
        return static_cast<std::size_t>(std::max(fit, 0));
    });
}

// Height the label's caption takes, or -1 if some line is wider than the label.
int labelHeight(HDC dc, std::wstring_view text, int width) {
    const std::vector<TextLine> lines = wrapForDc(dc, text, width);
    for (const TextLine& line : lines) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data() + line.begin, static_cast<int>(line.length), &size);
        if (size.cx > width) {
            return -1;
        }
    }
    return static_cast<int>(lines.size()) * linePitch(dc);
}

void drawLabel(const DRAWITEMSTRUCT& item, HFONT font) {
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const int length = GetWindowTextLengthW(item.hwndItem);
    if (length <= 0) {
        return;
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        std::max(GetWindowTextW(item.hwndItem, text.data(), length + 1), 0)));
    const HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const int pitch = linePitch(dc);
    // The internal leading sits above the glyphs; start the cell that far up.
    int y = r.top - tm.tmInternalLeading;
    for (const TextLine& line : wrapForDc(dc, text, r.right - r.left)) {
        ExtTextOutW(dc, r.left, y, ETO_CLIPPED, &r, text.data() + line.begin,
                    static_cast<UINT>(line.length), nullptr);
        y += pitch;
    }
    SelectObject(dc, previous);
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
    adjustWindowRect(r, kDefaultDpi);
    const std::wstring caption = widen(kFormCaption);
    CreateWindowExW(kFormExStyle, kClassName, caption.c_str(), kFormStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance,
                    this);
    if (hwnd_ == nullptr) {
        return false;
    }
    createControls(instance);
    const UINT dpi = windowDpi(hwnd_);
    resizeToClient(dpi, nullptr);
    layout(dpi);
    return ticks.start(hwnd_, kTickMessage);
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
    }
}

void FormWindow::resizeToClient(UINT dpi, const RECT* suggested) {
    RECT r{0, 0, twipsToPixels(kFormClientWidthTwips, static_cast<int>(dpi)),
           twipsToPixels(kFormClientHeightTwips, static_cast<int>(dpi))};
    adjustWindowRect(r, dpi);
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
    LOGFONTW lf = messageFont(dpi);
    HDC dc = GetDC(hwnd_);
    if (dc != nullptr && !drawsCaptions(dc, lf)) {
        // A Western message font may reach Chinese glyphs only through font linking, or (as
        // under Wine) not at all and draw boxes; a Chinese face of the same size is sure.
        if (const std::optional<LOGFONTW> chinese = inChineseFace(dc, lf)) {
            lf = *chinese;
        }
    }
    const int start =
        lf.lfHeight != 0 ? std::abs(lf.lfHeight) : MulDiv(12, static_cast<int>(dpi), 96);
    // Below this the Chinese captions stop being legible; use it even if something is clipped.
    const int smallest = MulDiv(9, static_cast<int>(dpi), 96);
    HFONT chosen = nullptr;
    for (int h = start; chosen == nullptr; --h) {
        lf.lfHeight = -h;
        HFONT candidate = CreateFontIndirectW(&lf);
        if (h <= smallest || dc == nullptr || captionsFit(dc, candidate, dpi)) {
            chosen = candidate;
        } else {
            DeleteObject(candidate);
        }
    }
    if (dc != nullptr) {
        ReleaseDC(hwnd_, dc);
    }
    return chosen;
}

bool FormWindow::captionsFit(HDC dc, HFONT font, UINT dpi) const {
    const HGDIOBJ previous = SelectObject(dc, font);
    const int d = static_cast<int>(dpi);
    // Room the button face and the group box's line take from the caption.
    const int buttonMargin = MulDiv(4, d, 96);
    const int frameMargin = MulDiv(10, d, 96);
    bool fits = true;
    auto check = [&](const ControlSpec& entry, std::string_view caption) {
        const std::wstring wide = widen(caption);
        const PixelRect box = controlPixels(entry.id, dpi);
        RECT r{0, 0, box.width, 0};
        switch (entry.kind) {
        case ControlKind::Label: {
            const int height = labelHeight(dc, wide, box.width);
            fits = fits && height >= 0 && height <= box.height;
            break;
        }
        case ControlKind::PushButton:
            DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r,
                      DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
            fits = fits && r.right + 2 * buttonMargin <= box.width &&
                   r.bottom + buttonMargin <= box.height;
            break;
        case ControlKind::Frame:
            DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r,
                      DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
            fits = fits && r.right + 2 * frameMargin <= box.width;
            break;
        case ControlKind::TextBox:
            break;
        }
    };
    for (const ControlSpec& entry : kControls) {
        if (!entry.caption.empty()) {
            check(entry, entry.caption);
        }
    }
    // Label1 later shows the cursor position; leave room for a wide one on a multi-monitor desk.
    check(controlSpec(ControlId::Label1), coordinateCaption(POINT{-7680, -4320}));
    SelectObject(dc, previous);
    return fits;
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
    if (hwnd_ != nullptr) {
        MessageBoxW(hwnd_, prompt.c_str(), kMessageBoxTitle, MB_OK);
    }
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
        ticks_->deliver(*form_);
        return 0;
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
    if (msg == WM_CHAR) {
        auto* window = reinterpret_cast<FormWindow*>(self);
        const auto code = static_cast<std::int16_t>(static_cast<std::uint16_t>(wp));
        const std::int16_t kept = window->form_->text2KeyPress(code);
        if (kept == 0) {
            return 0;
        }
        wp = static_cast<WPARAM>(static_cast<std::uint16_t>(kept));
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &FormWindow::textBoxProc, subclassId);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace morvane::win32
