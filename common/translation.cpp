#include "translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

const QString kTranslatorName = QStringLiteral("quill-translation");

void load(QCoreApplication &app, const QLocale &locale, const QString &name, const QString &folder)
{
    auto *translator = new QTranslator(&app);
    translator->setObjectName(kTranslatorName);
    if (translator->load(locale, name, QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

void installTranslations(QCoreApplication &app, const QLocale &locale)
{
    // A translator takes itself out of the application when it goes.
    qDeleteAll(app.findChildren<QTranslator *>(kTranslatorName, Qt::FindDirectChildrenOnly));
    load(app, locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    load(app, locale, QStringLiteral("quill"), QStringLiteral(":/i18n"));
}
