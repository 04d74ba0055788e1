// Both real programs told to end by a signal (as at logout or by a service
// manager) write what they hold and exit normally: Quillpost keeps a user
// that a reply record added, Quillbox writes its store again.
#include "bars.h"
#include "localendpoint.h"
#include "replyrecord.h"
#include "xdisplay.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTcpSocket>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 30000;

QString StoreFile(const QString &program)
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + u'/' + program + u'/' + program + u".ini"_s;
}

// Sends signalNumber; true when the process then exits by itself with 0.
bool EndsNormally(QProcess &process, int signalNumber)
{
    ::kill(pid_t(process.processId()), signalNumber);
    return process.waitForFinished(kWaitMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Asks Quillpost's endpoint until it answers: with record, hands it over.
bool Answered(const QByteArray &record = {})
{
    return QTest::qWaitFor(
        [&record] {
            const std::unique_ptr<EndpointRequest> request(
                record.isEmpty()
                    ? EndpointRequest::bringToFront(kSendEndpointName, 2000)
                    : EndpointRequest::copyData(kSendEndpointName, kReplyRecordKind, record, 2000));
            QSignalSpy finished(request.get(), &EndpointRequest::finished);
            request->start();
            return finished.wait(5000) && finished[0][0].value<EndpointReply>() == EndpointReply::Answered;
        },
        kWaitMs);
}

} // namespace

class TestSessionEnd : public QObject
{
    Q_OBJECT
private slots:
    void quillpostKeepsAReplyUserOnSigterm()
    {
        QFile::remove(StoreFile(u"Quillpost"_s));
        QProcess quillpost;
        quillpost.setProcessChannelMode(QProcess::ForwardedChannels);
        const auto stop = qScopeGuard([&quillpost] { StopProcess(quillpost); });
        const auto users = [] {
            QSettings store(StoreFile(u"Quillpost"_s), QSettings::IniFormat);
            return QStringList{store.value(u"Users/1_name"_s).toString(),
                               store.value(u"Users/2_name"_s).toString(),
                               store.value(u"Users/2_port"_s).toString()};
        };
        // Its window is active from the start, so the record adds the user at once.
        quillpost.start(BuiltProgram(u"quillpost"_s), {});
        QVERIFY(Answered(Bars("carol|10.1.2.3|4242||")));
        QVERIFY(EndsNormally(quillpost, SIGTERM));
        QCOMPARE(users(), (QStringList{u"localhost"_s, u"carol"_s, u"4242"_s}));
        // Started again, it reads the user back; SIGINT ends it as well.
        quillpost.start(BuiltProgram(u"quillpost"_s), {});
        QVERIFY(Answered());
        QVERIFY(EndsNormally(quillpost, SIGINT));
        QCOMPARE(users(), (QStringList{u"localhost"_s, u"carol"_s, u"4242"_s}));
    }

    void quillboxWritesItsStoreOnSighup()
    {
        // A port of the system's choice, held until quillbox takes it over.
        QTcpSocket held;
        QVERIFY(held.bind(QHostAddress::Any, 0, QAbstractSocket::ShareAddress));
        QSettings(StoreFile(u"Quillbox"_s), QSettings::IniFormat)
            .setValue(u"Ports/1_port"_s, held.localPort());
        QProcess quillbox;
        quillbox.setProcessChannelMode(QProcess::ForwardedChannels);
        const auto stop = qScopeGuard([&quillbox] { StopProcess(quillbox); });
        quillbox.start(BuiltProgram(u"quillbox"_s), {u"-V"_s});
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, held.localPort());
                return probe.waitForConnected(1000);
            },
            kWaitMs));
        QVERIFY(QFile::remove(StoreFile(u"Quillbox"_s)));
        QVERIFY(EndsNormally(quillbox, SIGHUP));
        QCOMPARE(QSettings(StoreFile(u"Quillbox"_s), QSettings::IniFormat).value(u"Ports/1_port"_s).toInt(),
                 held.localPort());
    }
};

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "test_sessionend.moc"
