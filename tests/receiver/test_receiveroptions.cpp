// The options dialog: editing the port list, the sound option, and the
// store written whichever way the dialog closes.
#include "optprog.h"
#include "receiversettings.h"
#include "receivertesthelpers.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

struct Options
{
    Options()
    {
        settings.portList.clear();
        settings.portList.append(505);
        dialog = std::make_unique<OptProg>(store, settings);
    }

    QStringList items() const
    {
        QStringList texts;
        auto *list = dialog->findChild<QListWidget *>(QStringLiteral("Listportnb"));
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
        return texts;
    }
    QListWidget *list() const { return dialog->findChild<QListWidget *>(QStringLiteral("Listportnb")); }
    QLineEdit *portnb() const { return dialog->findChild<QLineEdit *>(QStringLiteral("Portnb")); }
    QCheckBox *sound() const { return dialog->findChild<QCheckBox *>(QStringLiteral("SoundPlayOpt")); }
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
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillbox.ini")));
    ReceiverSettings settings;
    std::unique_ptr<OptProg> dialog;
};

} // namespace

class TestReceiverOptions : public QObject
{
    Q_OBJECT
private slots:
    void filledFromSettings();
    void add_data();
    void add();
    void enterAdds();
    void onlyDigitsTyped();
    void remove();
    void applyTakesTheList();
    void applyWithEmptyListKeepsPorts();
    void resetThenApply();
    void storeWrittenOnEveryClose_data();
    void storeWrittenOnEveryClose();
};

void TestReceiverOptions::filledFromSettings()
{
    Options o;
    QCOMPARE(o.dialog->windowTitle(), QStringLiteral("Options"));
    QCOMPARE(o.items(), QStringList{QStringLiteral("505")});
    QVERIFY(o.sound()->isChecked());
    o.settings.PlayIncomingSound = false;
    o.settings.portList.append(6000);
    o.click("LoadOption");
    QCOMPARE(o.items(), QStringList({QStringLiteral("505"), QStringLiteral("6000")}));
    QVERIFY(!o.sound()->isChecked());
}

void TestReceiverOptions::add_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("errors");
    QTest::newRow("new port appended")
        << QStringLiteral("6000") << QStringList({QStringLiteral("505"), QStringLiteral("6000")}) << 0;
    QTest::newRow("listed port ignored") << QStringLiteral("505") << QStringList{QStringLiteral("505")} << 0;
    QTest::newRow("empty box adds 0")
        << QString() << QStringList({QStringLiteral("505"), QStringLiteral("0")}) << 0;
    QTest::newRow("65535 appended") << QStringLiteral("65535")
                                    << QStringList({QStringLiteral("505"), QStringLiteral("65535")}) << 0;
    QTest::newRow("65536 refused") << QStringLiteral("65536") << QStringList{QStringLiteral("505")} << 1;
    QTest::newRow("pasted exponent refused")
        << QStringLiteral("9E99") << QStringList{QStringLiteral("505")} << 1;
}

void TestReceiverOptions::add()
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
        QCOMPARE(o.notices.notices[0].title, QStringLiteral("Error"));
        QCOMPARE(o.notices.notices[0].text, QStringLiteral("Invalid port number"));
    }
    QCOMPARE(o.portnb()->text(), typed);
}

void TestReceiverOptions::enterAdds()
{
    Options o;
    o.dialog->show();
    o.portnb()->setFocus();
    QTest::keyClicks(o.portnb(), QStringLiteral("505"));
    QTest::keyClick(o.portnb(), Qt::Key_Return);
    QCOMPARE(o.items(), QStringList{QStringLiteral("505")});
    QVERIFY(o.dialog->isVisible());
    o.portnb()->clear();
    QTest::keyClicks(o.portnb(), QStringLiteral("7000"));
    QTest::keyClick(o.portnb(), Qt::Key_Enter);
    QCOMPARE(o.items(), QStringList({QStringLiteral("505"), QStringLiteral("7000")}));
    QVERIFY(o.dialog->isVisible());
    QCOMPARE(o.notices.notices.size(), 0);
}

