#include "receiversettings.h"

#include "conversions.h"
#include "settingsstore.h"
#include "storelist.h"

#include <algorithm>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kPorts = QStringLiteral("Ports");
const QString kPortsSentinel = QStringLiteral("TestPorts");
const QString kSoundKey = QStringLiteral("PlayIncomingSound");

// Ports are placed by their number whatever the enumeration order. Damaged
// data never opens a listener by accident: keys without a usable number are
// skipped, and entries that stay empty (0), hold no number or lie outside
// 1..65535 are dropped; the rest keep their order.
PortList PortsFromEntries(const SettingsStore::Entries &entries)
{
    int highest = 0;
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = SplitNumberedKey(key);
        if (parsed.wellFormed)
            highest = std::max(highest, parsed.number);
    }
    const int size = std::min(std::max(static_cast<int>(entries.size()), highest), kMaxListEntries);

    QList<qint32> values(size + 1, 0);
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = SplitNumberedKey(key);
        if (parsed.wellFormed && parsed.field == u"port")
            values[parsed.number] = IntegerOf(value).value_or(0);
    }

    PortList ports;
    for (int n = 1; n <= size; ++n) {
        if (values[n] >= 1 && values[n] <= 65535)
            ports.append(values[n]);
    }
    return ports;
}

} // namespace

PortList::PortList()
    : m_ports(1, 0)
{}

PortList DefaultPortList()
{
    PortList ports;
    ports.append(505);
    return ports;
}

void LoadReceiverSettings(SettingsStore &store, ReceiverSettings &settings)
{
    settings.PlayIncomingSound = BooleanOf(store.get(kSettings, kSoundKey, BooleanText(true))).value_or(true);

    const std::optional<SettingsStore::Entries> entries = ReadListSection(store, kPorts, kPortsSentinel);
    settings.portList = entries ? PortsFromEntries(*entries) : DefaultPortList();
    if (settings.portList.count() == 0)
        settings.portList = DefaultPortList();
}

bool SavePortList(SettingsStore &store, const PortList &ports)
{
    ClearListSection(store, kPorts, kPortsSentinel);
    for (int n = 1; n <= ports.count(); ++n)
        store.save(kPorts, QString::number(n) + QStringLiteral("_port"), IntegerText(ports.at(n)));
    return store.flush();
}

bool SaveSoundOption(SettingsStore &store, bool playIncomingSound)
{
    store.save(kSettings, kSoundKey, BooleanText(playIncomingSound));
    return store.flush();
}
