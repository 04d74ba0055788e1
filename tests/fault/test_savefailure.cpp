// A settings file that cannot be written is reported to the user, by both
// main windows and by the settings dialogs, instead of being lost silently.
// The store's folder is made impossible to create (a plain file stands in
// its place), which holds even for root.
// Built twice, once for each program: the two programs' libraries are never
// linked together.
#include "messagebox.h"
#include "settingsstore.h"
#ifdef QUILL_SENDER
#include "identificationdialog.h"
#include "sendersettings.h"
#include "sendwindow.h"
#else
#include "listener.h"
#include "receiversettings.h"
#include "receiverwindow.h"
#endif

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

class TestSaveFailure : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QFile blocker(m_dir->filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        m_errors.clear();
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            if (title == kTitleError &&
                text.startsWith(QStringLiteral("The settings could not be saved to "))) {
                m_errors.append(text);
                if (m_onError)
                    m_onError();
            }
        });
    }
    void cleanup() { setMessageHandler({}); }

#ifdef QUILL_SENDER
    void senderReportsAtStartAndClose()
    {
        SettingsStore store = blockedStore(QStringLiteral("Quillpost.ini"));
        SenderSettings settings;
        auto form = std::make_unique<SendWindow>(store, settings);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(m_errors.first().contains(QStringLiteral("blocked/Quillpost.ini")));

        // A settings dialog closing reports it as well.
        {
            IdentificationDialog dialog(settings, store, form.get());
        }
        QCOMPARE(m_errors.size(), 2);
        form->close();
        QCOMPARE(m_errors.size(), 3);
    }

#else
    void receiverReportsAtStartAndClose()
    {
        SettingsStore store = blockedStore(QStringLiteral("Quillbox.ini"));
        ReceiverSettings settings;
        settings.portList.clear();
        settings.portList.append(0);
        ReceiverWindowOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        options.loadSettings = false;
        ReceiverWindow form(store, settings, options);
        // The report waits for nobody: the ports listen before it comes.
        bool listeningAtReport = false;
        m_onError = [&form, &listeningAtReport] {
            listeningAtReport = !form.listeners().isEmpty() && form.listeners().first()->isListening();
        };
        form.start(QString());
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(listeningAtReport);
        m_onError = nullptr;
        form.close();
        QCOMPARE(m_errors.size(), 2);
    }
#endif

private:
    SettingsStore blockedStore(const QString &name)
    {
        return SettingsStore::atPath(m_dir->filePath(QStringLiteral("blocked/") + name));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_errors;
    std::function<void()> m_onError;
};

QTEST_MAIN(TestSaveFailure)
#include "test_savefailure.moc"
