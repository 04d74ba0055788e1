// Both real programs told to end by a signal (as at logout or by a service
// manager): each writes what it holds and exits normally. Quillpost keeps a
// user that a reply record added; Quillbox writes its store again.
#include "bars.h"
#include "localendpoint.h"
#include "replyrecord.h"
#include "xdisplay.h"

#include <QFile>
#include <QSettings>
#include <QTcpSocket>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 30000;

// The program's store, as the test's own environment places it.
QString StoreFile(const QString &program)
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + u'/' + program + u'/' + program + u".ini"_s;
}

// Ends process with signalNumber; true when it then exited by itself with 0.
bool EndsNormally(QProcess &process, int signalNumber)
{
    ::kill(pid_t(process.processId()), signalNumber);
    return process.waitForFinished(kWaitMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The answer of one request to Quillpost's endpoint, given the event loop.
EndpointReply Ask(EndpointRequest *request)
{
    std::unique_ptr<EndpointRequest> owned(request);
    std::optional<EndpointReply> reply;
    QObject::connect(request, &EndpointRequest::finished, request, [&reply](EndpointReply r) { reply = r; });
    request->start();
    static_cast<void>(QTest::qWaitFor([&reply] { return reply.has_value(); }, kWaitMs));
    return reply.value_or(EndpointReply::Failed);
}

} // namespace

class TestSessionEnd : public QObject
{
    Q_OBJECT
private slots:
    void quillpostKeepsAReplyUserOnSigterm()
    {
        QFile::remove(StoreFile(u"Quillpost"_s));
        const QByteArray record = Bars("carol|10.1.2.3|4242||");
        QProcess quillpost;
        quillpost.setProcessChannelMode(QProcess::ForwardedChannels);
        quillpost.start(BuiltProgram(u"quillpost"_s), {});
        const auto stop = qScopeGuard([&quillpost] { StopProcess(quillpost); });
        // Asked until the program is up; its window is active, so the record
        // adds the user at once.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return Ask(EndpointRequest::copyData(kSendWindowCaption, kReplyRecordKind, record, 2000)) ==
                       EndpointReply::Answered;
            },
            kWaitMs));
        QVERIFY(EndsNormally(quillpost, SIGTERM));
        const auto users = [] {
            QSettings store(StoreFile(u"Quillpost"_s), QSettings::IniFormat);
            return QStringList{store.value(u"Users/1_name"_s).toString(),
                               store.value(u"Users/2_name"_s).toString(),
                               store.value(u"Users/2_port"_s).toString()};
        };
        QCOMPARE(users(), (QStringList{u"localhost"_s, u"carol"_s, u"4242"_s}));

        // Started again, it reads the user back, and SIGINT ends it as well.
        quillpost.start(BuiltProgram(u"quillpost"_s), {});
        QVERIFY(QTest::qWaitFor(
            [] {
                return Ask(EndpointRequest::bringToFront(kSendWindowCaption, 2000)) ==
                       EndpointReply::Answered;
            },
            kWaitMs));
        QFile::remove(StoreFile(u"Quillpost"_s));
        QVERIFY(EndsNormally(quillpost, SIGINT));
        QCOMPARE(users(), (QStringList{u"localhost"_s, u"carol"_s, u"4242"_s}));
    }

    void quillboxWritesItsStoreOnSighup()
    {
        // A port of the system's choice, held until quillbox takes it over.
        QTcpSocket held;
        QVERIFY(held.bind(QHostAddress::Any, 0, QAbstractSocket::ShareAddress));
        {
            QSettings prepared(StoreFile(u"Quillbox"_s), QSettings::IniFormat);
            prepared.setValue(u"Ports/1_port"_s, held.localPort());
            prepared.setValue(u"Settings/PlayIncomingSound"_s, u"False"_s);
        }
        QProcess quillbox;
        quillbox.setProcessChannelMode(QProcess::ForwardedChannels);
        quillbox.start(BuiltProgram(u"quillbox"_s), {u"-V"_s});
        const auto stop = qScopeGuard([&quillbox] { StopProcess(quillbox); });
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, held.localPort());
                return probe.waitForConnected(1000);
            },
            kWaitMs));
        QVERIFY(QFile::remove(StoreFile(u"Quillbox"_s)));
        QVERIFY(EndsNormally(quillbox, SIGHUP));
        QSettings store(StoreFile(u"Quillbox"_s), QSettings::IniFormat);
        QCOMPARE(store.value(u"Ports/1_port"_s).toInt(), held.localPort());
        QCOMPARE(store.value(u"Settings/PlayIncomingSound"_s).toString(), u"False"_s);
    }
};

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "test_sessionend.moc"
