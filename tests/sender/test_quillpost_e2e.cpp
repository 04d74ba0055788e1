// The real quillpost on a virtual X display: what a first start leaves in an
// empty store, and a second start that hands the foreground to the first
// copy and ends at once without touching the store.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <xcb/xcb.h>

namespace {

// Bounds of the waits; a healthy run needs a fraction of each, also with
// the sanitizers on.
constexpr int kDisplayStartMs = 15000;
constexpr int kProgramStartMs = 30000;
constexpr int kSecondCopyEndMs = 20000;
constexpr int kToolMs = 5000;

QString Run(const QString &program, const QStringList &arguments, const QString &display)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(kToolMs)) {
        tool.kill();
        tool.waitForFinished(kToolMs);
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

// The window id of the top-level window with exactly this caption, 0 when
// there is none.
quint32 WindowByName(const QString &display, const QString &caption)
{
    const QString out = Run(QStringLiteral("xwininfo"), {QStringLiteral("-name"), caption}, display);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Window id: (0x[0-9a-fA-F]+)")).match(out);
    return match.hasMatch() ? match.captured(1).toUInt(nullptr, 16) : 0;
}

QString Property(const QString &display, quint32 window, const QString &name)
{
    QStringList arguments;
    if (window != 0)
        arguments << QStringLiteral("-id") << QString::number(window);
    else
        arguments << QStringLiteral("-root");
    arguments << name;
    return Run(QStringLiteral("xprop"), arguments, display);
}

// Asks the window manager to iconify the window, as its minimise button does.
bool Iconify(const QString &display, quint32 window)
{
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const char name[] = "WM_CHANGE_STATE";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof(name) - 1, name), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    bool sent = false;
    if (atom) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom->atom;
        event.data.data32[0] = 3; // IconicState
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
        sent = xcb_flush(connection) > 0;
        free(atom);
    }
    xcb_disconnect(connection);
    return sent;
}

void Stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kToolMs)) {
        process.kill();
        process.waitForFinished(kToolMs);
    }
}

} // namespace

class TestQuillpostEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstStartFillsStoreAndSecondStartBringsItForward();

private:
    QProcessEnvironment programEnvironment() const;

    QString m_program;
    QString m_display;
    QProcess m_xvfb;
    QProcess m_windowManager;
    QTemporaryDir m_home;
};

void TestQuillpostEndToEnd::initTestCase()
{
    m_program = qEnvironmentVariable("QUILL_BIN_DIR") + QStringLiteral("/quillpost");
    QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    for (const char *tool : {"xwininfo", "xprop"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP("x11-utils is not installed");
    }

    // Xvfb picks a free display itself and reports its number when ready.
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    QVERIFY(m_xvfb.waitForStarted(kDisplayStartMs));
    QByteArray number;
    QElapsedTimer timer;
    timer.start();
    while (!number.contains('\n') && timer.elapsed() < kDisplayStartMs &&
           m_xvfb.state() == QProcess::Running) {
        m_xvfb.waitForReadyRead(500);
        number += m_xvfb.readAllStandardOutput();
    }
    QVERIFY2(number.contains('\n'), "Xvfb reported no display");
    m_display = u':' + QString::fromLatin1(number.trimmed());

    // A window manager makes minimising and activating real.
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (openbox.isEmpty())
        QSKIP("openbox is not installed");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    // Its own folders, so that window managers of tests running side by
    // side share no configuration, cache or session files.
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("wm-config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("wm-cache")));
    m_windowManager.setProcessEnvironment(environment);
    m_windowManager.start(openbox, {QStringLiteral("--sm-disable")});
    QVERIFY(m_windowManager.waitForStarted(kDisplayStartMs));
    const auto managed = [this] {
        return Property(m_display, 0, QStringLiteral("_NET_SUPPORTING_WM_CHECK"))
            .contains(QStringLiteral("window id"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(managed() || m_windowManager.state() != QProcess::Running, kDisplayStartMs);
    QVERIFY2(managed(), qPrintable(u"openbox did not come up on " + m_display + u": " +
                                   QString::fromLocal8Bit(m_windowManager.readAllStandardError())));

    QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("config"))));
    QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("runtime"))));
    QVERIFY(QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestQuillpostEndToEnd::cleanupTestCase()
{
    Stop(m_windowManager);
    Stop(m_xvfb);
}

QProcessEnvironment TestQuillpostEndToEnd::programEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
    return environment;
}

