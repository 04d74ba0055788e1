#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// Text-to-number rules shared by the settings loaders, the field checks and
// the payload parser. Every caller reads numbers the same way, so a port typed
// in a dialog, stored in the settings or carried in a payload means the same.

// Reads the longest leading number of text after dropping blanks, tabs and
// line feeds: an optional sign, digits with at most one decimal point and an
// optional exponent (E or e, optional sign, digits); or &H / &O followed by
// hexadecimal / octal digits. Text without such a part reads as 0.
// The result may be infinite for absurdly long digit runs; callers that need
// an integer go through toInt32, which treats that as out of range.
double readNumber(QStringView text);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// value rounded halves to even, or nothing when it does not fit in 32 bits
// (or is not a number at all).
std::optional<qint32> toInt32(double value);

// True when the text holds a number at all (after dropping blanks, tabs and
// line feeds), as opposed to reading as 0 for lack of one.
bool hasLeadingNumber(QStringView text);

// "integer of" for stored values: the number that the text holds, rounded
// halves to even. Text that holds no number or one outside 32 bits gives
// nothing, and the caller picks the fallback.
std::optional<qint32> integerOf(QStringView text);

// "Boolean of" for stored values: True / False in any letter case, or a
// number (0 is false, anything else true). Anything else gives nothing.
std::optional<bool> booleanOf(QStringView text);

// The strict reading of a command line: text that is nothing but decimal
// digits 0 to 9 (no sign, blanks, point, exponent or other base) and whose
// value is at most highest. Anything else gives nothing.
std::optional<qint32> plainNumber(QStringView text, qint32 highest);

// How integers and Booleans are written: plain decimal, and the words True / False.
QString integerText(qint64 value);
QString booleanText(bool value);
