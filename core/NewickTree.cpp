#include "core/NewickTree.h"

#include "core/TextInput.h"
#include "util/StringOps.h"

#include <QHash>
#include <QIODevice>

#include <cmath>

namespace {
// Trees of real studies hold thousands of leaves, never millions of bytes of nesting.
constexpr qsizetype kMostTreeBytes = 64 * 1024 * 1024;

class TNewickParser
{
public:
    explicit TNewickParser(const QByteArray &text) : m_text(text) {}

    TNewickTree Parse()
    {
        Skip();
        if (At() != '(' && !NameStart())
            Fail(QStringLiteral("a tree starts with ( or a leaf name"));
        Subtree(-1);
        Skip();
        if (At() != ';')
            Fail(QStringLiteral("; expected at the end of the tree"));
        ++m_at;
        Skip();
        if (m_at < m_text.size())
            Fail(QStringLiteral("text after the tree's ;"));
        return std::move(m_tree);
    }

private:
    [[noreturn]] void Fail(const QString &reason) const
    {
        throw ETreeError(
            QStringLiteral("Error in the tree file at character %1: %2").arg(m_at + 1).arg(reason));
    }
    char At() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }
    bool NameStart() const
    {
        const char c = At();
        return c != '\0' && c != '(' && c != ')' && c != ',' && c != ':' && c != ';' && c != '[';
    }
    // Blanks and [comments] between the tree's parts.
    void Skip()
    {
        for (;;) {
            while (m_at < m_text.size() && QChar::isSpace(uchar(m_text[m_at])))
                ++m_at;
            if (At() != '[')
                return;
            const qsizetype end = m_text.indexOf(']', m_at);
            if (end < 0)
                Fail(QStringLiteral("a [comment] without its ]"));
            m_at = end + 1;
        }
    }
    QString Name()
    {
        Skip();
        if (At() == '\'') {
            QByteArray name;
            for (++m_at;; ++m_at) {
                if (m_at >= m_text.size())
                    Fail(QStringLiteral("a quoted name without its closing '"));
                if (m_text[m_at] == '\'') {
                    if (m_at + 1 < m_text.size() && m_text[m_at + 1] == '\'') {
                        name += '\'';
                        ++m_at;
                        continue;
                    }
                    ++m_at;
                    return QString::fromUtf8(name);
                }
                name += m_text[m_at];
            }
        }
        const qsizetype from = m_at;
        while (NameStart() && !QChar::isSpace(uchar(At())))
            ++m_at;
        // Unquoted, an underscore stands for a blank.
        return QString::fromUtf8(m_text.mid(from, m_at - from))
            .replace(QLatin1Char('_'), QLatin1Char(' '));
    }
    void Length(TTreeNode &node)
    {
        Skip();
        if (At() != ':')
            return;
        ++m_at;
        Skip();
        const qsizetype from = m_at;
        while (m_at < m_text.size() && (std::isdigit(uchar(At())) || At() == '.' || At() == 'e' ||
                                        At() == 'E' || At() == '-' || At() == '+'))
            ++m_at;
        bool ok = false;
        const double length = m_text.mid(from, m_at - from).toDouble(&ok);
        if (!ok || !std::isfinite(length))
            Fail(QStringLiteral("a branch length that is not a number"));
        node.Length = std::max(0.0, length);
        m_tree.HasLengths = true;
    }
    void Subtree(qint32 parent)
    {
        const auto index = qint32(m_tree.Nodes.size());
        m_tree.Nodes.push_back({});
        m_tree.Nodes.back().Parent = parent;
        if (parent >= 0)
            m_tree.Nodes[std::size_t(parent)].Children.push_back(index);
        Skip();
        if (At() == '(') {
            if (++m_depth > 10000)
                Fail(QStringLiteral("the tree nests too deep"));
            do {
                ++m_at;
                Skip();
                Subtree(index);
                Skip();
            } while (At() == ',');
            if (At() != ')')
                Fail(QStringLiteral(") or , expected"));
            ++m_at;
            --m_depth;
        } else if (!NameStart()) {
            Fail(QStringLiteral("a leaf without its name"));
        }
        QString name = Name();
        m_tree.Nodes[std::size_t(index)].Name = std::move(name);
        Length(m_tree.Nodes[std::size_t(index)]);
    }

