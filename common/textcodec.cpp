#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char *kCodePage = "windows-1252";

// Qt reaches Windows-1252 through ICU (or, without ICU on Windows, through the
// system code page). A build with neither falls back to Latin-1, which agrees
// with Windows-1252 everywhere but 0x80-0x9F.
QStringEncoder MakeEncoder()
{
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (encoder.isValid())
        return encoder;
#ifdef Q_OS_WIN
    return QStringEncoder(QStringConverter::System, QStringConverter::Flag::Stateless);
#else
    return QStringEncoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
#endif
}

QStringDecoder MakeDecoder()
{
    QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    if (decoder.isValid())
        return decoder;
#ifdef Q_OS_WIN
    return QStringDecoder(QStringConverter::System, QStringConverter::Flag::Stateless);
#else
    return QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
#endif
}

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
    QStringEncoder encoder = MakeEncoder();
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QString DecodeWindows1252(QByteArrayView bytes)
{
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder decoder = MakeDecoder();
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
