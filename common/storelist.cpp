#include "storelist.h"

#include "conversions.h"
#include "logging.h"

#include <algorithm>

NumberedKey splitNumberedKey(const QString &key)
{
    NumberedKey result;
    const qsizetype underscore = key.indexOf(u'_');
    if (underscore < 0)
        return result;
    result.field = key.mid(underscore + 1);
    qint64 number = 0;
    for (qsizetype i = 0; i < underscore && key.at(i).isDigit() && key.at(i).unicode() < 0x80; ++i) {
        number = number * 10 + (key.at(i).unicode() - u'0');
        if (number > kMaxListEntries) {
            // Beyond what a 16-bit counter can number.
            result.number = -1;
            return result;
        }
    }
    result.number = static_cast<int>(number);
    result.wellFormed = result.number >= 1;
    return result;
}

std::optional<SettingsStore::Entries> readListSection(SettingsStore &store, const QString &section,
                                                      const QString &sentinel)
{
    store.save(section, sentinel, booleanText(true));
    if (store.getAll(section).size() == 1)
        return std::nullopt;
    store.deleteKey(section, sentinel);
    return store.getAll(section);
}

void clearListSection(SettingsStore &store, const QString &section, const QString &sentinel)
{
    store.save(section, sentinel, booleanText(true));
    if (store.getAll(section).size() > 1)
        store.deleteSection(section);
}

int highestListNumber(const SettingsStore::Entries &entries)
{
    int highest = 0;
    for (const auto &[key, value] : entries) {
        const NumberedKey parsed = splitNumberedKey(key);
        if (parsed.wellFormed)
            highest = std::max(highest, parsed.number);
        else
            qCInfo(lcSettings) << "list entry" << key << "skipped: its key has no number from 1 to"
                               << kMaxListEntries;
    }
    return highest;
}

qint32 storedInteger(const SettingsStore &store, const QString &section, const QString &key, qint32 fallback)
{
    return integerOf(store.get(section, key, integerText(fallback))).value_or(fallback);
}

bool storedBoolean(const SettingsStore &store, const QString &section, const QString &key, bool fallback)
{
    return booleanOf(store.get(section, key, booleanText(fallback))).value_or(fallback);
}
