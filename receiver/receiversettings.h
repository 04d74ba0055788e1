#pragma once

#include <QList>
#include <QString>

class SettingsStore;

// Quillbox's settings: the incoming-message sound and the listening ports, as
// kept in the store "Quillbox".

inline const QString kReceiverStoreName = QStringLiteral("Quillbox");

// Listening ports numbered 1 to N; entry 0 holds no port.
class PortList
{
public:
    PortList();
    int count() const { return static_cast<int>(m_ports.size()) - 1; }
    qint32 at(int n) const { return (n >= 1 && n <= count()) ? m_ports[n] : 0; }
    void append(qint32 port) { m_ports.append(port); }
    void clear() { m_ports.resize(1); }
    bool contains(qint32 port) const { return m_ports.indexOf(port, 1) >= 1; }
    bool operator==(const PortList &other) const { return m_ports == other.m_ports; }

private:
    QList<qint32> m_ports;
};

// The built-in list: port 505.
PortList defaultPortList();

// The message history: kept or not, and its bounds (the oldest messages go
// first once either is passed).
struct HistoryOptions
{
    static constexpr qint32 kMinMessages = 100;
    static constexpr qint32 kMaxMessages = 10000000;
    static constexpr qint32 kMinMegabytes = 1;
    static constexpr qint32 kMaxMegabytes = 16384;

    bool keep = true;
    qint32 maxMessages = 100000;
    qint32 maxMegabytes = 256;
};
// How an arriving message shows: in its window, as a desktop notification
// (the window is made but shown only when the user opens it), or both.
enum class MessageAlert
{
    Window,
    Notification,
    Both
};
// The store's words for each, in the order of the enum.
const QString &messageAlertText(MessageAlert alert);

struct ReceiverSettings
{
    bool playIncomingSound = true;
    MessageAlert messageAlert = MessageAlert::Both;
    PortList portList = defaultPortList();
    HistoryOptions history;
    // Whether Quillbox announces its user on the local network while it
    // listens, and the identifier it announces (made once, then kept).
    bool announce = true;
    QString presenceId;
};

void loadReceiverSettings(SettingsStore &store, ReceiverSettings &settings);
// Each writer returns false when the store could not be written.
bool savePortList(SettingsStore &store, const PortList &ports);
bool saveSoundOption(SettingsStore &store, bool playIncomingSound);
bool saveHistoryOptions(SettingsStore &store, const HistoryOptions &history);
bool saveMessageAlert(SettingsStore &store, MessageAlert alert);
// "Announce" and "AnnounceId".
bool savePresenceOptions(SettingsStore &store, const ReceiverSettings &settings);
// The port list, the alert and the sound option (what a start writes back),
// and with history the history options too; false when any failed.
bool saveReceiverSettings(SettingsStore &store, const ReceiverSettings &settings, bool history);
