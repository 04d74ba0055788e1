// Sending a message from the main window: what reaches a listener of the
// test's own on 127.0.0.1, the boxes the user sees, the history and the
// window's state afterwards.
#include "sendwindowfixture.h"

#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Accepts connections and keeps what each one carried once it has closed.
class Listener : public QObject
{
public:
    Listener()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    // Like a receiver that takes what came and hangs up.
                    if (hangUpOnData)
                        socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    payloads.append(*buffer);
                    socket->deleteLater();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    // Payloads that carried data (a connection closed before it sent
    // anything leaves an empty one).
    QList<QByteArray> nonEmpty() const
    {
        QList<QByteArray> result;
        for (const QByteArray &payload : payloads) {
            if (!payload.isEmpty())
                result.append(payload);
        }
        return result;
    }

    QList<QByteArray> payloads;
    bool hangUpOnData = false;

private:
    QTcpServer m_server;
};

// A port on 127.0.0.1 where nothing listens.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// The payload of a message from "bob", reply port 505.
QByteArray FromBob(const QByteArray &text)
{
    return QByteArrayLiteral("bob\0"
                             "505\0") +
           text;
}

} // namespace

class TestSending : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        f.emplace();
        m_listener = std::make_unique<Listener>();
        f->store.save(u"Identification"_s, u"MyUsername"_s, u"bob"_s);
        f->store.save(u"Identification"_s, u"MyPortnb"_s, u"505"_s);
        f->writeUsers({{u"alice"_s, u"127.0.0.1"_s, m_listener->port(), 1}});
    }

    void cleanup()
    {
        f.reset();
        m_listener.reset();
    }

    void sendDelivers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("shiftEnter");
        QTest::addColumn<bool>("options"); // pop-up and minimise after a send
        QTest::addColumn<QByteArray>("sent");

        QTest::newRow("plain") << u"hi"_s << false << true << QByteArray("hi");
        QTest::newRow("empty field") << QString() << false << true << QByteArray();
        QTest::newRow("line breaks travel as CR LF")
            << u"a\nb\n"_s << false << true << QByteArray("a\r\nb\r\n");
        QTest::newRow("western accents in one byte each")
            << u"caf\u00e9"_s << false << true << QByteArray("caf\xe9");
        QTest::newRow("Shift+Enter sends a line break and keeps the window")
            << u"hello"_s << true << true << QByteArray("hello\r\n");
        QTest::newRow("options off show nothing and keep the window")
            << u"quiet"_s << false << false << QByteArray("quiet");
    }

    void sendDelivers()
    {
        QFETCH(QString, typed);
        QFETCH(bool, shiftEnter);
        QFETCH(bool, options);
        QFETCH(QByteArray, sent);
        if (!options) {
            f->store.save(u"Settings"_s, u"PopupWhenSend"_s, u"False"_s);
            f->store.save(u"Settings"_s, u"MinimizedWhenSend"_s, u"False"_s);
        }
        f->form = f->makeForm();
        if (shiftEnter) {
            QTest::keyClicks(text1(), typed);
            QTest::keyClick(text1(), Qt::Key_Return, Qt::ShiftModifier);
        } else {
            text1()->setPlainText(typed);
            QTest::mouseClick(button("Command1"), Qt::LeftButton);
            QVERIFY(!button("Command1")->isEnabled());
        }

        QTRY_COMPARE(m_listener->payloads.size(), 1);
        QCOMPARE(m_listener->payloads.first(), FromBob(sent));
        QTRY_VERIFY(text1()->toPlainText().isEmpty());
        if (options) {
            QCOMPARE(f->boxes.size(), 1);
            QCOMPARE(f->boxes.first().title, u"Message Send!!"_s);
            QCOMPARE(f->boxes.first().text, u"Sucessful Message Send to: alice (127.0.0.1)"_s);
            // The box comes once the connection is done with, so the
            // recipient never waits for the sender's user to close it.
            QVERIFY(!f->boxes.first().connectionOpen);
        } else {
            QVERIFY(f->boxes.isEmpty());
        }
        QCOMPARE(f->form->messageSender()->state(), MessageSender::State::Idle);
        QVERIFY(button("Command1")->isEnabled());
        QCOMPARE(f->form->isMinimized(), options && !shiftEnter);
        // The history holds the text as it was when the send started.
        QCOMPARE(f->form->messageHistory(), (QStringList{QString(), typed}));
        QCOMPARE(f->form->historyPosition(), 1);
        QVERIFY(!f->form->sentByEnter());
    }

    void secondRecipientGetsMessage()
    {
        Listener other;
        f->writeUsers({{u"alice"_s, u"127.0.0.1"_s, m_listener->port(), 1},
                       {u"carol"_s, u"127.0.0.1"_s, other.port(), 2}});
        f->form = f->makeForm();
        f->combo1()->setCurrentIndex(1);
        text1()->setPlainText(u"for carol"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);

        QTRY_COMPARE(other.payloads.size(), 1);
        QCOMPARE(other.payloads.first(), FromBob("for carol"));
        QVERIFY(m_listener->payloads.isEmpty());
        QCOMPARE(f->boxes.size(), 1);
        QCOMPARE(f->boxes.first().text, u"Sucessful Message Send to: carol (127.0.0.1)"_s);
    }

    void failuresShowWinsockError_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("selectNothing");
        QTest::addColumn<QString>("describes");

        QTest::newRow("refused") << u"127.0.0.1"_s << static_cast<int>(ClosedPort()) << false << u"refused"_s;
        QTest::newRow("not an address") << u"10.0.0"_s << 505 << false << u"10.0.0"_s;
        QTest::newRow("a host name is not looked up") << u"localhost"_s << 505 << false << u"IPv4"_s;
        QTest::newRow("part above 255") << u"10.0.0.256"_s << 505 << false << u"IPv4"_s;
        QTest::newRow("port 0") << u"127.0.0.1"_s << 0 << false << u"port"_s;
        QTest::newRow("port above range") << u"127.0.0.1"_s << 70000 << false << u"port"_s;
        QTest::newRow("nothing selected") << u"127.0.0.1"_s << 505 << true << u"selected"_s;
    }

    void failuresShowWinsockError()
    {
        QFETCH(QString, ip);
        QFETCH(int, port);
        QFETCH(bool, selectNothing);
        QFETCH(QString, describes);
        f->writeUsers({{u"dave"_s, ip, port, 1}});
        f->form = f->makeForm();
        if (selectNothing)
            f->combo1()->setCurrentIndex(-1);
        text1()->setPlainText(u"keep me"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);

        QTRY_COMPARE(f->boxes.size(), 1);
        QCOMPARE(f->boxes.first().title, u"Error"_s);
        QVERIFY2(f->boxes.first().text.startsWith(u"Winsock Error: "_s), qPrintable(f->boxes.first().text));
        QVERIFY2(f->boxes.first().text.contains(describes, Qt::CaseInsensitive),
                 qPrintable(f->boxes.first().text));
        QCOMPARE(text1()->toPlainText(), u"keep me"_s);
        QVERIFY(button("Command1")->isEnabled());
        QCOMPARE(f->form->messageHistory().last(), u"keep me"_s);
        QCOMPARE(f->form->messageSender()->state(), MessageSender::State::Idle);
        QVERIFY(!f->form->isMinimized());
    }

    void stopEndsSendSilently()
    {
        f->form = f->makeForm();
        // Stop with nothing under way changes nothing.
        QTest::mouseClick(button("StopSend"), Qt::LeftButton);
        QVERIFY(button("Command1")->isEnabled());

        text1()->setPlainText(u"never mind"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(f->form->messageSender()->state(), MessageSender::State::Connecting);
        QTest::mouseClick(button("StopSend"), Qt::LeftButton);
        QCOMPARE(f->form->messageSender()->state(), MessageSender::State::Idle);
        QVERIFY(button("Command1")->isEnabled());
        QCOMPARE(text1()->toPlainText(), u"never mind"_s);

        // The stopped attempt reports nothing later; the next send is the only
        // one that arrives and the only one that shows a box.
        text1()->setPlainText(u"this one"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QTRY_COMPARE(m_listener->nonEmpty().size(), 1);
        QCOMPARE(m_listener->nonEmpty().first(), FromBob("this one"));
        QTRY_COMPARE(f->boxes.size(), 1);
        QCOMPARE(f->boxes.first().title, u"Message Send!!"_s);
    }

    void secondSendReplacesFirst()
    {
        f->form = f->makeForm();
        text1()->setPlainText(u"first"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        // Shift+Enter reaches the send while the button is disabled.
        QTest::keyClick(text1(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(text1(), Qt::Key_Return, Qt::ShiftModifier);

        QTRY_COMPARE(f->boxes.size(), 1);
        QTRY_COMPARE(m_listener->nonEmpty().size(), 1);
        QCOMPARE(m_listener->nonEmpty().first(), FromBob("first\r\n"));
        QCOMPARE(f->form->messageHistory(), (QStringList{QString(), u"first"_s, u"first"_s}));
        QVERIFY(button("Command1")->isEnabled());
    }

    void oversizeMessageIsRefused()
    {
        f->form = f->makeForm();
        // One byte more than a receiver takes as one message.
        const QString text(65536, u'x');
        text1()->setPlainText(text);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);

        QTRY_COMPARE(f->boxes.size(), 1);
        QCOMPARE(f->boxes.first().title, u"Error"_s);
        QVERIFY(f->boxes.first().text.startsWith(u"Winsock Error: The message is too long"_s));
        QCOMPARE(text1()->toPlainText(), text);
        QVERIFY(button("Command1")->isEnabled());
        QTRY_COMPARE(m_listener->payloads.size(), 1);
        QVERIFY(m_listener->nonEmpty().isEmpty());
    }

    void recipientHangingUpDuringNoticeIsNoError()
    {
        m_listener->hangUpOnData = true;
        f->form = f->makeForm();
        // While the success notice is open, the recipient closes its end and the
        // socket learns of it: that is how a delivery ends, not an error.
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            f->boxes.append({title, text, true});
            if (title != u"Message Send!!")
                return;
            const QPointer<QTcpSocket> socket = f->form->messageSender()->findChild<QTcpSocket *>();
            QVERIFY(socket);
            QTRY_VERIFY(!socket || socket->state() != QAbstractSocket::ConnectedState);
        });
        text1()->setPlainText(u"bye"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);

        QTRY_COMPARE(m_listener->payloads.size(), 1);
        QCOMPARE(m_listener->payloads.first(), FromBob("bye"));
        QTRY_VERIFY(button("Command1")->isEnabled());
        QCOMPARE(f->boxes.size(), 1);
        QCOMPARE(f->boxes.first().title, u"Message Send!!"_s);
    }

    void recipientHasItAllWhileTheNoticeIsOpen()
    {
        setMessageHandler({}); // the real box
        f->form = f->makeForm();
        text1()->setPlainText(u"now"_s);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QPointer<QMessageBox> box;
        QTRY_VERIFY((box = f->form->findChild<QMessageBox *>()) && box->isVisible());
        QCOMPARE(box->windowTitle(), u"Message Send!!"_s);
        // The recipient reads until the sender closes: it has the whole
        // message, ended, while the box still waits for the user.
        QTRY_COMPARE(m_listener->payloads, QList<QByteArray>{FromBob("now")});
        QVERIFY(box->isVisible());
        box->close();
    }

private:
    QPlainTextEdit *text1() const { return f->text1(); }
    QPushButton *button(const char *name) const { return f->button(name); }

    std::optional<SenderFormFixture> f;
    std::unique_ptr<Listener> m_listener;
};

QTEST_MAIN(TestSending)
#include "test_sending.moc"
