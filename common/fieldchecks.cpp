#include "fieldchecks.h"

#include "conversions.h"

#include <QHostAddress>
#include <algorithm>

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

bool isHostName(const QString &text)
{
    constexpr qsizetype kMaxName = 253;
    constexpr qsizetype kMaxLabel = 63;
    QStringView name(text);
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty() || name.size() > kMaxName)
        return false;
    for (const QStringView label : name.split(u'.')) {
        if (label.isEmpty() || label.size() > kMaxLabel || label.front() == u'-' || label.back() == u'-')
            return false;
        for (const QChar c : label) {
            if (!(c.isDigit() && c.unicode() < 128) && !(c >= u'a' && c <= u'z') &&
                !(c >= u'A' && c <= u'Z') && c != u'-')
                return false;
        }
    }
    // All digits and dots is a mistyped IPv4 address, not a name.
    return std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c != u'.' && !c.isDigit(); });
}

QString ipv6Text(const QString &text)
{
    QString inner = trimBlanks(text);
    if (inner.startsWith(u'[') && inner.endsWith(u']'))
        inner = inner.mid(1, inner.size() - 2);
    const QHostAddress address(inner);
    if (!inner.contains(u':') || address.protocol() != QAbstractSocket::IPv6Protocol)
        return QString();
    return address.toString();
}

bool isValidAddress(const QString &text, QString &normalised)
{
    if (isValidIp(text, normalised))
        return true;
    const QString trimmed = trimBlanks(text);
    const QString v6 = ipv6Text(trimmed);
    if (!v6.isEmpty()) {
        // An IPv4 peer of a dual-stack socket is the IPv4 address it is.
        bool mapped = false;
        const quint32 ipv4 = QHostAddress(v6).toIPv4Address(&mapped);
        normalised = mapped ? QHostAddress(ipv4).toString() : v6;
        return true;
    }
    if (!isHostName(trimmed))
        return false;
    normalised = trimmed;
    return true;
}
