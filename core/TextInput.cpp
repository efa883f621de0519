// A plain file is handed to the readers as the file itself, so that the common case costs no
// copy of its bytes; only a file with a UTF-16 or UTF-32 byte-order mark goes through the
// decoding device, block by block, so that it takes no more memory than a plain file.
#include "core/TextInput.h"

#include <QStringDecoder>

#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kRawBlock = 1 << 20;

// An encoding that the byte-order mark at the start of the text tells, with its mark's length.
struct TMarkedEncoding
{
    QStringConverter::Encoding Encoding;
    int MarkBytes;
    const char *Name;
};

std::optional<TMarkedEncoding> MarkedEncoding(QByteArrayView head)
{
    // UTF-32LE's mark begins as UTF-16LE's: the longer one is looked at first.
    if (head.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)))
        return TMarkedEncoding{QStringConverter::Utf32LE, 4, "UTF-32LE"};
    if (head.startsWith(QByteArrayView("\0\0\xFE\xFF", 4)))
        return TMarkedEncoding{QStringConverter::Utf32BE, 4, "UTF-32BE"};
    if (head.startsWith("\xFF\xFE"))
        return TMarkedEncoding{QStringConverter::Utf16LE, 2, "UTF-16LE"};
    if (head.startsWith("\xFE\xFF"))
        return TMarkedEncoding{QStringConverter::Utf16BE, 2, "UTF-16BE"};
    return std::nullopt;
}

// Text of the ASCII range in UTF-16 without a mark: in nearly every pair of bytes one is NUL,
// always the same one, which no 8-bit text has.
bool LooksLikeUnmarkedUtf16(QByteArrayView head)
{
    const qsizetype pairs = head.size() / 2;
    qsizetype low = 0, high = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        const bool first = head[2 * i] == 0, second = head[2 * i + 1] == 0;
        if (first && second)
            return false;
        low += second;
        high += first;
    }
    return pairs >= 2 && (low == 0 || high == 0) && 4 * (low + high) >= 3 * pairs;
}

// The text of a marked file as UTF-8, decoded a block at a time as it is read. Its size is
// worked out when it opens, by decoding the whole file once without keeping it; that pass
// also tells a file whose bytes do not hold to its mark.
class TDecodingDevice : public QIODevice
{
public:
    TDecodingDevice(QFile &file, const TMarkedEncoding &encoding)
        : m_file(file), m_encoding(encoding)
    {
        QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    // Decodes the file as it is now; false when its bytes break the encoding.
    bool measure()
    {
        m_rawLimit = m_file.size();
        if (!restart())
            return false;
        qint64 total = 0;
        while (fill()) {
            total += m_text.size();
            m_text.clear();
            if (m_atEnd)
                break;
        }
        // The mark is one unit of the encoding: the file holds whole units.
        const bool whole = m_atEnd && !m_decoder.hasError() &&
                           (m_rawRead - m_encoding.MarkBytes) % m_encoding.MarkBytes == 0;
        m_rawLimit = -1;
        m_size = total;
        return whole && restart() && QIODevice::seek(0);
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    bool seek(qint64 pos) override { return pos == 0 && restart() && QIODevice::seek(0); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        while (m_taken == m_text.size() && !m_atEnd)
            if (!fill())
                return -1;
        const qint64 n = std::min<qint64>(maxSize, m_text.size() - m_taken);
        std::memcpy(data, m_text.constData() + m_taken, std::size_t(n));
        m_taken += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool restart()
    {
        // The mark is skipped here, so that a second one is kept as the character it then is.
        m_decoder = QStringDecoder(m_encoding.Encoding, QStringConverter::Flag::ConvertInitialBom);
        m_text.clear();
        m_held.clear();
        m_taken = 0;
        m_atEnd = false;
        m_rawRead = m_encoding.MarkBytes;
        return m_file.seek(m_encoding.MarkBytes);
    }

    // Decodes the next block of the file into m_text; false when the file cannot be read.
    bool fill()
    {
        qint64 want = kRawBlock;
        if (m_rawLimit >= 0)
            want = std::min(want, m_rawLimit - m_rawRead);
        m_raw.resize(qsizetype(want));
        const qint64 got = want > 0 ? m_file.read(m_raw.data(), want) : 0;
        if (got < 0) {
            setErrorString(m_file.errorString());
            return false;
        }
        m_rawRead += got;
        m_atEnd = got == 0;
        // A pair of UTF-16 units split by the block is put together before it is converted.
        QString units = m_held + m_decoder.decode(QByteArrayView(m_raw.constData(), got));
        m_held.clear();
        if (!m_atEnd && !units.isEmpty() && units.back().isHighSurrogate()) {
            m_held = units.back();
            units.chop(1);
        }
        m_text = units.toUtf8();
        m_taken = 0;
        return true;
    }

    QFile &m_file;
    const TMarkedEncoding m_encoding;
    QStringDecoder m_decoder;
    QByteArray m_raw;
    QString m_held;    // a high surrogate that waits for its pair
    QByteArray m_text; // decoded, from m_taken on not yet read
    qint64 m_taken = 0;
    qint64 m_rawRead = 0;
    qint64 m_rawLimit = -1; // while measuring: the file's size when it was opened
    qint64 m_size = 0;
    bool m_atEnd = false;
};

} // namespace

void OpenRegularFile(const QString &path, QFile &file)
{
    if (path.isEmpty())
        throw EInOutError(QStringLiteral("Cannot open file \"\": No file name specified"));
    const auto cannotOpen = [&](const QString &reason) {
        return EInOutError(QStringLiteral("Cannot open file \"%1\": %2").arg(path, reason));
    };
#ifdef Q_OS_UNIX
    // Only a regular file has an end. Opening a FIFO without a writer would wait for ever and a
    // device such as /dev/zero never ends, so both are refused; the open itself must not block,
    // hence O_NONBLOCK until the file is known to be regular.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw cannotOpen(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw cannotOpen(QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw cannotOpen(S_ISDIR(status.st_mode) ? QString::fromLocal8Bit(std::strerror(EISDIR))
                                                 : QStringLiteral("Not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw cannotOpen(file.errorString());
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw cannotOpen(file.errorString());
#endif
}

TTextInput::TTextInput(const QString &path)
{
    OpenRegularFile(path, m_file);
    const auto cannotRead = [&](const QString &reason) {
        return EInOutError(QStringLiteral("Cannot read file \"%1\": %2").arg(path, reason));
    };
    char bytes[512];
    const qint64 got = m_file.read(bytes, sizeof bytes);
    const QByteArrayView head(bytes, std::max<qint64>(got, 0));
    if (const std::optional<TMarkedEncoding> marked = MarkedEncoding(head)) {
        // Bytes that do not hold to the mark are no text of its encoding: they are read as
        // they are, as any other bytes.
        auto decoded = std::make_unique<TDecodingDevice>(m_file, *marked);
        if (decoded->measure()) {
            m_decoded = std::move(decoded);
            return;
        }
    }
    if (LooksLikeUnmarkedUtf16(head))
        throw cannotRead(QStringLiteral("it looks like UTF-16 text without a byte-order mark; "
                                        "save it as UTF-8"));
    m_file.seek(0);
}

TTextInput::~TTextInput() = default;

QIODevice &TTextInput::device()
{
    return m_decoded ? *m_decoded : static_cast<QIODevice &>(m_file);
}
