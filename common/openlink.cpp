#include "openlink.h"

#include <QDesktopServices>
#include <QUrl>

bool openLink(const QString &document, QWidget *owner)
{
    // The owner only matters to platforms that parent the program they
    // start; the desktop portal picks its own.
    Q_UNUSED(owner);
    const QUrl url(document, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}
