#pragma once

#include "messagefanout.h"
#include "senttexts.h"

#include <QObject>

class PresenceBrowser;
struct SenderSettings;

// Sending from the main window, without the window: one message to the user
// chosen in the recipient box, or one to several, the texts sent recorded
// for browsing, and each end reported with the text its box shows. The
// window shows what it reports.
class SendController : public QObject
{
    Q_OBJECT
public:
    enum class Result
    {
        Delivered,    // to the one recipient, or to every one of several
        NotConfirmed, // it may have arrived, or several did not all confirm
        Failed
    };

    explicit SendController(SenderSettings &settings, QObject *parent = nullptr);

    // The people online: a user added from them is sent to where they are
    // now, and the list follows (userMoved()).
    void setPresence(const PresenceBrowser *presence) { m_presence = presence; }

    // Starts sending text to user number user of the list, stopping any send
    // under way. False, with the error box's text, when it cannot start.
    bool sendToUser(int user, const QString &text, QString &error);
    // The payload of the single send under way, once connected() came.
    void sendText(const QString &text);
    // The text to every recipient at once; one report when all are done.
    // False, with the error box's text, when there is nobody to send to.
    bool sendToSeveral(const QList<Recipient> &recipients, const QString &text, QString &error);
    // Ends whatever is under way without a report.
    void stop();

    SentTexts &sentTexts() { return m_sentTexts; }
    MessageSender *messageSender() const { return m_sender; }
    MessageFanout *messageFanout() const { return m_fanout; }

signals:
    // The single send's connection is made: it goes out with the text that
    // sendText() is given now (the field may have changed while connecting).
    void connected();
    // A send ended; notice is what the user is told.
    void finished(SendController::Result result, const QString &notice);
    // User number user of the list was seen at another address and port,
    // which the list now holds; the send goes there.
    void userMoved(int user);
    // User number user of the list got the key shown on the first encrypted
    // exchange with it; the list is to be saved.
    void userKeyPinned(int user);

private:
    void onSendFinished(MessageSender::Outcome outcome, const QString &description);
    void onSeveralFinished();

    // The person online the user is, if any; the list follows where they
    // are now.
    const PresencePerson *followPerson(int user);

    SenderSettings &m_settings;
    const PresenceBrowser *m_presence = nullptr;
    QString m_moveNote;
    SentTexts m_sentTexts;
    MessageSender *m_sender;
    MessageFanout *m_fanout;
    QString m_recipientName;
    QString m_recipientIp;
    int m_recipientUser = 0;
};
