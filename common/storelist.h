#pragma once

#include "settingsstore.h"

#include <optional>

// Lists kept in a store section as numbered keys ("1_name", "12_port", ...)
// next to a sentinel key that makes sure the section can be enumerated.

// Lists count their entries in 16 bits.
constexpr int kMaxListEntries = 32767;

struct NumberedKey
{
    int number = 0;          // leading decimal number before the first "_", 0 when none
    QString field;           // the text after the first "_"
    bool wellFormed = false; // has a "_" and a number from 1 to kMaxListEntries
};

NumberedKey splitNumberedKey(const QString &key);

// The highest number among the well-formed keys of a list section (0 when
// there is none). Keys without a usable number are the loaders' to skip;
// each is logged here, once a load, with its reason.
int highestListNumber(const SettingsStore::Entries &entries);

// The list entries of a section for a loader: writes the sentinel, and when
// the section holds nothing else gives nothing (the caller takes its built-in
// list and the sentinel stays); otherwise deletes the sentinel and gives the
// remaining pairs.
std::optional<SettingsStore::Entries> readListSection(SettingsStore &store, const QString &section,
                                                      const QString &sentinel);

// Clears a section before a writer puts the list back: writes the sentinel
// and deletes the whole section when it holds anything besides it.
void clearListSection(SettingsStore &store, const QString &section, const QString &sentinel);

// A stored integer or Boolean as both programs read their options: the
// fallback when the key is missing or holds no such value.
qint32 storedInteger(const SettingsStore &store, const QString &section, const QString &key, qint32 fallback);
bool storedBoolean(const SettingsStore &store, const QString &section, const QString &key, bool fallback);
