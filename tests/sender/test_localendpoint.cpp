// The local endpoint a main window answers on: requests delivered, bad
// requests refused without holding up anyone, owner-only access, and the
// main window coming forward when another copy asks.
#include "endpointclient.h"
#include "localendpoint.h"
#include "messagebox.h"
#include "replyrecord.h"
#include "sendersettings.h"
#include "sendwindow.h"
#include "settingsstore.h"
#include "singleinstance.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <future>

namespace {

const QString kCaption = QStringLiteral("Endpoint Test Window");
// Generous bounds for the client threads; a passing test takes far less.
constexpr int kClientWaitMs = 5000;

template <typename T> bool IsReady(const std::future<T> &future)
{
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

struct RawOutcome
{
    bool connected = false;
    bool closedByServer = false;
    QByteArray answer;
};

// Sends raw bytes and waits, bounded, for the server to answer or close.
RawOutcome RawExchange(const QString &path, const QByteArray &bytes, int waitMs)
{
    RawOutcome outcome;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kClientWaitMs))
        return outcome;
    outcome.connected = true;
    socket.write(bytes);
    socket.waitForBytesWritten(kClientWaitMs);
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QLocalSocket::ConnectedState && timer.elapsed() < waitMs) {
        socket.waitForReadyRead(50);
        outcome.answer += socket.readAll();
    }
    outcome.answer += socket.readAll();
    outcome.closedByServer = socket.state() != QLocalSocket::ConnectedState;
    return outcome;
}

QByteArray Header(quint32 kind, quint32 length)
{
    QByteArray bytes(8, '\0');
    qToBigEndian(kind, bytes.data());
    qToBigEndian(length, bytes.data() + 4);
    return bytes;
}

} // namespace

class TestLocalEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void bringToFrontDelivered();
    void copyDataDelivered_data();
    void copyDataDelivered();
    void noEndpointIsReported();
    void badRequestsRefused_data();
    void badRequestsRefused();
    void partialRequestTimesOutWithoutBlockingOthers();
    void socketIsOwnerOnly();
    void leftoverSocketIsReplaced();
    void captionCannotLeaveRuntimeFolder();
    void silentEndpointEndsAtTheDeadline();
    void mainWindowComesForward();

private:
    std::unique_ptr<LocalEndpoint> m_endpoint;
};

void TestLocalEndpoint::init()
{
    m_endpoint = std::make_unique<LocalEndpoint>(kCaption);
    QVERIFY2(m_endpoint->listen(), qPrintable(m_endpoint->errorString()));
}

void TestLocalEndpoint::cleanup()
{
    m_endpoint.reset();
}

void TestLocalEndpoint::bringToFrontDelivered()
{
    QSignalSpy spy(m_endpoint.get(), &LocalEndpoint::bringToFrontRequested);
    QCOMPARE(RequestBringToFront(kCaption, kClientWaitMs)->get(), EndpointReply::Answered);
    QCOMPARE(spy.count(), 1);
}

void TestLocalEndpoint::copyDataDelivered_data()
{
    QTest::addColumn<quint32>("dwData");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("reply record") << 3u
                                  << QByteArray("bob\0"
                                                "10.0.0.5\0"
                                                "505\0\0",
                                                18);
    QTest::newRow("empty record") << 7u << QByteArray();
    QTest::newRow("largest record") << 0xFFFFFFFFu << QByteArray(kMaxEndpointBodyBytes - 8, '\xAB');
}

void TestLocalEndpoint::copyDataDelivered()
{
    QFETCH(quint32, dwData);
    QFETCH(QByteArray, data);
    QSignalSpy spy(m_endpoint.get(), &LocalEndpoint::copyDataReceived);
    QCOMPARE(RequestCopyData(kCaption, dwData, data, kClientWaitMs)->get(), EndpointReply::Answered);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).value<quint32>(), dwData);
    QCOMPARE(spy.first().at(1).toByteArray(), data);
}

void TestLocalEndpoint::noEndpointIsReported()
{
    QCOMPARE(RequestBringToFront(QStringLiteral("Nobody Here"), 1000)->get(), EndpointReply::NoEndpoint);
    QCOMPARE(RequestCopyData(QStringLiteral("Nobody Here"), 3, QByteArray("x"), 1000)->get(),
             EndpointReply::NoEndpoint);
    // A record too large for any request is refused before connecting.
    QCOMPARE(RequestCopyData(kCaption, 3, QByteArray(kMaxEndpointBodyBytes, 'x'), 1000)->get(),
             EndpointReply::Failed);
}

void TestLocalEndpoint::badRequestsRefused_data()
{
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("body above the bound") << Header(kEndpointCopyData, kMaxEndpointBodyBytes + 1);
    QTest::newRow("length near 4 GiB") << Header(kEndpointCopyData, 0xFFFFFFFFu);
    QTest::newRow("unknown kind") << Header(99, 0);
    QTest::newRow("answer kind as request") << Header(kEndpointAnswer, 4) + QByteArray(4, '\0');
    QTest::newRow("bring to front with a body") << Header(kEndpointBringToFront, 1) + QByteArray(1, 'x');
    QTest::newRow("copy data without its head") << Header(kEndpointCopyData, 4) + QByteArray(4, '\0');
    QTest::newRow("cbData larger than the body")
        << endpointRequestBytes(kEndpointCopyData, copyDataBody(3, QByteArray("abc")).replace(7, 1, "\x09"));
    QTest::newRow("cbData smaller than the body")
        << endpointRequestBytes(kEndpointCopyData, copyDataBody(3, QByteArray("abc")).replace(7, 1, "\x01"));
    QTest::newRow("text garbage") << QByteArray("GET / HTTP/1.0\r\n\r\n");
}

