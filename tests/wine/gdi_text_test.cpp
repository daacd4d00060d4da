// The captions as Morvane.exe fits and draws them with GDI, in the face the system hands out
// under the locale this runs in (CTest runs it under C.UTF-8 and zh_CN.UTF-8): at 96 and 144 DPI
// every label's lines, rendered into a bitmap without clipping, leave no ink outside the label
// and do not run into each other. Prints the face chosen; exits nonzero on the first failure.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/caption_layout.h"
#include "caption_ink.h"
#include "expect.h"
#include "platform/win32/gdi_text.h"
#include "platform/win32/system_api.h"
#include "platform/win32/wide.h"

namespace {

using namespace morvane;
using namespace morvane::win32;

constexpr int kPad = 24;  // room around the label for ink that strays out of it

struct Bitmap {
    Bitmap(HDC dc, int w, int h) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        handle = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<const DWORD*>(bits);
    }
    ~Bitmap() { DeleteObject(handle); }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    Bitmap(Bitmap&&) = delete;
    Bitmap& operator=(Bitmap&&) = delete;

    // How dark the pixel is, 0 (white) to 255 (black).
    [[nodiscard]] int darkness(int x, int y) const {
        const DWORD p = pixels[y * width + x];
        return 255 -
               static_cast<int>(((p & 0xFFU) + ((p >> 8U) & 0xFFU) + ((p >> 16U) & 0xFFU)) / 3);
    }

    int width;
    int height;
    HBITMAP handle = nullptr;
    const DWORD* pixels = nullptr;
};

// The ink `line` leaves drawn by GDI in `font` on `baseline`, in a label `width` x `height`:
// every pixel not left white, or with `darkness` 128 those at least half as dark as the text.
testing::LineInk inkOf(HDC dc, HFONT font, std::u16string_view line, int baseline, int width,
                       int height, int darkness = 1) {
    Bitmap bitmap(dc, width + 2 * kPad, height + 2 * kPad);
    const HGDIOBJ previousBitmap = SelectObject(dc, bitmap.handle);
    const RECT all{0, 0, bitmap.width, bitmap.height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    {
        const FontSelection selected(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
        const std::wstring text = wide(line);
        ExtTextOutW(dc, kPad, kPad + baseline, 0, nullptr, text.c_str(),
                    static_cast<UINT>(text.size()), nullptr);
    }
    GdiFlush();
    testing::LineInk ink{bitmap.height, 0, false};
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            if (bitmap.darkness(x, y) >= darkness) {
                ink.top = std::min(ink.top, y - kPad);
                ink.bottom = std::max(ink.bottom, y - kPad + 1);
                ink.outside =
                    ink.outside || x < kPad || x >= kPad + width || y < kPad || y >= kPad + height;
            }
        }
    }
    SelectObject(dc, previousBitmap);
    return ink;
}

void checkLabel(HDC dc, HFONT font, ControlId id, std::u16string_view text, UINT dpi) {
    const PixelRect box = controlPixels(id, dpi);
    const GdiTextMeasure measure(dc, font);
    const std::vector<CaptionLine> lines = layoutLabel(text, box.width, measure, lineBox(measure));
    const std::string name = std::string(controlSpec(id).name) + " at " + std::to_string(dpi);
    int floor = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::u16string_view part = text.substr(lines[i].begin, lines[i].length);
        const testing::LineInk ink =
            inkOf(dc, font, part, lines[i].baseline, box.width, box.height);
        if (const std::string fault = testing::lineFault(ink, box.width, box.height, floor);
            !fault.empty()) {
            wine::expect(false, name + " line " + std::to_string(i + 1) + ": " + fault);
        }
    }
}

}  // namespace

int main() {
    HDC dc = CreateCompatibleDC(nullptr);
    const SystemApi api = SystemApi::load();
    for (const UINT dpi : {96U, 144U}) {
        const LOGFONTW message = messageFont(api, dpi);
        HFONT font = captionFont(dc, message, static_cast<int>(dpi),
                                 [dpi](ControlId id) { return captionRoom(id, dpi); });
        LOGFONTW chosen{};
        GetObjectW(font, sizeof(chosen), &chosen);
        // Face names may be Chinese, which printf's %ls drops outside a Chinese code page.
        const testing::LineInk ink = inkOf(dc, font, u"坐标点：", 40, 200, 60, 128);
        std::printf(
            "%u DPI: message font %s, captions in %s at %ld px, \"坐标点：\" inks %d rows\n", dpi,
            utf8(message.lfFaceName).c_str(), utf8(chosen.lfFaceName).c_str(), -chosen.lfHeight,
            ink.bottom - ink.top);
        for (const ControlSpec& row : kControls) {
            if (row.kind == ControlKind::Label) {
                checkLabel(dc, font, row.id, toUtf16(row.caption), dpi);
            }
        }
        checkLabel(dc, font, ControlId::Label1, u"横坐标:-7680 纵坐标:-4320", dpi);
        DeleteObject(font);
    }
    DeleteDC(dc);
    return wine::finish();
}
