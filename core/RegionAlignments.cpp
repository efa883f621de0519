// A hit file holds many lines per pair of sequences, so each name is looked up once and
// remembered. BLAST's identities are scaled only once the whole file is read (MMseqs2 writes
// fractions), so the filters run after the file: until then a matched hit waits with its raw
// identity.
#include "core/RegionAlignments.h"

#include "core/FeatureText.h"
#include "core/TextInput.h"
#include "util/StringOps.h"

#include <QFileInfo>
#include <QHash>

#include <charconv>
#include <cmath>
#include <memory>

namespace {

constexpr int kMaxColumns = 32;
constexpr int kHitColumns = 12;

enum class TFormat
{
    Hits,
    Paf,
    Coords
};

bool IsDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool ReadWhole(QByteArrayView text, qint64 &value)
{
    text = TrimBytesView(text);
    const char *end = text.data() + text.size();
    return IsDigits(text) && std::from_chars(text.data(), end, value).ptr == end;
}

bool ReadNumber(QByteArrayView text, double &value)
{
    text = TrimBytesView(text);
    const char *begin = text.data() + (text.startsWith('+') ? 1 : 0);
    const char *end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(begin, end, value);
    return begin != end && ptr == end && error == std::errc() && std::isfinite(value);
}

// The name without a version suffix (".1"), or an empty view when it has none.
QByteArrayView WithoutVersion(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 && IsDigits(name.sliced(dot + 1)) ? name.first(dot) : QByteArrayView();
}

// The last non-empty field of a |-separated name ("ref|NC_000932.1|"), or an empty view.
QByteArrayView LastField(QByteArrayView name)
{
    if (!name.contains('|'))
        return {};
    while (name.endsWith('|'))
        name.chop(1);
    return name.sliced(name.lastIndexOf('|') + 1);
}

// A sequence name of a hit -> the chromosome it names. Each tier maps a key to a chromosome, or
// to kAmbiguous when the key fits two.
class TChromosomeFinder
{
public:
    explicit TChromosomeFinder(const TCatalogue &catalogue)
    {
        const tVectorOfString &names = catalogue.FChromosomeNames;
        for (std::size_t c = 0; c < names.size(); ++c) {
            m_tiers[0].insert(names[c], qint32(c));
            const qsizetype colon = names[c].indexOf(':');
            if (colon > 0)
                Add(m_tiers[2], names[c].sliced(colon + 1), qint32(c));
        }
        for (const auto &[alias, name] : catalogue.FChromosomeAliases) {
            const qint32 c = m_tiers[0].value(name, -1);
            if (c >= 0)
                Add(m_tiers[1], alias, c);
        }
    }

    // The chromosome, or -1.
    qint32 find(QByteArrayView name)
    {
        if (name == m_last)
            return m_lastFound;
        const QByteArray key = name.toByteArray();
        auto found = m_found.constFind(key);
        if (found == m_found.cend())
            found = m_found.insert(key, lookUp(name));
        m_last = found.key();
        m_lastFound = *found;
        return m_lastFound;
    }

private:
    static constexpr qint32 kAmbiguous = -2;

    static void Add(QHash<QByteArray, qint32> &tier, const QByteArray &key, qint32 c)
    {
        const auto found = tier.constFind(key);
        tier.insert(key, found == tier.cend() || *found == c ? c : kAmbiguous);
    }

    qint32 lookUp(QByteArrayView name) const
    {
        const QByteArrayView field = LastField(name);
        for (QByteArrayView candidate :
             {name, WithoutVersion(name), field, WithoutVersion(field)}) {
            if (candidate.isEmpty())
                continue;
            const QByteArray key = candidate.toByteArray();
            for (const QHash<QByteArray, qint32> &tier : m_tiers) {
                const auto found = tier.constFind(key);
                if (found != tier.cend())
                    return std::max(*found, qint32(-1));
            }
        }
        return -1;
    }

