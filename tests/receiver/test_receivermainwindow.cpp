// The main window: its start (store written, listeners, "-V"), the menus and
// the "Hide" button, the notification-area menu, and how it ends.
#include "dialog1.h"
#include "optprog.h"
#include "receiverfixture.h"
#include "systemtray.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>

class TestReceiverMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void hiddenStartSwitch_data();
    void hiddenStartSwitch();
    void startWritesTheStore();
    void startHiddenStaysReachable();
    void menus_data();
    void menus();
    void hideButton();
    void trayMenuStates();
    void trayHideWaitsForModal();
    void trayLeftClickShows();
    void senderProgramBesideThisOne();
    void closeKeepsMessageWindows_data();
    void closeKeepsMessageWindows();
    void exitEndsAtOnce();
    void optionsDialogRebuildsListeners();
};

void TestReceiverMainWindow::hiddenStartSwitch_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("-V") << QStringLiteral("-V") << true;
    QTest::newRow("-v") << QStringLiteral("-v") << true;
    QTest::newRow("blanks around") << QStringLiteral("  -v ") << true;
    QTest::newRow("followed by a word") << QStringLiteral("-V now") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("other switch") << QStringLiteral("-X") << false;
}

void TestReceiverMainWindow::hiddenStartSwitch()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, hidden);
    QCOMPARE(ReceiveForm::IsHiddenStartSwitch(commandLine), hidden);
}

void TestReceiverMainWindow::startWritesTheStore()
{
    // The stored port is one this test holds, so no fixed port is ever opened:
    // the listen fails with its box, and everything else still happens.
    QTcpServer held;
    QVERIFY(held.listen(QHostAddress(QHostAddress::LocalHost), 0));
    NoticeRecorder notices;
    QTemporaryDir folder;
    const QString ini = folder.filePath(QStringLiteral("Quillbox.ini"));
    {
        SettingsStore prepared = SettingsStore::atPath(ini);
        prepared.save(QStringLiteral("Ports"), QStringLiteral("1_port"), QString::number(held.serverPort()));
        prepared.save(QStringLiteral("Settings"), QStringLiteral("PlayIncomingSound"),
                      QStringLiteral("False"));
        QVERIFY(prepared.flush());
    }
    SettingsStore store = SettingsStore::atPath(ini);
    ReceiverSettings settings;
    ReceiveFormOptions options;
    options.listenAddress = QHostAddress(QHostAddress::LocalHost);
    options.trayIcon = false;
    ReceiveForm form(store, settings, options);
    form.Form_Load(QString());

    QCOMPARE(form.windowTitle(), QStringLiteral("Message Receiver"));
    QVERIFY(form.isVisible());
    QCOMPARE(settings.portList.count(), 1);
    QCOMPARE(settings.portList.at(1), qint32(held.serverPort()));
    QVERIFY(!settings.PlayIncomingSound);
    QCOMPARE(notices.count(QStringLiteral("Error")), 1);

    SettingsStore check = SettingsStore::atPath(ini);
    QCOMPARE(check.getAll(QStringLiteral("Ports")),
             SettingsStore::Entries({{QStringLiteral("1_port"), QString::number(held.serverPort())}}));
    QCOMPARE(check.get(QStringLiteral("Settings"), QStringLiteral("PlayIncomingSound"), QString()),
             QStringLiteral("False"));
    QVERIFY(!check.get(QStringLiteral("Settings"), QStringLiteral("StartUPX"), QString()).isEmpty());
    QVERIFY(!check.get(QStringLiteral("Settings"), QStringLiteral("StartUPY"), QString()).isEmpty());
}

void TestReceiverMainWindow::startHiddenStaysReachable()
{
    NoticeRecorder notices;
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillbox.ini")));
    ReceiverSettings settings;
    settings.portList.clear();
    settings.portList.append(0);
    ReceiveFormOptions options;
    options.listenAddress = QHostAddress(QHostAddress::LocalHost);
    options.loadSettings = false;
    ReceiveForm form(store, settings, options);
    form.Form_Load(QStringLiteral(" -v "));
    // Hidden in the notification area, or minimised where there is none.
    if (SystemTray::Available())
        QVERIFY(!form.isVisible());
    else
        QVERIFY(form.isMinimized());
    QVERIFY(form.Winsck()[0]->isListening());
}

