#pragma once

#include <QString>

class QWidget;

// Opens a web address or a "mailto:" address with the program the desktop
// associates with it. True when the desktop took it.
bool openLink(const QString &document, QWidget *owner);
