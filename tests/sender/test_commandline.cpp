// quillpost and quillbox from a terminal: the real programs without a
// display, their output lines and exit statuses, against listeners of the
// test's own on 127.0.0.1.
#include "bars.h"
#include "identity.h"
#include "listener.h"
#include "listeners.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "xdisplay.h"

#include <QCryptographicHash>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class TestCommandLine : public QObject
{
    Q_OBJECT

    Listeners m_to;
    QString m_storeFile;

    // Placeholders in arguments and expected lines: A alice's port (AX in
    // hexadecimal), S the silent one's, F the full one's, N one where nobody
    // listens.
    QString ports(QString text) const
    {
        return text.replace(u"{A}"_s, QString::number(m_to.alice.serverPort()))
            .replace(u"{AX}"_s, QString::number(m_to.alice.serverPort(), 16))
            .replace(u"{S}"_s, QString::number(m_to.silent.serverPort()))
            .replace(u"{F}"_s, QString::number(m_to.fullPort))
            .replace(u"{N}"_s, QString::number(m_to.nobody.localPort()));
    }

    // Runs the program without a display; false when it did not end in time.
    bool run(QProcess &process, const QString &program, QStringList arguments, const QByteArray &input)
    {
        for (QString &argument : arguments)
            argument = ports(argument);
        m_to.received.clear();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(BuiltProgram(program), arguments);
        if (!process.waitForStarted(kXWaitMs))
            return false;
        process.write(input);
        process.closeWriteChannel();
        // The listeners answer from this event loop while the program runs.
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kXWaitMs) &&
               process.exitStatus() == QProcess::NormalExit;
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
        QTest::addColumn<QString>("output"); // standard output, or its start
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
        QTest::newRow("reply port 0, as the identification takes it")
            << quillpost << QStringList{u"--to=alice"_s, u"--reply-port=0"_s, u"--message=x"_s}
            << QByteArray() << u"delivered: alice (127.0.0.1:{A})\n"_s << 0 << Bars("bob|0|x");
        QTest::newRow("group with a missing member")
            << quillpost
            << QStringList{u"--to"_s, u"team"_s, u"--to"_s, u"127.0.0.1:{N}"_s, u"--message"_s, u"x"_s}
            << QByteArray()
            << u"delivered: alice (127.0.0.1:{A})\nfailed: ghost: not in the user list\n"
               "failed: 127.0.0.1:{N}: Connection refused\n"_s
            << 1 << Bars("bob|606|x");
        // Refused inside the connect, no connection in time, no answer: each
        // is reported in its place, and the program ends.
        QTest::newRow("unreachable, no connection, no answer")
            << quillpost
            << QStringList{u"--to=255.255.255.255"_s, u"--to=127.0.0.1:{F}"_s, u"--to=127.0.0.1:{S}"_s,
                           u"--to=alice"_s, u"--message=x"_s}
            << QByteArray()
            << u"failed: 255.255.255.255:505: Network unreachable\n"
               "failed: 127.0.0.1:{F}: no connection within 5 s\n"
               "not confirmed: 127.0.0.1:{S}: no answer from the recipient within 5 s\n"
               "delivered: alice (127.0.0.1:{A})\n"_s
            << 1 << Bars("bob|606|x");
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
        const QByteArray storeBefore = storeDigest();
        QProcess process;
        QVERIFY(run(process, program, arguments, input));
        QCOMPARE(process.exitCode(), status);
        output = ports(output);
        if (output.endsWith(u'\n'))
            QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()), output);
        else
            QVERIFY(QString::fromLocal8Bit(process.readAllStandardOutput()).startsWith(output));
        QTRY_COMPARE(m_to.received.join(), received);
        QCOMPARE(storeDigest(), storeBefore);
    }

    // To a user with a pinned key the message goes encrypted, and only to
    // that key; --require-encryption sends nothing to a user without one.
    void encrypted()
    {
        QTemporaryDir folder;
        const Identity identity = Identity::create(folder.filePath(u"identity.pem"_s));
        const std::optional<QSslConfiguration> tls = tlsConfiguration(identity, true);
        Listener listener(QHostAddress(QHostAddress::LocalHost), 0);
        listener.setTlsConfiguration(&*tls);
        QVERIFY(listener.startListening());
        QSignalSpy received(&listener, &Listener::messageReceived);

        SettingsStore store = SettingsStore::atPath(m_storeFile);
        SenderSettings settings;
        loadSenderSettings(store, settings);
        const auto restore =
            qScopeGuard([&store, before = settings.userList] { saveUserList(store, before); });
        const quint16 port = listener.serverPort();
        const QByteArray other(32, 'm');
        settings.userList.append(
            {u"carol"_s, u"127.0.0.1"_s, port, 0, {}, {identity.publicKeyDigest(), true}});
        settings.userList.append({u"mallory"_s, u"localhost"_s, port, 0, {}, {other}});
        // One that takes the connection and never answers the handshake.
        settings.userList.append({u"hush"_s, u"localhost"_s, m_to.alice.serverPort(), 0, {}, {other}});
        QVERIFY(saveUserList(store, settings.userList));
        const QStringList lines{
            u"delivered (encrypted, verified): carol (127.0.0.1:%1)"_s.arg(port),
            u"failed: mallory (localhost:%1): not sent: the recipient showed another key (code %2) than the "
            u"one "
            "expected (code %3)"_s.arg(port)
                .arg(identity.verificationCode(), Identity::verificationCode(other)),
            u"failed: hush (localhost:{A}): no encrypted connection within 5 s: the recipient did not finish "
            u"the "
            "handshake"_s,
            u"failed: alice (127.0.0.1:{A}): not sent: the recipient has no key, and only encrypted sending "
            "is allowed"_s};
        QProcess process;
        QVERIFY(run(process, u"quillpost"_s,
                    {u"--to=carol"_s, u"--to=mallory"_s, u"--to=hush"_s, u"--to=alice"_s,
                     u"--require-encryption"_s, u"--message=Grüße"_s},
                    {}));
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()), ports(lines.join(u'\n') + u'\n'));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.at(0).at(0).toByteArray(),
                 u"bob"_s.toUtf8() + '\0' + "606" + '\0' + u"Grüße"_s.toUtf8());
        QTRY_VERIFY(!m_to.received.isEmpty());
        QVERIFY(!m_to.received.join().contains("bob"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // the start of standard error
        const auto row = [](const char *name, const QStringList &arguments, const QString &error) {
            QTest::newRow(name) << arguments << u"quillpost: "_s + error;
        };
        const QString unknown = u"unknown recipient \"127.0.0.1:"_s;
        row("no recipient", {u"--message"_s, u"x"_s}, u"no recipient"_s);
        row("unknown recipient", {u"--to"_s, u"carol"_s}, u"unknown recipient \"carol\""_s);
        row("empty group", {u"--to"_s, u"empty"_s}, u"no recipient: the groups given"_s);
        row("port with letters after it", {u"--to=127.0.0.1:{A}abc"_s}, unknown);
        row("port in hexadecimal", {u"--to=127.0.0.1:&H{AX}"_s}, unknown);
        row("port with a point", {u"--to=127.0.0.1:{A}.0"_s}, unknown);
        row("port with a sign", {u"--to=127.0.0.1:+{A}"_s}, unknown);
        row("port 0", {u"--to=127.0.0.1:0"_s}, unknown);
        row("port above 65535", {u"--to=127.0.0.1:65536"_s}, unknown);
        row("reply port above 65535", {u"--to=alice"_s, u"--reply-port=65536"_s}, u"--reply-port"_s);
        row("reply port in letters", {u"--to=alice"_s, u"--reply-port=abc"_s}, u"--reply-port"_s);
        row("reply port with an exponent", {u"--to=alice"_s, u"--reply-port=5e2"_s}, u"--reply-port"_s);
        row("reply port with a blank", {u"--to=alice"_s, u"--reply-port= 7"_s}, u"--reply-port"_s);
        row("mistyped option", {u"--From"_s, u"x"_s}, u"Unknown option 'From'"_s);
        row("second message", {u"--to=alice"_s, u"--message=a"_s, u"--message=b"_s},
            u"--message may be given only once"_s);
        row("second name", {u"--to=alice"_s, u"--from=a"_s, u"--from=b"_s},
            u"--from may be given only once"_s);
        row("second reply port", {u"--to=alice"_s, u"--reply-port=1"_s, u"--reply-port=1"_s},
            u"--reply-port may be given only once"_s);
    }

    void usageErrors()
    {
        // Nothing is sent, and the store stays as it was.
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const QByteArray storeBefore = storeDigest();
        QProcess process;
        QVERIFY(run(process, u"quillpost"_s, arguments, "x"));
        QCOMPARE(process.exitCode(), 2);
        const QString printed = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(printed.startsWith(ports(error)), qPrintable(printed));
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
        QCOMPARE(m_to.received, QByteArrayList());
        QCOMPARE(storeDigest(), storeBefore);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