    const QByteArray &m_text;
    qsizetype m_at = 0;
    int m_depth = 0;
    TNewickTree m_tree;
};
} // namespace

std::vector<qint32> TNewickTree::Leaves() const
{
    std::vector<qint32> leaves;
    for (std::size_t i = 0; i < Nodes.size(); ++i)
        if (Nodes[i].Children.empty())
            leaves.push_back(qint32(i));
    return leaves; // nodes are numbered in the order the file writes them
}

TNewickTree ParseNewick(const QByteArray &text)
{
    return TNewickParser(text).Parse();
}

TNewickTree ReadNewickFile(const QString &path)
{
    TTextInput input(path);
    QIODevice &device = input.device();
    const QByteArray text = device.read(kMostTreeBytes + 1);
    if (text.size() > kMostTreeBytes)
        throw ETreeError(QStringLiteral("The tree file %1 is larger than any tree").arg(path));
    return ParseNewick(text);
}

QString TTreeRows::Text() const
{
    QStringList parts;
    if (!UnmatchedLeaves.isEmpty())
        parts << QStringLiteral("tree leaves naming no row: %1")
                     .arg(UnmatchedLeaves.join(QStringLiteral(", ")));
    if (!UnmatchedRows.isEmpty())
        parts << QStringLiteral("rows no leaf names: %1")
                     .arg(UnmatchedRows.join(QStringLiteral(", ")));
    return parts.isEmpty() ? QString()
                           : QStringLiteral("Tree: ") + parts.join(QStringLiteral("; "));
}

TTreeRows MatchTreeRows(const TNewickTree &tree, const TCatalogue &catalogue,
                        const std::vector<QString> &fileStems)
{
    // Each way a leaf may name rows, the name first, then without the prefix, then the file.
    QHash<QString, std::vector<qint32>> byName, byBare, byFile;
    for (std::size_t c = 0; c < catalogue.FChromosomeNames.size(); ++c) {
        const QString name = DisplayText(catalogue.FChromosomeNames[c]);
        byName[name].push_back(qint32(c));
        const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
        if (colon > 0)
            byBare[name.mid(colon + 1)].push_back(qint32(c));
        if (c < fileStems.size() && !fileStems[c].isEmpty())
            byFile[fileStems[c]].push_back(qint32(c));
    }
    TTreeRows rows;
    std::vector<bool> named(catalogue.FChromosomeNames.size(), false);
    for (const qint32 leaf : tree.Leaves()) {
        const QString &name = tree.Nodes[std::size_t(leaf)].Name;
        QString underscored = name;
        underscored.replace(QLatin1Char(' '), QLatin1Char('_'));
        std::vector<qint32> found;
        for (const QHash<QString, std::vector<qint32>> *table : {&byName, &byBare, &byFile}) {
            for (const QString &key : {name, underscored})
                if (found.empty())
                    found = table->value(key);
        }
        for (const qint32 c : found)
            named[std::size_t(c)] = true;
        if (found.empty())
            rows.UnmatchedLeaves << name;
        std::vector<QByteArray> names;
        for (const qint32 c : found)
            names.push_back(catalogue.FChromosomeNames[std::size_t(c)]);
        rows.NamesOfLeaf.push_back(std::move(names));
        rows.OfLeaf.push_back(std::move(found));
    }
    for (std::size_t c = 0; c < named.size(); ++c)
        if (!named[c])
            rows.UnmatchedRows << DisplayText(catalogue.FChromosomeNames[c]);
    return rows;
}
