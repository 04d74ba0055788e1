// The IP check on any text: an accepted address is always four parts of
// 0..255 in plain decimal, and normalising it again changes nothing.
#include "fieldchecks.h"

#include <QStringList>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString normalised;
    if (!isValidIp(text, normalised))
        return 0;
    const QStringList parts = normalised.split(u'.');
    if (parts.size() != 4)
        std::abort();
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || value < 0 || value > 255 || part != QString::number(value))
            std::abort();
    }
    QString twice;
    if (!isValidIp(normalised, twice) || twice != normalised)
        std::abort();
    return 0;
}
