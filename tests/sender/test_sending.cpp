// Sending from the main window: the bytes that reach a listener of the
// test's own on 127.0.0.1, the boxes the user sees, Stop, and the history.
#include "bars.h"
#include "messagesender.h"
#include "quillposttest.h"
#include "recipientsdialog.h"

#include "wireformat.h"
#include <QListWidget>

#include "listeners.h"

class TestSending : public QObject
{
    Q_OBJECT

    Listeners m_to;
    std::optional<SendWindowFixture> f;

    void send(const QString &text)
    {
        f->field()->setPlainText(text);
        Click(f->form.get(), u"Command1"_s);
    }

private slots:
    void initTestCase() { QVERIFY(m_to.listen()); }

    void init()
    {
        m_to.received.clear();
        f.emplace(UserRecord{u"alice"_s, u"127.0.0.1"_s, m_to.alice.serverPort(), 1});
        f->store.save(u"Identification"_s, u"MyUsername"_s, u"bob"_s);
        QVERIFY(f->open());
        f->form->sendController()->messageSender()->setConfirmWait(200);
    }

    void sends_data()
    {
        // A text that ends in a line break is typed, and Shift+Enter sends it.
        QTest::addColumn<QString>("typed");
        // To [ip:]port, 127.0.0.1 when no ip is given; A: alice's port, N: one where nobody listens,
        // R: a recipient that resets after reading, C: one that answers but never closes, S: one that never
        // answers.
        QTest::addColumn<QString>("to");
        QTest::addColumn<QByteArray>("sent"); // what the recipient gets
        QTest::addColumn<QString>("box");
        const QString done = u"Message Send!!: Sucessful Message Send to: alice (127.0.0.1)"_s;
        const QString error = u"Error: Winsock Error: "_s;
        const QString tooLong = error + u"The message is too long to send (at most 65536 bytes)"_s;
        const QString full(kMaxPayloadBytes - 8, u'x'); // the room after "bob", NUL, "505", NUL
        QTest::newRow("Send") << u"hi"_s << u"A"_s << QByteArray::fromHex("626f6200353035006869") << done;
        QTest::newRow("Shift+Enter") << u"hi\n"_s << u"A"_s << Bars("bob|505|hi\r\n") << done;
        QTest::newRow("65,536 bytes") << full << u"A"_s << Bars("bob|505|") + full.toLatin1() << done;
        QTest::newRow("one byte more") << full + u'x' << u"A"_s << QByteArray() << tooLong;
        QTest::newRow("reset") << u"hi"_s << u"R"_s << QByteArray() << error + u"Connection reset by peer"_s;
        QTest::newRow("no answer")
            << u"hi"_s << u"S"_s << QByteArray()
            << u"Warning: Message sent to: alice (127.0.0.1), but not confirmed: no answer "
               "from the recipient within 0.2 s"_s;
        QTest::newRow("answer, no close")
            << u"hi"_s << u"C"_s << QByteArray()
            << u"Warning: Message sent to: alice (127.0.0.1), but not confirmed: no answer "
               "from the recipient within 0.2 s"_s;
        QTest::newRow("refused") << u"hi"_s << u"N"_s << QByteArray() << error + u"Connection refused"_s;
        QTest::newRow("short address")
            << u"hi"_s << u"127.1:A"_s << QByteArray()
            << error + u"The address \"127.1\" is not a valid IPv4 or IPv6 address or host name"_s;
        QTest::newRow("port 0") << u"hi"_s << u"0"_s << QByteArray()
                                << error + u"The port 0 is not a valid port (1 to 65535)"_s;
    }

    void sends()
    {
        QFETCH(QString, typed);
        QFETCH(QString, to);
        QFETCH(QByteArray, sent);
        QFETCH(QString, box);
        const QString port = to.section(u':', -1);
        f->settings.userList[1].ip = to.contains(u':') ? to.section(u':', 0, 0) : u"127.0.0.1"_s;
        const QMap<QString, quint16> ports{{u"A"_s, m_to.alice.serverPort()},
                                           {u"N"_s, m_to.nobody.localPort()},
                                           {u"R"_s, m_to.reset.serverPort()},
                                           {u"S"_s, m_to.silent.serverPort()},
                                           {u"C"_s, m_to.chatty.serverPort()}};
        f->settings.userList[1].port = ports.value(port, static_cast<quint16>(port.toInt()));
        bool endedFirst = false; // a box never holds the recipient up: the connection ends before it
        setMessageHandler([&](QWidget *, const QString &title, const QString &text) {
            endedFirst = f->form->sendController()->messageSender()->state() == MessageSender::State::Idle;
            f->boxes << title + u": "_s + text;
        });
        if (typed.endsWith(u'\n')) {
            typed.chop(1);
            QTest::keyClicks(f->field(), typed);
            QTest::keyClick(f->field(), Qt::Key_Return, Qt::ShiftModifier);
        } else {
            send(typed);
        }
        QTRY_COMPARE(f->boxes, QStringList{box});
        QVERIFY(endedFirst);
        QTRY_COMPARE(m_to.received.join(), sent);
        QCOMPARE(f->field()->toPlainText(), sent.isEmpty() ? typed : QString());
        QCOMPARE(f->form->sendController()->sentTexts().texts(), (QStringList{QString(), typed}));
        // Down after a send, unless Shift+Enter sent it.
        QCOMPARE(f->form->isMinimized(), !sent.isEmpty() && !sent.endsWith('\n'));
        QVERIFY(f->form->findChild<QPushButton *>(u"Command1"_s)->isEnabled());
    }

