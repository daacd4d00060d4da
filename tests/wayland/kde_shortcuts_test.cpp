// The shortcut client against a stand-in for KDE's shortcut service on a session bus of the
// test's own: what the answer names when the service refuses or is late, presses heard only from
// the service, the keys given back on the way out without waiting, and the keys asked for again
// when another copy leaves.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "platform/linux/wayland/farewell.h"
#include "platform/linux/wayland/kde_shortcuts.h"
#include "platform/linux/wayland/shortcut_keys.h"
#include "private_bus.h"

// The failures say what the strings read.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace morvane::wayland {
namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kComponentPath = QStringLiteral("/component/morvane");
const QString kComponentInterface = QStringLiteral("org.kde.kglobalaccel.Component");

// KDE's shortcut service as far as the client uses it, answering as each test tells it and
// noting every call.
class StandInAccel final : public QDBusVirtualObject {
public:
    struct Call {
        QString member;
        QVariantList args;
    };

    explicit StandInAccel(const QDBusConnection& bus) : bus_(bus) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const QString member = message.member();
        calls.push_back({member, message.arguments()});
        const QStringList id = message.arguments().value(0).toStringList();
        const QString action = id.value(1);
        QDBusMessage reply = message.createReply();
        if (member == QLatin1String("doRegister") && refused.contains(action)) {
            reply = message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                             QStringLiteral("stand-in refuses"));
        } else if (member == QLatin1String("setShortcut")) {
            const auto asked = qdbus_cast<QList<int>>(message.arguments().value(1));
            reply = message.createReply(
                QVariant::fromValue(taken.contains(action) ? QList<int>{} : asked));
        } else if (member == QLatin1String("unregister")) {
            if (!answerUnregister) {
                return true;
            }
            reply = message.createReply(true);
        }
        QTimer::singleShot(delayMs, [bus = bus_, reply]() mutable { bus.send(reply); });
        return true;
    }

    [[nodiscard]] std::vector<Call> named(const char* member) const {
        std::vector<Call> found;
        for (const Call& call : calls) {
            if (call.member == QLatin1String(member)) {
                found.push_back(call);
            }
        }
        return found;
    }

    QStringList refused;  // actions doRegister fails for
    QStringList taken;    // actions setShortcut gives no key: another program has it
    int delayMs = 0;      // how late every answer comes
    bool answerUnregister = true;
    std::vector<Call> calls;

private:
    QDBusConnection bus_;
};

QStringList names(std::initializer_list<const char*> keys) {
    QStringList list;
    for (const char* key : keys) {
        list << QString::fromLatin1(key);
    }
    return list;
}

// A private session bus with the stand-in on a connection of its own (owning the service's
// name unless told not to), and the client under test on another.
class Scene {
public:
    explicit Scene(bool serviceOnBus = true) {
        qDBusRegisterMetaType<QList<int>>();
        if (!bus_.up()) {
            return;
        }
        QDBusConnection serviceBus = connect();
        service_ = std::make_unique<StandInAccel>(serviceBus);
        ready_ =
            serviceBus.registerVirtualObject(QStringLiteral("/kglobalaccel"), service_.get()) &&
            (!serviceOnBus || serviceBus.registerService(kService));
    }

    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&&) = delete;
    Scene& operator=(Scene&&) = delete;

    ~Scene() {
        clients_.clear();
        service_.reset();
    }

    [[nodiscard]] bool ready() const { return ready_; }
    StandInAccel& service() { return *service_; }

    // Another connection to the bus, closed with the scene.
    QDBusConnection connect() {
        QDBusConnection connection = bus_.connect();
        connections_ << connection.name();
        return connection;
    }

    // A client on a connection of its own; `copy` is its bus name under kCopyNamespace.
    KdeShortcuts& client(const QString& copy = QStringLiteral("first")) {
        clients_.push_back(std::make_unique<KdeShortcuts>(
            connect(), [this](int vk, bool down) { keys.emplace_back(vk, down); },
            QStringLiteral("%1.%2").arg(QLatin1String(kCopyNamespace), copy)));
        return *clients_.back();
    }

    // A client bound, and what it answered.
    std::optional<QStringList> bind(KdeShortcuts& client, int limitMs = 5000) {
        std::optional<QStringList> missing;
        int answers = 0;
        client.bind([&](const QStringList& names) {
            missing = names;
            ++answers;
        });
        runUntil([&] { return missing.has_value(); }, limitMs);
        settle();
        EXPECT_LE(answers, 1) << "answered more than once";
        return missing;
    }

    // The signal the service sends for a key, from `sender` (the service's own connection
    // unless another is given).
    void signal(const QString& component, const char* action, bool down,
                std::optional<QDBusConnection> sender = std::nullopt) {
        QDBusMessage message =
            QDBusMessage::createSignal(kComponentPath, kComponentInterface,
                                       down ? QStringLiteral("globalShortcutPressed")
                                            : QStringLiteral("globalShortcutReleased"));
        message << component << QString::fromLatin1(action) << qlonglong{0};
        (sender ? *sender : QDBusConnection(connections_.first())).send(message);
    }

    std::vector<std::pair<int, bool>> keys;  // what the clients' `key` heard

