// Captures arbitrary 32-bit cursor positions and checks the caption and the clicked target.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/form1.h"
#include "fake/fake_platform.h"
#include "fuzz_check.h"

using morvane::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) {
        return 0;
    }
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::memcpy(&x, data, 4);
    std::memcpy(&y, data + 4, 4);

    morvane::testing::FakePlatform fake;
    morvane::Form1 form{fake};
    fake.start(form);
    fake.moveMouse(x, y);
    form.command1Click();
    fake.advance(200);

    char expected[64];
    std::snprintf(expected, sizeof expected, "横坐标:%d 纵坐标:%d", x, y);
    check(fake.label1 == expected);

    fake.tapKey(morvane::kVkF7);
    fake.setText2("0.001");
    form.command3Click();
    fake.advance(3);
    check(fake.clicks.size() == 3);
    const auto clamp16 = [](std::int32_t v) { return std::clamp(v, -32768, 32767); };
    for (const auto& click : fake.clicks) {
        check(click.at.x == clamp16(x) && click.at.y == clamp16(y));
    }
    return 0;
}
