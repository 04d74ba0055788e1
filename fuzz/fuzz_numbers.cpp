// Number reading from any text: no undefined behaviour, and a port the check
// accepts is one.
#include "conversions.h"
#include "fieldchecks.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)integerOf(text);
    (void)booleanOf(text);
    qint32 port = 0;
    if (isValidPort(text, port) && (port < 0 || port > 65535))
        std::abort();
    return 0;
}
