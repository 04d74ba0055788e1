// The message history of the main window: every started send is recorded,
// the ten newest are kept, and Shift+Up / Shift+Down (Shift alone) browse
// them in the message field.
#include "sendwindowfixture.h"

#include <optional>

using namespace Qt::StringLiterals;

class TestMsgHistory : public QObject
{
    Q_OBJECT

    std::optional<SenderFormFixture> f;

    // Sends to this user fail at once, which is enough to fill the history.
    void openWithUnreachableUser()
    {
        f->writeUsers({{u"dave"_s, u"bad"_s, 505, 1}});
        f->form = f->makeForm();
    }
    void send(const QString &text)
    {
        f->text1()->setPlainText(text);
        QTest::mouseClick(f->button("Command1"), Qt::LeftButton);
    }

private slots:
    void init() { f.emplace(); }
    void cleanup() { f.reset(); }

    void historyBrowsesWithShiftArrows()
    {
        openWithUnreachableUser();
        for (const QString &text : {u"one"_s, u"two"_s, u"three"_s})
            send(text);
        QCOMPARE(f->boxes.size(), 3);
        QCOMPARE(f->form->historyPosition(), 3);

        QPlainTextEdit *text1 = f->text1();
        for (const QString &expected : {u"two"_s, u"one"_s, QString(), QString()}) {
            QTest::keyClick(text1, Qt::Key_Up, Qt::ShiftModifier);
            QCOMPARE(text1->toPlainText(), expected);
        }
        QCOMPARE(f->form->historyPosition(), 0);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(text1, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(text1->toPlainText(), u"three"_s);
        QCOMPARE(f->form->historyPosition(), 3);
    }

    void historyKeepsTenNewest()
    {
        openWithUnreachableUser();
        QStringList expected{QString()};
        for (int i = 1; i <= 11; ++i) {
            send(QString::number(i));
            if (i >= 2)
                expected.append(QString::number(i));
        }
        QCOMPARE(f->form->messageHistory(), expected);
        QCOMPARE(f->form->historyPosition(), SendWindow::kHistorySize);
    }

    void otherModifiersNeitherSendNorBrowse_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+Shift+Enter")
            << int(Qt::Key_Return) << int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("plain Enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("Alt+Shift+Up") << int(Qt::Key_Up) << int(Qt::AltModifier | Qt::ShiftModifier);
        QTest::newRow("plain Up") << int(Qt::Key_Up) << int(Qt::NoModifier);
    }

    void otherModifiersNeitherSendNorBrowse()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        f->form = f->makeForm();
        f->text1()->setPlainText(u"draft"_s);
        QTest::keyClick(f->text1(), static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));

        QCOMPARE(f->form->messageHistory(), QStringList{QString()});
        QVERIFY(f->button("Command1")->isEnabled());
        QVERIFY(f->text1()->toPlainText().contains(u"draft"_s));
    }
};

QTEST_MAIN(TestMsgHistory)
#include "test_msghistory.moc"
