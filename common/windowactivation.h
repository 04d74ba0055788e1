#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// The longest activation token taken from another program; tokens are short
// opaque strings of printable ASCII.
constexpr qsizetype kMaxActivationTokenBytes = 256;
// Whether bytes from another program can be an activation token.
bool isActivationToken(const QByteArray &bytes);

// Restores a minimised window (or shows a hidden one) and makes it the
// active, front-most window. A window of another running program is asked to
// do so through its local endpoint (EndpointRequest::bringToFront).
// activationToken, when given, is the token that lets a window come forward
// under a Wayland compositor (XDG activation): the one the notification
// server or another program handed over for this request.
void bringToFront(QWidget *window, const QString &activationToken = {});
