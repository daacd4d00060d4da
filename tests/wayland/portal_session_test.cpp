// The portal session against a stand-in portal on a session bus of the test's own: how each
// answer ends a request, what the session sends on the way out, the portal leaving the bus, and
// the order and number of pointer calls when the portal is slow to answer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "platform/linux/wayland/farewell.h"
#include "platform/linux/wayland/global_shortcuts.h"
#include "platform/linux/wayland/portal_names.h"
#include "platform/linux/wayland/portal_request.h"
#include "platform/linux/wayland/portal_session.h"
#include "platform/platform_ops.h"
#include "private_bus.h"

// One stream as Start lists it: (ua{sv}).
struct StreamEntry {
    uint node = 0;
    QVariantMap props;
};
Q_DECLARE_METATYPE(StreamEntry)

QDBusArgument& operator<<(QDBusArgument& arg, const StreamEntry& entry) {
    arg.beginStructure();
    arg << entry.node << entry.props;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, StreamEntry& entry) {
    arg.beginStructure();
    arg >> entry.node >> entry.props;
    arg.endStructure();
    return arg;
}

namespace morvane::wayland {
namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// What the stand-in does with one method.
enum class Answer { Grant, Refuse, Fail, Error, Silent };

// A desktop portal that answers as each test tells it, and notes every call it receives.
class StandInPortal final : public QDBusVirtualObject {
public:
    struct Call {
        QString member;
        QVariantList args;
        int unanswered;  // pointer calls received and not yet answered when this one came
    };

    explicit StandInPortal(const QDBusConnection& bus) : bus_(bus) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const QString member = message.member();
        calls.push_back({member, message.arguments(), pointerUnanswered_});
        if (member == QLatin1String("Get")) {
            const QString name = message.arguments().value(1).toString();
            reply(message, {QVariant::fromValue(QDBusVariant(
                               name == QLatin1String("version") ? remoteVersion : 0U))});
        } else if (member.startsWith(QLatin1String("NotifyPointer"))) {
            ++pointerUnanswered_;
            if (pointerDelayMs >= 0) {
                QTimer::singleShot(pointerDelayMs, this, [this, message] {
                    --pointerUnanswered_;
                    reply(message, {});
                });
            }
        } else if (member == QLatin1String("Close")) {
            reply(message, {});
        } else {
            answerRequest(message);
        }
        return true;
    }

    [[nodiscard]] std::vector<Call> named(const QString& member) const {
        std::vector<Call> found;
        for (const Call& call : calls) {
            if (call.member == member) {
                found.push_back(call);
            }
        }
        return found;
    }

    // A shortcut pressed (or let go) in the session `session`.
    void shortcut(const QString& session, const QString& id, bool down) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kPortalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
            down ? QStringLiteral("Activated") : QStringLiteral("Deactivated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong{0}
               << QVariantMap();
        bus_.send(signal);
    }

    uint remoteVersion = 1;
    QStringList unbound;                // shortcut ids BindShortcuts leaves out
    std::map<QString, Answer> answers;  // by method; Grant where none is given
    int pointerDelayMs = 0;             // negative: pointer calls are never answered
    std::vector<Call> calls;

private:
    void reply(const QDBusMessage& message, const QVariantList& args) {
        bus_.send(message.createReply(args));
    }

