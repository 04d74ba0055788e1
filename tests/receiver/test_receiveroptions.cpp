// The options dialog: editing the port list, the sound option, and the
// store written whichever way the dialog closes.
#include "receiveroptionsdialog.h"
#include "receiversettings.h"
#include "receivertesthelpers.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

struct Options
{
    Options()
    {
        settings.portList.clear();
        settings.portList.append(505);
        dialog = std::make_unique<ReceiverOptionsDialog>(store, settings);
    }

    QStringList items() const
    {
        QStringList texts;
        auto *list = dialog->findChild<QListWidget *>(u"Listportnb"_s);
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
        return texts;
    }
    QListWidget *list() const { return dialog->findChild<QListWidget *>(u"Listportnb"_s); }
    QLineEdit *portnb() const { return dialog->findChild<QLineEdit *>(u"Portnb"_s); }
    QCheckBox *sound() const { return dialog->findChild<QCheckBox *>(u"SoundPlayOpt"_s); }
    void click(const char *name) const
    {
        QTest::mouseClick(dialog->findChild<QPushButton *>(QString::fromLatin1(name)), Qt::LeftButton);
    }
    QList<qint32> ports() const
    {
        QList<qint32> ports;
        for (int n = 1; n <= settings.portList.count(); ++n)
            ports.append(settings.portList.at(n));
        return ports;
    }

    NoticeRecorder notices;
    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(u"Quillbox.ini"_s));
    ReceiverSettings settings;
    std::unique_ptr<ReceiverOptionsDialog> dialog;
};

} // namespace

class TestReceiverOptions : public QObject
{
    Q_OBJECT
private slots:
    void filledFromSettings()
    {
        Options o;
        QCOMPARE(o.items(), QStringList{u"505"_s});
        QVERIFY(o.sound()->isChecked());
        o.settings.playIncomingSound = false;
        o.settings.portList.append(6000);
        o.click("LoadOption");
        QCOMPARE(o.items(), QStringList({u"505"_s, u"6000"_s}));
        QVERIFY(!o.sound()->isChecked());
    }

