#include "windowactivation.h"

#include "localendpoint.h"

#include <QWidget>

namespace {

// Finding a window only asks whether its endpoint takes a connection, which
// a live program does at once.
constexpr int kFindWindowTimeoutMs = 2000;
// A live program answers a bring-forward request at once; a copy that is
// starting must not wait long for one that hangs.
constexpr int kBringToFrontTimeoutMs = 3000;

} // namespace

void bringToFront(QWidget *window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

WindowHandle findWindowByCaption(const QString &caption)
{
    if (caption.isEmpty() || !endpointAnswers(caption, kFindWindowTimeoutMs))
        return {};
    return {caption};
}

void bringToFront(const WindowHandle &window)
{
    if (window.isValid())
        requestBringToFront(window.caption, kBringToFrontTimeoutMs);
}
