// The main window's start and end: what a start leaves in the store, where
// the window goes, File, Exit, the menus and their dialogs, the timed return
// to the front and the recipient box.
#include "localendpoint.h"
#include "messagebox.h"
#include "sendersettings.h"
#include "sendform.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kUsers = QStringLiteral("Users");
// A 1920 x 1080 screen at 96 dpi: 15 twips a pixel.
constexpr int kTwipsPerPixel = 15;

struct ModalSeen
{
    QString title;
    QWidget *owner = nullptr;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void firstStartFillsStore();
    void startPlacesWindowFromTwips_data();
    void startPlacesWindowFromTwips();
    void closingStoresPositionAndUsers();
    void exitRunsUnloadOnce();
    void menusOpenModalDialogs_data();
    void menusOpenModalDialogs();
    void modifyUserSelectsFirstEntry();
    void timerBringsWindowForward();
    void activationFollowsOwnWindows();
    void recipientEntries_data();
    void recipientEntries();

private:
    std::unique_ptr<SendForm> makeForm();
    void writeUsers(const QList<UserRecord> &users);
    QPlainTextEdit *text1() const { return m_form->findChild<QPlainTextEdit *>(QStringLiteral("Text1")); }
    QPushButton *button(const char *name) const
    {
        return m_form->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QComboBox *combo1() const { return m_form->findChild<QComboBox *>(QStringLiteral("Combo1")); }
    // Closes the next modal dialog as soon as it is up, noting what it was.
    void closeNextModal(ModalSeen &seen);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    SenderSettings m_settings;
    QStringList m_boxes;
    std::unique_ptr<SendForm> m_form;
};

void TestMainWindow::initTestCase()
{
    SetScreenProvider([] { return ScreenMetrics{QSize(1920, 1080), 96.0}; });
}

void TestMainWindow::cleanupTestCase()
{
    SetScreenProvider({});
}

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store =
        std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(QStringLiteral("q.ini"))));
    m_settings = SenderSettings();
    m_boxes.clear();
    SetMessageHandler([this](QWidget *, const QString &, const QString &text) { m_boxes.append(text); });
}

void TestMainWindow::cleanup()
{
    m_form.reset();
    SetMessageHandler({});
    m_store.reset();
    m_dir.reset();
}

std::unique_ptr<SendForm> TestMainWindow::makeForm()
{
    auto form = std::make_unique<SendForm>(*m_store, m_settings);
    form->show();
    return form;
}

void TestMainWindow::writeUsers(const QList<UserRecord> &users)
{
    UserList list;
    for (const UserRecord &user : users)
        list.append(user);
    QVERIFY(SaveUserList(*m_store, list));
}

void TestMainWindow::closeNextModal(ModalSeen &seen)
{
    auto *timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [timer, &seen] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.title = dialog->windowTitle();
        seen.owner = dialog->parentWidget();
        dialog->reject();
        timer->deleteLater();
    });
    timer->start();
}

void TestMainWindow::firstStartFillsStore()
{
    auto form = makeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Send Message"));
    auto *combo = form->findChild<QComboBox *>(QStringLiteral("Combo1"));
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->currentText(), QStringLiteral("localhost (127.0.0.1: 505)"));

    QCOMPARE(m_store->get(kSettings, QStringLiteral("DefaultPort"), {}), QStringLiteral("505"));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("MinimizedWhenSend"), {}), QStringLiteral("True"));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("PopupWhenSend"), {}), QStringLiteral("True"));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("DefaultIp"), {}), QStringLiteral("127.0.0.1"));
    QVERIFY(!m_store->get(kSettings, QStringLiteral("StartUPX"), {}).isEmpty());
    QVERIFY(!m_store->get(kSettings, QStringLiteral("StartUPY"), {}).isEmpty());
    const SettingsStore::Entries users = m_store->getAll(kUsers);
    QCOMPARE(users.size(), 4);
    QCOMPARE(m_store->get(kUsers, QStringLiteral("TestUsers"), {}), QStringLiteral("True"));
    QCOMPARE(m_store->get(kUsers, QStringLiteral("1_name"), {}), QStringLiteral("localhost"));
    QCOMPARE(m_store->get(kUsers, QStringLiteral("1_ip"), {}), QStringLiteral("127.0.0.1"));
    QCOMPARE(m_store->get(kUsers, QStringLiteral("1_port"), {}), QStringLiteral("505"));
    QVERIFY(m_store->getAll(QStringLiteral("Identification")).isEmpty());
    // Reading the file back gives the same: the start's writes reached it.
    SettingsStore reread = SettingsStore::atPath(m_store->fileName());
    QCOMPARE(reread.get(kUsers, QStringLiteral("1_name"), {}), QStringLiteral("localhost"));
}