private:
    PrivateBus bus_;
    QStringList connections_;  // the stand-in's first
    std::unique_ptr<StandInAccel> service_;
    std::vector<std::unique_ptr<KdeShortcuts>> clients_;
    bool ready_ = false;
};

TEST(KdeShortcuts, TheAnswerNamesTheKeysTheServiceDidNotGive) {
    const struct Case {
        const char* what;
        bool onBus;
        QStringList refused;
        QStringList taken;
        int delayMs;
        QStringList expected;
    } cases[] = {
        {"all given", true, {}, {}, 0, {}},
        {"no service on the bus", false, {}, {}, 0, names({"F7", "F10", "F12"})},
        {"F10 kept by another program", true, {}, {QStringLiteral("run-f10")}, 0, names({"F10"})},
        {"F12 refused", true, {QStringLiteral("quit-f12")}, {}, 0, names({"F12"})},
        // Longer than any wait a program could bear at its start.
        {"every answer 3 s late", true, {}, {}, 3000, {}},
    };
    for (const Case& c : cases) {
        Scene scene(c.onBus);
        ASSERT_TRUE(scene.ready()) << c.what;
        scene.service().refused = c.refused;
        scene.service().taken = c.taken;
        scene.service().delayMs = c.delayMs;
        QElapsedTimer timer;
        timer.start();
        const std::optional<QStringList> missing = scene.bind(scene.client(), c.delayMs + 5000);
        ASSERT_TRUE(missing.has_value()) << c.what << ": no answer";
        EXPECT_EQ(*missing, c.expected) << c.what;
        EXPECT_GE(timer.elapsed(), c.delayMs) << c.what;
        // Each key asked for under its id, with the words the desktop's settings show.
        std::vector<std::pair<QString, QString>> asked;
        for (const auto& call : scene.service().named("setShortcut")) {
            const QStringList id = call.args.value(0).toStringList();
            asked.emplace_back(id.value(1), id.value(3));
        }
        std::vector<std::pair<QString, QString>> expected;
        for (const ShortcutKey& key : kShortcutKeys) {
            expected.emplace_back(QString::fromLatin1(key.id), QString::fromUtf8(key.description));
        }
        EXPECT_EQ(asked, c.onBus ? expected : decltype(expected){}) << c.what;
    }
}

TEST(KdeShortcuts, PressesAreHeardOnlyFromTheServiceForOurComponent) {
    Scene scene;
    ASSERT_TRUE(scene.ready());
    ASSERT_EQ(scene.bind(scene.client()), QStringList{});
    QDBusConnection impostor = scene.connect();
    const struct {
        const char* what;
        QString component;
        const char* action;
        bool down;
        bool fromService;
        std::vector<std::pair<int, bool>> heard;
    } cases[] = {
        {"F12 down", QStringLiteral("morvane"), "quit-f12", true, true, {{kVkF12, true}}},
        {"F12 up", QStringLiteral("morvane"), "quit-f12", false, true, {{kVkF12, false}}},
        {"F7 down", QStringLiteral("morvane"), "capture-f7", true, true, {{kVkF7, true}}},
        {"F10 up", QStringLiteral("morvane"), "run-f10", false, true, {{kVkF10, false}}},
        {"another component's action", QStringLiteral("kwin"), "quit-f12", true, true, {}},
        {"an action not ours", QStringLiteral("morvane"), "paste", true, true, {}},
        {"sent by another program", QStringLiteral("morvane"), "quit-f12", true, false, {}},
    };
    for (const auto& c : cases) {
        scene.keys.clear();
        scene.signal(c.component, c.action, c.down,
                     c.fromService ? std::nullopt : std::optional(impostor));
        // A sure end to the wait: a press that is heard, sent after the one looked at.
        scene.signal(QStringLiteral("morvane"), "run-f10", true);
        const auto sentinel = [&] {
            return std::find(scene.keys.begin(), scene.keys.end(), std::pair(kVkF10, true));
        };
        ASSERT_TRUE(runUntil([&] { return sentinel() != scene.keys.end(); })) << c.what;
        settle(50);  // the press looked at, from another connection, may come after it
        scene.keys.erase(sentinel());
        EXPECT_EQ(scene.keys, c.heard) << c.what;
    }
}

