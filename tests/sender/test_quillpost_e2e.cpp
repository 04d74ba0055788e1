// The real programs on a private X display with a window manager, for what
// only they can show: "Reply" in quillbox starts quillpost, whose first start
// writes the store; a second quillpost brings the first forward and ends
// without touching the store; the first holds the sender as a user.
#include "bars.h"
#include "xdisplay.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

class TestQuillpostEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void replyStartsQuillpostAndASecondCopyBringsItForward()
    {
        XDisplay x;
        QVERIFY2(!x.name().isEmpty(), "Xvfb reported no display");
        QProcess windowManager; // makes minimising, activating and closing real
        const auto stopWindowManager = qScopeGuard([&] { StopProcess(windowManager); });
        ProgramFolders folders; // the window manager's home too
        const QString failure = StartWindowManager(windowManager, x.name(), folders.root.path());
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const auto xdotool = [&x](const QStringList &arguments) {
            return RunXTool(u"xdotool"_s, arguments, x.name()).trimmed();
        };
        // The window with exactly this caption that is on the screen, empty when there is none.
        const auto visible = [&](const QString &caption) {
            return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u'^' + caption + u'$'})
                .section(u'\n', 0, 0);
        };
        const auto start = [&](QProcess &process, const QString &program) {
            process.setProcessEnvironment(folders.environment(x.name()));
            process.setProcessChannelMode(QProcess::ForwardedChannels);
            process.start(BuiltProgram(program), {});
        };

        // quillbox listens on a port of the system's choice, held (bound,
        // never listening) until it takes it over: both share it, nobody else
        // can have it.
        QTcpSocket held;
        QVERIFY(held.bind(QHostAddress::Any, 0, QAbstractSocket::ShareAddress));
        QSettings prepared(folders.config() + u"/Quillbox/Quillbox.ini"_s, QSettings::IniFormat);
        prepared.setValue(u"Ports/1_port"_s, held.localPort());
        prepared.setValue(u"Settings/PlayIncomingSound"_s, u"False"_s);
        prepared.sync();
        QProcess quillbox;
        start(quillbox, u"quillbox"_s);
        const auto stopQuillbox = qScopeGuard([&quillbox] { StopProcess(quillbox); });
        QVERIFY(SendWhenListening(held.localPort(), Bars("first sender|6000|hello")));
        QString message, window;
        // Waited for with qWaitFor, which looks once a round: a window the
        // window manager is still mapping may be gone again for a moment.
        QVERIFY(QTest::qWaitFor([&] { return !(message = visible(u"Message "_s)).isEmpty(); }, kXWaitMs));

        // "Reply" from the keyboard: a click into the text, then Tab to the next
        // button shown, then Space. No quillpost runs: quillbox starts the one
        // beside it. The window takes no Space for a moment after it was seen,
        // and nothing outside it can tell when that is over: Space is pressed
        // again until a quillpost starts (a second press after a taken one
        // would reach the next button, "OK", and end the handoff).
        xdotool({u"windowactivate"_s, u"--sync"_s, message});
        const auto size =
            QRegularExpression(u"(\\d+)x(\\d+)"_s).match(xdotool({u"getwindowgeometry"_s, message}));
        xdotool({u"mousemove"_s, u"--window"_s, message, QString::number(size.captured(1).toInt() / 2),
                 QString::number(size.captured(2).toInt() / 2), u"click"_s, u"1"_s, u"key"_s, u"Tab"_s});
        const QByteArray ours = "XDG_CONFIG_HOME=" + folders.config().toUtf8();
        const auto started = [&] { return RunningWith(BuiltProgram(u"quillpost"_s), ours) != 0; };
        QVERIFY(QTest::qWaitFor(
            [&] {
                xdotool({u"windowactivate"_s, u"--sync"_s, message, u"key"_s, u"space"_s});
                return QTest::qWaitFor(started, 2000);
            },
            kXWaitMs));
        QVERIFY(QTest::qWaitFor([&] { return !(window = visible(u"Send Message"_s)).isEmpty(); }, kXWaitMs));
        // Handed over: the message window closes.
        QTRY_VERIFY_WITH_TIMEOUT(visible(u"Message "_s).isEmpty(), kXWaitMs);
        // The first start wrote its store (what it holds is the unit tests' to check).
        const auto ini = [&folders] {
            QFile file(folders.config() + u"/Quillpost/Quillpost.ini"_s);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QVERIFY(ini().contains("[Users]"));

        // Minimised (a request while the window manager still settles the
        // window is lost, so it is repeated until it takes), it comes back
        // and active when a second quillpost starts, which ends at once.
        QVERIFY(QTest::qWaitFor(
            [&] {
                xdotool({u"windowminimize"_s, window});
                return visible(u"Send Message"_s).isEmpty();
            },
            kXWaitMs));
        const QByteArray stored = ini();
        QProcess second;
        start(second, u"quillpost"_s);
        QVERIFY(second.waitForFinished(kXWaitMs));
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(visible(u"Send Message"_s), window, kXWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(xdotool({u"getactivewindow"_s}), window, kXWaitMs);
        QCOMPARE(ini(), stored);

        // Closed from the window manager, quillpost has saved the sender
        // quillbox handed it by the time its window is gone (and without a
        // window it ends, at the latest with the display).
        xdotool({u"windowactivate"_s, u"--sync"_s, window, u"key"_s, u"alt+F4"_s});
        QTRY_VERIFY_WITH_TIMEOUT(visible(u"Send Message"_s).isEmpty(), kXWaitMs);
        QVERIFY(ini().contains("=first sender\n"));
        QCOMPARE(quillbox.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestQuillpostEndToEnd)
#include "test_quillpost_e2e.moc"
