#pragma once

#include "logging.h"
#include "message.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>

class QDBusError;
class QDBusMessage;
class QDBusServiceWatcher;

// Shows arrived messages as desktop notifications through the notification
// server on the session bus (org.freedesktop.Notifications), with the actions
// "Open" and "Reply", and reports the user's choice with the message's sender.
//
// Every bus call is asynchronous and ends at a deadline; nothing here waits.
// Where no server runs (no session bus, or nobody owns the name) a message
// is reported through notShown() and nothing else happens. The name is
// watched, so a server that starts later is used. A server's capabilities
// are asked once when it appears; until they are known, the last few
// notifications wait for them.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    // The start of the text a notification shows, in characters.
    static constexpr qsizetype kBodyChars = 200;
    // Notifications whose actions are still answered; the oldest are forgotten.
    static constexpr int kMaxTracked = 256;
    // Notifications held while a new server's capabilities are asked.
    static constexpr int kMaxWaiting = 16;
    // A bus call that does not answer in this time is not going to.
    static constexpr int kBusCallTimeoutMs = 5000;

    // The session bus.
    explicit DesktopNotifier(QObject *parent = nullptr);
    DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);
    ~DesktopNotifier() override;

    // Posts one notification for message: the sender line as summary, the
    // start of the text as body.
    void notify(const Message &message);

    // A server answered and nothing since says it went away.
    bool isAvailable() const { return m_available; }

    // The body shown for text: line breaks as "\n", other control characters
    // as spaces, cut after at most kBodyChars characters (at a word's end
    // where one is near) with "…" after it, and &, <, > escaped when the
    // server reads the body as markup.
    static QString bodyText(const QString &text, bool markup);

signals:
    // The user chose an action of the notification of a message from sender
    // (whose text is not kept).
    // activationToken: what the server handed over with the action, to let
    // a window come forward (empty when it sent none).
    void openRequested(const Message &sender, const QString &activationToken);
    void replyRequested(const Message &sender, const QString &activationToken);
    // No notification could be shown for a message from sender.
    void notShown(const Message &sender);

private slots:
    void onActionInvoked(uint id, const QString &action, const QDBusMessage &signal);
    void onActivationToken(uint id, const QString &token, const QDBusMessage &signal);
    void onNotificationClosed(uint id, uint reason, const QDBusMessage &signal);

private:
    struct Tracked
    {
        uint id;
        Message sender;
        QString activationToken; // sent just before an action
    };

    void askCapabilities();
    void serverGone();
    void failWaiting();
    void post(const Message &message);
    void track(uint id, const Message &sender);
    // A failed bus call, in quill.notify (info), rate-limited.
    void logBusError(const char *call, const QDBusError &error);
    // The notification of id, when the signal comes from the server that
    // answers.
    Tracked *tracked(uint id, const QDBusMessage &signal);

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher = nullptr;
    bool m_signalsConnected = false;
    // The unique bus name of the server that answers; its signals alone count.
    QString m_owner;
    bool m_available = false;
    // A capabilities question is out; notifications wait for its answer.
    bool m_asking = false;
    // Counts servers seen, so that an answer from one gone is dropped.
    quint64 m_generation = 0;
    QStringList m_capabilities;
    QList<Message> m_waiting;
    QList<Tracked> m_tracked; // oldest first
    RateLimitedLog m_busErrorLog;
};
