#pragma once

#include <QDBusPendingCall>
#include <chrono>
#include <vector>

namespace morvane::wayland {

// The calls a program makes on its way out (keys given back, a session closed), sent without
// waiting for each; then waited for together, for a bounded time, so that they leave the
// process before it ends while a service that does not answer cannot hold the exit up.
class Farewell {
public:
    void add(const QDBusPendingCall& call) { calls_.push_back(call); }
    // Returns once every call added has been answered, or `limit` has passed.
    void wait(std::chrono::milliseconds limit);

private:
    std::vector<QDBusPendingCall> calls_;
};

}  // namespace morvane::wayland
