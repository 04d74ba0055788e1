// The main window: its start (store written, listeners, "-V"), the menus and
// the "Hide" button, the notification-area menu, and how it ends.
#include "messagewindow.h"
#include "receiverfixture.h"
#include "receiveroptionsdialog.h"
#include "trayicon.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>

using namespace Qt::StringLiterals;

class TestReceiverMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void hiddenStartSwitch_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("-V") << u"-V"_s << true;
        QTest::newRow("-v") << u"-v"_s << true;
        QTest::newRow("blanks around") << u"  -v "_s << true;
        QTest::newRow("followed by a word") << u"-V now"_s << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("other switch") << u"-X"_s << false;
    }

    void hiddenStartSwitch()
    {
        QFETCH(QString, commandLine);
        QFETCH(bool, hidden);
        QCOMPARE(ReceiverWindow::isHiddenStartSwitch(commandLine), hidden);
    }

    void startWritesTheStore()
    {
        // The stored port is one this test holds, so no fixed port is ever opened:
        // the listen fails with its box, and everything else still happens.
        QTcpServer held;
        QVERIFY(held.listen(QHostAddress(QHostAddress::LocalHost), 0));
        NoticeRecorder notices;
        QTemporaryDir folder;
        const QString ini = folder.filePath(u"Quillbox.ini"_s);
        {
            SettingsStore prepared = SettingsStore::atPath(ini);
            prepared.save(u"Ports"_s, u"1_port"_s, QString::number(held.serverPort()));
            prepared.save(u"Settings"_s, u"PlayIncomingSound"_s, u"False"_s);
            QVERIFY(prepared.flush());
        }
        SettingsStore store = SettingsStore::atPath(ini);
        ReceiverSettings settings;
        ReceiverWindowOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        ReceiverWindow form(store, settings, options);
        form.start(QString());

        QVERIFY(form.isVisible());
        QCOMPARE(settings.portList.count(), 1);
        QCOMPARE(settings.portList.at(1), qint32(held.serverPort()));
        QVERIFY(!settings.playIncomingSound);
        QCOMPARE(notices.count(u"Error"_s), 1);

        SettingsStore check = SettingsStore::atPath(ini);
        QCOMPARE(check.getAll(u"Ports"_s),
                 SettingsStore::Entries({{u"1_port"_s, QString::number(held.serverPort())}}));
        QCOMPARE(check.get(u"Settings"_s, u"PlayIncomingSound"_s, QString()), u"False"_s);
        QVERIFY(!check.get(u"Settings"_s, u"StartUPX"_s, QString()).isEmpty());
        QVERIFY(!check.get(u"Settings"_s, u"StartUPY"_s, QString()).isEmpty());
    }

    void startHiddenStaysReachable()
    {
        NoticeRecorder notices;
        QTemporaryDir folder;
        SettingsStore store = SettingsStore::atPath(folder.filePath(u"Quillbox.ini"_s));
        ReceiverSettings settings;
        settings.portList.clear();
        settings.portList.append(0);
        ReceiverWindowOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.loadSettings = false;
        ReceiverWindow form(store, settings, options);
        form.start(u" -v "_s);
        // Hidden in the notification area, or minimised where there is none.
        if (TrayIcon::isAvailable())
            QVERIFY(!form.isVisible());
        else
            QVERIFY(form.isMinimized());
        QVERIFY(form.listeners()[0]->isListening());
    }

    void hideButton()
    {
        ReceiverFixture receiver;
        auto *hide = receiver.form->findChild<QPushButton *>(u"Command1"_s);
        QTest::mouseClick(hide, Qt::LeftButton);
        // No notification area here: minimised rather than lost.
        QVERIFY(!receiver.form->isVisible() || receiver.form->isMinimized());
        QVERIFY(receiver.form->listeners()[0]->isListening());
        QVERIFY(SendPayload(receiver.port(), Bars("bob|1|still listening")));
        QTRY_COMPARE(receiver.windows().size(), 1);
    }

    void trayMenuStates()
    {
        ReceiverFixture receiver;
        TrayIcon *tray = receiver.form->tray();
        QStringList captions;
        for (QAction *action : tray->menu()->actions())
            captions.append(action->isSeparator() ? u"-"_s : action->text());
        QCOMPARE(captions, QStringList({u"Show"_s, u"Hide"_s, u"Start Sender"_s, u"-"_s, u"Close"_s}));

        tray->onActivated(QSystemTrayIcon::Context);
        QVERIFY(tray->menuItem(1)->isEnabled());
        QVERIFY(tray->menuItem(2)->isEnabled());
        receiver.form->hide();
        tray->onActivated(QSystemTrayIcon::Context);
        QVERIFY(tray->menuItem(1)->isEnabled());
        QVERIFY(!tray->menuItem(2)->isEnabled());

        // Presses, double clicks and moves do nothing.
        tray->onActivated(QSystemTrayIcon::DoubleClick);
        tray->onActivated(QSystemTrayIcon::MiddleClick);
        QVERIFY(!receiver.form->isVisible());
        tray->onMenuItemTriggered(1);
        QVERIFY(receiver.form->isVisible());
    }

    void trayHideWaitsForModal()
    {
        ReceiverFixture receiver;
        bool stayedVisible = false;
        WhileModal([&](QWidget *) {
            receiver.form->tray()->onMenuItemTriggered(2);
            stayedVisible = receiver.form->isVisible() && !receiver.form->isMinimized();
        });
        receiver.form->onAboutTriggered();
        QVERIFY(stayedVisible);
        receiver.form->tray()->onMenuItemTriggered(2);
        QVERIFY(!receiver.form->isVisible() || receiver.form->isMinimized());
    }

    void trayLeftClickShows()
    {
        ReceiverFixture receiver;
        receiver.form->showMinimized();
        receiver.form->tray()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(receiver.form->isVisible());
        QVERIFY(!receiver.form->isMinimized());
        receiver.form->hide();
        receiver.form->tray()->onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(receiver.form->isVisible());
    }

    void senderProgramBesideThisOne()
    {
        const QFileInfo program(TrayIcon::senderProgramPath());
        QVERIFY(program.isAbsolute());
        QCOMPARE(program.absolutePath(), QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
        QVERIFY(program.fileName().startsWith(u"quillpost"_s));
    }

    void closeKeepsMessageWindows_data()
    {
        QTest::addColumn<bool>("hiddenFirst");
        QTest::newRow("window shown") << false;
        QTest::newRow("window hidden") << true;
    }

    void closeKeepsMessageWindows()
    {
        QFETCH(bool, hiddenFirst);
        ReceiverFixture receiver;
        if (hiddenFirst)
            receiver.form->hide();
        QSignalSpy ended(receiver.form.get(), &ReceiverWindow::programEnded);
        const quint16 port = receiver.port();
        QVERIFY(SendPayload(port, Bars("bob|1|stays")));
        QTRY_COMPARE(receiver.windows().size(), 1);

        receiver.form->tray()->onMenuItemTriggered(5);
        QVERIFY(receiver.form->isUnloaded());
        QVERIFY(!receiver.form->isVisible());
        QVERIFY(receiver.form->listeners().isEmpty());
        QVERIFY(!receiver.form->tray()->isShown());
        QCOMPARE(ended.count(), 0);
        QVERIFY(receiver.windows()[0]->isVisible());
        QVERIFY(!receiver.store.get(u"Settings"_s, u"StartUPX"_s, QString()).isEmpty());

        QTcpSocket refused;
        refused.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        QVERIFY(!refused.waitForConnected(5000));

        receiver.windows()[0]->close();
        QCOMPARE(ended.count(), 1);
    }

    void exitEndsAtOnce()
    {
        ReceiverFixture receiver;
        QSignalSpy ended(receiver.form.get(), &ReceiverWindow::programEnded);
        QVERIFY(SendPayload(receiver.port(), Bars("bob|1|lost on exit")));
        QTRY_COMPARE(receiver.windows().size(), 1);
        QPointer<MessageWindow> window = receiver.windows()[0];
        receiver.form->findChild<QAction *>(u"exitmn"_s)->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(window.isNull());
        QVERIFY(receiver.form->isUnloaded());
    }

    void optionsDialogKeepsWaitingSenders()
    {
        // Senders waiting behind busy readers survive the options dialog:
        // a port that is still wanted keeps its listener.
        ReceiverFixture receiver({0}, 2000);
        const quint16 port = receiver.port();
        receiver.settings.portList.clear();
        receiver.settings.portList.append(port);
        receiver.form->startListeners();
        QVERIFY(receiver.form->listeners()[0]->isListening());
        Listener *listener = receiver.form->listeners()[0];

        std::vector<std::unique_ptr<QTcpSocket>> silent;
        for (int i = 0; i < Listener::kMaxReadersPerPort; ++i) {
            silent.push_back(std::make_unique<QTcpSocket>());
            QVERIFY(silent.back()->bind(QHostAddress(u"127.0.1.%1"_s.arg(1 + i % 8))));
            silent.back()->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
            QVERIFY(silent.back()->waitForConnected(5000));
        }
        constexpr int kWaiting = 100;
        for (int i = 0; i < kWaiting; ++i)
            QVERIFY(SendPayload(port, Bars("bob|1|") + QByteArray::number(i), QHostAddress(u"127.0.0.2"_s)));
        QTRY_COMPARE(listener->heldConnections(), Listener::kMaxReadersPerPort + kWaiting);

        WhileModal([](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        receiver.form->onProgramOptionsTriggered();
        QCOMPARE(receiver.form->listeners().size(), 1);
        QCOMPARE(receiver.form->listeners()[0], listener);

        silent.clear();
        QTRY_COMPARE_WITH_TIMEOUT(receiver.windows().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(receiver.windows()[0]->messages().size(), kWaiting, 10000);
        QCOMPARE(receiver.windows()[0]->messages().last(), u"99"_s);
    }

    void changedPortRestartsOnlyItsListener()
    {
        ReceiverFixture receiver({0, 0});
        const quint16 kept = receiver.port(0);
        const quint16 dropped = receiver.port(1);
        receiver.settings.portList.clear();
        receiver.settings.portList.append(kept);
        receiver.settings.portList.append(dropped);
        receiver.form->startListeners();
        Listener *keptListener = receiver.form->listeners()[0];
        receiver.settings.portList.clear();
        receiver.settings.portList.append(kept);
        receiver.form->startListeners();
        QCOMPARE(receiver.form->listeners().size(), 1);
        QCOMPARE(receiver.form->listeners()[0], keptListener);
        QTcpSocket old;
        old.connectToHost(QHostAddress(QHostAddress::LocalHost), dropped);
        QVERIFY(!old.waitForConnected(5000));
        QVERIFY(SendPayload(kept, Bars("bob|1|still here")));
        QTRY_COMPARE(receiver.windows().size(), 1);
    }
};

QTEST_MAIN(TestReceiverMainWindow)
#include "test_receiverwindow.moc"