void TestLocalEndpoint::badRequestsRefused()
{
    QFETCH(QByteArray, request);
    QSignalSpy front(m_endpoint.get(), &LocalEndpoint::bringToFrontRequested);
    QSignalSpy copy(m_endpoint.get(), &LocalEndpoint::copyDataReceived);
    const QString path = m_endpoint->path();
    auto outcome =
        std::async(std::launch::async, [path, request] { return RawExchange(path, request, kClientWaitMs); });
    QTRY_VERIFY(IsReady(outcome));
    const RawOutcome result = outcome.get();
    QVERIFY(result.connected);
    QVERIFY(result.closedByServer);
    QVERIFY(result.answer.isEmpty());
    QCOMPARE(front.count(), 0);
    QCOMPARE(copy.count(), 0);

    // The endpoint still serves the next client.
    QCOMPARE(RequestBringToFront(kCaption, kClientWaitMs)->get(), EndpointReply::Answered);
}

void TestLocalEndpoint::partialRequestTimesOutWithoutBlockingOthers()
{
    constexpr int kTimeoutMs = 2500;
    // Far beyond the time-out, so only the server can end the wait early.
    constexpr int kStalledWaitMs = 4 * kTimeoutMs;
    m_endpoint->setRequestTimeout(kTimeoutMs);
    const QString path = m_endpoint->path();
    QElapsedTimer timer;
    timer.start();
    // Half a header, then silence.
    auto stalled = std::async(std::launch::async,
                              [path] { return RawExchange(path, QByteArray("\0\0\0", 3), kStalledWaitMs); });
    // Meanwhile another client is served at once.
    QCOMPARE(RequestBringToFront(kCaption, kClientWaitMs)->get(), EndpointReply::Answered);
    QVERIFY(!IsReady(stalled));

    QTRY_VERIFY_WITH_TIMEOUT(IsReady(stalled), kStalledWaitMs + 1000);
    const RawOutcome result = stalled.get();
    QVERIFY(result.closedByServer);
    QVERIFY(result.answer.isEmpty());
    QVERIFY(timer.elapsed() >= kTimeoutMs - 100);
    QVERIFY(timer.elapsed() < kStalledWaitMs);
}

void TestLocalEndpoint::socketIsOwnerOnly()
{
    const QFileInfo socket(m_endpoint->path());
    QVERIFY(socket.exists());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(socket.permissions() & others, QFile::Permissions());
    QVERIFY(socket.permissions() & QFile::WriteOwner);
    QCOMPARE(QFileInfo(privateRuntimeFolder()).permissions() & others, QFile::Permissions());
    QCOMPARE(socket.absolutePath(), QFileInfo(privateRuntimeFolder()).absoluteFilePath());
}

void TestLocalEndpoint::leftoverSocketIsReplaced()
{
    const QString caption = QStringLiteral("Left Over");
    QFile leftover(endpointPath(caption));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    LocalEndpoint endpoint(caption);
    QVERIFY2(endpoint.listen(), qPrintable(endpoint.errorString()));
    QCOMPARE(RequestBringToFront(caption, kClientWaitMs)->get(), EndpointReply::Answered);
}

void TestLocalEndpoint::captionCannotLeaveRuntimeFolder()
{
    const QFileInfo path(endpointPath(QStringLiteral("../x/y")));
    QCOMPARE(path.absolutePath(), QFileInfo(privateRuntimeFolder()).absoluteFilePath());
    QVERIFY(endpointPath(QStringLiteral("Send Message")).endsWith(QStringLiteral("/Send Message.endpoint")));
    QVERIFY(endpointPath(QStringLiteral("a")) != endpointPath(QStringLiteral("A")));
}

void TestLocalEndpoint::silentEndpointEndsAtTheDeadline()
{
    // A program that takes the connection but never answers: the request
    // gives up at its deadline, and the event loop ran all the while.
    QLocalServer silent;
    QVERIFY(silent.listen(endpointPath(QStringLiteral("Silent Window"))));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&ticks] { ++ticks; });
    ticker.start(20);
    QElapsedTimer timer;
    timer.start();
    const auto reply = RequestCopyData(QStringLiteral("Silent Window"), 3, QByteArray("x"), 500);
    QCOMPARE(reply->get(kClientWaitMs), EndpointReply::Failed);
    QVERIFY(timer.elapsed() >= 450);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
}

void TestLocalEndpoint::mainWindowComesForward()
{
    QTemporaryDir dir;
    SettingsStore store = SettingsStore::atPath(dir.filePath(QStringLiteral("q.ini")));
    SenderSettings settings;
    SendWindow form(store, settings);
    form.show();
    form.showMinimized();
    QVERIFY(form.isMinimized());
    QVERIFY(form.endpoint()->isListening());

    QCOMPARE(RequestBringToFront(kSendWindowCaption, kClientWaitMs)->get(), EndpointReply::Answered);
    QVERIFY(!form.isMinimized());
    QVERIFY(form.isVisible());
}

QTEST_MAIN(TestLocalEndpoint)
#include "test_localendpoint.moc"