    QHash<QByteArray, qint32> m_tiers[3]; // names, aliases, names without the genome prefix
    QHash<QByteArray, qint32> m_found;
    QByteArray m_last;
    qint32 m_lastFound = -1;
};

// A hit whose names found two chromosomes, waiting for the filters.
struct TPending
{
    TRegionAlignment Alignment;
    double Identity; // as the file gives it
    qint64 Length;
};

// The format of a file's first line of data; none when it fits no format.
std::optional<TFormat> FormatOf(const QByteArrayView *c, int n)
{
    qint64 whole = 0;
    double number = 0;
    if (n >= kHitColumns && (c[4] == "+" || c[4] == "-") && ReadWhole(c[1], whole) &&
        ReadWhole(c[2], whole) && ReadWhole(c[3], whole))
        return TFormat::Paf;
    bool coords = (n == 9 || n == 11 || n == 13) && ReadNumber(c[6], number);
    for (int k = 0; k < 6 && coords; ++k)
        coords = ReadWhole(c[k], whole);
    if (coords)
        return TFormat::Coords;
    if (n >= kHitColumns)
        return TFormat::Hits;
    return std::nullopt;
}

class TAlignmentReader
{
public:
    TAlignmentReader(TLineReader &lines, TChromosomeFinder &finder)
        : m_lines(lines), m_finder(finder)
    {
    }

    std::vector<TRegionAlignment> read(const TAlignmentFilters &filters, TAlignmentReport &report)
    {
        QByteArrayView line;
        while (m_lines.next(line)) {
            if (TrimBytesView(line).isEmpty() || line.startsWith('#'))
                continue;
            m_n = SplitColumns(line, '\t', m_c, kMaxColumns);
            if (!m_format) {
                m_format = FormatOf(m_c, m_n);
                m_columns = m_n;
                if (!m_format)
                    fail(QStringLiteral("not an alignment file: give 12-column BLAST hits, PAF "
                                        "lines or the lines of show-coords -T -H"));
            }
            switch (*m_format) {
            case TFormat::Hits:
                hit();
                break;
            case TFormat::Paf:
                paf();
                break;
            case TFormat::Coords:
                coords();
                break;
            }
        }
        // MMseqs2 writes identities as fractions, BLAST and DIAMOND as per cent.
        const double scale = m_format == TFormat::Hits && m_greatestIdentity <= 1 ? 100 : 1;
        std::vector<TRegionAlignment> kept;
        for (TPending &hit : m_pending) {
            const double identity = hit.Identity * scale;
            if (filters.MinIdentity && identity < *filters.MinIdentity) {
                ++report.BelowIdentity;
            } else if (hit.Length < filters.MinLength) {
                ++report.BelowLength;
            } else {
                hit.Alignment.Identity = float(identity);
                kept.push_back(hit.Alignment);
            }
        }
        report.Kept += qint64(kept.size());
        report.Unmatched += m_unmatched;
        return kept;
    }

private:
    [[noreturn]] void fail(const QString &reason) const { m_lines.fail(reason); }

    void columns(int least, const QString &layout) const
    {
        if (m_n < least)
            fail(QStringLiteral("%1 tab-separated columns expected%2").arg(least).arg(layout));
    }

    // A position of column k (0-based), at least least.
    qint32 position(int k, const char *what, qint32 least) const
    {
        qint32 value = 0;
        if (!ReadPosition(TrimBytesView(m_c[k]), value) || value < least)
            fail(QStringLiteral("the %1 (column %2) is not a whole number from %3 to 2147483647")
                     .arg(QLatin1String(what))
                     .arg(k + 1)
                     .arg(least));
        return value;
    }

    qint64 whole(int k, const char *what) const
    {
        qint64 value = 0;
        if (!ReadWhole(m_c[k], value))
            fail(QStringLiteral("the %1 (column %2) is not a whole number")
                     .arg(QLatin1String(what))
                     .arg(k + 1));
        return value;
    }

