// How a reply reaches Quillpost: the local endpoint its main window answers
// on (requests taken or refused, stalled clients dropped without holding up
// others, a bound on connections, owner-only access, a client that gives up on
// a silent endpoint), the checks a record passes and the person it names,
// and the main window taking it, also while a dialog is in front.
#include "bars.h"
#include "quillposttest.h"
#include "replyintake.h"
#include "replyrecord.h"
#include "storelist.h"
#include "windowactivation.h"

#include <QAction>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QScopeGuard>

namespace {

const QString kCaption = u"Endpoint Test"_s;
const QByteArray kTaken = QByteArray::fromHex("000000800000000400000000");

// A client that has connected and written these bytes.
std::unique_ptr<QLocalSocket> Client(const QByteArray &bytes = {})
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(endpointPath(kCaption));
    if (socket->waitForConnected(5000))
        socket->write(bytes);
    return socket;
}

// What the endpoint answered once it closed the client; "open" when it did not.
QByteArray Answer(const std::unique_ptr<QLocalSocket> &client)
{
    const bool closed =
        QTest::qWaitFor([&] { return client->state() == QLocalSocket::UnconnectedState; }, 5000);
    return closed ? client->readAll() : QByteArray("open");
}

QString Describe(const std::optional<ReplyTarget> &target)
{
    return target ? u"%1,%2,%3,%4"_s.arg(target->name, target->ip).arg(target->port).arg(target->index)
                  : QString();
}

// The person the record's text names in the list, as the intake finds them.
std::optional<ReplyTarget> TargetOf(const QString &text, const UserList &users)
{
    const std::optional<ReplyRecord> record = ReplyRecord::fromText(text);
    return record ? replyTargetFor(*record, users) : std::nullopt;
}

EndpointReply HandOver(const QByteArray &fields)
{
    return Ask(EndpointRequest::copyData(kSendEndpointName, kReplyRecordKind, Bars(fields), 5000));
}

} // namespace

class TestReplyIntake : public QObject
{
    Q_OBJECT