TEST(KdeShortcuts, TheWayOutGivesTheKeysBackWithoutWaiting) {
    Scene scene;
    ASSERT_TRUE(scene.ready());
    KdeShortcuts& client = scene.client();
    ASSERT_EQ(scene.bind(client), QStringList{});
    scene.service().answerUnregister = false;  // a service that has stopped answering
    Farewell farewell;
    QElapsedTimer timer;
    timer.start();
    client.release(farewell);
    EXPECT_LT(timer.elapsed(), 100);
    farewell.wait(std::chrono::milliseconds(250));
    EXPECT_LT(timer.elapsed(), 1000);
    std::vector<QStringList> given;
    for (const auto& call : scene.service().named("unregister")) {
        given.push_back({call.args.value(0).toString(), call.args.value(1).toString()});
    }
    std::vector<QStringList> expected;
    for (const ShortcutKey& key : kShortcutKeys) {
        expected.push_back({QStringLiteral("morvane"), QString::fromLatin1(key.id)});
    }
    EXPECT_EQ(given, expected);

    // With no service there is nothing to give back.
    Scene bare(false);
    ASSERT_TRUE(bare.ready());
    KdeShortcuts& alone = bare.client();
    ASSERT_TRUE(bare.bind(alone).has_value());
    Farewell none;
    alone.release(none);
    none.wait(std::chrono::milliseconds(250));
    EXPECT_TRUE(bare.service().calls.empty());
}

TEST(KdeShortcuts, AnotherCopyLeavingHasTheKeysAskedForAgain) {
    Scene scene;
    ASSERT_TRUE(scene.ready());
    KdeShortcuts& first = scene.client(QStringLiteral("first"));
    ASSERT_EQ(scene.bind(first), QStringList{});
    // Each copy owns its own name under the namespace.
    QDBusConnection watcher = scene.connect();
    EXPECT_TRUE(watcher.interface()->isServiceRegistered(
        QStringLiteral("%1.first").arg(QLatin1String(kCopyNamespace))));
    const auto asked = [&] { return scene.service().named("setShortcut").size(); };
    const struct {
        const char* what;
        QString leaving;
        std::size_t askedAfter;  // setShortcut calls in all
    } cases[] = {
        {"a name outside the namespace", QStringLiteral("io.github.morvane.Other"), 3},
        {"another copy", QStringLiteral("%1.second").arg(QLatin1String(kCopyNamespace)), 6},
        {"yet another copy", QStringLiteral("%1.third").arg(QLatin1String(kCopyNamespace)), 9},
    };
    for (const auto& c : cases) {
        QDBusConnection other = scene.connect();
        ASSERT_TRUE(other.registerService(c.leaving)) << c.what;
        ASSERT_TRUE(other.unregisterService(c.leaving)) << c.what;
        runUntil([&] { return asked() >= c.askedAfter; }, 2000);
        settle();
        EXPECT_EQ(asked(), c.askedAfter) << c.what;
        EXPECT_EQ(scene.service().named("doRegister").size(), c.askedAfter) << c.what;
    }
    // On its own way out a copy asks for nothing more.
    Farewell farewell;
    first.release(farewell);
    farewell.wait(std::chrono::milliseconds(250));
    QDBusConnection last = scene.connect();
    const QString name = QStringLiteral("%1.last").arg(QLatin1String(kCopyNamespace));
    ASSERT_TRUE(last.registerService(name));
    ASSERT_TRUE(last.unregisterService(name));
    settle(300);
    EXPECT_EQ(asked(), 9U);
}

}  // namespace
}  // namespace morvane::wayland
