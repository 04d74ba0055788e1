#pragma once

#include "localendpoint.h"
#include "replyrecord.h"
#include "sendersettings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <optional>

class ReplyRecordReceiver;

// Quillpost's side of a reply: whom the record Quillbox handed over names
// in the user list, and when that person is selected.

struct ReplyTarget
{
    QString name;    // ReplyToName
    QString ip;      // ReplyToIp, normalised
    qint32 port = 0; // ReplyToPort
    int index = -1;  // ReplyToIndex: number in the user list, -1 when not in it
};

// True when some user 1..N has exactly this name and this IP.
bool isKnownUser(const UserList &users, const QString &name, const QString &ip);

// The target a record names, or nothing when the list is full and the person
// is not in it. An empty name becomes the first free "Anonymous<n>" at that
// address.
std::optional<ReplyTarget> replyTargetFor(const ReplyRecord &record, const UserList &users);

// Applies the target to the list: the known user's port is updated, or the
// user is appended. Returns the user's number, or -1 when the list is full
// and nothing changed.
int applyReplyTarget(UserList &users, ReplyTarget &target);

// The reply intake of the main window: answers on Quillpost's local
// endpoint, takes the records handed over and applies the latest target to
// the user list while the window is the active one (else when it next
// becomes so). Shows nothing; the window shows what it reports.
class ReplyIntake : public QObject
{
    Q_OBJECT
public:
    // How long after a target is applied the window comes forward.
    static constexpr int kBringForwardDelayMs = 500;

    ReplyIntake(UserList &users, QObject *parent = nullptr);
    ~ReplyIntake() override;

    // Starts answering on the endpoint, and from then on takes records.
    void listen();
    void close();
    // Whether the window is the active one among the program's windows.
    void setWindowActive(bool active);
    bool isWindowActive() const { return m_active; }
    LocalEndpoint *endpoint() const { return m_endpoint; }
    bool isPending() const { return m_pending; }
    const ReplyTarget &target() const { return m_target; }

    // A record's bytes as they were handed over.
    void take(const QByteArray &data);
    // Selects (or adds) the pending target, unless the list is full.
    void applyPending();

signals:
    void bringToFrontRequested(const QString &activationToken);
    // The target was applied: it is user number in the list.
    void userChosen(int number);
    // kBringForwardDelayMs after the latest userChosen().
    void bringForwardDue();
    // A target waits until the window is active again.
    void targetWaiting(const QString &name);

private:
    UserList &m_users;
    QPointer<LocalEndpoint> m_endpoint;
    ReplyRecordReceiver *m_receiver = nullptr;
    QTimer m_bringForward;
    ReplyTarget m_target;
    bool m_active = false;
    bool m_pending = false;
};
