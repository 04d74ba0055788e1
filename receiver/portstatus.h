#pragma once

#include "receivernetwork.h"

#include <QList>
#include <QString>

// One line per port: listening, or not and why (what the main window and
// the tray tip show).
QString portStatusText(const QList<PortState> &ports);
