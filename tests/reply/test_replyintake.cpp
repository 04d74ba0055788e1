// Quillpost's reply intake, driven through its local endpoint as Quillbox
// drives it: records handed over by the client function reach the main
// window, are checked field by field, and select or add the person to
// answer; a dialog in front defers them behind a notice; the window comes
// forward with the focus in the message field.
#include "intakefixture.h"

#include "storelist.h"

#include <QAction>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTimer>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Opens the options dialog and runs during() once the dialog is the active
// window; the dialog is closed afterwards whatever happened, so a failing
// check cannot leave the test in its event loop.
void WhileOptionsOpen(SendWindow &form, const std::function<void(QWidget *dialog)> &during)
{
    QAction *options = form.findChild<QAction *>(u"progopmn_1"_s);
    QVERIFY(options);
    QTimer::singleShot(0, &form, [during] {
        QWidget *dialog = nullptr;
        const bool active = QTest::qWaitFor(
            [&] {
                dialog = QApplication::activeModalWidget();
                return dialog && QApplication::activeWindow() == dialog;
            },
            kClientWaitMs);
        const auto close = qScopeGuard([] {
            if (QWidget *open = QApplication::activeModalWidget())
                open->close();
        });
        QVERIFY(active);
        during(dialog);
    });
    options->trigger();
}

} // namespace

class TestReplyIntake : public QObject
{
    Q_OBJECT

private slots:
    void init() { f = std::make_unique<IntakeFixture>(); }
    void cleanup() { f.reset(); }

    void records_data();
    void records();
    void lastRecordWins();
    void hintWhileDialogOpenThenAppliedAfterIt();
    void oneHintForAStreamOfRecords();
    void fullList();
    void minimisedWindowRestoredAndFocused();
    void recordRightAfterStartNeedsNoHint();

private:
    std::unique_ptr<IntakeFixture> f;
};

