// Encryption between Quill peers on real loopback sockets: Quillpost's
// sender and Quillbox's listener, each with an identity of its own, through
// a proxy that records every byte; pinned keys that differ and peers that
// answer plain get nothing; a TLS connection that does not end with its
// close alert is refused; and how the receiver judges a sender's key.
#include "identity.h"
#include "listener.h"
#include "logcapture.h"
#include "message.h"
#include "messagesender.h"
#include "receivernetwork.h"

#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Forwards one connection at a time to a target port and records what the
// sender wrote; either side closing closes the other once all is passed on.
struct RecordingProxy : QObject
{
    explicit RecordingProxy(quint16 target)
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this, target] {
            QTcpSocket *down = server.nextPendingConnection();
            auto *up = new QTcpSocket(down);
            up->connectToHost(QHostAddress::LocalHost, target);
            connect(down, &QTcpSocket::readyRead, up, [this, down, up] {
                const QByteArray bytes = down->readAll();
                recorded += bytes;
                up->write(bytes);
            });
            connect(up, &QTcpSocket::readyRead, down, [down, up] { down->write(up->readAll()); });
            connect(up, &QTcpSocket::disconnected, down, [down] { down->disconnectFromHost(); });
            connect(down, &QTcpSocket::disconnected, up, [up] { up->disconnectFromHost(); });
        });
    }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    QByteArray recorded;
};

} // namespace