    void stopThenSendAgain()
    {
        send(u"stopped"_s);
        QCOMPARE(f->form->sendController()->messageSender()->state(), MessageSender::State::Connecting);
        Click(f->form.get(), u"StopSend"_s);
        QCOMPARE(f->form->sendController()->messageSender()->state(), MessageSender::State::Idle);
        QVERIFY(f->form->findChild<QPushButton *>(u"Command1"_s)->isEnabled());
        // The stopped one reports nothing, and the next one alone arrives.
        send(u"last"_s);
        QTRY_COMPARE(m_to.received.join(), Bars("bob|505|last"));
        QCOMPARE(f->boxes, QStringList{u"Message Send!!: Sucessful Message Send to: alice (127.0.0.1)"_s});
    }

    void severalRecipients()
    {
        UserList &users = f->settings.userList;
        for (const auto &[name, port] : {std::pair{u"carol"_s, m_to.reset.serverPort()},
                                         {u"dave"_s, m_to.silent.serverPort()},
                                         {u"erin"_s, m_to.nobody.localPort()},
                                         {u"frank"_s, m_to.fullPort}})
            users.append({name, u"127.0.0.1"_s, port, 0});
        users.append({u"gina"_s, u"255.255.255.255"_s, 505, 0}); // refused inside the connect, sends nothing
        f->settings.groups = {{u"pair"_s, {u"alice"_s, u"ghost"_s}}};
        f->form->sendController()->messageFanout()->setConfirmWait(200);
        f->form->sendController()->messageFanout()->setConnectWait(200);
        f->field()->setPlainText(u"all"_s);
        // Everything chosen with the keyboard: the group and the users, alice twice.
        QTimer::singleShot(0, this, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(qobject_cast<RecipientsDialog *>(dialog));
            QTest::keyClick(dialog->findChild<QListWidget *>(u"recipientList"_s), Qt::Key_A,
                            Qt::ControlModifier);
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        Click(f->form.get(), u"SendSeveral"_s);
        QTRY_COMPARE(f->boxes,
                     QStringList{u"Warning: Delivered to 1 of 7 recipients.\nDelivered: alice\n"
                                 "Not delivered: ghost (not in the user list), carol (Connection reset by "
                                 "peer), dave (not confirmed: no answer from the recipient within 0.2 s), "
                                 "erin (Connection refused), frank (no connection within 0.2 s), gina "
                                 "(Network unreachable)"_s});
        QCOMPARE(m_to.received.join(), Bars("bob|505|all"));
        QCOMPARE(f->field()->toPlainText(), u"all"_s);
        QVERIFY(f->form->findChild<QPushButton *>(u"Command1"_s)->isEnabled());
    }

    void historyKeys()
    {
        f->settings.userList[1].ip = u"b@d"_s; // sends that fail at once still fill the history
        for (int i = 1; i <= 12; ++i)
            send(QString::number(i));
        QCOMPARE(f->form->sendController()->sentTexts().texts().join(u' '),
                 u" 3 4 5 6 7 8 9 10 11 12"_s); // the ten newest
        // Shift+Up and Shift+Down browse it, and stop at the newest.
        QTest::keyClick(f->field(), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(f->field()->toPlainText(), u"11"_s);
        QTest::keyClick(f->field(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(f->field(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(f->field()->toPlainText(), u"12"_s);
        // A draft that browsing replaces comes back with the field's own undo.
        f->field()->clear();
        QTest::keyClicks(f->field(), u"draft"_s);
        QTest::keyClick(f->field(), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(f->field()->toPlainText(), u"11"_s);
        QTest::keyClick(f->field(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f->field()->toPlainText(), u"draft"_s);
    }
};

QTEST_MAIN(TestSending)
#include "test_sending.moc"
