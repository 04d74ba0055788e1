// The main window's start and end: what a start leaves in the store, where
// the window goes, File, Exit, the menus and their dialogs, the timed return
// to the front and the recipient box.
#include "localendpoint.h"
#include "sendwindowfixture.h"
#include "windowposition.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString kSettings = u"Settings"_s;
const QString kUsers = u"Users"_s;
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
    void initTestCase()
    {
        setScreenProvider([] { return ScreenMetrics{QSize(1920, 1080), 96.0}; });
    }

    void cleanupTestCase() { setScreenProvider({}); }
    void init() { f.emplace(); }
    void cleanup() { f.reset(); }

    void startPlacesWindowFromTwips_data()
    {
        QTest::addColumn<QString>("storedX");
        QTest::addColumn<QString>("storedY");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<QPoint>("pixels");

        QTest::newRow("stored corner") << u"1500"_s << u"3000"_s << false << QPoint(100, 200);
        QTest::newRow("screen edge is accepted") << u"28800"_s << u"0"_s << false << QPoint(1920, 0);
        QTest::newRow("off the screen is centred") << u"-1"_s << u"3000"_s << true << QPoint();
        QTest::newRow("nothing stored is centred") << QString() << QString() << true << QPoint();
    }

    void startPlacesWindowFromTwips()
    {
        QFETCH(QString, storedX);
        QFETCH(QString, storedY);
        QFETCH(bool, centred);
        QFETCH(QPoint, pixels);
        if (!storedX.isEmpty()) {
            f->store.save(kSettings, u"StartUPX"_s, storedX);
            f->store.save(kSettings, u"StartUPY"_s, storedY);
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
        QCOMPARE(f->store.get(kSettings, u"StartUPX"_s, {}), QString::number(corner.x() * kTwipsPerPixel));
        QCOMPARE(f->store.get(kSettings, u"StartUPY"_s, {}), QString::number(corner.y() * kTwipsPerPixel));
    }

    void closingStoresPositionAndUsers()
    {
        auto form = makeForm();
        f->settings.userList.append({u"frank"_s, u"10.0.0.7"_s, 600, 0});
        form->move(300, 150);
        QVERIFY(form->close());

        QCOMPARE(f->store.get(kSettings, u"StartUPX"_s, {}), u"4500"_s);
        QCOMPARE(f->store.get(kSettings, u"StartUPY"_s, {}), u"2250"_s);
        QCOMPARE(f->store.get(kUsers, u"2_name"_s, {}), u"frank"_s);
        QCOMPARE(f->store.get(kUsers, u"2_port"_s, {}), u"600"_s);
        QVERIFY(!form->endpoint()->isListening());
    }

    void exitRunsUnloadOnce()
    {
        auto form = makeForm();
        form->move(60, 30);
        auto *exit = form->findChild<QAction *>(u"exitmn_1"_s);
        QVERIFY(exit);
        exit->trigger();
        QVERIFY(!form->isVisible());
        QCOMPARE(f->store.get(kSettings, u"StartUPX"_s, {}), u"900"_s);

        // Whatever happens to the window afterwards writes nothing more.
        f->store.save(kSettings, u"StartUPX"_s, u"7"_s);
        f->store.save(kUsers, u"1_name"_s, u"untouched"_s);
        QVERIFY(f->store.flush());
        form->close();
        form.reset();
        QCOMPARE(f->store.get(kSettings, u"StartUPX"_s, {}), u"7"_s);
        QCOMPARE(f->store.get(kUsers, u"1_name"_s, {}), u"untouched"_s);
    }

    void menusOpenModalDialogs_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("positionKey");

        QTest::newRow("program options") << u"progopmn_1"_s << u"Options"_s << u"Option StartUPX"_s;
        QTest::newRow("identification")
            << u"progopmn_2"_s << u"Identification"_s << u"Identification StartUPX"_s;
        QTest::newRow("your ip") << u"aboutmn_1"_s << u"Your IP is..."_s << u"Your IP StartUPX"_s;
        QTest::newRow("about") << u"aboutmn_3"_s << u"Credits"_s << u"About StartUPX"_s;
    }

    void menusOpenModalDialogs()
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
        QVERIFY(!f->store.get(kSettings, positionKey, {}).isEmpty());
        QVERIFY(f->boxes.isEmpty());
    }

    void modifyUserSelectsFirstEntry()
    {
        f->writeUsers({{u"alice"_s, u"10.0.0.2"_s, 505, 0}, {u"bob"_s, u"10.0.0.3"_s, 506, 0}});
        f->form = makeForm();
        f->combo1()->setCurrentIndex(1);
        ModalSeen seen;
        closeNextModal(seen);
        QTest::mouseClick(f->button("adduser"), Qt::LeftButton);
        QCOMPARE(seen.owner, f->form.get());
        QCOMPARE(f->combo1()->count(), 2);
        QCOMPARE(f->combo1()->currentIndex(), 0);
    }

    void timerBringsWindowForward()
    {
        auto form = makeForm();
        form->showMinimized();
        QVERIFY(form->isMinimized());
        form->bringForwardTimer()->start();
        QTRY_VERIFY(!form->isMinimized());
        QVERIFY(!form->bringForwardTimer()->isActive());
        QCOMPARE(form->focusWidget(), form->findChild<QPlainTextEdit *>(u"Text1"_s));
    }

    void activationFollowsOwnWindows()
    {
        f->form = makeForm();
        QApplication::setActiveWindow(f->form.get());
        QTRY_VERIFY(f->form->isSendWindowActive());
        QVERIFY(!f->form->isReplyPending());

        // A dialog of the program in front of the window deactivates it...
        ModalSeen seen;
        bool activeWhileOpen = true;
        auto *probe = new QTimer(this);
        probe->setInterval(10);
        connect(probe, &QTimer::timeout, this, [&, probe] {
            if (QApplication::activeModalWidget() &&
                QApplication::activeWindow() == QApplication::activeModalWidget()) {
                activeWhileOpen = f->form->isSendWindowActive();
                probe->deleteLater();
                closeNextModal(seen);
            }
        });
        probe->start();
        f->form->findChild<QAction *>(u"progopmn_2"_s)->trigger();
        QVERIFY(!activeWhileOpen);
        // ... and the window that gets the activation back when it has closed
        // is active again.
        QApplication::setActiveWindow(f->form.get());
        QTRY_VERIFY(f->form->isSendWindowActive());

        // Another program taking the focus changes nothing.
        QApplication::setActiveWindow(nullptr);
        QVERIFY(!f->form->isActiveWindow());
        QVERIFY(f->form->isSendWindowActive());
    }

    void recipientEntries_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("entry");

        QTest::newRow("ordinary port") << 505 << u"erin (10.0.0.9: 505)"_s;
        QTest::newRow("port 0") << 0 << u"erin (10.0.0.9: 0)"_s;
        QTest::newRow("negative port") << -5 << u"erin (10.0.0.9:-5)"_s;
    }

    void recipientEntries()
    {
        QFETCH(int, port);
        QFETCH(QString, entry);
        f->writeUsers({{u"localhost"_s, u"127.0.0.1"_s, 505, 1}, {u"erin"_s, u"10.0.0.9"_s, port, 2}});
        f->form = makeForm();
        QCOMPARE(f->combo1()->count(), 2);
        QCOMPARE(f->combo1()->itemText(0), u"localhost (127.0.0.1: 505)"_s);
        QCOMPARE(f->combo1()->itemText(1), entry);
        QCOMPARE(f->combo1()->currentIndex(), 0);
    }

private:
    std::unique_ptr<SendWindow> makeForm() { return f->makeForm(); }
    // Closes the next modal dialog as soon as it is up, noting what it was.
    void closeNextModal(ModalSeen &seen)
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

    std::optional<SenderFormFixture> f;
};

QTEST_MAIN(TestMainWindow)
#include "test_sendwindow.moc"
