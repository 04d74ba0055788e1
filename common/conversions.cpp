#include "conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isDropped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The text with the dropped characters removed, as far as it can still be
// part of a number. Anything that is not ASCII ends the number anyway.
std::u16string squeezed(QStringView text)
{
    std::u16string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar c : text) {
        if (!isDropped(c))
            out.push_back(c.unicode());
    }
    return out;
}

// &H / &O: digits of the given base; an overflow of 64 bits reads as infinity
// so that it lands out of range instead of wrapping around.
double readRadix(const std::u16string &s, size_t pos, int base)
{
    unsigned long long value = 0;
    bool overflow = false;
    for (; pos < s.size(); ++pos) {
        const char16_t c = s[pos];
        int digit = -1;
        if (isDigit(c))
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0 || digit >= base)
            break;
        if (value > (std::numeric_limits<unsigned long long>::max() - static_cast<unsigned>(digit)) /
                        static_cast<unsigned>(base))
            overflow = true;
        else
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    return overflow ? std::numeric_limits<double>::infinity() : static_cast<double>(value);
}

// Length of the leading decimal number of s (0 when there is none).
size_t decimalLength(const std::u16string &s)
{
    size_t i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        ++i;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == u'E' || s[i] == u'e')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        const size_t expStart = j;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

// from_chars reports overflow and underflow alike; tell them apart by the
// decimal order of magnitude of the (well-formed) number text.
bool overflowsUpward(const std::string &number)
{
    size_t i = (number[0] == '-' || number[0] == '+') ? 1 : 0;
    long long order = 0;
    bool seenNonZero = false;
    bool afterPoint = false;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        if (number[i] == '.') {
            afterPoint = true;
        } else if (!seenNonZero) {
            if (number[i] != '0')
                seenNonZero = true;
            if (seenNonZero && !afterPoint)
                ++order;
            else if (!seenNonZero && afterPoint)
                --order;
        } else if (!afterPoint) {
            ++order;
        }
    }
    long long exponent = 0;
    if (i < number.size()) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            ++i;
        for (; i < number.size(); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000000LL);
        if (negative)
            exponent = -exponent;
    }
    return order + exponent > 0;
}

bool isRadixPrefix(const std::u16string &s, char16_t upper)
{
    return s.size() >= 2 && s[0] == u'&' && (s[1] == upper || s[1] == upper + (u'a' - u'A'));
}

} // namespace

double readNumber(QStringView text)
{
    const std::u16string s = squeezed(text);
    if (isRadixPrefix(s, u'H'))
        return readRadix(s, 2, 16);
    if (isRadixPrefix(s, u'O'))
        return readRadix(s, 2, 8);

    const size_t length = decimalLength(s);
    if (length == 0)
        return 0.0;
    std::string ascii;
    ascii.reserve(length);
    // from_chars takes no leading '+'.
    for (size_t i = (s[0] == u'+') ? 1 : 0; i < length; ++i)
        ascii.push_back(static_cast<char>(s[i]));
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error == std::errc::result_out_of_range) {
        const double huge = std::numeric_limits<double>::infinity();
        return overflowsUpward(ascii) ? (ascii[0] == '-' ? -huge : huge) : 0.0;
    }
    if (error != std::errc() || end != ascii.data() + ascii.size())
        return 0.0;
    return value;
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::optional<qint32> toInt32(double value)
{
    const double rounded = roundHalfEven(value);
    if (!std::isfinite(rounded) || rounded < static_cast<double>(std::numeric_limits<qint32>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return static_cast<qint32>(rounded);
}

bool hasLeadingNumber(QStringView text)
{
    const std::u16string s = squeezed(text);
    if (isRadixPrefix(s, u'H') || isRadixPrefix(s, u'O'))
        return true;
    return decimalLength(s) > 0;
}

std::optional<qint32> integerOf(QStringView text)
{
    if (!hasLeadingNumber(text))
        return std::nullopt;
    return toInt32(readNumber(text));
}

std::optional<bool> booleanOf(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    if (!hasLeadingNumber(trimmed))
        return std::nullopt;
    return readNumber(trimmed) != 0.0;
}

QString integerText(qint64 value)
{
    return QString::number(value);
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<qint32> plainNumber(QStringView text, qint32 highest)
{
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (!isDigit(c.unicode()))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > highest)
            return std::nullopt;
    }
    return static_cast<qint32>(value);
}