class TestEncryption : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_data;
    Identity m_receiver;
    QByteArray m_senderKey;
    std::optional<QSslConfiguration> m_serverTls;

    // Sends text to port expecting key; the outcome, its description in
    // *description.
    MessageSender::Outcome send(quint16 port, const QByteArray &key, const QString &text,
                                QString *description = nullptr, const QString &name = u"Ärger"_s)
    {
        MessageSender sender;
        sender.setConfirmWait(20000);
        sender.setConnectWait(20000);
        QSignalSpy finished(&sender, &MessageSender::finished);
        QObject::connect(&sender, &MessageSender::connected, &sender, [&sender, &text, &name] {
            sender.send(composeMessage(name, 0, text, sender.isEncrypted()));
        });
        sender.setRecipientKey(key);
        QString error;
        if (!sender.start(u"127.0.0.1"_s, port, error))
            return MessageSender::Outcome::Failed;
        if (!finished.wait(30000))
            return MessageSender::Outcome::NotConfirmed;
        if (description)
            *description = finished.at(0).at(1).toString();
        return finished.at(0).at(0).value<MessageSender::Outcome>();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        // The sender's identity is the user's own; the receiver's is another.
        qputenv("XDG_DATA_HOME", m_data.filePath(u"sender"_s).toUtf8());
        const Identity own = Identity::create(Identity::defaultPath());
        m_senderKey = own.publicKeyDigest();
        m_receiver = Identity::create(m_data.filePath(u"receiver/identity.pem"_s));
        QCOMPARE(m_receiver.state(), Identity::State::Ready);
        QVERIFY(m_senderKey != m_receiver.publicKeyDigest());
        m_serverTls = tlsConfiguration(m_receiver, true);
    }

    void encryptedMessageCrossesUnreadable()
    {
        Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
        listener.setTlsConfiguration(&*m_serverTls);
        QVERIFY(listener.startListening());
        QSignalSpy received(&listener, &Listener::messageReceived);
        RecordingProxy proxy(listener.serverPort());

        const QString text = u"Passwort bitte: Grüße, 1 € – secret words"_s;
        QCOMPARE(send(proxy.port(), m_receiver.publicKeyDigest(), text), MessageSender::Outcome::Delivered);
        QCOMPARE(received.size(), 1);
        const QByteArray key = received.at(0).at(3).toByteArray();
        QCOMPARE(key, m_senderKey);
        const std::optional<Message> message =
            messageFromPayload(received.at(0).at(0).toByteArray(), u"127.0.0.1"_s, 0, key);
        QVERIFY(message);
        QCOMPARE(message->name, u"Ärger"_s);
        QCOMPARE(message->text, text);

        QVERIFY(proxy.recorded.size() > text.size());
        for (const QByteArray &secret : {"secret words"_ba, text.toUtf8(), u"Ärger"_s.toUtf8(),
                                         composeMessage(u"Ärger"_s, 0, text).mid(0, 6)})
            QVERIFY2(!proxy.recorded.contains(secret), secret.constData());
    }

    void wrongKeyOrPlainPeerGetsNothing()
    {
        // A recipient that shows another key than the pinned one.
        Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
        listener.setTlsConfiguration(&*m_serverTls);
        QVERIFY(listener.startListening());
        QSignalSpy received(&listener, &Listener::messageReceived);
        QString description;
        QCOMPARE(send(listener.serverPort(), m_senderKey, u"for the pinned key only"_s, &description),
                 MessageSender::Outcome::Failed);
        QVERIFY2(description.contains(Identity::verificationCode(m_receiver.publicKeyDigest())),
                 qPrintable(description));
        QTest::qWait(100);
        QCOMPARE(received.size(), 0);

        // A peer that announced a key and answers plain: no downgrade.
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
        QByteArray got;
        connect(&plain, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *socket = plain.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&got, socket] {
                got += socket->readAll();
                socket->write("not a handshake\r\n");
            });
        });
        QCOMPARE(send(plain.serverPort(), m_receiver.publicKeyDigest(), u"never in the clear"_s),
                 MessageSender::Outcome::Failed);
        QVERIFY(!got.isEmpty());
        QVERIFY(!got.contains("never in the clear"));

        // Only encrypted sending: a recipient without a key is not even tried.
        MessageSender strict;
        strict.setRecipientKey({}, true);
        QString error;
        QVERIFY(!strict.start(u"127.0.0.1"_s, plain.serverPort(), error));
        QVERIFY(error.contains(u"only encrypted"_s));
    }

    void tlsWithoutCleanEndIsRefused_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("closeAlert");
        QTest::newRow("cut off after its data") << true << false;
        QTest::newRow("no key to serve with") << false << true;
    }

    void tlsWithoutCleanEndIsRefused()
    {
        QFETCH(bool, configured);
        QFETCH(bool, closeAlert);
        Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
        listener.setTlsConfiguration(configured ? &*m_serverTls : nullptr);
        QVERIFY(listener.startListening());
        QSignalSpy received(&listener, &Listener::messageReceived);
        QSignalSpy changed(&listener, &Listener::connectionsChanged);

        QSslSocket client;
        client.setSslConfiguration(*MessageSender::clientConfiguration());
        client.connectToHostEncrypted(u"127.0.0.1"_s, listener.serverPort());
        QSignalSpy gone(&client, &QSslSocket::disconnected);
        if (configured) {
            QVERIFY(QSignalSpy(&client, &QSslSocket::encrypted).wait(10000));
            client.write(composeMessage(u"x"_s, 0, u"half a message"_s, true));
            QVERIFY(client.flush() || client.encryptedBytesToWrite() == 0);
            QTest::qWait(50);
        }
        closeAlert ? client.disconnectFromHost() : client.abort();
        QTRY_COMPARE_WITH_TIMEOUT(listener.heldConnections(), 0, 10000);
        QCOMPARE(received.size(), 0);
    }

    void receiverJudgesSenders()
    {
        Admission admission;
        ReceiverNetwork network(QHostAddress(QHostAddress::LocalHost), admission);
        network.setTls(m_serverTls);
        network.setKeyBook({{u"Ann"_s, PinnedKey{m_senderKey, true}}});
        const quint16 port = network.applyPorts({0}).value(0).listening;
        QSignalSpy arrived(&network, &ReceiverNetwork::messagesArrived);
        const QByteArray key = m_receiver.publicKeyDigest();
        QCOMPARE(send(port, key, u"one"_s, nullptr, u"Ann"_s), MessageSender::Outcome::Delivered);
        QCOMPARE(send(port, {}, u"two"_s, nullptr, u"Ann"_s), MessageSender::Outcome::Delivered);
        QCOMPARE(send(port, key, u"three"_s, nullptr, u"Zoe"_s), MessageSender::Outcome::Delivered);
        QTRY_COMPARE(arrived.size(), 3);
        const SenderTrust expected[] = {SenderTrust::Verified, SenderTrust::Impostor, SenderTrust::NewKey};
        for (int i = 0; i < 3; ++i) {
            const Message message = arrived.at(i).at(0).value<QList<Message>>().value(0);
            QCOMPARE(message.trust, expected[i]);
            QCOMPARE(message.senderKey, i == 1 ? QByteArray() : m_senderKey);
        }
    }

    void senderTrustFromPinnedKeys()
    {
        const QByteArray a(32, 'a');
        const QByteArray b(32, 'b');
        const KeyBook book{{u"Ann"_s, PinnedKey{a, false}}, {u"Ben"_s, PinnedKey{b, true}}};
        QCOMPARE(senderTrust(book, u"Zoe"_s, {}), SenderTrust::Plain);
        QCOMPARE(senderTrust(book, u"Zoe"_s, a), SenderTrust::NewKey);
        QCOMPARE(senderTrust(book, u"Ann"_s, a), SenderTrust::KnownKey);
        QCOMPARE(senderTrust(book, u"Ben"_s, b), SenderTrust::Verified);
        QCOMPARE(senderTrust(book, u"Ben"_s, {}), SenderTrust::Impostor);
        QCOMPARE(senderTrust(book, u"Ann"_s, b), SenderTrust::Impostor);
        QVERIFY(senderTrustText(SenderTrust::NewKey, a).contains(Identity::verificationCode(a)));
        QVERIFY(senderTrustText(SenderTrust::Impostor, {}).startsWith(u"WARNING"_s));

        // As stored: the key, then whether it was verified; anything else
        // holds no key.
        for (const PinnedKey &pinned : {PinnedKey{a, false}, PinnedKey{b, true}})
            QCOMPARE(pinnedKeyFromText(pinnedKeyText(pinned)), pinned);
        for (const QString &bad :
             {u""_s, u"61"_s, QString(64, u'g'), QString(QString(64, u'A') + u" verified"_s)})
            QCOMPARE(pinnedKeyFromText(bad), PinnedKey());

        // What the first bytes of a connection say.
        QCOMPARE(connectionKind("\x16\x03\x01\x02"), ConnectionKind::Tls);
        QCOMPARE(connectionKind("\x16\x03"), ConnectionKind::Undecided);
        QCOMPARE(connectionKind("\x16\x03\x05"), ConnectionKind::Plain);
        QCOMPARE(connectionKind("Ann"), ConnectionKind::Plain);
    }
};

QTEST_GUILESS_MAIN(TestEncryption)
#include "test_encryption.moc"
