#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The record Quillbox hands to Quillpost to answer a message: name, NUL, IP,
// NUL, port in decimal, NUL, and a terminating NUL, in a zero-filled buffer
// of 255 bytes. Text is Windows-1252 (UTF-8 when the name needs it).

constexpr qsizetype kReplyRecordSize = 255;
// The copy-data kind that marks a reply record.
constexpr quint32 kReplyRecordKind = 3;

// The person a message came from, as the record names them.
struct ReplyRecord
{
    QString name; // empty for a sender without a name
    QString address;
    qint32 port = 0;

    // The record's bytes, terminator included (what cbData counts), or
    // nothing when they would not fit the buffer.
    std::optional<QByteArray> encode() const;
    // What Quillpost takes from the bytes it was handed (see readCopyData()):
    // nothing when a field fails its check (the reason is logged); the
    // address comes normalised and the name without its outer blanks.
    static std::optional<ReplyRecord> decode(const QByteArray &data);
    // The same from the text as read: the first three NULs end the fields.
    static std::optional<ReplyRecord> fromText(const QString &text);
};

// What Quillpost reads from the bytes it was handed: the bytes copied into a
// zero-filled 255-byte buffer (anything beyond 255 bytes is not read),
// decoded, and cut before the last NUL. The zeros of the filling act as
// further separators. A buffer without any zero byte gives an empty text,
// which is refused.
QString readCopyData(const QByteArray &data);