    double identity(int k) const
    {
        double value = 0;
        if (!ReadNumber(m_c[k], value) || value < 0 || value > 100)
            fail(QStringLiteral("the identity (column %1) is not a number from 0 to 100")
                     .arg(k + 1));
        return value;
    }

    // Both stretches as read, either way round; the names of A and B.
    void add(qint32 a1, qint32 a2, qint32 b1, qint32 b2, bool reverse, int nameA, int nameB,
             double identity, qint64 length)
    {
        const QByteArrayView a = TrimBytesView(m_c[nameA]);
        const QByteArrayView b = TrimBytesView(m_c[nameB]);
        if (a.isEmpty() || b.isEmpty())
            fail(QStringLiteral("an alignment without the names of its two sequences"));
        const qint32 ca = m_finder.find(a);
        const qint32 cb = m_finder.find(b);
        if (ca < 0 || cb < 0 || ca == cb) {
            ++m_unmatched;
            return;
        }
        TRegionAlignment alignment;
        alignment.ChromosomeA = ca;
        alignment.ChromosomeB = cb;
        alignment.StartA = std::min(a1, a2);
        alignment.EndA = std::max(a1, a2);
        alignment.StartB = std::min(b1, b2);
        alignment.EndB = std::max(b1, b2);
        alignment.Reverse = reverse != ((a1 > a2) != (b1 > b2));
        m_pending.push_back({alignment, identity, length});
    }

    // qseqid sseqid pident length mismatch gapopen qstart qend sstart send evalue bitscore
    void hit()
    {
        columns(kHitColumns, QStringLiteral(": qseqid sseqid pident length mismatch gapopen "
                                            "qstart qend sstart send evalue bitscore"));
        const double id = identity(2);
        m_greatestIdentity = std::max(m_greatestIdentity, id);
        const qint64 length = whole(3, "alignment length");
        add(position(6, "query start", 1), position(7, "query end", 1),
            position(8, "subject start", 1), position(9, "subject end", 1), false, 0, 1, id,
            length);
    }

    // PAF: qname qlen qstart qend strand tname tlen tstart tend matches block mapq, 0-based
    // half-open ranges.
    void paf()
    {
        columns(kHitColumns, QStringLiteral(" (PAF)"));
        if (m_c[4] != "+" && m_c[4] != "-")
            fail(QStringLiteral("the strand (column 5) is neither + nor -"));
        const auto range = [&](int k, const char *start, const char *end) {
            const qint32 from = position(k, start, 0);
            const qint32 to = position(k + 1, end, 1);
            if (to <= from)
                fail(QStringLiteral("the %1 (column %2) is not past the %3 (column %4)")
                         .arg(QLatin1String(end))
                         .arg(k + 2)
                         .arg(QLatin1String(start))
                         .arg(k + 1));
            return std::pair{from + 1, to};
        };
        const auto [a1, a2] = range(2, "query start", "query end");
        const auto [b1, b2] = range(7, "target start", "target end");
        const qint64 matches = whole(9, "number of matches");
        const qint32 block = position(10, "block length", 1);
        if (matches > block)
            fail(QStringLiteral("the number of matches (column 10) is greater than the block "
                                "length (column 11)"));
        add(a1, a2, b1, b2, m_c[4] == "-", 0, 5, 100.0 * double(matches) / double(block), block);
    }

    // show-coords -T: S1 E1 S2 E2 LEN1 LEN2 %IDY, then LENR LENQ (-l), COVR COVQ (-c), then the
    // reference's and the query's names.
    void coords()
    {
        if (m_n != m_columns)
            fail(QStringLiteral("%1 tab-separated columns expected, as on the first line")
                     .arg(m_columns));
        const double id = identity(6);
        const qint64 length = std::min(whole(4, "reference length"), whole(5, "query length"));
        add(position(0, "reference start", 1), position(1, "reference end", 1),
            position(2, "query start", 1), position(3, "query end", 1), false, m_n - 2, m_n - 1, id,
            length);
    }