    void answerRequest(const QDBusMessage& message) {
        const QString member = message.member();
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString path =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        const Answer answer = answers.count(member) != 0 ? answers.at(member) : Answer::Grant;
        if (answer == Answer::Error) {
            bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                               QStringLiteral("stand-in refuses")));
            return;
        }
        reply(message, {QVariant::fromValue(QDBusObjectPath(path))});
        if (answer == Answer::Silent) {
            return;
        }
        QVariantMap results;
        if (member == QLatin1String("CreateSession")) {
            results.insert(
                QStringLiteral("session_handle"),
                QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                    .arg(sender, options.value(QStringLiteral("session_handle_token")).toString()));
        } else if (member == QLatin1String("BindShortcuts") && answer != Answer::Refuse) {
            QList<PortalShortcut> bound;
            for (const PortalShortcut& entry :
                 qdbus_cast<QList<PortalShortcut>>(message.arguments().value(1))) {
                if (!unbound.contains(entry.id)) {
                    bound.push_back(entry);
                }
            }
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
        } else if (member == QLatin1String("Start")) {
            results.insert(QStringLiteral("devices"), 2U);
            const QList<StreamEntry> streams{{40,
                                              {{QStringLiteral("position"), QPoint(0, 0)},
                                               {QStringLiteral("size"), QSize(1280, 800)}}}};
            results.insert(QStringLiteral("streams"), QVariant::fromValue(streams));
        }
        QDBusMessage response =
            QDBusMessage::createSignal(path, kRequestInterface, QStringLiteral("Response"));
        response << static_cast<uint>(answer == Answer::Grant    ? 0
                                      : answer == Answer::Refuse ? 1
                                                                 : 2)
                 << results;
        bus_.send(response);
    }

    QDBusConnection bus_;
    int pointerUnanswered_ = 0;
};

// A private session bus, the stand-in on a connection of its own, and the client's connection.
class PortalTest : public testing::Test {
protected:
    void SetUp() override {
        qDBusRegisterMetaType<StreamEntry>();
        qDBusRegisterMetaType<QList<StreamEntry>>();
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        bus_ = std::make_unique<PrivateBus>();
        if (!bus_->up()) {
            GTEST_SKIP() << "dbus-daemon did not start";
        }
        portalBus_ = bus_->connect();
        portal_ = std::make_unique<StandInPortal>(portalBus_);
        ASSERT_TRUE(
            portalBus_.registerVirtualObject(kPortalPath, portal_.get(), QDBusConnection::SubPath));
        ASSERT_TRUE(portalBus_.registerService(kPortalService));
        client_ = std::make_unique<QDBusConnection>(bus_->connect());
        ASSERT_TRUE(client_->isConnected());
    }

    void TearDown() override {
        session_.reset();
        client_.reset();
        portalBus_.unregisterObject(kPortalPath);
        portal_.reset();
        bus_.reset();
    }

    static bool until(const std::function<bool()>& done) { return runUntil(done); }

    PortalSession& session() {
        session_ = std::make_unique<PortalSession>(*client_, QString(),
                                                   [] { return std::vector<QRect>{}; });
        return *session_;
    }

    // A session started against the stand-in; the outcome it heard.
    std::optional<Outcome> startSession() {
        session().start([this](Outcome outcome, const QString&) { outcome_ = outcome; });
        until([this] { return outcome_.has_value(); });
        return outcome_;
    }

    void leaveBus() { portalBus_.unregisterService(kPortalService); }

    std::unique_ptr<PrivateBus> bus_;
    QDBusConnection portalBus_{QString()};
    std::unique_ptr<StandInPortal> portal_;
    std::unique_ptr<QDBusConnection> client_;
    std::unique_ptr<PortalSession> session_;
    std::optional<Outcome> outcome_;
};

TEST_F(PortalTest, EachAnswerEndsTheRequestOnceAndFreesIt) {
    const struct {
        Answer answer;
        Outcome expected;
    } cases[] = {{Answer::Grant, Outcome::Granted},
                 {Answer::Refuse, Outcome::Refused},
                 {Answer::Fail, Outcome::Failed},
                 {Answer::Error, Outcome::Failed}};
    for (const auto& c : cases) {
        portal_->answers[QStringLiteral("CreateSession")] = c.answer;
        std::vector<Outcome> heard;
        QPointer<PortalRequest> request = PortalRequest::send(
            *client_, QStringLiteral("org.freedesktop.portal.RemoteDesktop"),
            QStringLiteral("CreateSession"), {}, {}, QStringLiteral("t%1").arg(int(c.answer)),
            nullptr, [&heard](Outcome outcome, const QVariantMap&, const QString&) {
                heard.push_back(outcome);
            });
        EXPECT_TRUE(until([&] { return request.isNull(); })) << int(c.answer);
        settle();
        EXPECT_EQ(heard, std::vector<Outcome>{c.expected}) << int(c.answer);
    }
}

