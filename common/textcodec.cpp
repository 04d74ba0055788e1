#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

constexpr const char *kCodePage = "windows-1252";

// Qt reaches Windows-1252 through ICU. A build without it falls back to the
// system code page on Windows, and elsewhere to Latin-1, which agrees with
// Windows-1252 everywhere but 0x80-0x9F. Converters are built in place and
// never moved: the ICU error callback keeps the address of the converter state.
bool hasCodePage()
{
    static const bool available = QStringEncoder(kCodePage).isValid();
    return available;
}

constexpr QStringConverter::Encoding kFallback =
#ifdef Q_OS_WIN
    QStringConverter::System;
#else
    QStringConverter::Latin1;
#endif

// Payloads run to 64 KiB and are almost always plain ASCII, so these are
// written as loops without an early exit, which the compiler vectorises; a
// block of bytes is checked at a time so that a non-ASCII start still ends
// the scan early.
constexpr qsizetype kAsciiBlock = 1024;

bool isAscii(QStringView text)
{
    for (qsizetype start = 0; start < text.size(); start += kAsciiBlock) {
        char16_t seen = 0;
        for (QChar c : text.sliced(start, std::min(kAsciiBlock, text.size() - start)))
            seen |= c.unicode();
        if (seen >= 0x80)
            return false;
    }
    return true;
}

} // namespace

bool isAscii(QByteArrayView bytes)
{
    for (qsizetype start = 0; start < bytes.size(); start += kAsciiBlock) {
        unsigned char seen = 0;
        for (char c : bytes.sliced(start, std::min(kAsciiBlock, bytes.size() - start)))
            seen |= static_cast<unsigned char>(c);
        if (seen >= 0x80)
            return false;
    }
    return true;
}

std::optional<QByteArray> encodeWindows1252(QStringView text)
{
    if (isAscii(text))
        return text.toLatin1();
    QStringEncoder encoder = hasCodePage() ? QStringEncoder(kCodePage) : QStringEncoder(kFallback);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QString decodeWindows1252(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder = hasCodePage() ? QStringDecoder(kCodePage) : QStringDecoder(kFallback);
    return decoder.decode(bytes);
}

QByteArray encodeForWire(QStringView text)
{
    if (std::optional<QByteArray> ansi = encodeWindows1252(text))
        return *std::move(ansi);
    return text.toUtf8();
}

QString decodeFromWire(QByteArrayView bytes, bool cutOff)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (cutOff) {
        // A decoder that expects more bytes keeps an end inside a character
        // back instead of failing on it: when that is the only fault, the
        // text is UTF-8 and the cut shows as a replacement character.
        QStringDecoder streamed(QStringConverter::Utf8);
        text = streamed.decode(bytes);
        if (!streamed.hasError() && !isAscii(QStringView(text)))
            return text + QChar(QChar::ReplacementCharacter);
    }
    return decodeWindows1252(bytes);
}
