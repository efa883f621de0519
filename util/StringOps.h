// Byte-string helpers of the coordinate file reader: splitting a line at a delimiter byte,
// trimming bytes of value 32 or less, upper-casing a to z only, and the platform's standard
// 32-bit integer notation. Strings are 8-bit; nothing here looks at an encoding.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArrayView>

// An integer that cannot be converted: the message is "'text' is not a valid integer value".
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

// The pieces of text between occurrences of the delimiter byte: always one piece more than the
// text has delimiters (an empty text gives one empty piece). No quoting, no escaping.
tVectorOfString SplitLine(const QByteArray &text, char delimiter);

// True for the bytes that trimming removes: every byte of value 32 or less.
constexpr bool IsTrimByte(char c)
{
    return quint8(c) <= 32;
}

// The text without the bytes of value 32 or less at both ends.
QByteArray TrimBytes(const QByteArray &text);
QByteArrayView TrimBytesView(QByteArrayView text);

// The text with a to z replaced by A to Z; every other byte stays as it is.
QByteArray UpperCaseAZ(const QByteArray &text);
constexpr char UpperAZ(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
}
// True when the text holds none of a to z (upper-casing would not change it).
bool HasNoLowerAZ(QByteArrayView text);

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1 for any other byte.
int HexDigit(char c);

// The standard integer notation: optional leading spaces (byte 32), then either decimal digits
// with an optional + or - sign, in -2147483648..2147483647, or, without a sign, 1 to 8
// hexadecimal digits after "$", "x", "X", "0x" or "0X", taken as the 32-bit pattern. Nothing may
// follow the digits. TryStrToInt reports failure; StrToInt raises EConvertError.
bool TryStrToInt(QByteArrayView text, qint32 &value);
qint32 StrToInt(QByteArrayView text);
