#include "util/StringOps.h"

#include <cstring>

tVectorOfString SplitLine(const QByteArray &text, char delimiter)
{
    tVectorOfString fields;
    const char *p = text.constData();
    const char *end = p + text.size();
    for (;;) {
        const char *hit =
            static_cast<const char *>(std::memchr(p, delimiter, std::size_t(end - p)));
        if (!hit) {
            fields.emplace_back(p, qsizetype(end - p));
            return fields;
        }
        fields.emplace_back(p, qsizetype(hit - p));
        p = hit + 1;
    }
}

QByteArrayView TrimBytesView(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsTrimByte(text[begin]))
        ++begin;
    while (end > begin && IsTrimByte(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QByteArray TrimBytes(const QByteArray &text)
{
    const QByteArrayView trimmed = TrimBytesView(text);
    if (trimmed.size() == text.size())
        return text;
    return trimmed.toByteArray();
}

bool HasNoLowerAZ(QByteArrayView text)
{
    for (char c : text)
        if (c >= 'a' && c <= 'z')
            return false;
    return true;
}

QByteArray UpperCaseAZ(const QByteArray &text)
{
    if (HasNoLowerAZ(text))
        return text;
    QByteArray result(text.size(), Qt::Uninitialized);
    char *out = result.data();
    for (char c : text)
        *out++ = UpperAZ(c);
    return result;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool TryStrToInt(QByteArrayView text, qint32 &value)
{
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end && *p == ' ')
        ++p;
    if (p == end)
        return false;

    // Hexadecimal: "$", "x", "X", "0x" or "0X", no sign, 1 to 8 digits.
    const char *hex = nullptr;
    if (*p == '$' || *p == 'x' || *p == 'X')
        hex = p + 1;
    else if (*p == '0' && end - p >= 2 && (p[1] == 'x' || p[1] == 'X'))
        hex = p + 2;
    if (hex) {
        if (hex == end || end - hex > 8)
            return false;
        quint32 bits = 0;
        for (const char *q = hex; q < end; ++q) {
            const int d = HexDigit(*q);
            if (d < 0)
                return false;
            bits = (bits << 4) | quint32(d);
        }
        value = qint32(bits);
        return true;
    }

    // Decimal with an optional sign.
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (p == end)
        return false;
    const quint64 limit = negative ? 2147483648ull : 2147483647ull;
    quint64 magnitude = 0;
    for (; p < end; ++p) {
        const unsigned d = unsigned(quint8(*p)) - unsigned('0');
        if (d > 9)
            return false;
        magnitude = magnitude * 10 + d;
        if (magnitude > limit)
            return false;
    }
    value = negative ? qint32(-qint64(magnitude)) : qint32(magnitude);
    return true;
}

qint32 StrToInt(QByteArrayView text)
{
    qint32 value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value")
                                .arg(DisplayText(text.toByteArray())));
    return value;
}
