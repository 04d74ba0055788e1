// The message history of the main window: every started send is recorded,
// the ten newest are kept, and Shift+Up / Shift+Down (Shift alone) browse
// them in the message field.
#include "messagebox.h"
#include "sendersettings.h"
#include "sendform.h"
#include "settingsstore.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestMsgHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void historyBrowsesWithShiftArrows();
    void historyKeepsTenNewest();
    void otherModifiersNeitherSendNorBrowse_data();
    void otherModifiersNeitherSendNorBrowse();

private:
    QPlainTextEdit *text1() const { return m_form->findChild<QPlainTextEdit *>(QStringLiteral("Text1")); }
    QPushButton *button(const char *name) const
    {
        return m_form->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    // Sends to this user fail at once, which is enough to fill the history.
    void writeUnreachableUser();
    std::unique_ptr<SendForm> makeForm();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    SenderSettings m_settings;
    QStringList m_boxes;
    std::unique_ptr<SendForm> m_form;
};

void TestMsgHistory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store =
        std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(QStringLiteral("q.ini"))));
    m_settings = SenderSettings();
    m_boxes.clear();
    SetMessageHandler([this](QWidget *, const QString &, const QString &text) { m_boxes.append(text); });
}

void TestMsgHistory::cleanup()
{
    m_form.reset();
    SetMessageHandler({});
    m_store.reset();
    m_dir.reset();
}

void TestMsgHistory::writeUnreachableUser()
{
    UserList list;
    list.append({QStringLiteral("dave"), QStringLiteral("bad"), 505, 1});
    QVERIFY(SaveUserList(*m_store, list));
}

std::unique_ptr<SendForm> TestMsgHistory::makeForm()
{
    auto form = std::make_unique<SendForm>(*m_store, m_settings);
    form->show();
    return form;
}

void TestMsgHistory::historyBrowsesWithShiftArrows()
{
    // Sends that fail at once still go into the history.
    writeUnreachableUser();
    m_form = makeForm();
    for (const QString &text : {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}) {
        text1()->setPlainText(text);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
    }
    QCOMPARE(m_boxes.size(), 3);
    QCOMPARE(m_form->MsgHistoryPos(), 3);

    QTest::keyClick(text1(), Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(text1()->toPlainText(), QStringLiteral("two"));
    QTest::keyClick(text1(), Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(text1()->toPlainText(), QStringLiteral("one"));
    QTest::keyClick(text1(), Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(text1()->toPlainText(), QString());
    QTest::keyClick(text1(), Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(text1()->toPlainText(), QString());
    QCOMPARE(m_form->MsgHistoryPos(), 0);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(text1(), Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(text1()->toPlainText(), QStringLiteral("three"));
    QCOMPARE(m_form->MsgHistoryPos(), 3);
}

void TestMsgHistory::historyKeepsTenNewest()
{
    writeUnreachableUser();
    m_form = makeForm();
    for (int i = 1; i <= 11; ++i) {
        text1()->setPlainText(QString::number(i));
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
    }
    QStringList expected{QString()};
    for (int i = 2; i <= 11; ++i)
        expected.append(QString::number(i));
    QCOMPARE(m_form->MsgHistory(), expected);
    QCOMPARE(m_form->MsgHistoryPos(), SendForm::kMsgHistoryMax);
}

void TestMsgHistory::otherModifiersNeitherSendNorBrowse_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");

    QTest::newRow("Ctrl+Shift+Enter")
        << static_cast<int>(Qt::Key_Return) << static_cast<int>(Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("plain Enter") << static_cast<int>(Qt::Key_Return) << static_cast<int>(Qt::NoModifier);
    QTest::newRow("Alt+Shift+Up") << static_cast<int>(Qt::Key_Up)
                                  << static_cast<int>(Qt::AltModifier | Qt::ShiftModifier);
    QTest::newRow("plain Up") << static_cast<int>(Qt::Key_Up) << static_cast<int>(Qt::NoModifier);
}

void TestMsgHistory::otherModifiersNeitherSendNorBrowse()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    m_form = makeForm();
    text1()->setPlainText(QStringLiteral("draft"));
    QTest::keyClick(text1(), static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(m_form->MsgHistory(), QStringList{QString()});
    QVERIFY(button("Command1")->isEnabled());
    QVERIFY(text1()->toPlainText().startsWith(QStringLiteral("draft")) ||
            text1()->toPlainText().endsWith(QStringLiteral("draft")));
}

QTEST_MAIN(TestMsgHistory)
#include "test_msghistory.moc"
