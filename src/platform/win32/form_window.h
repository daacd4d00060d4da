#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "app/caption_layout.h"
#include "app/form1.h"
#include "app/layout.h"
#include "platform/key_latch.h"
#include "platform/win32/system_api.h"
#include "platform/win32/tick_source.h"

namespace morvane::win32 {

// Owns Form1's HWND and its controls, and turns window messages into Form1 events.
class FormWindow {
public:
    explicit FormWindow(const SystemApi& api) : api_(api) {}
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;
    FormWindow(FormWindow&&) = delete;
    FormWindow& operator=(FormWindow&&) = delete;
    ~FormWindow();

    // Builds the window and its controls from the layout table; it stays hidden until show().
    // ERROR_SUCCESS, or the error that stopped it.
    DWORD create(HINSTANCE instance, Form1& form, TickSource& ticks);
    void show(int cmdShow);
    // The message loop; returns the exit code once the window is gone.
    int run();

    // All of these do nothing once the window has been destroyed.
    void setText(ControlId id, const std::wstring& caption);
    [[nodiscard]] std::wstring text(ControlId id) const;
    void messageBox(const std::wstring& prompt);
    void minimize();
    void destroy();

    [[nodiscard]] HWND hwnd() const { return hwnd_; }
    // F7, F10 and F12 as the raw keyboard input reported them, wherever the focus was.
    [[nodiscard]] KeyLatch& keys() { return keys_; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);

    void createControls(HINSTANCE instance);
    void layout(UINT dpi);
    void resizeToClient(UINT dpi, const RECT* suggested);
    void onCommand(WORD controlId, WORD code);

    [[nodiscard]] HWND control(ControlId id) const {
        return controls_.at(static_cast<std::size_t>(id));
    }

    const SystemApi& api_;
    KeyLatch keys_;
    HWND hwnd_ = nullptr;
    std::array<HWND, kControls.size()> controls_{};
    HFONT font_ = nullptr;
    LineBox lineBox_;  // font_'s, for the labels' repaints
    HWND lastFocus_ = nullptr;
    Form1* form_ = nullptr;
    TickSource* ticks_ = nullptr;
};

}  // namespace morvane::win32