void TestReceiverOptions::onlyDigitsTyped()
{
    Options o;
    o.dialog->show();
    QTest::keyClicks(o.portnb(), QStringLiteral("6a0-0 .0e9"));
    QCOMPARE(o.portnb()->text(), QStringLiteral("60009"));
    QTest::keyClick(o.portnb(), Qt::Key_Backspace);
    QCOMPARE(o.portnb()->text(), QStringLiteral("6000"));
    QTest::keyClicks(o.portnb(), QStringLiteral("12"));
    QCOMPARE(o.portnb()->text(), QStringLiteral("60001")); // five characters at most
}

void TestReceiverOptions::remove()
{
    Options o;
    o.click("remove");
    QCOMPARE(o.items(), QStringList{QStringLiteral("505")});
    for (const char *port : {"6000", "7000"}) {
        o.portnb()->setText(QString::fromLatin1(port));
        o.click("addnew");
    }
    o.list()->setCurrentRow(1);
    o.click("remove");
    QCOMPARE(o.items(), QStringList({QStringLiteral("505"), QStringLiteral("7000")}));
    o.click("removeall");
    QCOMPARE(o.items(), QStringList());
}

void TestReceiverOptions::applyTakesTheList()
{
    Options o;
    o.portnb()->setText(QStringLiteral("6000"));
    o.click("addnew");
    o.sound()->setChecked(false);
    QCOMPARE(o.ports(), QList<qint32>{505}); // nothing taken before Apply
    o.click("SaveOption");
    QCOMPARE(o.ports(), QList<qint32>({505, 6000}));
    QVERIFY(!o.settings.PlayIncomingSound);
    QCOMPARE(o.dialog->result(), int(QDialog::Accepted));
    QCOMPARE(o.store.get(QStringLiteral("Ports"), QStringLiteral("1_port"), QString()),
             QStringLiteral("505"));
    QCOMPARE(o.store.get(QStringLiteral("Ports"), QStringLiteral("2_port"), QString()),
             QStringLiteral("6000"));
}

void TestReceiverOptions::applyWithEmptyListKeepsPorts()
{
    Options o;
    o.click("removeall");
    o.sound()->setChecked(false);
    o.click("SaveOption");
    QCOMPARE(o.notices.notices.size(), 1);
    QCOMPARE(o.notices.notices[0].title, QStringLiteral("Error"));
    QCOMPARE(o.notices.notices[0].text, QStringLiteral("Must add at leat 1 port number"));
    QCOMPARE(o.ports(), QList<qint32>{505});
    QVERIFY(!o.settings.PlayIncomingSound);
    QVERIFY(!o.dialog->isVisible());
}

void TestReceiverOptions::resetThenApply()
{
    Options o;
    o.settings.portList.append(6000);
    o.settings.PlayIncomingSound = false;
    o.click("LoadOption");
    o.click("ResetDefault");
    QCOMPARE(o.items(), QStringList{QStringLiteral("505")});
    QVERIFY(o.sound()->isChecked());
    QCOMPARE(o.ports(), QList<qint32>({505, 6000}));
    o.click("SaveOption");
    QCOMPARE(o.ports(), QList<qint32>{505});
    QVERIFY(o.settings.PlayIncomingSound);
}

void TestReceiverOptions::storeWrittenOnEveryClose_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Cancel") << QStringLiteral("ReturnCmd");
    QTest::newRow("Apply") << QStringLiteral("SaveOption");
    QTest::newRow("close box") << QString();
}

void TestReceiverOptions::storeWrittenOnEveryClose()
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
    QCOMPARE(o.store.get(QStringLiteral("Ports"), QStringLiteral("1_port"), QString()),
             QStringLiteral("505"));
    QCOMPARE(o.store.get(QStringLiteral("Settings"), QStringLiteral("PlayIncomingSound"), QString()),
             QStringLiteral("True"));
    QCOMPARE(o.store.get(QStringLiteral("Settings"), QStringLiteral("Option StartUPX"), QString()),
             QString::number(PixelsToTwips(where.x())));

    // Opened again where it was closed.
    OptProg again(o.store, o.settings);
    QCOMPARE(again.pos(), where);
}

QTEST_MAIN(TestReceiverOptions)
#include "test_receiveroptions.moc"
