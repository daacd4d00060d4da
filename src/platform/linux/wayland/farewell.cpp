#include "platform/linux/wayland/farewell.h"

#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace morvane::wayland {

void Farewell::wait(std::chrono::milliseconds limit) {
    const auto answered = [this] {
        return std::all_of(calls_.begin(), calls_.end(),
                           [](const QDBusPendingCall& call) { return call.isFinished(); });
    };
    if (answered()) {
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers;
    for (const QDBusPendingCall& call : calls_) {
        auto& watcher = watchers.emplace_back(std::make_unique<QDBusPendingCallWatcher>(call));
        QObject::connect(watcher.get(), &QDBusPendingCallWatcher::finished, &loop, [&] {
            if (answered()) {
                loop.quit();
            }
        });
    }
    loop.exec();
}

}  // namespace morvane::wayland
