#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// Text that leaves the process (the message payload, the reply record) is
// written in Windows-1252, the code page of western Windows peers. Text with
// characters outside it travels as UTF-8 instead, so nothing turns into "?".

// The text in Windows-1252, or nothing when it holds a character that the
// code page lacks.
std::optional<QByteArray> encodeWindows1252(QStringView text);
QString decodeWindows1252(QByteArrayView bytes);

// Whether every byte is ASCII (below 0x80).
bool isAscii(QByteArrayView bytes);

// Windows-1252 when the whole text fits, UTF-8 otherwise.
QByteArray encodeForWire(QStringView text);
// Valid UTF-8 holding non-ASCII bytes is read as UTF-8, anything else as
// Windows-1252 (which maps every byte to a character). Bytes cut off at a size
// limit (cutOff) may end inside a character: when that is their only UTF-8
// fault they are UTF-8 too, the cut character shown as U+FFFD.
QString decodeFromWire(QByteArrayView bytes, bool cutOff = false);