TEST_F(PortalTest, ACancelledRequestIsClosedAndHearsNothing) {
    portal_->answers[QStringLiteral("CreateSession")] = Answer::Silent;
    bool heard = false;
    QPointer<PortalRequest> request = PortalRequest::send(
        *client_, QStringLiteral("org.freedesktop.portal.RemoteDesktop"),
        QStringLiteral("CreateSession"), {}, {}, QStringLiteral("c"), nullptr,
        [&heard](Outcome, const QVariantMap&, const QString&) { heard = true; });
    ASSERT_TRUE(until([this] { return !portal_->named(QStringLiteral("CreateSession")).empty(); }));
    Farewell farewell;
    farewell.add(request->cancel());
    farewell.wait(std::chrono::milliseconds(2000));
    EXPECT_TRUE(until([&] { return request.isNull(); }));
    EXPECT_EQ(portal_->named(QStringLiteral("Close")).size(), 1U);
    EXPECT_FALSE(heard);
}

TEST_F(PortalTest, TheWayOutClosesTheSessionAndWithdrawsARequestStillOpen) {
    ASSERT_EQ(startSession(), Outcome::Granted);
    Farewell farewell;
    session_->close(farewell);
    farewell.wait(std::chrono::milliseconds(2000));
    ASSERT_EQ(portal_->named(QStringLiteral("Close")).size(), 1U);  // the session's

    portal_->calls.clear();
    portal_->answers[QStringLiteral("SelectDevices")] = Answer::Silent;
    outcome_.reset();
    session().start([this](Outcome outcome, const QString&) { outcome_ = outcome; });
    ASSERT_TRUE(until([this] { return !portal_->named(QStringLiteral("SelectDevices")).empty(); }));
    Farewell again;
    session_->close(again);
    again.wait(std::chrono::milliseconds(2000));
    EXPECT_EQ(portal_->named(QStringLiteral("Close")).size(), 2U);  // the request's, the session's
    settle();
    EXPECT_FALSE(outcome_.has_value());
}

TEST_F(PortalTest, ThePortalLeavingTheBusWhileStartingFailsTheStart) {
    portal_->answers[QStringLiteral("Start")] = Answer::Silent;
    bool closed = false;
    session().onClosed([&closed] { closed = true; });
    session_->start([this](Outcome outcome, const QString&) { outcome_ = outcome; });
    ASSERT_TRUE(until([this] { return !portal_->named(QStringLiteral("Start")).empty(); }));
    leaveBus();
    ASSERT_TRUE(until([this] { return outcome_.has_value(); }));
    EXPECT_EQ(outcome_, Outcome::Closed);
    EXPECT_FALSE(closed);
}

TEST_F(PortalTest, ThePortalLeavingTheBusEndsAStartedSession) {
    ASSERT_EQ(startSession(), Outcome::Granted);
    bool closed = false;
    session_->onClosed([&closed] { closed = true; });
    leaveBus();
    ASSERT_TRUE(until([&closed] { return closed; }));
    EXPECT_FALSE(session_->active());
}

