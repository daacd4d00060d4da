#include "app/caption_layout.h"

#include <algorithm>
#include <optional>

#include "clicker/target_capture.h"
#include "platform/utf.h"

namespace morvane {

namespace {

bool closesClause(char16_t c) {
    constexpr std::u16string_view kClosing = u"，。！？：；、）》」』,.!?:;)";
    return kClosing.find(c) != std::u16string_view::npos;
}

bool latinWordChar(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           c == u'-';
}

// How many leading characters of `rest` fit in `width`. Prefixes are measured whole, so that
// kerning and shaping count as the toolkit will draw them.
std::size_t fitCount(std::u16string_view rest, int width, const TextMeasure& measure) {
    std::size_t n = 0;
    while (n < rest.size() && measure.width(rest.substr(0, n + 1)) <= width) {
        ++n;
    }
    return n;
}

// What the face says one line needs, widened to the ink where the glyphs reach past that.
LineBox declaredBox(const TextMeasure& measure, const TextMeasure::Ink& ink) {
    return {std::max(measure.ascent(), ink.above), std::max(measure.descent(), ink.below), 0};
}

LineBox boxFor(const TextMeasure& measure, const TextMeasure::Ink& ink) {
    if (ink.above + ink.below > 0) {
        return {ink.above, ink.below, 1};
    }
    // A toolkit that could not measure the glyphs: the face's word for it.
    LineBox box = declaredBox(measure, ink);
    box.above = std::max(box.above, 1 - box.below);
    return box;
}

}  // namespace

std::vector<CaptionLine> wrapCaption(std::u16string_view text, int width,
                                     const TextMeasure& measure) {
    std::vector<CaptionLine> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::u16string_view rest = text.substr(pos);
        std::size_t take = std::max<std::size_t>(fitCount(rest, width, measure), 1);
        if (take < rest.size()) {
            std::size_t cut = take;
            while (cut > 0 && closesClause(rest[cut])) {
                --cut;
            }
            while (cut > 0 && latinWordChar(rest[cut]) && latinWordChar(rest[cut - 1])) {
                --cut;
            }
            if (cut > 0) {
                take = cut;
            }
        }
        std::size_t length = take;
        while (length > 0 && rest[length - 1] == u' ') {
            --length;
        }
        lines.push_back({pos, length, 0, measure.width(rest.substr(0, length))});
        pos += take;
        while (pos < text.size() && text[pos] == u' ') {
            ++pos;
        }
    }
    return lines;
}

LineBox lineBox(const TextMeasure& measure) {
    return boxFor(measure, measure.ink(allCaptionCharacters()));
}

std::vector<CaptionLine> layoutLabel(std::u16string_view text, int width,
                                     const TextMeasure& measure, const LineBox& box) {
    std::vector<CaptionLine> lines = wrapCaption(text, width, measure);
    int top = 0;
    for (CaptionLine& line : lines) {
        line.baseline = top + box.above;
        top += box.pitch();
    }
    return lines;
}

std::vector<CaptionBox> formCaptions(const std::function<PixelSize(ControlId)>& roomFor) {
    std::vector<CaptionBox> boxes;
    auto add = [&](ControlId id, std::string_view caption) {
        const PixelSize room = roomFor(id);
        boxes.push_back({controlSpec(id).kind, toUtf16(caption), room.width, room.height});
    };
    for (const ControlSpec& row : kControls) {
        if (!row.caption.empty()) {
            add(row.id, row.caption);
        }
    }
    // Label1 goes on to show the cursor position; leave room for one far up and left on a
    // desk of several monitors.
    add(ControlId::Label1, coordinateCaption(POINT{-7680, -4320}));
    return boxes;
}

bool captionsFit(std::span<const CaptionBox> boxes, const TextMeasure& measure) {
    const TextMeasure::Ink ink = measure.ink(allCaptionCharacters());
    const LineBox label = boxFor(measure, ink);
    const int oneLine = declaredBox(measure, ink).height();
    return std::all_of(boxes.begin(), boxes.end(), [&](const CaptionBox& box) {
        if (box.kind != ControlKind::Label) {
            return measure.width(box.text) <= box.width && oneLine <= box.height;
        }
        const std::vector<CaptionLine> lines = wrapCaption(box.text, box.width, measure);
        const bool narrowEnough = std::all_of(
            lines.begin(), lines.end(), [&](const CaptionLine& l) { return l.width <= box.width; });
        const int tall = static_cast<int>(lines.size()) * label.pitch() - label.gap;
        return narrowEnough && tall <= box.height;
    });
}

std::u16string allCaptionCharacters() {
    std::u16string text = toUtf16(kFormCaption);
    for (const ControlSpec& row : kControls) {
        text += toUtf16(row.caption);
    }
    // Label1's coordinates: every digit and the minus sign.
    text += toUtf16(coordinateCaption(POINT{-12345, 67890}));
    std::erase(text, u' ');
    return text;
}

FaceChoice chooseFace(std::span<const CaptionBox> boxes, std::size_t faceCount,
                      const MeasureFactory& measureAt, int largest, int smallest) {
    const std::u16string characters = allCaptionCharacters();
    smallest = std::max(1, smallest);
    largest = std::max(largest, smallest);
    std::optional<std::size_t> firstCovering;
    FaceChoice best;
    for (std::size_t face = 0; face < faceCount; ++face) {
        const std::unique_ptr<TextMeasure> probe = measureAt(face, largest);
        if (!probe || !probe->covers(characters)) {
            continue;
        }
        if (!firstCovering) {
            firstCovering = face;
        }
        // Nothing below the best size so far could win.
        const int floor = best.fits ? best.pixelSize + 1 : smallest;
        for (int size = largest; size >= floor; --size) {
            std::unique_ptr<TextMeasure> smaller;
            if (size != largest) {
                smaller = measureAt(face, size);
            }
            const TextMeasure* measure = size == largest ? probe.get() : smaller.get();
            if (measure != nullptr && captionsFit(boxes, *measure)) {
                best = {face, size, true};
                break;
            }
        }
        // Nothing beats the design size, and the earlier face wins a tie: the faces after need
        // not even be loaded (a CJK font file runs to tens of megabytes).
        if (best.fits && best.pixelSize == largest) {
            break;
        }
    }
    if (best.fits) {
        return best;
    }
    return {firstCovering.value_or(0), smallest, false};
}

int designPixelSize(int dpi) { return (9 * dpi + 36) / 72; }

int smallestPixelSize(int dpi) { return (designPixelSize(dpi) * 2 + 2) / 3; }

}  // namespace morvane
