// Sending a message from the main window: what reaches a listener of the
// test's own on 127.0.0.1, the boxes the user sees, the history and the
// window's state afterwards.
#include "messagebox.h"
#include "messagesender.h"
#include "sendersettings.h"
#include "sendform.h"
#include "settingsstore.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

struct Box
{
    QString title;
    QString text;
    bool connectionOpen = false;
};

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

// The bytes of a literal, NULs included.
template <std::size_t N> QByteArray Bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

} // namespace

class TestSending : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sendButtonDeliversPayload_data();
    void sendButtonDeliversPayload();
    void shiftEnterSendsLineBreakAndKeepsWindow();
    void optionsOffShowNothingAndKeepWindow();
    void secondRecipientGetsMessage();
    void failuresShowWinsockError_data();
    void failuresShowWinsockError();
    void stopEndsSendSilently();
    void secondSendReplacesFirst();
    void oversizeMessageIsRefused();
    void recipientHangingUpDuringNoticeIsNoError();

private:
    void writeUsers(const QList<UserRecord> &users);
    std::unique_ptr<SendForm> makeForm();
    QPlainTextEdit *text1() const { return m_form->findChild<QPlainTextEdit *>(QStringLiteral("Text1")); }
    QPushButton *button(const char *name) const
    {
        return m_form->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QComboBox *combo1() const { return m_form->findChild<QComboBox *>(QStringLiteral("Combo1")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    SenderSettings m_settings;
    std::unique_ptr<Listener> m_listener;
    std::unique_ptr<SendForm> m_form;
    QList<Box> m_boxes;
};

void TestSending::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store =
        std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(QStringLiteral("q.ini"))));
    m_settings = SenderSettings();
    m_listener = std::make_unique<Listener>();
    m_boxes.clear();
    SetMessageHandler([this](QWidget *, const QString &title, const QString &text) {
        const bool open = m_form && m_form->Winsock1()->state() == MessageSender::State::Delivered;
        m_boxes.append({title, text, open});
    });
    m_store->save(QStringLiteral("Identification"), QStringLiteral("MyUsername"), QStringLiteral("bob"));
    m_store->save(QStringLiteral("Identification"), QStringLiteral("MyPortnb"), QStringLiteral("505"));
    writeUsers({{QStringLiteral("alice"), QStringLiteral("127.0.0.1"), m_listener->port(), 1}});
}

void TestSending::cleanup()
{
    m_form.reset();
    SetMessageHandler({});
    m_listener.reset();
    m_store.reset();
    m_dir.reset();
}

void TestSending::writeUsers(const QList<UserRecord> &users)
{
    UserList list;
    for (const UserRecord &user : users)
        list.append(user);
    QVERIFY(SaveUserList(*m_store, list));
}

std::unique_ptr<SendForm> TestSending::makeForm()
{
    auto form = std::make_unique<SendForm>(*m_store, m_settings);
    form->show();
    return form;
}

void TestSending::sendButtonDeliversPayload_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QStringLiteral("hi")
                           << Bytes("bob\0"
                                    "505\0"
                                    "hi");
    QTest::newRow("empty field") << QString()
                                 << Bytes("bob\0"
                                          "505\0");
    QTest::newRow("line breaks travel as CR LF") << QStringLiteral("a\nb\n")
                                                 << Bytes("bob\0"
                                                          "505\0"
                                                          "a\r\nb\r\n");
    QTest::newRow("western accents in one byte each") << QStringLiteral("caf\u00e9")
                                                      << Bytes("bob\0"
                                                               "505\0"
                                                               "caf\xe9");
}

void TestSending::sendButtonDeliversPayload()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);
    m_form = makeForm();
    text1()->setPlainText(typed);

    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QVERIFY(!button("Command1")->isEnabled());

    QTRY_COMPARE(m_listener->payloads.size(), 1);
    QCOMPARE(m_listener->payloads.first(), expected);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("Message Send!!"));
    QCOMPARE(m_boxes.first().text, QStringLiteral("Sucessful Message Send to: alice (127.0.0.1)"));
    // The box comes while the connection is still up; it closes afterwards.
    QVERIFY(m_boxes.first().connectionOpen);
    QCOMPARE(m_form->Winsock1()->state(), MessageSender::State::Idle);
    QVERIFY(text1()->toPlainText().isEmpty());
    QVERIFY(button("Command1")->isEnabled());
    QVERIFY(m_form->isMinimized());
    QCOMPARE(m_form->MsgHistory(), (QStringList{QString(), typed}));
    QCOMPARE(m_form->MsgHistoryPos(), 1);
    QVERIFY(!m_form->SendByEnter());
}

