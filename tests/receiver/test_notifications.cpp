// Desktop notifications, against a stand-in notification server on a bus of
// the test's own: one per message with the sender line and the start of the
// text (markup escaped), "Open" shows a window kept back for it, "Reply"
// hands the sender to Quillpost; without a server the window shows as ever.
#include "desktopnotifier.h"
#include "localendpoint.h"
#include "logcapture.h"
#include "notificationstandin.h"
#include "privatebus.h"
#include "receivertesthelpers.h"
#include "replyrecord.h"
#include "replytosender.h"

#include <QDBusConnection>
#include <QLoggingCategory>
#include <QSignalSpy>

namespace {
constexpr int kWaitMs = 10000;
}

class TestNotifications : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(!m_bus.address().isEmpty());
        // Before the first use of the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toUtf8());
    }

    void notificationPerMessage_data()
    {
        QTest::addColumn<MessageAlert>("alert");
        QTest::newRow("window and notification") << MessageAlert::Both;
        QTest::newRow("notification: window kept back") << MessageAlert::Notification;
    }
    void notificationPerMessage()
    {
        QFETCH(MessageAlert, alert);
        StandIn standIn;
        Receiver r({0}, true);
        r.settings.messageAlert = alert;
        QTRY_VERIFY_WITH_TIMEOUT(r.form->notifier()->isAvailable(), kWaitMs);
        QVERIFY(SendPayload(r.port(), Bars("bob|6000|Tom & Jerry <b>")));
        QVERIFY(SendPayload(r.port(), Bars("bob|6000|again")));
        QTRY_COMPARE_WITH_TIMEOUT(standIn.calls.size(), 2, kWaitMs);
        const QString line = u"bob (127.0.0.1 Port:%1) Send:"_s.arg(r.port());
        const QStringList actions{u"open"_s, u"Open"_s, u"reply"_s, u"Reply"_s};
        // The body's first line says the text came unencrypted.
        QCOMPARE(standIn.calls[0],
                 QStringList({line, u"not encrypted\nTom &amp; Jerry &lt;b&gt;"_s}) + actions);
        QCOMPARE(standIn.calls[1], QStringList({line, u"not encrypted\nagain"_s}) + actions);
        QCOMPARE(r.windows().size(), 1);
        MessageWindow *window = r.windows().first();
        QCOMPARE(window->messages().size(), 2);
        QCOMPARE(window->isVisible(), alert == MessageAlert::Both);

        emit standIn.ActionInvoked(101, u"open"_s);
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), kWaitMs);

        // "Reply" hands the sender to the window captioned "Send Message",
        // then the activation token the server sent with the action, which
        // lets that window come forward (a token that cannot be one is
        // dropped).
        LocalEndpoint sendWindow(kSendEndpointName);
        QVERIFY(sendWindow.listen());
        QSignalSpy records(&sendWindow, &LocalEndpoint::copyDataReceived);
        QSignalSpy forward(&sendWindow, &LocalEndpoint::bringToFrontRequested);
        emit standIn.ActivationToken(102, u"tok en"_s);
        emit standIn.ActivationToken(102, u"quill-token-1"_s);
        emit standIn.ActionInvoked(102, u"reply"_s);
        QVERIFY(records.wait(kWaitMs));
        QCOMPARE(records[0][0].toUInt(), kReplyRecordKind);
        QCOMPARE(records[0][1].toByteArray(), Bars("bob|127.0.0.1|6000||"));
        QTRY_COMPARE_WITH_TIMEOUT(forward.size(), 1, kWaitMs);
        QCOMPARE(forward[0][0].toString(), u"quill-token-1"_s);
        // Through the window's own "Reply", so that it closes as after a click.
        QVERIFY(window->findChild<ReplyToSender *>());
    }

    // Without a server the window shows, and quill.notify says why.
    void withoutServerTheWindowShows()
    {
        QLoggingCategory::setFilterRules(u"quill.notify=true"_s);
        const LogCapture log("quill.notify");
        Receiver r({0}, true);
        r.settings.messageAlert = MessageAlert::Notification;
        QVERIFY(SendPayload(r.port(), Bars("ann|6000|hello")));
        QTRY_COMPARE_WITH_TIMEOUT(r.windows().size(), 1, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(r.windows().first()->isVisible(), kWaitMs);
        QVERIFY(!r.form->notifier()->isAvailable());
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(
            log.lines().filter(u"GetCapabilities failed: org.freedesktop.DBus.Error.ServiceUnknown"_s).size(),
            1);
    }

private:
    PrivateBus m_bus;
};

QTEST_MAIN(TestNotifications)
#include "moc_notificationstandin.cpp"
#include "test_notifications.moc"
