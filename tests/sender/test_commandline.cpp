// quillpost and quillbox from a terminal: the real programs without a
// display, their output lines and exit statuses, against listeners of the
// test's own on 127.0.0.1.
#include "bars.h"
#include "listeners.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "xdisplay.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

class TestCommandLine : public QObject
{
    Q_OBJECT

    Listeners m_to;
    QString m_storeFile;

    // Placeholders in arguments and expected lines: A alice's port, S the
    // silent one's, N one where nobody listens.
    QString ports(QString text) const
    {
        return text.replace(u"{A}"_s, QString::number(m_to.alice.serverPort()))
            .replace(u"{S}"_s, QString::number(m_to.silent.serverPort()))
            .replace(u"{N}"_s, QString::number(m_to.nobody.localPort()));
    }

    QByteArray storeDigest() const
    {
        QFile file(m_storeFile);
        return file.open(QIODevice::ReadOnly)
                   ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                   : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_to.listen());

        // The stored identification and list the program reads, and must leave as they are.
        m_storeFile = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Quillpost/Quillpost.ini"_s;
        SettingsStore store = SettingsStore::atPath(m_storeFile);
        SenderSettings settings;
        settings.myUserName = u"bob"_s;
        settings.myReplyPort = 606;
        QVERIFY(saveIdentification(store, settings));
        settings.userList = UserList();
        settings.userList.append({u"alice"_s, u"127.0.0.1"_s, m_to.alice.serverPort(), 0});
        QVERIFY(saveUserList(store, settings.userList));
        QVERIFY(saveGroups(store, {{u"team"_s, {u"alice"_s, u"ghost"_s}}, {u"empty"_s, {}}}));
    }

    void sends_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>(
            "output"); // standard output; for a usage error, the start of standard error
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("received"); // what alice got
        const QString quillpost = u"quillpost"_s;
        QTest::newRow("user, stored identity")
            << quillpost << QStringList{u"--to"_s, u"alice"_s, u"--message"_s, u"hi"_s} << QByteArray()
            << u"delivered: alice (127.0.0.1:{A})\n"_s << 0 << Bars("bob|606|hi");
        QTest::newRow("address, standard input")
            << quillpost
            << QStringList{u"--to=127.0.0.1:{A}"_s, u"--from"_s, u" cron "_s, u"--reply-port"_s, u"7"_s}
            << QByteArray("disk full\nnow\n") << u"delivered: 127.0.0.1:{A}\n"_s << 0
            << Bars("cron|7|disk full\r\nnow");
        QTest::newRow("group with a missing member")
            << quillpost
            << QStringList{u"--to"_s, u"team"_s, u"--to"_s, u"127.0.0.1:{N}"_s, u"--message"_s, u"x"_s}
            << QByteArray()
            << u"delivered: alice (127.0.0.1:{A})\nfailed: ghost: not in the user list\n"
               "failed: 127.0.0.1:{N}: Connection refused\n"_s
            << 1 << Bars("bob|606|x");
        QTest::newRow("no answer")
            << quillpost << QStringList{u"--to"_s, u"127.0.0.1:{S}"_s, u"--message"_s, u"x"_s} << QByteArray()
            << u"not confirmed: 127.0.0.1:{S}: no answer from the recipient within 5 s\n"_s << 1
            << QByteArray();
        QTest::newRow("no recipient") << quillpost << QStringList{u"--message"_s, u"x"_s} << QByteArray()
                                      << u"quillpost: no recipient"_s << 2 << QByteArray();
        QTest::newRow("unknown recipient")
            << quillpost << QStringList{u"--to"_s, u"carol"_s, u"--message"_s, u"x"_s} << QByteArray()
            << u"quillpost: unknown recipient \"carol\""_s << 2 << QByteArray();
        QTest::newRow("empty group") << quillpost
                                     << QStringList{u"--to"_s, u"empty"_s, u"--message"_s, u"x"_s}
                                     << QByteArray() << u"quillpost: no recipient: the groups given"_s << 2
                                     << QByteArray();
        QTest::newRow("bad reply port")
            << quillpost << QStringList{u"--to"_s, u"alice"_s, u"--reply-port"_s, u"70000"_s} << QByteArray()
            << u"quillpost: --reply-port"_s << 2 << QByteArray();
        QTest::newRow("help") << quillpost << QStringList{u"--help"_s} << QByteArray() << u"Usage: "_s << 0
                              << QByteArray();
        QTest::newRow("version") << quillpost << QStringList{u"--version"_s} << QByteArray()
                                 << u"quillpost " QUILL_VERSION "\n"_s << 0 << QByteArray();
        QTest::newRow("quillbox version") << u"quillbox"_s << QStringList{u"--version"_s} << QByteArray()
                                          << u"quillbox " QUILL_VERSION "\n"_s << 0 << QByteArray();
    }

    void sends()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, output);
        QFETCH(int, status);
        QFETCH(QByteArray, received);
        for (QString &argument : arguments)
            argument = ports(argument);
        m_to.received.clear();
        const QByteArray storeBefore = storeDigest();

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(BuiltProgram(program), arguments);
        QVERIFY(process.waitForStarted(kXWaitMs));
        process.write(input);
        process.closeWriteChannel();
        // The listeners answer from this event loop while the program runs.
        QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kXWaitMs));

        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        output = ports(output);
        if (status == 2) {
            QVERIFY2(QString::fromLocal8Bit(process.readAllStandardError()).startsWith(output),
                     qPrintable(output));
            QCOMPARE(process.readAllStandardOutput(), QByteArray());
        } else if (output.endsWith(u'\n')) {
            QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()), output);
        } else {
            QVERIFY(QString::fromLocal8Bit(process.readAllStandardOutput()).startsWith(output));
        }
        QTRY_COMPARE(m_to.received.join(), received);
        QCOMPARE(storeDigest(), storeBefore);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