void TestQuillpostEndToEnd::firstStartFillsStoreAndSecondStartBringsItForward()
{
    QProcess first;
    first.setProcessEnvironment(programEnvironment());
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(m_program, {});
    QVERIFY(first.waitForStarted(kProgramStartMs));
    auto stopFirst = qScopeGuard([&first] { Stop(first); });

    // Up once the window is mapped and the endpoint answers.
    const QString endpoint = m_home.filePath(QStringLiteral("runtime/Send Message.endpoint"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(endpoint), kProgramStartMs);
    quint32 window = 0;
    QTRY_VERIFY_WITH_TIMEOUT((window = WindowByName(m_display, QStringLiteral("Send Message"))) != 0,
                             kProgramStartMs);

    const QString ini = m_home.filePath(QStringLiteral("config/Quillpost/Quillpost.ini"));
    QVERIFY(QFile::exists(ini));
    {
        QSettings store(ini, QSettings::IniFormat);
        QCOMPARE(store.value(QStringLiteral("Settings/DefaultPort")).toString(), QStringLiteral("505"));
        QCOMPARE(store.value(QStringLiteral("Settings/MinimizedWhenSend")).toString(),
                 QStringLiteral("True"));
        QCOMPARE(store.value(QStringLiteral("Settings/PopupWhenSend")).toString(), QStringLiteral("True"));
        QCOMPARE(store.value(QStringLiteral("Settings/DefaultIp")).toString(), QStringLiteral("127.0.0.1"));
        bool numeric = false;
        store.value(QStringLiteral("Settings/StartUPX")).toString().toInt(&numeric);
        QVERIFY(numeric);
        store.value(QStringLiteral("Settings/StartUPY")).toString().toInt(&numeric);
        QVERIFY(numeric);
        QCOMPARE(store.value(QStringLiteral("Users/TestUsers")).toString(), QStringLiteral("True"));
        QCOMPARE(store.value(QStringLiteral("Users/1_name")).toString(), QStringLiteral("localhost"));
        QCOMPARE(store.value(QStringLiteral("Users/1_ip")).toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(store.value(QStringLiteral("Users/1_port")).toString(), QStringLiteral("505"));
        store.beginGroup(QStringLiteral("Users"));
        QCOMPARE(store.childKeys().size(), 4);
        store.endGroup();
        QVERIFY(!store.childGroups().contains(QStringLiteral("Identification")));
    }
    QFile iniFile(ini);
    QVERIFY(iniFile.open(QIODevice::ReadOnly));
    const QByteArray storeBefore = iniFile.readAll();
    iniFile.close();

    // Minimise it once the window manager has taken it over.
    QTRY_VERIFY_WITH_TIMEOUT(
        Property(m_display, window, QStringLiteral("WM_STATE")).contains(QStringLiteral("Normal")),
        kProgramStartMs);
    // A request that comes while the window manager is still settling the
    // new window is dropped, so it is repeated until it takes.
    const auto minimised = [&] {
        if (Property(m_display, window, QStringLiteral("WM_STATE")).contains(QStringLiteral("Iconic")))
            return true;
        Iconify(m_display, window);
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(minimised(), kToolMs);

    QProcess second;
    second.setProcessEnvironment(programEnvironment());
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer timer;
    timer.start();
    second.start(m_program, {});
    const bool ended = second.waitForFinished(kSecondCopyEndMs);
    if (!ended)
        Stop(second);
    QVERIFY2(ended, "the second copy did not end");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    qInfo("second copy ended after %lld ms", static_cast<long long>(timer.elapsed()));

    // The first copy is back on the screen and is the active window.
    QTRY_VERIFY_WITH_TIMEOUT(
        Property(m_display, window, QStringLiteral("WM_STATE")).contains(QStringLiteral("Normal")), kToolMs);
    QTRY_VERIFY_WITH_TIMEOUT(Property(m_display, 0, QStringLiteral("_NET_ACTIVE_WINDOW"))
                                 .contains(QStringLiteral("0x") + QString::number(window, 16)),
                             kToolMs);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(WindowByName(m_display, QStringLiteral("Send Message")), window);

    QVERIFY(iniFile.open(QIODevice::ReadOnly));
    QCOMPARE(iniFile.readAll(), storeBefore);
}

QTEST_GUILESS_MAIN(TestQuillpostEndToEnd)
#include "test_quillpost_e2e.moc"
