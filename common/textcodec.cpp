#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char *kCodePage = "windows-1252";

// Qt reaches Windows-1252 through ICU. A build without it falls back to the
// system code page on Windows, and elsewhere to Latin-1, which agrees with
// Windows-1252 everywhere but 0x80-0x9F. Converters are built in place and
// never moved: the ICU error callback keeps the address of the converter state.
bool HasCodePage()
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

bool IsAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool IsAscii(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

std::optional<QByteArray> EncodeWindows1252(QStringView text)
{
    if (IsAscii(text))
        return text.toLatin1();
    QStringEncoder encoder = HasCodePage() ? QStringEncoder(kCodePage) : QStringEncoder(kFallback);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QString DecodeWindows1252(QByteArrayView bytes)
{
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder = HasCodePage() ? QStringDecoder(kCodePage) : QStringDecoder(kFallback);
    return decoder.decode(bytes);
}

QByteArray EncodeForWire(QStringView text)
{
    if (std::optional<QByteArray> ansi = EncodeWindows1252(text))
        return *std::move(ansi);
    return text.toUtf8();
}

QString DecodeFromWire(QByteArrayView bytes)
{
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return DecodeWindows1252(bytes);
}
