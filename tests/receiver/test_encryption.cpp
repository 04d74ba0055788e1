// Encryption between Quill peers on real loopback sockets: Quillpost's
// sender and Quillbox's network side, each with an identity of its own,
// through a proxy that records every byte; a peer that answers plain gets
// nothing; a TLS connection that does not end with its close alert is
// refused; and how the receiver judges a sender's key.
#include "identity.h"
#include "listener.h"
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

    // Sends text under name to port, encrypted to key unless it is empty.
    MessageSender::Outcome send(quint16 port, const QByteArray &key, const QString &text, const QString &name)
    {
        MessageSender sender;
        QSignalSpy finished(&sender, &MessageSender::finished);
        QObject::connect(&sender, &MessageSender::connected, &sender, [&sender, &text, &name] {
            sender.send(composeMessage(name, 0, text, sender.isEncrypted()));
        });
        sender.setRecipientKey(key);
        QString error;
        if (!sender.start(u"127.0.0.1"_s, port, error) || !finished.wait(30000))
            return MessageSender::Outcome::NotConfirmed;
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
        m_serverTls = tlsConfiguration(m_receiver, true);
    }

    // Through a proxy that records every byte: the sender's key and what the
    // receiver makes of it, and nothing readable on the way.
    void receiverJudgesSenders()
    {
        Admission admission;
        ReceiverNetwork network(QHostAddress(QHostAddress::LocalHost), admission);
        network.setTls(m_serverTls);
        network.setKeyBook({{u"Ann"_s, PinnedKey{m_senderKey, true}}});
        RecordingProxy proxy(network.applyPorts({0}).value(0).listening);
        QSignalSpy arrived(&network, &ReceiverNetwork::messagesArrived);
        const QString secret = u"Passwort bitte: Grüße, 1 € – secret words"_s;
        QCOMPARE(send(proxy.server.serverPort(), m_receiver.publicKeyDigest(), secret, u"Ann"_s),
                 MessageSender::Outcome::Delivered);
        QVERIFY(proxy.recorded.size() > secret.size());
        for (const QByteArray &plain : {"secret words"_ba, secret.toUtf8(), "Ann"_ba})
            QVERIFY2(!proxy.recorded.contains(plain), plain.constData());
        QCOMPARE(send(proxy.server.serverPort(), {}, u"two"_s, u"Ann"_s), MessageSender::Outcome::Delivered);
        QCOMPARE(send(proxy.server.serverPort(), m_receiver.publicKeyDigest(), u"three"_s, u"Zoe"_s),
                 MessageSender::Outcome::Delivered);
        QTRY_COMPARE(arrived.size(), 3);
        const SenderTrust expected[] = {SenderTrust::Verified, SenderTrust::Impostor, SenderTrust::NewKey};
        for (int i = 0; i < 3; ++i) {
            const Message message = arrived.at(i).at(0).value<QList<Message>>().value(0);
            QCOMPARE(message.trust, expected[i]);
            QCOMPARE(message.senderKey, i == 1 ? QByteArray() : m_senderKey);
            QCOMPARE(message.text, i == 0 ? secret : i == 1 ? u"two"_s : u"three"_s);
        }
    }

    void tlsWithoutCleanEndIsRefused_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("certificate");
        QTest::addColumn<bool>("closeAlert");
        QTest::newRow("cut off after its data") << true << true << false;
        QTest::newRow("no key to serve with") << false << true << true;
        QTest::newRow("no certificate shown") << true << false << true;
    }

    void tlsWithoutCleanEndIsRefused()
    {
        QFETCH(bool, configured);
        QFETCH(bool, certificate);
        QFETCH(bool, closeAlert);
        Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
        listener.setTlsConfiguration(configured ? &*m_serverTls : nullptr);
        QVERIFY(listener.startListening());
        QSignalSpy received(&listener, &Listener::messageReceived);

        QSslSocket client;
        QSslConfiguration configuration = *MessageSender::clientConfiguration();
        if (!certificate)
            configuration.setLocalCertificate(QSslCertificate());
        client.setSslConfiguration(configuration);
        client.connectToHostEncrypted(u"127.0.0.1"_s, listener.serverPort());
        if (configured) {
            QVERIFY(QSignalSpy(&client, &QSslSocket::encrypted).wait(10000));
            client.write(composeMessage(u"x"_s, 0, u"half a message"_s, true));
            QTRY_VERIFY(client.encryptedBytesToWrite() == 0 && client.bytesToWrite() == 0);
        }
        closeAlert ? client.disconnectFromHost() : client.abort();
        QTRY_COMPARE_WITH_TIMEOUT(listener.heldConnections(), 0, 10000);
        QCOMPARE(received.size(), 0);
    }

    void senderTrustFromPinnedKeys()
    {
        const QByteArray a(32, 'a');
        const QByteArray b(32, 'b');
        const KeyBook book{{u"Ann"_s, PinnedKey{a, false}}, {u"Ben"_s, PinnedKey{b, true}}};
        const std::tuple<QString, QByteArray, SenderTrust> rows[] = {
            {u"Zoe"_s, {}, SenderTrust::Plain},    {u"Zoe"_s, a, SenderTrust::NewKey},
            {u"Ann"_s, a, SenderTrust::KnownKey},  {u"Ben"_s, b, SenderTrust::Verified},
            {u"Ben"_s, {}, SenderTrust::Impostor}, {u"Ann"_s, b, SenderTrust::Impostor}};
        for (const auto &[name, key, trust] : rows)
            QCOMPARE(senderTrust(book, name, key), trust);
        QVERIFY(senderTrustText(SenderTrust::NewKey, a).contains(Identity::verificationCode(a)));

        // What the first bytes of a connection say.
        QCOMPARE(connectionKind("\x16\x03\x01\x02"), ConnectionKind::Tls);
        QCOMPARE(connectionKind("\x16\x03"), ConnectionKind::Undecided);
        QCOMPARE(connectionKind("\x16\x03\x05"), ConnectionKind::Plain);
    }
};

QTEST_GUILESS_MAIN(TestEncryption)
#include "test_encryption.moc"
