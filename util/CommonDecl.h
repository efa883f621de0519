// Shared types of Ostrinel: the vector types, the records of the coordinate file and the
// per-chromosome display state, the program's error classes with their messages, checked
// 32-bit arithmetic and indexing, and rounding to nearest with halves to even.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <exception>
#include <vector>

// Strings are 8-bit byte strings, compared byte by byte.
using tVectorOfString = std::vector<QByteArray>;
using tVectorOfCardinal = std::vector<quint32>;
using tVectorOfDouble = std::vector<double>;
using tVectorOfBoolean = std::vector<bool>;

// One usable line of the coordinate file: one gene occurrence on one chromosome.
struct tGene
{
    QByteArray ChromosomeName;
    qint32 ChromosomeIndex = 0;
    qint32 GeneIndex = 0;
    qint32 Start = 0;
    qint32 End = 0;
    qint32 Strand = 0;
    // With a homology source, the record's group in the catalogue's FGroupNames; -1 for none,
    // the gene then being itself. Fills what was padding: a record stays 96 bytes.
    qint32 Group = -1;
    QByteArray GeneName;
    QByteArray Comment;
};

// One of several stretches of a chromosome drawn side by side (regions of one chromosome shown
// without what lies between them): its coordinates From..To are drawn Shift further along.
struct tStretch
{
    qint32 From = 0;
    qint32 To = 0;
    qint32 Shift = 0;
};

// The display state of one chromosome.
struct ChromosomeView
{
    qint32 ChromosomeIndex = 0;
    bool Inverted = false;
    qint32 Offset = 0;
    qint32 MinCoord = 0;
    qint32 MaxCoord = 0;
    // Empty: the chromosome is drawn as one run. Else two or more, ascending and apart; a
    // coordinate takes the shift of the last stretch that starts at or before it (the first's
    // before them all).
    std::vector<tStretch> Stretches{};
};

// The name gene records carry when the file gives none.
inline const QByteArray kUnknownGene = QByteArrayLiteral("???");

// Base of every error the program reports to the user: an exception with a message.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Input/output errors: a file that cannot be opened, read or written.
class EInOutError : public Exception
{
public:
    using Exception::Exception;
};

class EIntOverflow : public Exception
{
public:
    EIntOverflow() : Exception(QStringLiteral("Integer overflow")) {}
};

class ERangeError : public Exception
{
public:
    ERangeError() : Exception(QStringLiteral("Range check error")) {}
};

class EInvalidOp : public Exception
{
public:
    EInvalidOp() : Exception(QStringLiteral("Invalid floating point operation")) {}
};

class EZeroDivide : public Exception
{
public:
    EZeroDivide() : Exception(QStringLiteral("Floating point division by zero")) {}
};

class EOverflow : public Exception
{
public:
    EOverflow() : Exception(QStringLiteral("Floating point overflow")) {}
};

class EInvalidGraphicOperation : public Exception
{
public:
    using Exception::Exception;
};

// An assertion that failed: reported as "message (unit, line n)".
class EAssertionFailed : public Exception
{
public:
    EAssertionFailed(const QString &message, const char *unit, int line);
};

// Raises EAssertionFailed when the condition is false.
#define OSTRINEL_ASSERT(cond, message, unit)                                                       \
    do {                                                                                           \
        if (!(cond))                                                                               \
            throw EAssertionFailed(QStringLiteral(message), unit, __LINE__);                       \
    } while (false)

// Checked 32-bit signed arithmetic: a result outside the range raises EIntOverflow.
qint32 CheckedAdd(qint32 a, qint32 b);
qint32 CheckedSub(qint32 a, qint32 b);
qint32 CheckedNeg(qint32 a);
qint32 CheckedMul(qint32 a, qint32 b);
qint32 CheckedAbs(qint32 a);

// Checked floating-point arithmetic: raises EZeroDivide, EInvalidOp or EOverflow.
double CheckedDiv(double a, double b);
double CheckedResult(double value);

// Rounds to the nearest integer, halves to the even neighbour; outside 32 bits raises ERangeError.
qint32 RoundHalfEven(double value);
// The same rounding without a range limit (the caller checks it).
double RoundHalfEvenReal(double value);

// Checked indexing: an index outside the vector raises ERangeError.
template <typename Vector> decltype(auto) At(Vector &vector, qint64 index)
{
    if (index < 0 || index >= qint64(vector.size()))
        throw ERangeError();
    return vector[std::size_t(index)];
}

// The text of the error box: the message, with a period appended when its last character
// sorts after ".".
QString ErrorBoxText(const QString &message);

// Bytes from a file shown as text: UTF-8 when the bytes are valid UTF-8, else Latin-1, so that
// every byte still shows. A text of more than kLongestDisplayText characters shows its first
// kLongestDisplayText - 1 and an ellipsis: that is wider than any screen or page, and laying out
// a name of megabytes would hold up every drawing, list and report that shows it.
constexpr qsizetype kLongestDisplayText = 4096;
QString DisplayText(const QByteArray &bytes);
