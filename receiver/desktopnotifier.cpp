#include "desktopnotifier.h"

#include "senderline.h"
#include "windowactivation.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QVariantMap>

#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

const QString kOpenAction = QStringLiteral("open");
const QString kReplyAction = QStringLiteral("reply");

// The server's own time-out.
constexpr qint32 kServerDefaultTimeout = -1;

// The sender of message, without its text.
Message senderOf(const Message &message)
{
    Message sender = message;
    sender.text.clear();
    return sender;
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent)
{}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                if (!oldOwner.isEmpty())
                    serverGone();
                if (!newOwner.isEmpty()) {
                    m_owner = newOwner;
                    askCapabilities();
                }
            });
    // Listened to from any sender and checked against the owner here: a
    // match on the well-known name would make Qt ask the bus for its owner
    // and wait for the answer.
    m_signalsConnected = m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                                       SLOT(onActionInvoked(uint, QString, QDBusMessage))) &&
                         m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"),
                                       this, SLOT(onNotificationClosed(uint, uint, QDBusMessage))) &&
                         m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActivationToken"), this,
                                       SLOT(onActivationToken(uint, QString, QDBusMessage)));
    askCapabilities();
}

DesktopNotifier::~DesktopNotifier()
{
    // The session bus connection lives on; its match rules must not.
    if (m_signalsConnected) {
        m_bus.disconnect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString, QDBusMessage)));
        m_bus.disconnect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint, uint, QDBusMessage)));
        m_bus.disconnect(QString(), kPath, kInterface, QStringLiteral("ActivationToken"), this,
                         SLOT(onActivationToken(uint, QString, QDBusMessage)));
    }
}

void DesktopNotifier::notify(const Message &message)
{
    if (m_asking) {
        // Only the start of the text is shown; the rest need not wait.
        Message waiting = message;
        waiting.text.truncate(kBodyChars + 1);
        m_waiting.append(std::move(waiting));
        if (m_waiting.size() > kMaxWaiting)
            emit notShown(senderOf(m_waiting.takeFirst()));
    } else if (m_available) {
        post(message);
    } else {
        emit notShown(senderOf(message));
    }
}

QString DesktopNotifier::bodyText(const QString &text, bool markup)
{
    const bool cut = text.size() > kBodyChars;
    qsizetype end = text.size();
    if (cut) {
        end = kBodyChars;
        // The last word that fits ends the body, unless that loses more than
        // half of it (one long word).
        if (!text.at(end).isSpace()) {
            qsizetype space = end - 1;
            while (space >= kBodyChars / 2 && !text.at(space).isSpace())
                --space;
            if (space >= kBodyChars / 2)
                end = space;
            else if (text.at(end - 1).isHighSurrogate())
                --end;
        }
    }
    QString body;
    body.reserve(end + end / 4 + 1);
    for (qsizetype i = 0; i < end; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            body += u'\n';
            if (i + 1 < end && text.at(i + 1) == u'\n')
                ++i;
        } else if (c == u'\n' || c == u'\t') {
            body += c;
        } else if (c.category() == QChar::Other_Control) {
            body += u' ';
        } else if (markup && c == u'&') {
            body += QStringLiteral("&amp;");
        } else if (markup && c == u'<') {
            body += QStringLiteral("&lt;");
        } else if (markup && c == u'>') {
            body += QStringLiteral("&gt;");
        } else {
            body += c;
        }
    }
    if (cut) {
        while (!body.isEmpty() && body.back().isSpace())
            body.chop(1);
        body += QChar(0x2026); // "…"
    }
    return body;
}

DesktopNotifier::Tracked *DesktopNotifier::tracked(uint id, const QDBusMessage &signal)
{
    if (m_owner.isEmpty() || signal.service() != m_owner)
        return nullptr;
    for (Tracked &each : m_tracked) {
        if (each.id == id)
            return &each;
    }
    return nullptr;
}

