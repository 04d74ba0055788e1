#include "shownname.h"

namespace {

// Marks that open or close a run of explicit direction; a name must not
// leave one open for the rest of the line, nor close the isolate around it.
bool isDirectionControl(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isRightToLeft(QChar c)
{
    const QChar::Direction direction = c.direction();
    return direction == QChar::DirR || direction == QChar::DirAL;
}

} // namespace

QString shownName(const QString &name)
{
    constexpr char16_t kControlPictures = 0x2400;
    constexpr char16_t kDeletePicture = 0x2421;
    QString shown;
    shown.reserve(name.size() + 2);
    bool rightToLeft = false;
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code < 0x20)
            shown += QChar(char16_t(kControlPictures + code));
        else if (code == 0x7F)
            shown += QChar(kDeletePicture);
        else if (c.category() == QChar::Other_Control || code == 0x2028 || code == 0x2029 ||
                 isDirectionControl(code))
            shown += QChar::ReplacementCharacter;
        else
            shown += c;
        rightToLeft = rightToLeft || isRightToLeft(c);
    }
    if (rightToLeft)
        return QChar(0x2068) + shown + QChar(0x2069); // first strong isolate ... pop
    return shown;
}