void TestMainWindow::startPlacesWindowFromTwips_data()
{
    QTest::addColumn<QString>("storedX");
    QTest::addColumn<QString>("storedY");
    QTest::addColumn<bool>("centred");
    QTest::addColumn<QPoint>("pixels");

    QTest::newRow("stored corner") << QStringLiteral("1500") << QStringLiteral("3000") << false
                                   << QPoint(100, 200);
    QTest::newRow("screen edge is accepted")
        << QStringLiteral("28800") << QStringLiteral("0") << false << QPoint(1920, 0);
    QTest::newRow("off the screen is centred")
        << QStringLiteral("-1") << QStringLiteral("3000") << true << QPoint();
    QTest::newRow("nothing stored is centred") << QString() << QString() << true << QPoint();
}

void TestMainWindow::startPlacesWindowFromTwips()
{
    QFETCH(QString, storedX);
    QFETCH(QString, storedY);
    QFETCH(bool, centred);
    QFETCH(QPoint, pixels);
    if (!storedX.isEmpty()) {
        m_store->save(kSettings, QStringLiteral("StartUPX"), storedX);
        m_store->save(kSettings, QStringLiteral("StartUPY"), storedY);
    }
    auto form = makeForm();
    const QPoint corner = form->pos();
    if (centred) {
        const QSize size = form->frameGeometry().size();
        // The frame is known only once the window is shown, a few pixels.
        constexpr int kFrameSlack = 4;
        QVERIFY(qAbs(corner.x() - (1920 - size.width()) / 2) <= kFrameSlack);
        QVERIFY(qAbs(corner.y() - (1080 - size.height()) / 2) <= kFrameSlack);
    } else {
        QCOMPARE(corner, pixels);
    }
    // The start writes back where the window went, in twips.
    QCOMPARE(m_store->get(kSettings, QStringLiteral("StartUPX"), {}),
             QString::number(corner.x() * kTwipsPerPixel));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("StartUPY"), {}),
             QString::number(corner.y() * kTwipsPerPixel));
}

void TestMainWindow::closingStoresPositionAndUsers()
{
    auto form = makeForm();
    m_settings.userList.append({QStringLiteral("frank"), QStringLiteral("10.0.0.7"), 600, 0});
    form->move(300, 150);
    QVERIFY(form->close());

    QCOMPARE(m_store->get(kSettings, QStringLiteral("StartUPX"), {}), QStringLiteral("4500"));
    QCOMPARE(m_store->get(kSettings, QStringLiteral("StartUPY"), {}), QStringLiteral("2250"));
    QCOMPARE(m_store->get(kUsers, QStringLiteral("2_name"), {}), QStringLiteral("frank"));
    QCOMPARE(m_store->get(kUsers, QStringLiteral("2_port"), {}), QStringLiteral("600"));
    QVERIFY(!form->Endpoint()->isListening());
}

void TestMainWindow::exitRunsUnloadOnce()
{
    auto form = makeForm();
    form->move(60, 30);
    auto *exit = form->findChild<QAction *>(QStringLiteral("exitmn_1"));
    QVERIFY(exit);
    exit->trigger();
    QVERIFY(!form->isVisible());
    QCOMPARE(m_store->get(kSettings, QStringLiteral("StartUPX"), {}), QStringLiteral("900"));

    // Whatever happens to the window afterwards writes nothing more.
    m_store->save(kSettings, QStringLiteral("StartUPX"), QStringLiteral("7"));
    m_store->save(kUsers, QStringLiteral("1_name"), QStringLiteral("untouched"));
    QVERIFY(m_store->flush());
    form->close();
    form.reset();
    QCOMPARE(m_store->get(kSettings, QStringLiteral("StartUPX"), {}), QStringLiteral("7"));
    QCOMPARE(m_store->get(kUsers, QStringLiteral("1_name"), {}), QStringLiteral("untouched"));
}

