#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The record Quillbox hands to Quillpost to answer a message: name, NUL, IP,
// NUL, port in decimal, NUL, and a terminating NUL, in a zero-filled buffer
// of 255 bytes. Text is Windows-1252 (UTF-8 when the name needs it).

constexpr qsizetype kReplyRecordSize = 255;
// The caption of Quillpost's main window, which takes the records: the other
// program finds the window by it (and so do people and accessibility tools).
inline const QString kSendWindowCaption = QStringLiteral("Send Message");
// The copy-data kind that marks a reply record.
constexpr quint32 kReplyRecordKind = 3;

// The record's bytes, terminator included (what cbData counts), or nothing
// when it would not fit the buffer.
std::optional<QByteArray> buildReplyRecord(const QString &name, const QString &ip, qint32 port);

// What Quillpost reads from the bytes it was handed: the bytes copied into a
// zero-filled 255-byte buffer (anything beyond 255 bytes is not read),
// decoded, and cut before the last NUL. The zeros of the filling act as
// further separators. A buffer without any zero byte gives an empty text,
// which the intake ignores.
QString readCopyData(const QByteArray &data);