    std::unique_ptr<LocalEndpoint> m_endpoint;

private slots:
    void init()
    {
        m_endpoint = std::make_unique<LocalEndpoint>(kCaption);
        m_endpoint->setRequestTimeout(60000); // only a refusal closes a client early
        QVERIFY(m_endpoint->listen());
    }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("taken");
        const auto copyData = [](const QByteArray &head, const QByteArray &data) {
            return endpointRequestBytes(kEndpointCopyData, QByteArray::fromHex(head) + data);
        };
        const QByteArray most(kMaxEndpointBodyBytes - 8, 'x'); // the data a body holds
        QTest::newRow("bring to front") << endpointRequestBytes(kEndpointBringToFront, {}) << true;
        const QByteArray token(kMaxActivationTokenBytes, 't');
        QTest::newRow("with a token") << endpointRequestBytes(kEndpointBringToFront, token) << true;
        QTest::newRow("token too long") << endpointRequestBytes(kEndpointBringToFront, token + 't') << false;
        QTest::newRow("token not ASCII") << endpointRequestBytes(kEndpointBringToFront, "to\nken") << false;
        QTest::newRow("largest") << copyData("000000030000fff8", most) << true;
        QTest::newRow("a byte more") << copyData("000000030000fff9", most + 'x') << false;
        QTest::newRow("cbData above the data") << copyData("0000000300000004", "abc") << false;
        QTest::newRow("cbData below the data") << copyData("0000000300000002", "abc") << false;
        QTest::newRow("text") << QByteArray("GET / HTTP/1.0\r\n\r\n") << false;
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, taken);
        QCOMPARE(Answer(Client(request)), taken ? kTaken : QByteArray());
        QCOMPARE(Ask(EndpointRequest::bringToFront(kCaption, 5000)), EndpointReply::Answered);
    }

    void connections()
    {
        // Only the owner may connect...
        const QFileInfo socket(m_endpoint->path());
        QVERIFY(socket.exists());
        QCOMPARE(socket.permissions() &
                     (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        // More stalled clients than places, silent or half-way through a header...
        std::vector<std::unique_ptr<QLocalSocket>> held;
        for (int i = 0; i < kMaxEndpointConnections + 2; ++i)
            held.push_back(Client(QByteArray(i % 2 * 3, '\0')));
        QCOMPARE(Answer(held.at(1)), QByteArray());
        // ...hold up nobody: a genuine request takes the place of the oldest still open.
        QCOMPARE(Ask(EndpointRequest::bringToFront(kCaption, 5000)), EndpointReply::Answered);
        QCOMPARE(Answer(held.at(2)), QByteArray());
        for (std::size_t i = 0; i < held.size(); ++i)
            QCOMPARE(held.at(i)->state() == QLocalSocket::ConnectedState, i > 2);
    }

    void deadlines()
    {
        // A client that stalls, silent or half-way through its header, is dropped at the endpoint's deadline.
        m_endpoint->setRequestTimeout(300);
        QCOMPARE(Answer(Client()), QByteArray());
        QCOMPARE(Answer(Client(QByteArray(3, '\0'))), QByteArray());
        // An endpoint that takes the connection and never answers: the request gives up at its deadline.
        QLocalServer silent;
        QVERIFY(silent.listen(endpointPath(u"Silent"_s)));
        QCOMPARE(Ask(EndpointRequest::copyData(u"Silent"_s, 3, "x", 300), 5000), EndpointReply::Failed);
        QCOMPARE(Ask(EndpointRequest::bringToFront(u"Nobody"_s, 5000)), EndpointReply::NoEndpoint);
    }

    void record_data()
    {
        QTest::addColumn<QByteArray>("fields"); // as read, without the terminator
        QTest::addColumn<QString>("target");    // name,ip,port,index in the list (-1: new); empty: ignored
        QTest::newRow("known") << QByteArray("bob|10.0.0.5|600|") << u"bob,10.0.0.5,600,1"_s;
        QTest::newRow("case counts") << QByteArray("Bob|10.0.0.5|505|") << u"Bob,10.0.0.5,505,-1"_s;
        QTest::newRow("no name: Anonymous free there")
            << QByteArray("|10.0.0.5|7|") << u"Anonymous2,10.0.0.5,7,-1"_s;
        QTest::newRow("no third NUL") << QByteArray("bob|10.0.0.5|505") << QString();
        QTest::newRow("port above 65535") << QByteArray("bob|10.0.0.5|65536|") << QString();
    }

    void record()
    {
        QFETCH(QByteArray, fields);
        QFETCH(QString, target);
        UserList users;
        users.append({u"bob"_s, u"10.0.0.5"_s, 505, 0});
        users.append({u"Anonymous1"_s, u"10.0.0.5"_s, 505, 0});
        users.append({u"Anonymous2"_s, u"10.0.0.7"_s, 505, 0});
        QCOMPARE(Describe(TargetOf(QString::fromLatin1(Bars(fields)), users)), target);
    }

    void fullList()
    {
        // A full list takes nobody new, and still answers those in it.
        UserList users;
        users.append({u"bob"_s, u"10.0.0.5"_s, 505, 1});
        users.resize(kMaxListEntries);
        ReplyTarget dave{u"dave"_s, u"10.0.0.8"_s, 505};
        QCOMPARE(applyReplyTarget(users, dave), -1);
        QCOMPARE(users.count(), kMaxListEntries);
        QCOMPARE(Describe(TargetOf(QString::fromLatin1(Bars("bob|10.0.0.5|8|")), users)),
                 u"bob,10.0.0.5,8,1"_s);
    }

    void takenByTheWindow()
    {
        SendWindowFixture f(UserRecord{u"alice"_s, u"10.0.0.2"_s, 505, 1});
        QVERIFY(f.open());
        f.recipient()->setFocus();
        // The active window selects the person at once, adding them when new.
        QCOMPARE(HandOver("alice|10.0.0.2|600||"), EndpointReply::Answered);
        QCOMPARE(f.recipient()->currentText(), u"alice (10.0.0.2: 600)"_s);
        QCOMPARE(HandOver("|10.0.0.5|505||"), EndpointReply::Answered);
        QCOMPARE(f.recipient()->currentText(), u"Anonymous1 (10.0.0.5: 505)"_s);
        QVERIFY(f.boxes.isEmpty());
        // The window comes forward a moment later, the caret in the message.
        QTRY_COMPARE(f.form->focusWidget(), f.field());

        // With a dialog in front, every record is answered at once and none
        // applied; one box over the dialog names the latest sender.
        setMessageHandler({});
        QStringList notices;
        QTimer::singleShot(0, f.form.get(), [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            const auto close = qScopeGuard([dialog] { dialog->close(); });
            QVERIFY(QTest::qWaitFor([&] { return !f.form->isSendWindowActive(); }, 5000));
            for (const QByteArray name : {"bob", "carol", "dave"})
                QCOMPARE(HandOver(name + "|10.0.0.5|505||"), EndpointReply::Answered);
            QCOMPARE(f.recipient()->count(), 2);
            for (const QMessageBox *box : dialog->findChildren<QMessageBox *>())
                notices << box->windowTitle() + u": "_s + box->text();
        });
        f.form->findChild<QAction *>(u"progopmn_1"_s)->trigger(); // the options dialog
        QCOMPARE(notices, QStringList{u"Reply: Return to main menu for reply to user dave"_s});
        // Back in the window, the latest one is applied.
        QApplication::setActiveWindow(f.form.get());
        QTRY_COMPARE(f.recipient()->currentText(), u"dave (10.0.0.5: 505)"_s);
        QCOMPARE(f.recipient()->count(), 3);

        // A name turns no address around: a direction mark shows as a symbol,
        // right-to-left text is isolated, and the list keeps the name as it came.
        const QList<std::pair<QString, QString>> names{
            {u"\u202Eresu"_s, u"\uFFFDresu"_s},
            {u"\u05E9\u05DC\u05D5\u05DD"_s, u"\u2068\u05E9\u05DC\u05D5\u05DD\u2069"_s}};
        for (const auto &[name, shown] : names) {
            QCOMPARE(HandOver(name.toUtf8() + "|10.0.0.5|505||"), EndpointReply::Answered);
            QCOMPARE(f.recipient()->currentText(), shown + u" (10.0.0.5: 505)"_s);
            QCOMPARE(f.settings.userList.at(f.settings.userList.count()).name, name);
        }
    }
};

QTEST_MAIN(TestReplyIntake)
#include "test_replyintake.moc"