void TestMainWindow::menusOpenModalDialogs_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("positionKey");

    QTest::newRow("program options") << QStringLiteral("progopmn_1") << QStringLiteral("Options")
                                     << QStringLiteral("Option StartUPX");
    QTest::newRow("identification") << QStringLiteral("progopmn_2") << QStringLiteral("Identification")
                                    << QStringLiteral("Identification StartUPX");
    QTest::newRow("your ip") << QStringLiteral("aboutmn_1") << QStringLiteral("Your IP is...")
                             << QStringLiteral("Your IP StartUPX");
    QTest::newRow("about") << QStringLiteral("aboutmn_3") << QStringLiteral("Credits")
                           << QStringLiteral("About StartUPX");
}

void TestMainWindow::menusOpenModalDialogs()
{
    QFETCH(QString, action);
    QFETCH(QString, title);
    QFETCH(QString, positionKey);
    auto form = makeForm();
    auto *item = form->findChild<QAction *>(action);
    QVERIFY(item);
    ModalSeen seen;
    closeNextModal(seen);
    item->trigger();
    QCOMPARE(seen.title, title);
    QCOMPARE(seen.owner, form.get());
    QVERIFY(!m_store->get(kSettings, positionKey, {}).isEmpty());
    QVERIFY(m_boxes.isEmpty());
}

void TestMainWindow::modifyUserSelectsFirstEntry()
{
    UserList users;
    users.append({QStringLiteral("alice"), QStringLiteral("10.0.0.2"), 505, 0});
    users.append({QStringLiteral("bob"), QStringLiteral("10.0.0.3"), 506, 0});
    QVERIFY(SaveUserList(*m_store, users));
    auto form = makeForm();
    auto *combo = form->findChild<QComboBox *>(QStringLiteral("Combo1"));
    combo->setCurrentIndex(1);
    ModalSeen seen;
    closeNextModal(seen);
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("adduser")), Qt::LeftButton);
    QCOMPARE(seen.owner, form.get());
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentIndex(), 0);
}

void TestMainWindow::activationFollowsOwnWindows()
{
    m_form = makeForm();
    QApplication::setActiveWindow(m_form.get());
    QTRY_VERIFY(m_form->SendFormActive());
    QVERIFY(!m_form->ReplyPending());

    // A dialog of the program in front of the window deactivates it...
    ModalSeen seen;
    bool activeWhileOpen = true;
    auto *probe = new QTimer(this);
    probe->setInterval(10);
    connect(probe, &QTimer::timeout, this, [&, probe] {
        if (QApplication::activeModalWidget() &&
            QApplication::activeWindow() == QApplication::activeModalWidget()) {
            activeWhileOpen = m_form->SendFormActive();
            probe->deleteLater();
            closeNextModal(seen);
        }
    });
    probe->start();
    m_form->findChild<QAction *>(QStringLiteral("progopmn_2"))->trigger();
    QVERIFY(!activeWhileOpen);
    // ... and the window that gets the activation back when it has closed
    // is active again.
    QApplication::setActiveWindow(m_form.get());
    QTRY_VERIFY(m_form->SendFormActive());

    // Another program taking the focus changes nothing.
    QApplication::setActiveWindow(nullptr);
    QVERIFY(!m_form->isActiveWindow());
    QVERIFY(m_form->SendFormActive());
}

void TestMainWindow::timerBringsWindowForward()
{
    auto form = makeForm();
    form->showMinimized();
    QVERIFY(form->isMinimized());
    form->TimerSW()->start();
    QTRY_VERIFY(!form->isMinimized());
    QVERIFY(!form->TimerSW()->isActive());
    QCOMPARE(form->focusWidget(), form->findChild<QPlainTextEdit *>(QStringLiteral("Text1")));
}

void TestMainWindow::recipientEntries_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("entry");

    QTest::newRow("ordinary port") << 505 << QStringLiteral("erin (10.0.0.9: 505)");
    QTest::newRow("port 0") << 0 << QStringLiteral("erin (10.0.0.9: 0)");
    QTest::newRow("negative port") << -5 << QStringLiteral("erin (10.0.0.9:-5)");
}

void TestMainWindow::recipientEntries()
{
    QFETCH(int, port);
    QFETCH(QString, entry);
    writeUsers({{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), 505, 1},
                {QStringLiteral("erin"), QStringLiteral("10.0.0.9"), port, 2}});
    m_form = makeForm();
    QCOMPARE(combo1()->count(), 2);
    QCOMPARE(combo1()->itemText(0), QStringLiteral("localhost (127.0.0.1: 505)"));
    QCOMPARE(combo1()->itemText(1), entry);
    QCOMPARE(combo1()->currentIndex(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
