#include "storelist.h"

#include "conversions.h"

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