void TestSending::shiftEnterSendsLineBreakAndKeepsWindow()
{
    m_form = makeForm();
    QTest::keyClicks(text1(), QStringLiteral("hello"));
    QTest::keyClick(text1(), Qt::Key_Return, Qt::ShiftModifier);

    QTRY_COMPARE(m_listener->payloads.size(), 1);
    QCOMPARE(m_listener->payloads.first(), Bytes("bob\0"
                                                 "505\0"
                                                 "hello\r\n"));
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(!m_form->isMinimized());
    QVERIFY(!m_form->SendByEnter());
    // The history holds the text as it was when the key was pressed.
    QCOMPARE(m_form->MsgHistory().last(), QStringLiteral("hello"));
}

void TestSending::optionsOffShowNothingAndKeepWindow()
{
    m_store->save(QStringLiteral("Settings"), QStringLiteral("PopupWhenSend"), QStringLiteral("False"));
    m_store->save(QStringLiteral("Settings"), QStringLiteral("MinimizedWhenSend"), QStringLiteral("False"));
    m_form = makeForm();
    text1()->setPlainText(QStringLiteral("quiet"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);

    QTRY_VERIFY(text1()->toPlainText().isEmpty());
    QTRY_COMPARE(m_listener->payloads.size(), 1);
    QCOMPARE(m_listener->payloads.first(), Bytes("bob\0"
                                                 "505\0"
                                                 "quiet"));
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(!m_form->isMinimized());
    QVERIFY(button("Command1")->isEnabled());
}

void TestSending::secondRecipientGetsMessage()
{
    Listener other;
    writeUsers({{QStringLiteral("alice"), QStringLiteral("127.0.0.1"), m_listener->port(), 1},
                {QStringLiteral("carol"), QStringLiteral("127.0.0.1"), other.port(), 2}});
    m_form = makeForm();
    combo1()->setCurrentIndex(1);
    text1()->setPlainText(QStringLiteral("for carol"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);

    QTRY_COMPARE(other.payloads.size(), 1);
    QCOMPARE(other.payloads.first(), Bytes("bob\0"
                                           "505\0"
                                           "for carol"));
    QVERIFY(m_listener->payloads.isEmpty());
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().text, QStringLiteral("Sucessful Message Send to: carol (127.0.0.1)"));
}

void TestSending::failuresShowWinsockError_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("selectNothing");
    QTest::addColumn<QString>("describes");

    QTest::newRow("refused") << QStringLiteral("127.0.0.1") << static_cast<int>(ClosedPort()) << false
                             << QStringLiteral("refused");
    QTest::newRow("not an address") << QStringLiteral("10.0.0") << 505 << false << QStringLiteral("10.0.0");
    QTest::newRow("a host name is not looked up")
        << QStringLiteral("localhost") << 505 << false << QStringLiteral("IPv4");
    QTest::newRow("part above 255") << QStringLiteral("10.0.0.256") << 505 << false << QStringLiteral("IPv4");
    QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << 0 << false << QStringLiteral("port");
    QTest::newRow("port above range")
        << QStringLiteral("127.0.0.1") << 70000 << false << QStringLiteral("port");
    QTest::newRow("nothing selected")
        << QStringLiteral("127.0.0.1") << 505 << true << QStringLiteral("selected");
}

void TestSending::failuresShowWinsockError()
{
    QFETCH(QString, ip);
    QFETCH(int, port);
    QFETCH(bool, selectNothing);
    QFETCH(QString, describes);
    writeUsers({{QStringLiteral("dave"), ip, port, 1}});
    m_form = makeForm();
    if (selectNothing)
        combo1()->setCurrentIndex(-1);
    text1()->setPlainText(QStringLiteral("keep me"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);

    QTRY_COMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("Error"));
    QVERIFY2(m_boxes.first().text.startsWith(QStringLiteral("Winsock Error: ")),
             qPrintable(m_boxes.first().text));
    QVERIFY2(m_boxes.first().text.contains(describes, Qt::CaseInsensitive), qPrintable(m_boxes.first().text));
    QCOMPARE(text1()->toPlainText(), QStringLiteral("keep me"));
    QVERIFY(button("Command1")->isEnabled());
    QCOMPARE(m_form->MsgHistory().last(), QStringLiteral("keep me"));
    QCOMPARE(m_form->Winsock1()->state(), MessageSender::State::Idle);
    QVERIFY(!m_form->isMinimized());
}

