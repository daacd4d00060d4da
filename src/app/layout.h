#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace morvane {

enum class ControlKind : std::uint8_t { Frame, Label, PushButton, TextBox };

enum class ControlId : std::uint8_t {
    Frame1,
    Frame2,
    Label1,
    Command1,
    Command2,
    Label2,
    Text2,
    Label3,
    Label4,
    Label5,
    Command3,
};

// A rectangle in twips (1/1440 inch).
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ControlSpec {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    std::optional<ControlId> container;  // empty: the form's client area
    std::string_view caption;            // UTF-8; empty for none
    TwipRect rect;                       // relative to the container's top-left corner
    int tabIndex;
};

inline constexpr std::string_view kFormCaption = "Morvane1.0版   F12 退出";
// The application's title, which the message boxes show in their title bar.
inline constexpr std::string_view kMessageBoxTitle = "Morvane";
inline constexpr int kFormClientWidthTwips = 4680;
inline constexpr int kFormClientHeightTwips = 3075;
inline constexpr int kTwipsPerInch = 1440;

// The window's controls, in creation order (which is also the tab order).
inline constexpr std::array<ControlSpec, 11> kControls{{
    {ControlId::Frame1, "Frame1", ControlKind::Frame, std::nullopt, "", {120, 120, 4455, 2895}, 0},
    {ControlId::Frame2,
     "Frame2",
     ControlKind::Frame,
     ControlId::Frame1,
     "取点",
     {0, 0, 2655, 2895},
     1},
    {ControlId::Label1,
     "Label1",
     ControlKind::Label,
     ControlId::Frame2,
     "坐标点：",
     {120, 240, 2415, 255},
     2},
    {ControlId::Command1,
     "Command1",
     ControlKind::PushButton,
     ControlId::Frame2,
     "取点",
     {120, 1320, 855, 375},
     3},
    {ControlId::Command2,
     "Command2",
     ControlKind::PushButton,
     ControlId::Frame2,
     "停止F7",
     {1320, 1320, 735, 375},
     4},
    {ControlId::Label2,
     "Label2",
     ControlKind::Label,
     ControlId::Frame1,
     "时间设置：60秒内",
     {2760, 240, 1695, 255},
     5},
    {ControlId::Text2,
     "Text2",
     ControlKind::TextBox,
     ControlId::Frame1,
     "",
     {2760, 600, 495, 375},
     6},
    {ControlId::Label3,
     "Label3",
     ControlKind::Label,
     ControlId::Frame1,
     "秒/次",
     {3360, 720, 615, 375},
     7},
    {ControlId::Label4,
     "Label4",
     ControlKind::Label,
     ControlId::Frame1,
     "此版本只开放了鼠标左键功能！",
     {2760, 1920, 1575, 495},
     8},
    {ControlId::Label5,
     "Label5",
     ControlKind::Label,
     ControlId::Frame2,
     "移动到点击处，这里显示坐标点，按F7将选中！",
     {120, 600, 2055, 375},
     9},
    {ControlId::Command3,
     "Command3",
     ControlKind::PushButton,
     ControlId::Frame1,
     "运行F10",
     {2760, 1320, 855, 375},
     10},
}};

[[nodiscard]] const ControlSpec& controlSpec(ControlId id);

// The control's rectangle relative to the form's client area.
[[nodiscard]] TwipRect absoluteRect(ControlId id);

// Whether the control takes the keyboard focus (and so has a place in the Tab order).
[[nodiscard]] bool takesFocus(ControlKind kind);

// Twips to device pixels at `dpi` dots per inch, rounded to the nearest pixel.
[[nodiscard]] int twipsToPixels(int twips, int dpi);

}  // namespace morvane
