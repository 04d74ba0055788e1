// A settings file that cannot be written is reported by the main window at
// start and at close and by a settings dialog closing, and only once the
// program listens (Quillbox may have started Quillpost to hand over a
// reply). That a damaged file is rewritten, and so not reported, is
// test_stores' damagedFileRewritten. Built once for each program
// (QUILL_SENDER): their libraries never meet.
#include "messagebox.h"
#include "settingsstore.h"
#ifdef QUILL_SENDER
#include "identificationdialog.h"
#include "localendpoint.h"
#include "replyintake.h"
#include "sendersettings.h"
#include "sendwindow.h"
using Window = SendWindow;
#else
#include "listener.h"
#include "receiversettings.h"
#include "receiverwindow.h"
using Window = ReceiverWindow;
#endif

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSaveFailure : public QObject
{
    Q_OBJECT
private slots:
    void reported()
    {
        QStringList reports; // "listening" for each report made while the program listens
        setMessageHandler([&reports](QWidget *owner, const QString &title, const QString &text) {
            const auto *window = qobject_cast<const Window *>(owner);
#ifdef QUILL_SENDER
            const LocalEndpoint *endpoint = window ? window->replyIntake()->endpoint() : nullptr;
            const bool listening = endpoint && endpoint->isListening();
#else
            const bool listening = window && window->listeningPorts().value(0) != 0;
#endif
            if (title == kTitleError && text.startsWith(u"The settings could not be saved to "_s))
                reports.append(text.contains(u"blocked"_s) && listening ? u"listening"_s : text);
        });
        const auto unset = qScopeGuard([] { setMessageHandler({}); });
        QTemporaryDir dir;
        QFile blocker(dir.filePath(u"blocked"_s)); // a file where the store's folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        SettingsStore store = SettingsStore::atPath(dir.filePath(u"blocked/Quill.ini"_s));
#ifdef QUILL_SENDER
        SenderSettings settings;
        Window window(store, settings);
        QCOMPARE(reports, QStringList{u"listening"_s});
        delete new IdentificationDialog(settings, store, &window); // closing, it saves
        QCOMPARE(reports.size(), 2);
#else
        ReceiverSettings settings; // one port of the system's choice, on loopback
        settings.portList.clear();
        settings.portList.append(0);
        Window window(store, settings, ReceiverWindowOptions{QHostAddress::LocalHost, false, false, {}, false});
        window.start(QString());
        QCOMPARE(reports, QStringList{u"listening"_s});
#endif
        const qsizetype before = reports.size();
        window.close();
        QCOMPARE(reports.size(), before + 1);
    }
};

QTEST_MAIN(TestSaveFailure)
#include "test_savefailure.moc"
