#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/form1.h"
#include "fake/fake_platform.h"

namespace morvane::testing {

// A started Form1 on the fake platform, at virtual time 0.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override { fake.start(form); }

    // Types the interval, clicks Command3 and lets the default script dismiss the boxes.
    void runWith(const std::string& text) {
        fake.setText2(text);
        form.command3Click();
    }

    [[nodiscard]] long countCalls(const std::string& call) const {
        return std::count(fake.calls.begin(), fake.calls.end(), call);
    }

    FakePlatform fake;
    Form1 form{fake};
};

inline constexpr const char* kReminder = "F12是退出哦！";
inline constexpr const char* kRejected = "要求在1分钟内选择！";

}  // namespace morvane::testing
