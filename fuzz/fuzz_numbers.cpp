// Number reading from any text: never undefined behaviour, and a value that
// is accepted as a port is one.
#include "conversions.h"
#include "fieldchecks.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    (void)readNumber(text);
    (void)integerOf(text);
    (void)booleanOf(text);
    qint32 port = 0;
    if (isValidPort(text, port) && (port < 0 || port > 65535))
        std::abort();
    return 0;
}