void TestReceiverMainWindow::menus_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::newRow("exit") << QStringLiteral("exitmn") << QStringLiteral("E&xit");
    QTest::newRow("options") << QStringLiteral("progopmn") << QStringLiteral("&Program Option...");
    QTest::newRow("about") << QStringLiteral("aboutnm") << QStringLiteral("&About...");
}

void TestReceiverMainWindow::menus()
{
    QFETCH(QString, item);
    QFETCH(QString, caption);
    ReceiverFixture receiver;
    auto *action = receiver.form->findChild<QAction *>(item);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
    QStringList menus;
    for (QAction *menu : receiver.form->menuBar()->actions())
        menus.append(menu->text());
    QCOMPARE(menus,
             QStringList({QStringLiteral("&File"), QStringLiteral("&Option"), QStringLiteral("&Help")}));
}

void TestReceiverMainWindow::hideButton()
{
    ReceiverFixture receiver;
    auto *hide = receiver.form->findChild<QPushButton *>(QStringLiteral("Command1"));
    QCOMPARE(hide->text(), QStringLiteral("Hide"));
    QTest::mouseClick(hide, Qt::LeftButton);
    // No notification area here: minimised rather than lost.
    QVERIFY(!receiver.form->isVisible() || receiver.form->isMinimized());
    QVERIFY(receiver.form->Winsck()[0]->isListening());
    QVERIFY(SendPayload(receiver.port(), Bars("bob|1|still listening")));
    QTRY_COMPARE(receiver.windows().size(), 1);
}

void TestReceiverMainWindow::trayMenuStates()
{
    ReceiverFixture receiver;
    SystemTray *tray = receiver.form->tray();
    QStringList captions;
    for (QAction *action : tray->pop_menu()->actions())
        captions.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(captions,
             QStringList({QStringLiteral("Show"), QStringLiteral("Hide"), QStringLiteral("Start Sender"),
                          QStringLiteral("-"), QStringLiteral("Close")}));

    tray->TrayMouseEvent(QSystemTrayIcon::Context);
    QVERIFY(tray->pop_submenu(1)->isEnabled());
    QVERIFY(tray->pop_submenu(2)->isEnabled());
    receiver.form->hide();
    tray->TrayMouseEvent(QSystemTrayIcon::Context);
    QVERIFY(tray->pop_submenu(1)->isEnabled());
    QVERIFY(!tray->pop_submenu(2)->isEnabled());

    // Presses, double clicks and moves do nothing.
    tray->TrayMouseEvent(QSystemTrayIcon::DoubleClick);
    tray->TrayMouseEvent(QSystemTrayIcon::MiddleClick);
    QVERIFY(!receiver.form->isVisible());
    tray->pop_submenu_Click(1);
    QVERIFY(receiver.form->isVisible());
}

void TestReceiverMainWindow::trayHideWaitsForModal()
{
    ReceiverFixture receiver;
    bool stayedVisible = false;
    WhileModal([&](QWidget *) {
        receiver.form->tray()->pop_submenu_Click(2);
        stayedVisible = receiver.form->isVisible() && !receiver.form->isMinimized();
    });
    receiver.form->aboutnm_Click();
    QVERIFY(stayedVisible);
    receiver.form->tray()->pop_submenu_Click(2);
    QVERIFY(!receiver.form->isVisible() || receiver.form->isMinimized());
}

void TestReceiverMainWindow::trayLeftClickShows()
{
    ReceiverFixture receiver;
    receiver.form->showMinimized();
    receiver.form->tray()->TrayMouseEvent(QSystemTrayIcon::Trigger);
    QVERIFY(receiver.form->isVisible());
    QVERIFY(!receiver.form->isMinimized());
    receiver.form->hide();
    receiver.form->tray()->TrayMouseEvent(QSystemTrayIcon::Trigger);
    QVERIFY(receiver.form->isVisible());
}

