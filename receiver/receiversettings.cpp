#include "receiversettings.h"

#include "conversions.h"
#include "presence.h"
#include "settingsstore.h"
#include "storelist.h"
#include "wireformat.h"

#include <algorithm>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kPorts = QStringLiteral("Ports");
const QString kPortsSentinel = QStringLiteral("TestPorts");
const QString kSoundKey = QStringLiteral("PlayIncomingSound");
const QString kKeepHistoryKey = QStringLiteral("KeepHistory");
const QString kHistoryMessagesKey = QStringLiteral("HistoryMaxMessages");
const QString kHistoryMegabytesKey = QStringLiteral("HistoryMaxMB");
const QString kAnnounceKey = QStringLiteral("Announce");
const QString kAnnounceIdKey = QStringLiteral("AnnounceId");

// A stored bound, or the default when it is missing, no number or out of
// range.
qint32 boundOf(SettingsStore &store, const QString &key, qint32 fallback, qint32 low, qint32 high)
{
    const std::optional<qint32> value = integerOf(store.get(kSettings, key, QString()));
    return value && *value >= low && *value <= high ? *value : fallback;
}
const QString kAlertKey = QStringLiteral("MessageAlert");
const QString kAlertTexts[] = {QStringLiteral("Window"), QStringLiteral("Notification"),
                               QStringLiteral("Both")};

// Ports are placed by their number whatever the enumeration order. Damaged
// data never opens a listener by accident: keys without a usable number are
// skipped, and entries that stay empty (0), hold no number or lie outside
// 1..65535 are dropped; the rest keep their order.
PortList portsFromEntries(const SettingsStore::Entries &entries)
{
    const int highest = highestListNumber(entries);
    const int size = std::min(std::max(static_cast<int>(entries.size()), highest), kMaxListEntries);

    QList<qint32> values(size + 1, 0);
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = splitNumberedKey(key);
        if (parsed.wellFormed && parsed.field == u"port")
            values[parsed.number] = integerOf(value).value_or(0);
    }

    PortList ports;
    for (int n = 1; n <= size; ++n) {
        if (values[n] >= 1 && values[n] <= 65535)
            ports.append(values[n]);
    }
    return ports;
}

} // namespace

const QString &messageAlertText(MessageAlert alert)
{
    const auto index = std::size_t(alert);
    return kAlertTexts[index < std::size(kAlertTexts) ? index : std::size_t(MessageAlert::Both)];
}

PortList::PortList()
    : m_ports(1, 0)
{}

PortList defaultPortList()
{
    PortList ports;
    ports.append(kDefaultPort);
    return ports;
}

void loadReceiverSettings(SettingsStore &store, ReceiverSettings &settings)
{
    settings.playIncomingSound = storedBoolean(store, kSettings, kSoundKey, true);
    // A word not known here (a later version's, a typing error) means both.
    const QString alert = store.get(kSettings, kAlertKey, messageAlertText(MessageAlert::Both)).trimmed();
    settings.messageAlert = MessageAlert::Both;
    for (const MessageAlert each : {MessageAlert::Window, MessageAlert::Notification}) {
        if (alert.compare(messageAlertText(each), Qt::CaseInsensitive) == 0)
            settings.messageAlert = each;
    }

    HistoryOptions &history = settings.history;
    const HistoryOptions defaults;
    history.keep = storedBoolean(store, kSettings, kKeepHistoryKey, true);
    history.maxMessages = boundOf(store, kHistoryMessagesKey, defaults.maxMessages,
                                  HistoryOptions::kMinMessages, HistoryOptions::kMaxMessages);
    history.maxMegabytes = boundOf(store, kHistoryMegabytesKey, defaults.maxMegabytes,
                                   HistoryOptions::kMinMegabytes, HistoryOptions::kMaxMegabytes);

    settings.announce = storedBoolean(store, kSettings, kAnnounceKey, true);
    // Made once per user; a damaged one is replaced.
    settings.presenceId = store.get(kSettings, kAnnounceIdKey, QString()).trimmed();
    if (!isPresenceId(settings.presenceId))
        settings.presenceId = newPresenceId();

    const std::optional<SettingsStore::Entries> entries = readListSection(store, kPorts, kPortsSentinel);
    settings.portList = entries ? portsFromEntries(*entries) : defaultPortList();
    if (settings.portList.count() == 0)
        settings.portList = defaultPortList();
}

bool savePortList(SettingsStore &store, const PortList &ports)
{
    clearListSection(store, kPorts, kPortsSentinel);
    for (int n = 1; n <= ports.count(); ++n)
        store.save(kPorts, QString::number(n) + QStringLiteral("_port"), integerText(ports.at(n)));
    return store.flush();
}

bool saveSoundOption(SettingsStore &store, bool playIncomingSound)
{
    store.save(kSettings, kSoundKey, booleanText(playIncomingSound));
    return store.flush();
}

bool saveHistoryOptions(SettingsStore &store, const HistoryOptions &history)
{
    store.save(kSettings, kKeepHistoryKey, booleanText(history.keep));
    store.save(kSettings, kHistoryMessagesKey, integerText(history.maxMessages));
    store.save(kSettings, kHistoryMegabytesKey, integerText(history.maxMegabytes));
    return store.flush();
}

bool saveMessageAlert(SettingsStore &store, MessageAlert alert)
{
    store.save(kSettings, kAlertKey, messageAlertText(alert));
    return store.flush();
}

bool savePresenceOptions(SettingsStore &store, const ReceiverSettings &settings)
{
    store.save(kSettings, kAnnounceKey, booleanText(settings.announce));
    if (isPresenceId(settings.presenceId))
        store.save(kSettings, kAnnounceIdKey, settings.presenceId);
    return store.flush();
}

bool saveReceiverSettings(SettingsStore &store, const ReceiverSettings &settings, bool history)
{
    // Written in the order each has always been written in.
    bool saved = savePortList(store, settings.portList);
    saved = savePresenceOptions(store, settings) && saved;
    if (history) {
        saved = saveSoundOption(store, settings.playIncomingSound) && saved;
        saved = saveMessageAlert(store, settings.messageAlert) && saved;
        return saveHistoryOptions(store, settings.history) && saved;
    }
    saved = saveMessageAlert(store, settings.messageAlert) && saved;
    return saveSoundOption(store, settings.playIncomingSound) && saved;
}
