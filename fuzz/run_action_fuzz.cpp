// Runs the Run action on arbitrary Text2 contents and checks it against a reference reading of
// the text: either the limit message and nothing else, or minimize plus the exact interval.
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/form1.h"
#include "fake/fake_platform.h"
#include "fuzz_check.h"

namespace {

// Independent of the program's own parser and rounding: the text split at its first ".",
// strtod in the C locale, and the FPU's round-to-nearest-even.
struct Expected {
    bool accepted = false;
    std::int64_t ms = 0;
};

Expected reference(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    const auto allDigits = [](const std::string& s) {
        return std::strspn(s.c_str(), "0123456789") == s.size();
    };
    if (!allDigits(whole) || !allDigits(fraction) || whole.size() + fraction.size() == 0) {
        return {};
    }
    const double seconds = std::strtod(text.c_str(), nullptr);
    if (!(seconds <= 61.0)) {
        return {};
    }
    std::fesetround(FE_TONEAREST);
    return {true, static_cast<std::int64_t>(std::nearbyint(seconds * 1000.0))};
}

}  // namespace

using morvane::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);

    morvane::testing::FakePlatform fake;
    morvane::Form1 form{fake};
    fake.start(form);
    fake.setText2("7");
    form.command3Click();  // a previous run: 7 s
    check(fake.timers().interval(morvane::TimerId::Timer3) == 7000);

    fake.setText2(text);
    form.command3Click();
    const Expected want = reference(text);
    check(fake.boxes.size() == (want.accepted ? 2U : 3U));
    check(fake.boxes[1] == "F12是退出哦！");
    if (want.accepted) {
        check(fake.minimizeCount == 2);
        check(fake.timers().interval(morvane::TimerId::Timer3) == want.ms);
    } else {
        check(fake.boxes[2] == "要求在1分钟内选择！");
        check(fake.minimizeCount == 1);
        check(fake.timers().interval(morvane::TimerId::Timer3) == 7000);
    }
    return 0;
}
