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
#include "localendpoint.h"
#include "replyrecord.h"
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
#include <optional>

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
        m_listeningAtReport.clear();
        setMessageHandler([this](QWidget *owner, const QString &title, const QString &text) {
            if (title == kTitleError &&
                text.startsWith(QStringLiteral("The settings could not be saved to "))) {
                m_errors.append(text);
#ifdef QUILL_SENDER
                const auto *form = qobject_cast<SendWindow *>(owner);
                m_listeningAtReport.append(form && form->endpoint() && form->endpoint()->isListening());
#else
                const auto *form = qobject_cast<ReceiverWindow *>(owner);
                m_listeningAtReport.append(form && !form->listeners().isEmpty() &&
                                           form->listeners().first()->isListening());
#endif
            }
        });
    }
    void cleanup()
    {
        setMessageHandler({});
    }

#ifdef QUILL_SENDER
    void senderReportsAtStartAndClose()
    {
        SettingsStore store = blockedStore(QStringLiteral("Quillpost.ini"));
        SenderSettings settings;
        auto form = std::make_unique<SendWindow>(store, settings);
        QCOMPARE(m_errors.size(), 1);
        QVERIFY(m_errors.first().contains(QStringLiteral("blocked/Quillpost.ini")));
        // Quillbox, which may have started the program to hand over a reply,
        // is answered whatever the user does about the box.
        QCOMPARE(m_listeningAtReport, QList<bool>{true});
        std::optional<EndpointReply> reply;
        auto *request = EndpointRequest::bringToFront(kSendWindowCaption, 5000, form.get());
        connect(request, &EndpointRequest::finished, this, [&reply](EndpointReply r) { reply = r; });
        request->start();
        QTRY_VERIFY(reply);
        QCOMPARE(*reply, EndpointReply::Answered);

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
        ReceiverWindow form(store, settings, receiverOptions());
        form.start(QString());
        QCOMPARE(m_errors.size(), 1);
        // The report waits for nobody: the ports listen before it comes.
        QCOMPARE(m_listeningAtReport, QList<bool>{true});
        form.close();
        QCOMPARE(m_errors.size(), 2);
    }
#endif

    // A file with a line QSettings cannot parse: the first write at start
    // replaces it with a sound one, and that is no failure to report.
    void damagedFileRewrittenWithoutABox()
    {
        QFile file(m_dir->filePath(QStringLiteral("damaged.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("a line that is no setting\n[Kept]\nkey=1\n");
        file.close();
        {
            SettingsStore store = SettingsStore::atPath(file.fileName());
#ifdef QUILL_SENDER
            SenderSettings settings;
            SendWindow form(store, settings);
#else
            ReceiverSettings settings;
            settings.portList.clear();
            settings.portList.append(0);
            ReceiverWindow form(store, settings, receiverOptions());
            form.start(QString());
#endif
            form.close();
        }
        QCOMPARE(m_errors, QStringList());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(!text.contains("no setting") && text.contains("key=1"), text.constData());
    }

private:
#ifndef QUILL_SENDER
    static ReceiverWindowOptions receiverOptions()
    {
        ReceiverWindowOptions options;
        options.listenAddress = QHostAddress(QHostAddress::LocalHost);
        options.trayIcon = false;
        options.loadSettings = false;
        return options;
    }
#endif
    SettingsStore blockedStore(const QString &name)
    {
        return SettingsStore::atPath(m_dir->filePath(QStringLiteral("blocked/") + name));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_errors;
    // For each report: whether the program was listening (its local
    // endpoint, its ports).
    QList<bool> m_listeningAtReport;
};

QTEST_MAIN(TestSaveFailure)
#include "test_savefailure.moc"
