// Window start positions in twips: centring, re-centring off-screen corners,
// and placing a real widget through the pixel/twip conversion.
#include "settingsstore.h"
#include "windowposition.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

class TestWindowPosition : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void centredWhenAbsent();
    void clamp_data();
    void clamp();
    void storedCornerUsed();
    void damagedValueCentres();
    void widgetRoundTrip();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

void TestWindowPosition::init()
{
    // 1000 x 800 pixels at 96 dpi: 15000 x 12000 twips (15 twips a pixel).
    SetScreenProvider([] { return ScreenMetrics{QSize(1000, 800), 96.0}; });
    m_dir = std::make_unique<QTemporaryDir>();
    m_store =
        std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(QStringLiteral("s.ini"))));
}

void TestWindowPosition::cleanup()
{
    SetScreenProvider({});
}

void TestWindowPosition::centredWhenAbsent()
{
    QCOMPARE(ScreenSizeTwips(), QSize(15000, 12000));
    QCOMPARE(LoadWindowPosition(*m_store, QString(), 3000, 2000), QPoint(6000, 5000));
    // Halves go to the even neighbour: 7500 - 1500.5 = 5999.5 -> 6000; 6000 - 1000.5 = 4999.5 -> 5000.
    QCOMPARE(LoadWindowPosition(*m_store, QString(), 3001, 2001), QPoint(6000, 5000));
    QCOMPARE(LoadWindowPosition(*m_store, QString(), 3003, 2003), QPoint(5998, 4998));
}

void TestWindowPosition::clamp_data()
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

void TestWindowPosition::clamp()
{
    QFETCH(QPoint, stored);
    QFETCH(QPoint, expected);
    QCOMPARE(ClampWindowPosition(3000, 2000, stored.x(), stored.y()), expected);
    SaveWindowPosition(*m_store, QStringLiteral("Option "), stored.x(), stored.y());
    QCOMPARE(m_store->get(QStringLiteral("Settings"), QStringLiteral("Option StartUPX"), QString()),
             QString::number(stored.x()));
    QCOMPARE(LoadWindowPosition(*m_store, QStringLiteral("Option "), 3000, 2000), expected);
}

void TestWindowPosition::storedCornerUsed()
{
    SaveWindowPosition(*m_store, QStringLiteral("About "), 1440, 2880);
    QCOMPARE(LoadWindowPosition(*m_store, QStringLiteral("About "), 3000, 2000), QPoint(1440, 2880));
    // Another prefix is another window.
    QCOMPARE(LoadWindowPosition(*m_store, QStringLiteral("Option "), 3000, 2000), QPoint(6000, 5000));
}

void TestWindowPosition::damagedValueCentres()
{
    m_store->save(QStringLiteral("Settings"), QStringLiteral("StartUPX"), QStringLiteral("left"));
    m_store->save(QStringLiteral("Settings"), QStringLiteral("StartUPY"), QStringLiteral("9E99"));
    QCOMPARE(LoadWindowPosition(*m_store, QString(), 3000, 2000), QPoint(6000, 5000));
}

void TestWindowPosition::widgetRoundTrip()
{
    QWidget window;
    window.resize(200, 100);
    SaveWindowPosition(*m_store, QString(), 1500, 3000); // 100 x 200 pixels
    PlaceWindow(&window, *m_store, QString());
    QCOMPARE(window.pos(), QPoint(100, 200));
    window.move(300, 150);
    StoreWindowPosition(&window, *m_store, QString());
    QCOMPARE(m_store->get(QStringLiteral("Settings"), QStringLiteral("StartUPX"), QString()),
             QStringLiteral("4500"));
    QCOMPARE(m_store->get(QStringLiteral("Settings"), QStringLiteral("StartUPY"), QString()),
             QStringLiteral("2250"));
}

QTEST_MAIN(TestWindowPosition)
#include "test_windowposition.moc"
