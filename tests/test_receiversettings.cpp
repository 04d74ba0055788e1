// Quillbox's store: first start, the port list and its sentinel, the sound
// option, and damaged port data that must never open a listener by accident.
#include "receiversettings.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

using Pairs = QList<QPair<QString, QString>>;

QString S(const char *text)
{
    return QString::fromLatin1(text);
}

PortList Ports(std::initializer_list<qint32> ports)
{
    PortList list;
    for (qint32 port : ports)
        list.append(port);
    return list;
}

} // namespace

class TestReceiverSettings : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store.reset();
        reopen();
    }

    void firstStartThenSecondDropsSentinel()
    {
        ReceiverSettings first;
        startUp(first);
        QCOMPARE(first.portList, Ports({505}));
        QVERIFY(first.playIncomingSound);
        QCOMPARE(section("Ports"), (Pairs{{S("1_port"), S("505")}, {S("TestPorts"), S("True")}}));
        QCOMPARE(section("Settings"), (Pairs{{S("PlayIncomingSound"), S("True")}}));
        ReceiverSettings second;
        startUp(second);
        QCOMPARE(second.portList, Ports({505}));
        QCOMPARE(section("Ports"), (Pairs{{S("1_port"), S("505")}}));
    }

    void portsInNumberOrder()
    {
        m_store->save(S("Ports"), S("2_port"), S("5001"));
        m_store->save(S("Ports"), S("1_port"), S("5000"));
        reopen();
        ReceiverSettings settings;
        startUp(settings);
        QCOMPARE(settings.portList, Ports({5000, 5001}));
        QCOMPARE(section("Ports"), (Pairs{{S("1_port"), S("5000")}, {S("2_port"), S("5001")}}));
    }

    void soundOption_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("False") << S("False") << false;
        QTest::newRow("false") << S("false") << false;
        QTest::newRow("0") << S("0") << false;
        QTest::newRow("True") << S("True") << true;
        QTest::newRow("damaged keeps the default") << S("loud") << true;
    }

    void soundOption()
    {
        QFETCH(QString, stored);
        QFETCH(bool, expected);
        m_store->save(S("Settings"), S("PlayIncomingSound"), stored);
        reopen();
        ReceiverSettings settings;
        startUp(settings);
        QCOMPARE(settings.playIncomingSound, expected);
        // And it survives the next start as written.
        ReceiverSettings again;
        startUp(again);
        QCOMPARE(again.playIncomingSound, expected);
    }

    void damagedPorts_data()
    {
        QTest::addColumn<Pairs>("stored");
        QTest::addColumn<QList<qint32>>("expected");
        QTest::newRow("key without underscore: no port 0")
            << Pairs{{S("1_port"), S("5000")}, {S("junk"), S("1")}} << QList<qint32>{5000};
        QTest::newRow("other field: no port 0")
            << Pairs{{S("1_port"), S("5000")}, {S("2_name"), S("x")}} << QList<qint32>{5000};
        QTest::newRow("number above the count kept")
            << Pairs{{S("1_port"), S("5000")}, {S("7_port"), S("5007")}} << QList<qint32>{5000, 5007};
        QTest::newRow("not a number dropped")
            << Pairs{{S("1_port"), S("abc")}, {S("2_port"), S("6000")}} << QList<qint32>{6000};
        QTest::newRow("out of range never wraps") << Pairs{{S("1_port"), S("70000")},
                                                           {S("2_port"), S("-5")},
                                                           {S("3_port"), S("9E99")},
                                                           {S("4_port"), S("0")},
                                                           {S("5_port"), S("6001")}}
                                                  << QList<qint32>{6001};
        QTest::newRow("numbers 0 and beyond 16 bits skipped")
            << Pairs{{S("0_port"), S("1")}, {S("40000_port"), S("2")}, {S("1_port"), S("6002")}}
            << QList<qint32>{6002};
        QTest::newRow("nothing usable falls back to 505") << Pairs{{S("x"), S("y")}} << QList<qint32>{505};
        QTest::newRow("duplicates kept (each gets its own listener error)")
            << Pairs{{S("1_port"), S("6003")}, {S("2_port"), S("6003")}} << QList<qint32>{6003, 6003};
    }

    void damagedPorts()
    {
        QFETCH(Pairs, stored);
        QFETCH(QList<qint32>, expected);
        for (const auto &[key, value] : stored)
            m_store->save(S("Ports"), key, value);
        reopen();
        ReceiverSettings settings;
        loadReceiverSettings(*m_store, settings);
        QList<qint32> loaded;
        for (int n = 1; n <= settings.portList.count(); ++n)
            loaded.append(settings.portList.at(n));
        QCOMPARE(loaded, expected);
    }

    void optionsDialogSave()
    {
        ReceiverSettings settings;
        startUp(settings);
        // Closing the options dialog writes the list again, whatever it found.
        QVERIFY(savePortList(*m_store, Ports({7000, 7001, 7002})));
        QVERIFY(saveSoundOption(*m_store, false));
        reopen();
        QCOMPARE(section("Ports"),
                 (Pairs{{S("1_port"), S("7000")}, {S("2_port"), S("7001")}, {S("3_port"), S("7002")}}));
        ReceiverSettings loaded;
        loadReceiverSettings(*m_store, loaded);
        QCOMPARE(loaded.portList, Ports({7000, 7001, 7002}));
        QVERIFY(!loaded.playIncomingSound);
    }

private:
    void reopen()
    {
        if (m_store)
            QVERIFY(m_store->flush());
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(S("Quillbox.ini"))));
    }

    Pairs section(const char *name)
    {
        Pairs pairs = m_store->getAll(S(name));
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }

    // What the main window's load does with the store.
    void startUp(ReceiverSettings &settings)
    {
        settings.portList = defaultPortList();
        loadReceiverSettings(*m_store, settings);
        QVERIFY(savePortList(*m_store, settings.portList));
        QVERIFY(saveSoundOption(*m_store, settings.playIncomingSound));
        reopen();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

QTEST_GUILESS_MAIN(TestReceiverSettings)
#include "test_receiversettings.moc"
