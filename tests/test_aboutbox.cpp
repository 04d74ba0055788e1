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

using namespace Qt::StringLiterals;

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
    void init()
    {
        setScreenProvider([] { return ScreenMetrics{QSize(1600, 1200), 96.0}; });
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<SettingsStore>(SettingsStore::atPath(m_dir->filePath(u"s.ini"_s)));
        QDesktopServices::setUrlHandler(u"mailto"_s, &m_catcher, "open");
        QDesktopServices::setUrlHandler(u"https"_s, &m_catcher, "open");
        m_catcher.opened.clear();
    }

    void cleanup()
    {
        QDesktopServices::unsetUrlHandler(u"mailto"_s);
        QDesktopServices::unsetUrlHandler(u"https"_s);
        setScreenProvider({});
    }

    void nameAndVersion_data()
    {
        QTest::addColumn<QString>("product");
        QTest::newRow("sender") << u"Quillpost"_s;
        QTest::newRow("receiver") << u"Quillbox"_s;
    }

    void nameAndVersion()
    {
        QFETCH(QString, product);
        AboutBox box(product, *m_store, nullptr);
        QCOMPARE(box.findChild<QLabel *>(u"lbl"_s)->text(), product);
        QCOMPARE(box.findChild<QLabel *>(u"appversion"_s)->text(), u"2.0"_s);
        QVERIFY(!box.findChild<QLabel *>(u"ImageProg"_s)->pixmap().isNull());
    }

    void fieldsReadOnlyAndPlain()
    {
        AboutBox box(u"<b>Quillpost</b>"_s, *m_store, nullptr);
        QCOMPARE(box.findChild<QLabel *>(u"lbl"_s)->textFormat(), Qt::PlainText);
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
            QTest::keyClicks(field, u"xyz"_s);
            QCOMPARE(field->text(), before);
        }
    }

    void contactFieldsOpen()
    {
        AboutBox box(u"Quillbox"_s, *m_store, nullptr);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::mouseClick(box.findChild<QLineEdit *>(u"email"_s), Qt::LeftButton);
        QTest::mouseClick(box.findChild<QLineEdit *>(u"website"_s), Qt::LeftButton);
        QCOMPARE(m_catcher.opened.size(), 2);
        QCOMPARE(m_catcher.opened.at(0), QUrl(u"mailto:"_s + AboutBox::kEmail));
        QCOMPARE(m_catcher.opened.at(1), QUrl(AboutBox::kWebsite));
        QTest::mouseClick(box.findChild<QPushButton *>(u"ReturnCmd"_s), Qt::LeftButton);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
    }

    void positionStoredUnderAbout()
    {
        saveWindowPosition(*m_store, u"About "_s, 1500, 3000);
        {
            AboutBox box(u"Quillpost"_s, *m_store, nullptr);
            QCOMPARE(box.pos(), QPoint(100, 200));
            box.move(40, 60);
        }
        QCOMPARE(m_store->get(u"Settings"_s, u"About StartUPX"_s, QString()), u"600"_s);
        QCOMPARE(m_store->get(u"Settings"_s, u"About StartUPY"_s, QString()), u"900"_s);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsStore> m_store;
    UrlCatcher m_catcher;
};

QTEST_MAIN(TestAboutBox)
#include "test_aboutbox.moc"