    void add_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("errors");
        QTest::newRow("new port appended") << u"6000"_s << QStringList({u"505"_s, u"6000"_s}) << 0;
        QTest::newRow("listed port ignored") << u"505"_s << QStringList{u"505"_s} << 0;
        QTest::newRow("empty box (0) refused") << QString() << QStringList{u"505"_s} << 1;
        QTest::newRow("0 refused: the next start would drop it") << u"0"_s << QStringList{u"505"_s} << 1;
        QTest::newRow("65535 appended") << u"65535"_s << QStringList({u"505"_s, u"65535"_s}) << 0;
        QTest::newRow("65536 refused") << u"65536"_s << QStringList{u"505"_s} << 1;
        QTest::newRow("pasted exponent refused") << u"9E99"_s << QStringList{u"505"_s} << 1;
        QTest::newRow("pasted six digits refused, not cut") << u"123456"_s << QStringList{u"505"_s} << 1;
    }

    void add()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        QFETCH(int, errors);
        Options o;
        o.portnb()->setText(typed);
        o.click("addnew");
        QCOMPARE(o.items(), expected);
        QCOMPARE(o.notices.notices.size(), errors);
        if (errors) {
            QCOMPARE(o.notices.notices[0].title, u"Error"_s);
            QCOMPARE(o.notices.notices[0].text, u"Invalid port number"_s);
        }
        QCOMPARE(o.portnb()->text(), typed);
    }

    void enterAdds()
    {
        Options o;
        o.dialog->show();
        o.portnb()->setFocus();
        QTest::keyClicks(o.portnb(), u"505"_s);
        QTest::keyClick(o.portnb(), Qt::Key_Return);
        QCOMPARE(o.items(), QStringList{u"505"_s});
        QVERIFY(o.dialog->isVisible());
        o.portnb()->clear();
        QTest::keyClicks(o.portnb(), u"7000"_s);
        QTest::keyClick(o.portnb(), Qt::Key_Enter);
        QCOMPARE(o.items(), QStringList({u"505"_s, u"7000"_s}));
        QVERIFY(o.dialog->isVisible());
        QCOMPARE(o.notices.notices.size(), 0);
    }

    void onlyDigitsTyped()
    {
        Options o;
        o.dialog->show();
        QTest::keyClicks(o.portnb(), u"6a0-0 .0e9"_s);
        QCOMPARE(o.portnb()->text(), u"60009"_s);
        QTest::keyClick(o.portnb(), Qt::Key_Backspace);
        QCOMPARE(o.portnb()->text(), u"6000"_s);
        QTest::keyClicks(o.portnb(), u"12"_s);
        QCOMPARE(o.portnb()->text(), u"60001"_s); // five characters at most
        // Alt with a letter types nothing; the Ctrl shortcuts still edit.
        QTest::keyClick(o.portnb(), Qt::Key_A, Qt::AltModifier);
        QCOMPARE(o.portnb()->text(), u"60001"_s);
        QTest::keyClick(o.portnb(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(o.portnb()->selectedText(), u"60001"_s);
    }

    void remove()
    {
        Options o;
        o.click("remove");
        QCOMPARE(o.items(), QStringList{u"505"_s});
        for (const char *port : {"6000", "7000"}) {
            o.portnb()->setText(QString::fromLatin1(port));
            o.click("addnew");
        }
        o.list()->setCurrentRow(1);
        o.click("remove");
        QCOMPARE(o.items(), QStringList({u"505"_s, u"7000"_s}));
        o.click("removeall");
        QCOMPARE(o.items(), QStringList());
    }

    void applyTakesTheList()
    {
        Options o;
        o.portnb()->setText(u"6000"_s);
        o.click("addnew");
        o.sound()->setChecked(false);
        QCOMPARE(o.ports(), QList<qint32>{505}); // nothing taken before Apply
        o.click("SaveOption");
        QCOMPARE(o.ports(), QList<qint32>({505, 6000}));
        QVERIFY(!o.settings.playIncomingSound);
        QCOMPARE(o.dialog->result(), int(QDialog::Accepted));
        QCOMPARE(o.store.get(u"Ports"_s, u"1_port"_s, QString()), u"505"_s);
        QCOMPARE(o.store.get(u"Ports"_s, u"2_port"_s, QString()), u"6000"_s);
    }

    void applyWithEmptyListKeepsPorts()
    {
        Options o;
        o.click("removeall");
        o.sound()->setChecked(false);
        o.click("SaveOption");
        QCOMPARE(o.notices.notices.size(), 1);
        QCOMPARE(o.notices.notices[0].title, u"Error"_s);
        QCOMPARE(o.notices.notices[0].text, u"Must add at leat 1 port number"_s);
        QCOMPARE(o.ports(), QList<qint32>{505});
        QVERIFY(!o.settings.playIncomingSound);
        QVERIFY(!o.dialog->isVisible());
    }

    void resetThenApply()
    {
        Options o;
        o.settings.portList.append(6000);
        o.settings.playIncomingSound = false;
        o.click("LoadOption");
        o.click("ResetDefault");
        QCOMPARE(o.items(), QStringList{u"505"_s});
        QVERIFY(o.sound()->isChecked());
        QCOMPARE(o.ports(), QList<qint32>({505, 6000}));
        o.click("SaveOption");
        QCOMPARE(o.ports(), QList<qint32>{505});
        QVERIFY(o.settings.playIncomingSound);
    }

    void storeWrittenOnEveryClose_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Cancel") << u"ReturnCmd"_s;
        QTest::newRow("Apply") << u"SaveOption"_s;
        QTest::newRow("close box") << QString();
    }

    void storeWrittenOnEveryClose()
    {
        QFETCH(QString, button);
        Options o;
        o.dialog->show();
        o.dialog->move(40, 60);
        const QPoint where = o.dialog->pos();
        if (button.isEmpty())
            o.dialog->close();
        else
            o.click(button.toLatin1().constData());
        QVERIFY(!o.dialog->isVisible());
        QCOMPARE(o.store.get(u"Ports"_s, u"1_port"_s, QString()), u"505"_s);
        QCOMPARE(o.store.get(u"Settings"_s, u"PlayIncomingSound"_s, QString()), u"True"_s);
        QCOMPARE(o.store.get(u"Settings"_s, u"Option StartUPX"_s, QString()),
                 QString::number(pixelsToTwips(where.x())));

        // Opened again where it was closed.
        ReceiverOptionsDialog again(o.store, o.settings);
        QCOMPARE(again.pos(), where);
    }
};

QTEST_MAIN(TestReceiverOptions)
#include "test_receiveroptions.moc"
