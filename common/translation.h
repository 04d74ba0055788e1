#pragma once

#include <QLocale>

class QCoreApplication;

// Installs the translations for the user's language (QLocale::system(), which
// follows LANGUAGE, LC_ALL and LANG as Qt reads them): Qt's own catalogue
// from Qt's translations folder, then Quill's, built into the programs.
// English needs neither; a language without a catalogue stays English. A
// second call replaces what the first installed.
void installTranslations(QCoreApplication &app, const QLocale &locale = QLocale::system());
