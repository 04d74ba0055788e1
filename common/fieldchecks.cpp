#include "fieldchecks.h"

#include "conversions.h"

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

bool isValidPort(const QString &text, qint32 &port)
{
    const std::optional<qint32> value = toInt32(readNumber(text));
    port = value.value_or(0);
    return value && *value >= 0 && *value <= kMaxPort;
}

bool isValidUserName(const QString &text, QString &trimmed)
{
    trimmed = trimBlanks(text);
    return !trimmed.isEmpty() && trimmed.size() <= kMaxUserNameLength && !trimmed.contains(QChar(u'\0'));
}

bool isValidIp(const QString &text, QString &normalised)
{
    const QString s = trimBlanks(text);
    int dots = 0;
    for (QChar c : s) {
        if (c == u'.')
            ++dots;
        else if (c < u'0' || c > u'9')
            return false;
    }
    if (dots != 3)
        return false;

    QString out;
    const QStringView view(s);
    qsizetype start = 0;
    for (int part = 0; part < 4; ++part) {
        qsizetype dot = view.indexOf(u'.', start);
        if (dot < 0)
            dot = view.size();
        const double value = readNumber(view.mid(start, dot - start));
        if (value > 255.0) {
            // Rejected after the character and dot tests: the caller may see
            // the partial output, but only uses it on success.
            normalised = out;
            return false;
        }
        out += QString::number(static_cast<int>(value));
        if (part < 3)
            out += u'.';
        start = dot + 1;
    }
    normalised = out;
    return true;
}
