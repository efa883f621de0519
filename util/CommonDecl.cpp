#include "util/CommonDecl.h"

#include <algorithm>
#include <cmath>
#include <limits>

EAssertionFailed::EAssertionFailed(const QString &message, const char *unit, int line)
    : Exception(
          QStringLiteral("%1 (%2, line %3)").arg(message, QString::fromLatin1(unit)).arg(line))
{
}

namespace {
qint32 narrow(qint64 value)
{
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        throw EIntOverflow();
    return qint32(value);
}
} // namespace

qint32 CheckedAdd(qint32 a, qint32 b)
{
    return narrow(qint64(a) + b);
}
qint32 CheckedSub(qint32 a, qint32 b)
{
    return narrow(qint64(a) - b);
}
qint32 CheckedNeg(qint32 a)
{
    return narrow(-qint64(a));
}
qint32 CheckedMul(qint32 a, qint32 b)
{
    return narrow(qint64(a) * b);
}
qint32 CheckedAbs(qint32 a)
{
    return narrow(a < 0 ? -qint64(a) : qint64(a));
}

double CheckedResult(double value)
{
    if (std::isnan(value))
        throw EInvalidOp();
    if (std::isinf(value))
        throw EOverflow();
    return value;
}

double CheckedDiv(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        throw EInvalidOp();
    if (b == 0.0) {
        // 0/0 is an invalid operation, x/0 a division by zero.
        if (a == 0.0)
            throw EInvalidOp();
        throw EZeroDivide();
    }
    return CheckedResult(a / b);
}

double RoundHalfEvenReal(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even by default.
    return std::nearbyint(value);
}

qint32 RoundHalfEven(double value)
{
    if (std::isnan(value))
        throw EInvalidOp();
    const double r = RoundHalfEvenReal(value);
    if (r < double(std::numeric_limits<qint32>::min()) ||
        r > double(std::numeric_limits<qint32>::max()))
        throw ERangeError();
    return qint32(r);
}

QString ErrorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString DisplayText(const QByteArray &bytes)
{
    // One character takes at most 4 bytes of UTF-8 and exactly one of Latin-1: a longer text is
    // decoded only as far as it can show, but judged valid UTF-8 or not as a whole.
    constexpr qsizetype enough = 4 * kLongestDisplayText;
    const bool utf8 = QByteArrayView(bytes).isValidUtf8();
    QByteArrayView shown(bytes);
    if (shown.size() > enough) {
        qsizetype end = enough;
        while (utf8 && end > 0 && (quint8(bytes[end]) & 0xC0) == 0x80)
            --end; // not inside a character
        shown = shown.first(end);
    }
    QString text = utf8 ? QString::fromUtf8(shown) : QString::fromLatin1(shown);
    if (text.size() > kLongestDisplayText || shown.size() < bytes.size()) {
        qsizetype keep = std::min(text.size(), kLongestDisplayText - 1);
        if (keep > 0 && text[keep - 1].isHighSurrogate())
            --keep;
        text.truncate(keep);
        text += QChar(0x2026);
    }
    return text;
}