void TestReceiverMainWindow::senderProgramBesideThisOne()
{
    const QFileInfo program(SystemTray::SenderProgramPath());
    QVERIFY(program.isAbsolute());
    QCOMPARE(program.absolutePath(), QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
    QVERIFY(program.fileName().startsWith(QStringLiteral("quillpost")));
}

void TestReceiverMainWindow::closeKeepsMessageWindows_data()
{
    QTest::addColumn<bool>("hiddenFirst");
    QTest::newRow("window shown") << false;
    QTest::newRow("window hidden") << true;
}

void TestReceiverMainWindow::closeKeepsMessageWindows()
{
    QFETCH(bool, hiddenFirst);
    ReceiverFixture receiver;
    if (hiddenFirst)
        receiver.form->hide();
    QSignalSpy ended(receiver.form.get(), &ReceiveForm::programEnded);
    const quint16 port = receiver.port();
    QVERIFY(SendPayload(port, Bars("bob|1|stays")));
    QTRY_COMPARE(receiver.windows().size(), 1);

    receiver.form->tray()->pop_submenu_Click(5);
    QVERIFY(receiver.form->isUnloaded());
    QVERIFY(!receiver.form->isVisible());
    QVERIFY(receiver.form->Winsck().isEmpty());
    QVERIFY(!receiver.form->tray()->isShown());
    QCOMPARE(ended.count(), 0);
    QVERIFY(receiver.windows()[0]->isVisible());
    QVERIFY(!receiver.store.get(QStringLiteral("Settings"), QStringLiteral("StartUPX"), QString()).isEmpty());

    QTcpSocket refused;
    refused.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    QVERIFY(!refused.waitForConnected(5000));

    receiver.windows()[0]->close();
    QCOMPARE(ended.count(), 1);
}

void TestReceiverMainWindow::exitEndsAtOnce()
{
    ReceiverFixture receiver;
    QSignalSpy ended(receiver.form.get(), &ReceiveForm::programEnded);
    QVERIFY(SendPayload(receiver.port(), Bars("bob|1|lost on exit")));
    QTRY_COMPARE(receiver.windows().size(), 1);
    QPointer<Dialog1> window = receiver.windows()[0];
    receiver.form->findChild<QAction *>(QStringLiteral("exitmn"))->trigger();
    QCOMPARE(ended.count(), 1);
    QVERIFY(window.isNull());
    QVERIFY(receiver.form->isUnloaded());
}

void TestReceiverMainWindow::optionsDialogRebuildsListeners()
{
    ReceiverFixture receiver;
    const quint16 before = receiver.port();
    WhileModal([&](QWidget *dialog) {
        auto *portnb = dialog->findChild<QLineEdit *>(QStringLiteral("Portnb"));
        portnb->setText(QStringLiteral("0"));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("removeall")), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("addnew")), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("addnew")), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("SaveOption")), Qt::LeftButton);
    });
    receiver.form->progopmn_Click();
    QCOMPARE(receiver.settings.portList.count(), 1);
    QCOMPARE(receiver.form->Winsck().size(), 1);
    QVERIFY(receiver.form->Winsck()[0]->isListening());
    QVERIFY(SendPayload(receiver.port(), Bars("bob|1|on the new listener")));
    QTRY_COMPARE(receiver.windows().size(), 1);
    QTcpSocket old;
    old.connectToHost(QHostAddress(QHostAddress::LocalHost), before);
    QVERIFY(before == receiver.port() || !old.waitForConnected(5000));
    QCOMPARE(receiver.store.get(QStringLiteral("Ports"), QStringLiteral("1_port"), QString()),
             QStringLiteral("0"));
}

QTEST_MAIN(TestReceiverMainWindow)
#include "test_receivermainwindow.moc"