    TLineReader &m_lines;
    TChromosomeFinder &m_finder;
    std::optional<TFormat> m_format;
    int m_columns = 0; // of the first line
    QByteArrayView m_c[kMaxColumns];
    int m_n = 0;
    double m_greatestIdentity = 0;
    qint64 m_unmatched = 0;
    std::vector<TPending> m_pending;
};

std::vector<TRegionAlignment> ReadFile(const QString &path, TChromosomeFinder &finder,
                                       const TAlignmentFilters &filters, TAlignmentReport &report)
{
    std::unique_ptr<TTextInput> input;
    try {
        input = std::make_unique<TTextInput>(path);
    } catch (const EInOutError &e) {
        throw EAlignmentError(e.message());
    }
    TLineReader lines(input->device());
    try {
        return TAlignmentReader(lines, finder).read(filters, report);
    } catch (const TFormatError &e) {
        throw EAlignmentError(
            QStringLiteral("Error in the alignment file at line %1: %2").arg(e.Line).arg(e.Reason));
    }
}

} // namespace

QString TAlignmentReport::Text() const
{
    QString text = QStringLiteral("Alignments: %1 kept").arg(Kept);
    if (BelowIdentity > 0)
        text += QStringLiteral(", %1 below the least identity").arg(BelowIdentity);
    if (BelowLength > 0)
        text += QStringLiteral(", %1 shorter than the least length").arg(BelowLength);
    if (Unmatched > 0)
        text += QStringLiteral(", %1 %2 no two rows of the map")
                    .arg(Unmatched)
                    .arg(Unmatched == 1 ? QStringLiteral("names") : QStringLiteral("name"));
    return text;
}

std::vector<TRegionAlignment> ReadRegionAlignments(const QString &path, const TCatalogue &catalogue,
                                                   const TAlignmentFilters &filters,
                                                   TAlignmentReport &report)
{
    TChromosomeFinder finder(catalogue);
    return ReadFile(path, finder, filters, report);
}

std::vector<TRegionAlignment> ReadRegionAlignments(const QStringList &paths,
                                                   const TCatalogue &catalogue,
                                                   const TAlignmentFilters &filters,
                                                   TAlignmentReport &report)
{
    TChromosomeFinder finder(catalogue);
    std::vector<TRegionAlignment> all;
    for (const QString &path : paths) {
        try {
            std::vector<TRegionAlignment> file = ReadFile(path, finder, filters, report);
            all.insert(all.end(), file.begin(), file.end());
        } catch (const EAlignmentError &e) {
            if (e.message().contains(path))
                throw;
            throw EAlignmentError(QFileInfo(path).fileName() + QStringLiteral(": ") + e.message());
        }
    }
    return all;
}

std::vector<TRegionAlignment> RematchAlignments(const std::vector<TRegionAlignment> &alignments,
                                                const TCatalogue &from, const TCatalogue &to)
{
    if (alignments.empty())
        return {};
    QHash<QByteArray, qint32> names;
    for (std::size_t c = 0; c < to.FChromosomeNames.size(); ++c)
        names.insert(to.FChromosomeNames[c], qint32(c));
    std::vector<qint32> moved(from.FChromosomeNames.size());
    for (std::size_t c = 0; c < moved.size(); ++c)
        moved[c] = names.value(from.FChromosomeNames[c], -1);
    std::vector<TRegionAlignment> kept;
    for (TRegionAlignment alignment : alignments) {
        alignment.ChromosomeA = At(moved, alignment.ChromosomeA);
        alignment.ChromosomeB = At(moved, alignment.ChromosomeB);
        if (alignment.ChromosomeA >= 0 && alignment.ChromosomeB >= 0)
            kept.push_back(alignment);
    }
    return kept;
}
