#pragma once

#include "receivernetwork.h"

#include <QList>
#include <QString>

class QLabel;
class QWidget;

// One line per port: listening, or not and why (what the main window and
// the tray tip show).
QString portStatusText(const QList<PortState> &ports);

// The main window's label of it: plain text, wrapped, selectable. After a
// port's error box the reason stays in sight there.
QLabel *createPortStatusLabel(QWidget *parent);
// The error box of each port that failed, in the order of the ports.
void showPortErrors(QWidget *owner, const QList<PortState> &ports);