void DesktopNotifier::onActivationToken(uint id, const QString &token, const QDBusMessage &signal)
{
    // Sent just before the action it is for; anything that cannot be a
    // token is not kept.
    if (Tracked *notification = tracked(id, signal))
        notification->activationToken = isActivationToken(token.toLatin1()) ? token : QString();
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action, const QDBusMessage &signal)
{
    Tracked *notification = tracked(id, signal);
    if (!notification)
        return;
    // Copied: what is connected may post further notifications. A token
    // serves one action.
    const Message copy = notification->sender;
    const QString token = std::exchange(notification->activationToken, QString());
    if (action == kOpenAction)
        emit openRequested(copy, token);
    else if (action == kReplyAction)
        emit replyRequested(copy, token);
}

void DesktopNotifier::onNotificationClosed(uint id, uint, const QDBusMessage &signal)
{
    if (tracked(id, signal))
        m_tracked.removeIf([id](const Tracked &each) { return each.id == id; });
}

void DesktopNotifier::askCapabilities()
{
    const quint64 generation = ++m_generation;
    m_asking = true;
    // Asked of the name, not of its owner: the bus starts a server that is
    // installed to be started on demand.
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kBusCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (generation != m_generation)
                    return; // asked of a server since gone
                m_asking = false;
                const QDBusPendingReply<QStringList> reply = *finished;
                if (reply.isError()) {
                    // No server, or one that does not answer: one that
                    // (re)starts later is asked again.
                    logBusError("GetCapabilities", reply.error());
                    m_available = false;
                    failWaiting();
                    return;
                }
                m_owner = finished->reply().service();
                m_capabilities = reply.value();
                m_available = true;
                const QList<Message> waiting = std::exchange(m_waiting, {});
                for (const Message &each : waiting)
                    post(each);
            });
}

void DesktopNotifier::serverGone()
{
    // Its notification ids mean nothing to the next server.
    ++m_generation;
    m_asking = false;
    m_available = false;
    m_owner.clear();
    m_capabilities.clear();
    m_tracked.clear();
    failWaiting();
}

void DesktopNotifier::failWaiting()
{
    const QList<Message> waiting = std::exchange(m_waiting, {});
    for (const Message &each : waiting)
        emit notShown(senderOf(each));
}

void DesktopNotifier::post(const Message &message)
{
    QStringList actions;
    if (m_capabilities.contains(QStringLiteral("actions")))
        actions = QStringList{kOpenAction, tr("Open"), kReplyAction, tr("Reply")};
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("quillbox")},
                      {QStringLiteral("category"), QStringLiteral("im.received")}};
    // Someone using the name of a contact with a key stays on the screen.
    if (message.trust == SenderTrust::Impostor)
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    const bool markup = m_capabilities.contains(QStringLiteral("body-markup"));
    // The first line says whether it came encrypted, and with whose key.
    const QString body = bodyText(senderTrustText(message.trust, message.senderKey), markup) + u'\n' +
                         bodyText(message.text, markup);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Quillbox") << uint(0) << QStringLiteral("quillbox")
         << senderLineText(shownSenderName(message.name), message.address, message.localPort) << body
         << actions << hints << kServerDefaultTimeout;
    const quint64 generation = m_generation;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kBusCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, sender = senderOf(message)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError()) {
                    logBusError("Notify", reply.error());
                    emit notShown(sender);
                } else if (generation == m_generation) {
                    track(reply.value(), sender);
                }
            });
}

void DesktopNotifier::logBusError(const char *call, const QDBusError &error)
{
    if (!lcNotify().isInfoEnabled() || !m_busErrorLog.allow(QDateTime::currentMSecsSinceEpoch()))
        return;
    qCInfo(lcNotify).nospace() << call << " failed: " << qUtf8Printable(error.name()) << ": "
                               << qUtf8Printable(error.message()) << " (" << m_busErrorLog.suppressed()
                               << " others held back so far)";
}

void DesktopNotifier::track(uint id, const Message &sender)
{
    // A server may hand out an id again once its notification is gone.
    m_tracked.removeIf([id](const Tracked &each) { return each.id == id; });
    m_tracked.append({id, sender, {}});
    while (m_tracked.size() > kMaxTracked)
        m_tracked.removeFirst();
}
