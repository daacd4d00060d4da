// Line breaking of the owner-drawn labels, measured with a font where every character is one
// unit wide. Runs under Wine like the program it tests; exits nonzero on the first mismatch.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/label_text.h"

namespace {

using morvane::win32::TextLine;
using morvane::win32::wrapLabel;

std::vector<std::wstring> wrapped(std::wstring_view text, std::size_t width) {
    std::vector<std::wstring> out;
    for (const TextLine& line : wrapLabel(text, [width](std::wstring_view rest) {
             return rest.size() < width ? rest.size() : width;
         })) {
        out.emplace_back(text.substr(line.begin, line.length));
    }
    return out;
}

int failures = 0;

void expect(const char* name, std::wstring_view text, std::size_t width,
            const std::vector<std::wstring>& lines) {
    const std::vector<std::wstring> got = wrapped(text, width);
    if (got != lines) {
        ++failures;
        std::printf("FAIL %s: got %zu lines:", name, got.size());
        for (const std::wstring& l : got) {
            std::printf(" [%zu chars]", l.size());
        }
        std::printf("\n");
    }
}

}  // namespace

int main() {
    expect("fits on one line", L"秒/次", 5, {L"秒/次"});
    expect("empty caption", L"", 5, {});
    expect("breaks between Chinese characters", L"此版本只开放了鼠标左键功能！", 8,
           {L"此版本只开放了鼠", L"标左键功能！"});
    expect("closing punctuation never starts a line", L"一二三，四五", 3,
           {L"一二", L"三，四", L"五"});
    expect("runs of closing punctuation move together", L"一二三！！四", 3,
           {L"一二", L"三！！", L"四"});
    expect("a key name is not split", L"按F7将", 2, {L"按", L"F7", L"将"});
    expect("a word longer than the line is split", L"ABCDEFG", 3, {L"ABC", L"DEF", L"G"});
    expect("spaces at a break are dropped", L"横坐标:10 纵坐标:20", 7,
           {L"横坐标:10", L"纵坐标:20"});
    expect("nothing fits: one character per line", L"取点", 0, {L"取", L"点"});
    expect("only punctuation still advances", L"！！", 1, {L"！", L"！"});
    // Label5 at 96 DPI holds eleven 12-pixel characters per line: two lines, as laid out.
    expect("Label5", L"移动到点击处，这里显示坐标点，按F7将选中！", 11,
           {L"移动到点击处，这里显示", L"坐标点，按F7将选中！"});
    std::printf("%s\n", failures == 0 ? "ok" : "failed");
    return failures == 0 ? 0 : 1;
}