TEST_F(PortalTest, AButtonCallGoesOutOnlyOnceEveryCallBeforeItWasAnswered) {
    ASSERT_EQ(startSession(), Outcome::Granted);
    portal_->pointerDelayMs = 3;  // long enough for calls sent unanswered to meet there
    for (int beat = 0; beat < kMaxClicksPending; ++beat) {
        const int x = beat < 2 ? 100 : 200;  // the target moves once
        ASSERT_TRUE(session_->moveTo(x, 50));
        session_->button(true);
        session_->button(false);
    }
    ASSERT_TRUE(until([this] {
        return portal_->named(QStringLiteral("NotifyPointerButton")).size() ==
               2 * kMaxClicksPending;
    }));
    std::optional<QVariantList> lastMove;
    for (const auto& call : portal_->calls) {
        if (call.member == QLatin1String("NotifyPointerButton")) {
            EXPECT_EQ(call.unanswered, 0) << "a button call overtook an unanswered one";
        } else if (call.member == QLatin1String("NotifyPointerMotionAbsolute")) {
            // Only a move to where the last one went may travel alongside other calls.
            const QVariantList to = call.args.mid(2);  // node, x, y
            EXPECT_TRUE(call.unanswered == 0 || to == lastMove) << "a move overtook a click";
            lastMove = to;
        }
    }
    EXPECT_EQ(portal_->named(QStringLiteral("NotifyPointerMotionAbsolute")).size(),
              std::size_t{kMaxClicksPending});
}

TEST_F(PortalTest, AStalledPortalHoldsAtMostFourClicks) {
    ASSERT_EQ(startSession(), Outcome::Granted);
    portal_->pointerDelayMs = -1;  // nothing is answered
    int accepted = 0;
    for (int beat = 0; beat < 10; ++beat) {
        accepted += session_->moveTo(100, 50) ? 1 : 0;
        session_->button(true);
        session_->button(false);
    }
    settle();
    EXPECT_EQ(accepted, kMaxClicksPending);
    // The first move waits for its answer; nothing else has left.
    EXPECT_EQ(portal_->named(QStringLiteral("NotifyPointerMotionAbsolute")).size(), 1U);
    EXPECT_TRUE(portal_->named(QStringLiteral("NotifyPointerButton")).empty());
}

TEST_F(PortalTest, GlobalShortcutsSayWhichKeysTheyGotAndPassOnTheirOwnSessionsPresses) {
    const struct {
        Answer answer;
        QStringList unbound;
        QStringList missing;
    } cases[] = {{Answer::Grant, {}, {}},
                 {Answer::Grant, {QStringLiteral("run-f10")}, {QStringLiteral("F10")}},
                 // GNOME 48 answers 2 with the keys bound: what the answer lists counts.
                 {Answer::Fail, {}, {}},
                 {Answer::Refuse, {}, {"F7", "F10", "F12"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing.join(QLatin1Char(',')).toStdString());
        portal_->answers[QStringLiteral("BindShortcuts")] = c.answer;
        portal_->unbound = c.unbound;
        std::vector<std::pair<int, bool>> keys;
        GlobalShortcuts shortcuts(*client_,
                                  [&keys](int vk, bool down) { keys.emplace_back(vk, down); });
        std::optional<QStringList> missing;
        shortcuts.bind([&missing](Outcome, const QStringList& m) { missing = m; });
        ASSERT_TRUE(until([&missing] { return missing.has_value(); }));
        EXPECT_EQ(*missing, c.missing);
        QString sender = client_->baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString ours =
            QStringLiteral("/org/freedesktop/portal/desktop/session/%1/morvanekeys").arg(sender);
        portal_->shortcut(QStringLiteral("/org/freedesktop/portal/desktop/session/x/other"),
                          QStringLiteral("run-f10"), true);
        portal_->shortcut(ours, QStringLiteral("quit-f12"), true);
        portal_->shortcut(ours, QStringLiteral("quit-f12"), false);
        ASSERT_TRUE(until([&keys] { return keys.size() >= 2; }));
        settle();
        EXPECT_EQ(keys, (std::vector<std::pair<int, bool>>{{morvane::kVkF12, true},
                                                           {morvane::kVkF12, false}}));
        Farewell farewell;
        shortcuts.close(farewell);
        farewell.wait(std::chrono::milliseconds(2000));
    }
}

}  // namespace
}  // namespace morvane::wayland