void TestReplyIntake::records_data()
{
    QTest::addColumn<QStringList>("users");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QStringList>("expected"); // empty: the record is ignored
    QTest::addColumn<int>("selected");

    const QStringList bob{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,505"_s};
    QTest::newRow("new user appended") << QStringList{u"alice,10.0.0.2,505"_s} << Bars("bob|10.0.0.5|505||")
                                       << QStringList{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,505"_s} << 1;
    QTest::newRow("known user's port updated")
        << bob << Bars("bob|10.0.0.5|600||") << QStringList{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,600"_s}
        << 1;
    QTest::newRow("known user selected, not appended again")
        << QStringList{u"bob,10.0.0.5,505"_s, u"carol,10.0.0.7,505"_s} << Bars("bob|10.0.0.5|505||")
        << QStringList{u"bob,10.0.0.5,505"_s, u"carol,10.0.0.7,505"_s} << 0;
    QTest::newRow("names are case-sensitive")
        << QStringList{u"bob,10.0.0.5,505"_s} << Bars("Bob|10.0.0.5|505||")
        << QStringList{u"bob,10.0.0.5,505"_s, u"Bob,10.0.0.5,505"_s} << 1;
    QTest::newRow("same name at another address")
        << QStringList{u"bob,10.0.0.5,505"_s} << Bars("bob|10.0.0.6|505||")
        << QStringList{u"bob,10.0.0.5,505"_s, u"bob,10.0.0.6,505"_s} << 1;
    QTest::newRow("name trimmed before the search")
        << bob << Bars("  bob  |10.0.0.5|700||")
        << QStringList{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,700"_s} << 1;
    QTest::newRow("empty name: Anonymous1")
        << QStringList{u"alice,10.0.0.2,505"_s} << Bars("|10.0.0.5|505||")
        << QStringList{u"alice,10.0.0.2,505"_s, u"Anonymous1,10.0.0.5,505"_s} << 1;
    QTest::newRow("empty name again: Anonymous2")
        << QStringList{u"Anonymous1,10.0.0.5,505"_s} << Bars("|10.0.0.5|506||")
        << QStringList{u"Anonymous1,10.0.0.5,505"_s, u"Anonymous2,10.0.0.5,506"_s} << 1;
    QTest::newRow("Anonymous1 elsewhere does not count")
        << QStringList{u"Anonymous1,10.0.0.7,505"_s} << Bars("|10.0.0.5|505||")
        << QStringList{u"Anonymous1,10.0.0.7,505"_s, u"Anonymous1,10.0.0.5,505"_s} << 1;
    QTest::newRow("second separator and port missing: port 0")
        << QStringList{u"alice,10.0.0.2,505"_s} << Bars("bob|10.0.0.5|")
        << QStringList{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,0"_s} << 1;
    QTest::newRow("fields after the port are not looked at")
        << QStringList{u"alice,10.0.0.2,505"_s} << Bars("bob|10.0.0.5|505|junk|more||")
        << QStringList{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,505"_s} << 1;
    QTest::newRow("longer than the buffer: its first 255 bytes")
        << QStringList{u"alice,10.0.0.2,505"_s} << Bars("bob|10.0.0.5|505||") + QByteArray(400, 'x')
        << QStringList{u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,505"_s} << 1;

    const QStringList alice{u"alice,10.0.0.2,505"_s};
    const QStringList none;
    QTest::newRow("ignored: name of 129 characters")
        << alice << QByteArray(129, 'n') + Bars("|10.0.0.5|505||") << none << 0;
    QTest::newRow("ignored: name of blanks only") << alice << Bars("   |10.0.0.5|505||") << none << 0;
    QTest::newRow("ignored: three-part address") << alice << Bars("bob|10.0.0|505||") << none << 0;
    QTest::newRow("ignored: address part above 255") << alice << Bars("bob|10.0.0.256|505||") << none << 0;
    QTest::newRow("ignored: port above 65535") << alice << Bars("bob|10.0.0.5|65536||") << none << 0;
    QTest::newRow("ignored: negative port") << alice << Bars("bob|10.0.0.5|-1||") << none << 0;
    QTest::newRow("ignored: terminator alone") << alice << QByteArray(1, '\0') << none << 0;
    QTest::newRow("ignored: no bytes at all") << alice << QByteArray() << none << 0;
    QTest::newRow("ignored: name alone") << alice << QByteArray("bob") << none << 0;
    QTest::newRow("ignored: 255 bytes without a zero") << alice << QByteArray(255, 'x') << none << 0;
    QTest::newRow("ignored: 4000 bytes without a zero") << alice << QByteArray(4000, 'x') << none << 0;
}

void TestReplyIntake::records()
{
    QFETCH(QStringList, users);
    QFETCH(QByteArray, record);
    QFETCH(QStringList, expected);
    QFETCH(int, selected);
    QVERIFY(f->start(users));
    // The focus somewhere else, so that the tick has to move it.
    f->combo1()->setFocus();
    QCOMPARE(f->deliver(record), EndpointReply::Answered);
    QVERIFY(f->notices.isEmpty());
    QVERIFY(!f->form->isReplyPending());

    if (expected.isEmpty()) {
        QCOMPARE(Describe(f->settings.userList), users);
        QCOMPARE(f->combo1()->currentIndex(), 0);
        QVERIFY(!f->form->bringForwardTimer()->isActive());
        return;
    }
    QCOMPARE(Describe(f->settings.userList), expected);
    QCOMPARE(f->combo1()->count(), expected.size());
    QCOMPARE(f->combo1()->currentIndex(), selected);
    const QStringList fields = expected.at(selected).split(u',');
    QCOMPARE(f->combo1()->currentText(), fields[0] + u" ("_s + fields[1] + u": "_s + fields[2] + u')');
    QCOMPARE(f->form->replyTarget().index, selected + 1);
    // The window comes forward half a second later, focus in the message.
    QVERIFY(f->form->bringForwardTimer()->isActive());
    QCOMPARE(f->form->bringForwardTimer()->interval(), SendWindow::kBringForwardDelayMs);
    QVERIFY(f->form->focusWidget() != f->text1());
    QTRY_VERIFY(!f->form->bringForwardTimer()->isActive());
    QCOMPARE(f->form->focusWidget(), f->text1());
}

void TestReplyIntake::lastRecordWins()
{
    QVERIFY(f->start({u"alice,10.0.0.2,505"_s}));
    // Two records while the options dialog is open: only the later one is
    // applied when the window is active again.
    bool handed = false;
    WhileOptionsOpen(*f->form, [&](QWidget *) {
        QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::Answered);
        QCOMPARE(f->deliver(Bars("carol|10.0.0.6|507||")), EndpointReply::Answered);
        handed = true;
    });
    QVERIFY(handed);
    QCOMPARE(f->notices.size(), 2);
    QApplication::setActiveWindow(f->form.get());
    QTRY_VERIFY(!f->form->isReplyPending());
    QCOMPARE(Describe(f->settings.userList), QStringList({u"alice,10.0.0.2,505"_s, u"carol,10.0.0.6,507"_s}));
    QCOMPARE(f->combo1()->currentIndex(), 1);
}

void TestReplyIntake::hintWhileDialogOpenThenAppliedAfterIt()
{
    QVERIFY(f->start({u"alice,10.0.0.2,505"_s}));

    std::unique_ptr<PendingReply> reply;
    QWidget *dialog = nullptr;
    WhileOptionsOpen(*f->form, [&](QWidget *open) {
        dialog = open;
        QVERIFY(!f->form->isSendWindowActive());
        reply = HandOver(Bars("bob|10.0.0.5|505||"));
        // Answered at once: the hint never keeps the other program waiting.
        QCOMPARE(reply->get(kClientWaitMs * 2), EndpointReply::Answered);
        // Nothing is applied while the dialog is open.
        QVERIFY(f->form->isReplyPending());
        QCOMPARE(f->settings.userList.count(), 1);
        QVERIFY(!f->form->bringForwardTimer()->isActive());
    });
    QVERIFY(reply);
    QCOMPARE(f->notices.size(), 1);
    QCOMPARE(f->notices[0].title, u"Reply"_s);
    QCOMPARE(f->notices[0].text, u"Return to main menu for reply to user bob"_s);
    QCOMPARE(f->notices[0].owner, dialog);

    // Back in the main window: the target is applied.
    QApplication::setActiveWindow(f->form.get());
    QTRY_VERIFY(!f->form->isReplyPending());
    QCOMPARE(Describe(f->settings.userList), QStringList({u"alice,10.0.0.2,505"_s, u"bob,10.0.0.5,505"_s}));
    QCOMPARE(f->combo1()->currentText(), u"bob (10.0.0.5: 505)"_s);
    QTRY_COMPARE(f->form->focusWidget(), f->text1());
}

void TestReplyIntake::oneHintForAStreamOfRecords()
{
    QVERIFY(f->start({u"alice,10.0.0.2,505"_s}));
    setMessageHandler({}); // real boxes
    constexpr int kRecords = 300;
    int answered = 0;
    QStringList shown;
    WhileOptionsOpen(*f->form, [&](QWidget *) {
        const auto record = [](int n) {
            return Bars("u" + QByteArray::number(n) + "|10.1." + QByteArray::number(n / 256) + '.' +
                        QByteArray::number(n % 256) + "|505||");
        };
        // Twenty at a time, then the latest alone.
        std::vector<std::unique_ptr<PendingReply>> pending;
        for (int n = 1; n < kRecords; ++n) {
            pending.push_back(HandOver(record(n)));
            if (pending.size() == 20 || n == kRecords - 1) {
                for (const auto &reply : pending)
                    answered += reply->get(kClientWaitMs * 2) == EndpointReply::Answered;
                pending.clear();
            }
        }
        answered += f->deliver(record(kRecords)) == EndpointReply::Answered;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (box && box->isVisible() && box->windowTitle() == u"Reply") {
                shown.append(box->text());
                box->close();
            }
        }
    });
    QCOMPARE(answered, kRecords);
    // One box over the dialog, naming the latest sender: each record used to
    // stack a box of its own.
    QCOMPARE(shown, QStringList{u"Return to main menu for reply to user u"_s + QString::number(kRecords)});
}

void TestReplyIntake::fullList()
{
    QVERIFY(f->start());
    UserList full;
    full.resize(kMaxListEntries);
    for (int n = 1; n <= kMaxListEntries; ++n)
        full[n] = {u"u"_s + QString::number(n), u"10.1.0.1"_s, 505, n};
    f->settings.userList = full;
    f->form->fillRecipientBox(0);

    // No room for a new person: ignored.
    QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::Answered);
    QVERIFY(!f->form->isReplyPending());
    QCOMPARE(f->settings.userList.count(), kMaxListEntries);
    QCOMPARE(f->combo1()->currentIndex(), 0);
    // One already in the list is still found, and answered on the new port.
    QCOMPARE(f->deliver(Bars("u32767|10.1.0.1|600||")), EndpointReply::Answered);
    QVERIFY(!f->form->isReplyPending());
    QCOMPARE(f->settings.userList.at(kMaxListEntries).port, 600);
    QCOMPARE(f->combo1()->currentIndex(), kMaxListEntries - 1);

    // A target taken while there was room but applied after the list
    // filled up waits on and changes nothing.
    QTRY_VERIFY(!f->form->bringForwardTimer()->isActive());
    f->settings.userList.resize(kMaxListEntries - 1);
    WhileOptionsOpen(*f->form, [&](QWidget *) {
        QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::Answered);
        QVERIFY(f->form->isReplyPending());
        f->settings.userList.append({u"late"_s, u"10.1.0.2"_s, 505, 0});
    });
    QApplication::setActiveWindow(f->form.get());
    QTRY_VERIFY(f->form->isSendWindowActive());
    QVERIFY(f->form->isReplyPending());
    QCOMPARE(f->settings.userList.count(), kMaxListEntries);
    QCOMPARE(f->settings.userList.at(kMaxListEntries).name, u"late"_s);
    QVERIFY(!f->form->bringForwardTimer()->isActive());
}

void TestReplyIntake::minimisedWindowRestoredAndFocused()
{
    QVERIFY(f->start());
    f->form->showMinimized();
    QTRY_VERIFY(f->form->isMinimized());
    QCOMPARE(f->deliver(Bars("bob|10.0.0.5|505||")), EndpointReply::Answered);
    QVERIFY(!f->form->isMinimized());
    QCOMPARE(f->combo1()->currentText(), u"bob (10.0.0.5: 505)"_s);
    QTRY_VERIFY(!f->form->bringForwardTimer()->isActive());
    QVERIFY(f->form->isVisible());
    QCOMPARE(f->form->focusWidget(), f->text1());
}

void TestReplyIntake::recordRightAfterStartNeedsNoHint()
{
    // Quillbox starts Quillpost and hands the record over as soon as the
    // endpoint answers, which may be before the desktop has activated the
    // new window: being shown counts as its first activation.
    f->form = std::make_unique<SendWindow>(f->store, f->settings);
    QVERIFY(!f->form->isSendWindowActive());
    std::unique_ptr<PendingReply> reply = HandOver(Bars("bob|10.0.0.5|505||"));
    f->form->show();
    QCOMPARE(reply->get(kClientWaitMs * 2), EndpointReply::Answered);
    QVERIFY(f->notices.isEmpty());
    QVERIFY(!f->form->isReplyPending());
    QCOMPARE(f->combo1()->currentText(), u"bob (10.0.0.5: 505)"_s);
}

QTEST_MAIN(TestReplyIntake)
#include "test_replyintake.moc"
