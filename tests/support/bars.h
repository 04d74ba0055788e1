#pragma once
// Payloads and reply records written as their fields joined by "|", each bar
// one NUL byte.

#include <QByteArray>

inline QByteArray Bars(const QByteArray &text)
{
    QByteArray bytes(text);
    bytes.replace('|', '\0');
    return bytes;
}
