// The About box of both programs: name, version, read-only fields, the
// contact fields opening the desktop's mail program and browser, and its
// stored position.
#include "aboutbox.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// Stands in for the mail program and the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestAboutBox : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void nameAndVersion_data();
    void nameAndVersion();
    void fieldsReadOnlyAndPlain();
    void contactFieldsOpen();
    void positionStoredUnderAbout();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    UrlCatcher m_catcher;
};

void TestAboutBox::init()
{
    SetScreenProvider([] { return ScreenMetrics{QSize(1600, 1200), 96.0}; });
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(QStringLiteral("s.ini"))));
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &m_catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_catcher, "open");
    m_catcher.opened.clear();
}

void TestAboutBox::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    SetScreenProvider({});
}

void TestAboutBox::nameAndVersion_data()
{
    QTest::addColumn<QString>("product");
    QTest::newRow("sender") << QStringLiteral("Quillpost");
    QTest::newRow("receiver") << QStringLiteral("Quillbox");
}

void TestAboutBox::nameAndVersion()
{
    QFETCH(QString, product);
    AboutBox box(product, *m_store, nullptr);
    QCOMPARE(box.windowTitle(), QStringLiteral("Credits"));
    QCOMPARE(box.findChild<QLabel *>(QStringLiteral("lbl"))->text(), product);
    QCOMPARE(box.findChild<QLabel *>(QStringLiteral("appversion"))->text(), QStringLiteral("2.0"));
    QVERIFY(!box.findChild<QLabel *>(QStringLiteral("ImageProg"))->pixmap().isNull());
}

void TestAboutBox::fieldsReadOnlyAndPlain()
{
    AboutBox box(QStringLiteral("<b>Quillpost</b>"), *m_store, nullptr);
    QCOMPARE(box.findChild<QLabel *>(QStringLiteral("lbl"))->textFormat(), Qt::PlainText);
    for (const char *name : {"commentbox", "programmerbox"}) {
        auto *text = box.findChild<QPlainTextEdit *>(QString::fromLatin1(name));
        QVERIFY(text);
        QVERIFY(text->isReadOnly());
        QVERIFY(!text->toPlainText().isEmpty());
    }
    for (const char *name : {"email", "website"}) {
        auto *field = box.findChild<QLineEdit *>(QString::fromLatin1(name));
        QVERIFY(field);
        QVERIFY(field->isReadOnly());
        const QString before = field->text();
        QTest::keyClicks(field, QStringLiteral("xyz"));
        QCOMPARE(field->text(), before);
    }
}

void TestAboutBox::contactFieldsOpen()
{
    AboutBox box(QStringLiteral("Quillbox"), *m_store, nullptr);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.findChild<QLineEdit *>(QStringLiteral("email")), Qt::LeftButton);
    QTest::mouseClick(box.findChild<QLineEdit *>(QStringLiteral("website")), Qt::LeftButton);
    QCOMPARE(m_catcher.opened.size(), 2);
    QCOMPARE(m_catcher.opened.at(0), QUrl(QStringLiteral("mailto:") + AboutBox::kEmail));
    QCOMPARE(m_catcher.opened.at(1), QUrl(AboutBox::kWebsite));
    QTest::mouseClick(box.findChild<QPushButton *>(QStringLiteral("ReturnCmd")), Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void TestAboutBox::positionStoredUnderAbout()
{
    SaveWindowPosition(*m_store, QStringLiteral("About "), 1500, 3000);
    {
        AboutBox box(QStringLiteral("Quillpost"), *m_store, nullptr);
        QCOMPARE(box.pos(), QPoint(100, 200));
        box.move(40, 60);
    }
    QCOMPARE(m_store->get(QStringLiteral("Settings"), QStringLiteral("About StartUPX"), QString()),
             QStringLiteral("600"));
    QCOMPARE(m_store->get(QStringLiteral("Settings"), QStringLiteral("About StartUPY"), QString()),
             QStringLiteral("900"));
}

QTEST_MAIN(TestAboutBox)
#include "test_aboutbox.moc"
