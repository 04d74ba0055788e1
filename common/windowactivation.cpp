#include "windowactivation.h"

#include <QWidget>
#include <algorithm>

bool isActivationToken(const QByteArray &bytes)
{
    return !bytes.isEmpty() && bytes.size() <= kMaxActivationTokenBytes &&
           std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return c > ' ' && c < 0x7f; });
}

void bringToFront(QWidget *window, const QString &activationToken)
{
    if (!window)
        return;
    // Qt's Wayland shell takes the token from here on the next activation.
    if (isActivationToken(activationToken.toLatin1()))
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toLatin1());
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}
