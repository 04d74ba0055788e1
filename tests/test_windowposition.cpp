// Window start positions in twips: centring, re-centring off-screen corners,
// and placing a real widget through the pixel/twip conversion.
#include "settingsstore.h"
#include "windowposition.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

class TestWindowPosition : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        // 1000 x 800 pixels at 96 dpi: 15000 x 12000 twips (15 twips a pixel).
        setScreenProvider([] { return ScreenMetrics{QSize(1000, 800), 96.0}; });
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(u"s.ini"_s)));
    }

    void cleanup() { setScreenProvider({}); }

    void centredWhenAbsent()
    {
        QCOMPARE(screenSizeTwips(), QSize(15000, 12000));
        QCOMPARE(loadWindowPosition(*m_store, QString(), 3000, 2000), QPoint(6000, 5000));
        // Halves go to the even neighbour: 7500 - 1500.5 = 5999.5 -> 6000; 6000 - 1000.5 = 4999.5 -> 5000.
        QCOMPARE(loadWindowPosition(*m_store, QString(), 3001, 2001), QPoint(6000, 5000));
        QCOMPARE(loadWindowPosition(*m_store, QString(), 3003, 2003), QPoint(5998, 4998));
    }

    void clamp_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QPoint>("expected");
        const QPoint centre(6000, 5000);
        QTest::newRow("on screen") << QPoint(100, 200) << QPoint(100, 200);
        QTest::newRow("x equal to the width accepted") << QPoint(15000, 200) << QPoint(15000, 200);
        QTest::newRow("y equal to the height accepted") << QPoint(10, 12000) << QPoint(10, 12000);
        QTest::newRow("x -1 re-centres both") << QPoint(-1, 200) << centre;
        QTest::newRow("y -1 re-centres both") << QPoint(100, -1) << centre;
        QTest::newRow("x beyond the width") << QPoint(15001, 200) << centre;
        QTest::newRow("y beyond the height") << QPoint(100, 12001) << centre;
    }

    void clamp()
    {
        QFETCH(QPoint, stored);
        QFETCH(QPoint, expected);
        QCOMPARE(clampWindowPosition(3000, 2000, stored.x(), stored.y()), expected);
        saveWindowPosition(*m_store, u"Option "_s, stored.x(), stored.y());
        QCOMPARE(m_store->get(u"Settings"_s, u"Option StartUPX"_s, QString()), QString::number(stored.x()));
        QCOMPARE(loadWindowPosition(*m_store, u"Option "_s, 3000, 2000), expected);
    }

    void storedCornerUsed()
    {
        saveWindowPosition(*m_store, u"About "_s, 1440, 2880);
        QCOMPARE(loadWindowPosition(*m_store, u"About "_s, 3000, 2000), QPoint(1440, 2880));
        // Another prefix is another window.
        QCOMPARE(loadWindowPosition(*m_store, u"Option "_s, 3000, 2000), QPoint(6000, 5000));
    }

    void damagedValueCentres()
    {
        m_store->save(u"Settings"_s, u"StartUPX"_s, u"left"_s);
        m_store->save(u"Settings"_s, u"StartUPY"_s, u"9E99"_s);
        QCOMPARE(loadWindowPosition(*m_store, QString(), 3000, 2000), QPoint(6000, 5000));
    }

    void widgetRoundTrip()
    {
        QWidget window;
        window.resize(200, 100);
        saveWindowPosition(*m_store, QString(), 1500, 3000); // 100 x 200 pixels
        placeWindow(&window, *m_store, QString());
        QCOMPARE(window.pos(), QPoint(100, 200));
        window.move(300, 150);
        storeWindowPosition(&window, *m_store, QString());
        QCOMPARE(m_store->get(u"Settings"_s, u"StartUPX"_s, QString()), u"4500"_s);
        QCOMPARE(m_store->get(u"Settings"_s, u"StartUPY"_s, QString()), u"2250"_s);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

QTEST_MAIN(TestWindowPosition)
#include "test_windowposition.moc"
