// The real quillpost on a virtual X display: what a first start leaves in an
// empty store, and a second start that hands the foreground to the first
// copy and ends at once without touching the store.
#include "xclient.h"
#include "xdisplay.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// Bounds of the waits; a healthy run needs a fraction of each, also with
// the sanitizers on.
constexpr int kProgramStartMs = 30000;
constexpr int kSecondCopyEndMs = 20000;
constexpr int kToolMs = 5000;

// The window id of the top-level window with exactly this caption, 0 when
// there is none.
quint32 WindowByName(const QString &display, const QString &caption)
{
    const QString out = RunXTool(u"xwininfo"_s, {u"-name"_s, caption}, display);
    const QRegularExpressionMatch match = QRegularExpression(u"Window id: (0x[0-9a-fA-F]+)"_s).match(out);
    return match.hasMatch() ? match.captured(1).toUInt(nullptr, 16) : 0;
}

QString Property(const QString &display, quint32 window, const QString &name)
{
    QStringList arguments;
    if (window != 0)
        arguments << u"-id"_s << QString::number(window);
    else
        arguments << u"-root"_s;
    arguments << name;
    return RunXTool(u"xprop"_s, arguments, display);
}

// Asks the window manager to iconify the window, as its minimise button does.
bool Iconify(const QString &display, quint32 window)
{
    constexpr quint32 kIconicState = 3;
    return SendToWindowManager(display, window, "WM_CHANGE_STATE", kIconicState);
}

} // namespace

class TestQuillpostEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_program = BuiltProgram(u"quillpost"_s);
        QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
            QSKIP("Xvfb is not installed");
        for (const char *tool : {"xwininfo", "xprop"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP("x11-utils is not installed");
        }

        m_xvfb = std::make_unique<XDisplay>();
        m_display = m_xvfb->name();
        QVERIFY2(!m_display.isEmpty(), "Xvfb reported no display");

        // A window manager makes minimising and activating real.
        const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
        if (openbox.isEmpty())
            QSKIP("openbox is not installed");
        const QString failure = StartWindowManager(m_windowManager, m_display, m_home.path());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void cleanupTestCase()
    {
        StopProcess(m_windowManager);
        m_xvfb.reset();
    }

    void firstStartFillsStoreAndSecondStartBringsItForward()
    {
        QProcess first;
        first.setProcessEnvironment(m_folders.environment(m_display));
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(m_program, {});
        QVERIFY(first.waitForStarted(kProgramStartMs));
        auto stopFirst = qScopeGuard([&first] { StopProcess(first); });

        // Up once the window is mapped and the endpoint answers.
        const QString endpoint = m_folders.runtime() + u"/Send Message.endpoint"_s;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(endpoint), kProgramStartMs);
        quint32 window = 0;
        QTRY_VERIFY_WITH_TIMEOUT((window = WindowByName(m_display, u"Send Message"_s)) != 0, kProgramStartMs);

        const QString ini = m_folders.config() + u"/Quillpost/Quillpost.ini"_s;
        QVERIFY(QFile::exists(ini));
        {
            QSettings store(ini, QSettings::IniFormat);
            QCOMPARE(store.value(u"Settings/DefaultPort"_s).toString(), u"505"_s);
            QCOMPARE(store.value(u"Settings/MinimizedWhenSend"_s).toString(), u"True"_s);
            QCOMPARE(store.value(u"Settings/PopupWhenSend"_s).toString(), u"True"_s);
            QCOMPARE(store.value(u"Settings/DefaultIp"_s).toString(), u"127.0.0.1"_s);
            bool numeric = false;
            store.value(u"Settings/StartUPX"_s).toString().toInt(&numeric);
            QVERIFY(numeric);
            store.value(u"Settings/StartUPY"_s).toString().toInt(&numeric);
            QVERIFY(numeric);
            QCOMPARE(store.value(u"Users/TestUsers"_s).toString(), u"True"_s);
            QCOMPARE(store.value(u"Users/1_name"_s).toString(), u"localhost"_s);
            QCOMPARE(store.value(u"Users/1_ip"_s).toString(), u"127.0.0.1"_s);
            QCOMPARE(store.value(u"Users/1_port"_s).toString(), u"505"_s);
            store.beginGroup(u"Users"_s);
            QCOMPARE(store.childKeys().size(), 4);
            store.endGroup();
            QVERIFY(!store.childGroups().contains(u"Identification"_s));
        }
        QFile iniFile(ini);
        QVERIFY(iniFile.open(QIODevice::ReadOnly));
        const QByteArray storeBefore = iniFile.readAll();
        iniFile.close();

        // Minimise it once the window manager has taken it over.
        QTRY_VERIFY_WITH_TIMEOUT(Property(m_display, window, u"WM_STATE"_s).contains(u"Normal"_s),
                                 kProgramStartMs);
        // A request that comes while the window manager is still settling the
        // new window is dropped, so it is repeated until it takes.
        const auto minimised = [&] {
            if (Property(m_display, window, u"WM_STATE"_s).contains(u"Iconic"_s))
                return true;
            Iconify(m_display, window);
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(minimised(), kToolMs);

        QProcess second;
        second.setProcessEnvironment(m_folders.environment(m_display));
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer timer;
        timer.start();
        second.start(m_program, {});
        const bool ended = second.waitForFinished(kSecondCopyEndMs);
        if (!ended)
            StopProcess(second);
        QVERIFY2(ended, "the second copy did not end");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        qInfo("second copy ended after %lld ms", static_cast<long long>(timer.elapsed()));

        // The first copy is back on the screen and is the active window.
        QTRY_VERIFY_WITH_TIMEOUT(Property(m_display, window, u"WM_STATE"_s).contains(u"Normal"_s), kToolMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            Property(m_display, 0, u"_NET_ACTIVE_WINDOW"_s).contains(u"0x"_s + QString::number(window, 16)),
            kToolMs);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(WindowByName(m_display, u"Send Message"_s), window);

        QVERIFY(iniFile.open(QIODevice::ReadOnly));
        QCOMPARE(iniFile.readAll(), storeBefore);
    }

private:
    QString m_program;
    QString m_display;
    std::unique_ptr<XDisplay> m_xvfb;
    QProcess m_windowManager;
    QTemporaryDir m_home;
    ProgramFolders m_folders;
};

QTEST_GUILESS_MAIN(TestQuillpostEndToEnd)
#include "test_quillpost_e2e.moc"
