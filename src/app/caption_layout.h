#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout.h"

namespace morvane {

// One face at one pixel size, as the toolkit measures it. All figures are device pixels.
class TextMeasure {
public:
    TextMeasure() = default;
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;
    TextMeasure(TextMeasure&&) = delete;
    TextMeasure& operator=(TextMeasure&&) = delete;
    virtual ~TextMeasure() = default;

    // Whether the face itself (not a fallback the toolkit might substitute) draws every character.
    [[nodiscard]] virtual bool covers(std::u16string_view text) const = 0;
    // Advance width of `text` set on one line.
    [[nodiscard]] virtual int width(std::u16string_view text) const = 0;
    // Room the face says its glyphs take above and below the baseline.
    [[nodiscard]] virtual int ascent() const = 0;
    [[nodiscard]] virtual int descent() const = 0;

    // Rows the glyphs of `text` really ink above and below the baseline.
    struct Ink {
        int above = 0;
        int below = 0;
    };
    [[nodiscard]] virtual Ink ink(std::u16string_view text) const = 0;
};

// The vertical room of one caption line, the same for every line in one face, and the blank rows
// between two lines.
struct LineBox {
    int above = 0;  // baseline from the top of the line
    int below = 0;  // from the baseline to the bottom of the line
    int gap = 0;
    [[nodiscard]] int height() const { return above + below; }
    [[nodiscard]] int pitch() const { return above + below + gap; }
};

struct CaptionLine {
    std::size_t begin = 0;   // UTF-16 units into the caption
    std::size_t length = 0;  // trailing spaces at a break not included
    int baseline = 0;        // from the top of the label
    int width = 0;
};

// Breaks a caption into lines of at most `width` pixels. Chinese has no spaces, so a line may end
// after any character; but closing punctuation never starts a line, and a run of Latin letters
// or digits (such as "F7" or a coordinate) is only split when it is longer than a whole line.
// Every line takes at least one character, even one wider than the label.
[[nodiscard]] std::vector<CaptionLine> wrapCaption(std::u16string_view text, int width,
                                                   const TextMeasure& measure);

// The line box of the face: the ink of every character the captions may show (the tallest glyph
// above the baseline, the deepest below it, measured), with a blank row between two lines. That
// is tighter than what the face says its lines need (ascent + descent), by half as much again
// for faces such as Noto Sans CJK, and never looser: ascent and descent hold the same ink plus
// room the Chinese glyphs do not use. Measuring the ink is the costly part of laying out a
// caption, so callers that draw keep the box for as long as the font stays.
[[nodiscard]] LineBox lineBox(const TextMeasure& measure);

// The caption laid out in a box of `width` pixels, first line at the top, lines one pitch apart,
// so that no glyph reaches into the next line or out of the label.
[[nodiscard]] std::vector<CaptionLine> layoutLabel(std::u16string_view text, int width,
                                                   const TextMeasure& measure, const LineBox& box);

// A caption and the room its control gives it (for a button, inside its face; for a frame, the
// stretch of its top edge the title may take).
struct CaptionBox {
    ControlKind kind = ControlKind::Label;
    std::u16string text;
    int width = 0;
    int height = 0;
};

struct PixelSize {
    int width = 0;
    int height = 0;
};

// Every caption Form1 shows, in the room `roomFor` gives its control: the table's captions and
// Label1 with the widest coordinates it may come to show.
[[nodiscard]] std::vector<CaptionBox> formCaptions(
    const std::function<PixelSize(ControlId)>& roomFor);

// Whether every caption fits its room in the measured face: a label's lines side by side within
// its width and stacked within its height, a button's or frame's caption on one line (which the
// toolkit sets in the face's own line box).
[[nodiscard]] bool captionsFit(std::span<const CaptionBox> boxes, const TextMeasure& measure);

// Every character any caption of the window may show.
[[nodiscard]] std::u16string allCaptionCharacters();

struct FaceChoice {
    std::size_t face = 0;
    int pixelSize = 0;
    bool fits = false;  // false: nothing fitted, this is the first covering face at `smallest`
};

// The toolkit's fonts: face `face` of its candidate list at an em height of `pixelSize`.
using MeasureFactory = std::function<std::unique_ptr<TextMeasure>(std::size_t face, int pixelSize)>;

// Chooses the face and size for the window. Among the candidate faces that draw every caption
// character, the one whose captions fit at the largest size wins, earlier candidates on a tie;
// sizes go down from `largest` to `smallest` pixels. The search stops at the first face that
// fits at `largest`, so candidates go best first. With no covering face at all, face 0 is
// kept so that the toolkit's own fallback still shows something.
[[nodiscard]] FaceChoice chooseFace(std::span<const CaptionBox> boxes, std::size_t faceCount,
                                    const MeasureFactory& measureAt, int largest, int smallest);

// The size range for the captions at `dpi`: the layout was drawn for a 9-point face, and below
// two thirds of that the strokes of Chinese characters run together.
[[nodiscard]] int designPixelSize(int dpi);
[[nodiscard]] int smallestPixelSize(int dpi);

}  // namespace morvane
