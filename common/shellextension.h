#pragma once

#include <QString>

class QWidget;

// Opens a web address or a "mailto:" address with the program the desktop
// associates with it. True when the desktop took it.
bool ShellOpen(const QString &document, QWidget *owner);
