// The local endpoint that stands in for Quillpost's main window, as far as
// replying needs it: only its owner can reach it, also when no proper
// runtime folder exists; clients that stall do not hold up a record; after
// the window has closed nothing is caught.
#include "intakefixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

class TestReplyEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void init() { f = std::make_unique<IntakeFixture>(); }
    void cleanup() { f.reset(); }

    void silentClientsDoNotHoldUpRecords();
    void endpointIsOwnerOnly();
    void endpointStaysPrivateWithoutRuntimeFolder();
    void noIntakeAfterUnload();

private:
    std::unique_ptr<IntakeFixture> f;
};

void TestReplyEndpoint::silentClientsDoNotHoldUpRecords()
{
    QVERIFY(f->start());
    f->form->endpoint()->setRequestTimeout(500);
    const QString path = endpointPath(kSendWindowCaption);
    // One client that says nothing, one that stops half-way through its
    // header, one that never reads its answer.
    QLocalSocket silent;
    silent.connectToServer(path);
    QVERIFY(silent.waitForConnected(kClientWaitMs));
    QLocalSocket halfway;
    halfway.connectToServer(path);
    QVERIFY(halfway.waitForConnected(kClientWaitMs));
    halfway.write(QByteArray(3, '\0'));
    QVERIFY(halfway.waitForBytesWritten(kClientWaitMs));
    QLocalSocket deaf;
    deaf.connectToServer(path);
    QVERIFY(deaf.waitForConnected(kClientWaitMs));
    deaf.write(endpointRequestBytes(kEndpointCopyData,
                                    copyDataBody(kReplyRecordKind, Bars("carol|10.0.0.6|505||"))));
    QVERIFY(deaf.waitForBytesWritten(kClientWaitMs));

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::Answered);
    QVERIFY2(timer.elapsed() < kClientWaitMs, "a silent client held up the record");
    QVERIFY(Describe(f->settings.userList).contains(u"bob,10.0.0.5,505"_s));
    QVERIFY(Describe(f->settings.userList).contains(u"carol,10.0.0.6,505"_s));
    // The window stays responsive, and the stalled ones are dropped.
    QTRY_VERIFY(halfway.state() != QLocalSocket::ConnectedState);
    QTRY_VERIFY(silent.state() != QLocalSocket::ConnectedState);
}

void TestReplyEndpoint::endpointIsOwnerOnly()
{
    QVERIFY(f->start());
    const QFileInfo socket(endpointPath(kSendWindowCaption));
    QVERIFY(socket.exists());
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(socket.permissions() & others, QFileDevice::Permissions());
    const QFileInfo folder(socket.absolutePath());
    QCOMPARE(folder.permissions() & others, QFileDevice::Permissions());
    QCOMPARE(folder.ownerId(), socket.ownerId());
}

void TestReplyEndpoint::endpointStaysPrivateWithoutRuntimeFolder()
{
    // No runtime folder can be had: the one named is a plain file, and no
    // folder can be made in the temporary folder either (nobody can make
    // folders in /proc).
    if (!QFileInfo(u"/proc/self"_s).exists())
        QSKIP("needs /proc");
    QTemporaryDir scratch;
    QFile plain(scratch.filePath(u"not-a-folder"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temporary = qgetenv("TMPDIR");
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        temporary.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", temporary);
        cache.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", cache);
    });
    qputenv("XDG_RUNTIME_DIR", plain.fileName().toLocal8Bit());
    qputenv("TMPDIR", "/proc");
    qputenv("XDG_CACHE_HOME", scratch.filePath(u"cache"_s).toLocal8Bit());

    QVERIFY(f->start());
    const QFileInfo socket(endpointPath(kSendWindowCaption));
    QVERIFY2(socket.exists(), qPrintable(socket.filePath()));
    QVERIFY(socket.absoluteFilePath().startsWith(scratch.filePath(u"cache/"_s)));
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(socket.absolutePath()).permissions() & others, QFileDevice::Permissions());
    QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::Answered);
    QCOMPARE(f->combo1()->currentText(), u"bob (10.0.0.5: 505)"_s);
    f->form.reset();
}

void TestReplyEndpoint::noIntakeAfterUnload()
{
    QVERIFY(f->start());
    f->form->close();
    QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::NoEndpoint);
    QCOMPARE(f->settings.userList.count(), 1);
}

QTEST_MAIN(TestReplyEndpoint)
#include "test_replyendpoint.moc"
