#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The lines logged in a category while it lives.
struct LogCapture
{
    explicit LogCapture(const char *category)
    {
        s_category = category;
        s_lines.clear();
        s_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (qstrcmp(context.category, s_category) == 0)
                    s_lines.append(text);
                else
                    s_previous(type, context, text);
            });
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    const QStringList &lines() const { return s_lines; }

    static inline const char *s_category = nullptr;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};