void TestSending::stopEndsSendSilently()
{
    m_form = makeForm();
    // Stop with nothing under way changes nothing.
    QTest::mouseClick(button("StopSend"), Qt::LeftButton);
    QVERIFY(button("Command1")->isEnabled());

    text1()->setPlainText(QStringLiteral("never mind"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QCOMPARE(m_form->Winsock1()->state(), MessageSender::State::Connecting);
    QTest::mouseClick(button("StopSend"), Qt::LeftButton);
    QCOMPARE(m_form->Winsock1()->state(), MessageSender::State::Idle);
    QVERIFY(button("Command1")->isEnabled());
    QCOMPARE(text1()->toPlainText(), QStringLiteral("never mind"));

    // The stopped attempt reports nothing later; the next send is the only
    // one that arrives and the only one that shows a box.
    text1()->setPlainText(QStringLiteral("this one"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QTRY_COMPARE(m_listener->nonEmpty().size(), 1);
    QCOMPARE(m_listener->nonEmpty().first(), Bytes("bob\0"
                                                   "505\0"
                                                   "this one"));
    QTRY_COMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("Message Send!!"));
}

void TestSending::secondSendReplacesFirst()
{
    m_form = makeForm();
    text1()->setPlainText(QStringLiteral("first"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    // Shift+Enter reaches the send while the button is disabled.
    QTest::keyClick(text1(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(text1(), Qt::Key_Return, Qt::ShiftModifier);

    QTRY_COMPARE(m_boxes.size(), 1);
    QTRY_COMPARE(m_listener->nonEmpty().size(), 1);
    QCOMPARE(m_listener->nonEmpty().first(), Bytes("bob\0"
                                                   "505\0"
                                                   "first\r\n"));
    QCOMPARE(m_form->MsgHistory(),
             (QStringList{QString(), QStringLiteral("first"), QStringLiteral("first")}));
    QVERIFY(button("Command1")->isEnabled());
}

void TestSending::recipientHangingUpDuringNoticeIsNoError()
{
    m_listener->hangUpOnData = true;
    m_form = makeForm();
    // While the success notice is open, the recipient closes its end and the
    // socket learns of it: that is how a delivery ends, not an error.
    SetMessageHandler([this](QWidget *, const QString &title, const QString &text) {
        m_boxes.append({title, text, true});
        if (title != u"Message Send!!")
            return;
        const QPointer<QTcpSocket> socket = m_form->Winsock1()->findChild<QTcpSocket *>();
        QVERIFY(socket);
        QTRY_VERIFY(!socket || socket->state() != QAbstractSocket::ConnectedState);
    });
    text1()->setPlainText(QStringLiteral("bye"));
    QTest::mouseClick(button("Command1"), Qt::LeftButton);

    QTRY_COMPARE(m_listener->payloads.size(), 1);
    QCOMPARE(m_listener->payloads.first(), Bytes("bob\0"
                                                 "505\0"
                                                 "bye"));
    QTRY_VERIFY(button("Command1")->isEnabled());
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("Message Send!!"));
}

void TestSending::oversizeMessageIsRefused()
{
    m_form = makeForm();
    // One byte more than a receiver takes as one message.
    const QString text(65536, u'x');
    text1()->setPlainText(text);
    QTest::mouseClick(button("Command1"), Qt::LeftButton);

    QTRY_COMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().title, QStringLiteral("Error"));
    QVERIFY(m_boxes.first().text.startsWith(QStringLiteral("Winsock Error: The message is too long")));
    QCOMPARE(text1()->toPlainText(), text);
    QVERIFY(button("Command1")->isEnabled());
    QTRY_COMPARE(m_listener->payloads.size(), 1);
    QVERIFY(m_listener->nonEmpty().isEmpty());
}

QTEST_MAIN(TestSending)
#include "test_sending.moc"
