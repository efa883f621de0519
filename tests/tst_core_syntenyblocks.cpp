// The chaining of links into synteny blocks: planted runs, the gap and the fewest links a block
// takes, and aligned stretches chained by their distance and strand.
#include "core/SyntenyBlocks.h"

#include <QRegularExpression>
#include <QtTest>

namespace {
// Anchors written one a word: "U,L" a gene link between upper rank U and lower rank L (each
// gene 800 bases, one every 1,000), with "~" after it when its genes run opposite ways;
// "A-B:C-D" a stretch aligned on the same strand, "A-B:C-D~" on opposite strands. Every third
// anchor has no identity, the others 40 + their index.
std::vector<TSyntenyAnchor> Anchors(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[-:,~]"));
    std::vector<TSyntenyAnchor> anchors;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList n = word.split(separators, Qt::SkipEmptyParts);
        TSyntenyAnchor a;
        a.Inverted = word.endsWith(QLatin1Char('~'));
        if (n.size() == 2) {
            a.UpperRank = n[0].toLongLong();
            a.LowerRank = n[1].toLongLong();
        }
        const auto at = [&](int i, qint64 rank, double extra) {
            return n.size() == 2 ? 1000.0 * double(rank) + 1 + extra : n[i].toDouble();
        };
        a.UpperStart = at(0, a.UpperRank, 0);
        a.UpperEnd = at(1, a.UpperRank, 799);
        a.LowerStart = at(2, a.LowerRank, 0);
        a.LowerEnd = at(3, a.LowerRank, 799);
        a.Identity = anchors.size() % 3 == 2 ? -1 : 40.f + float(anchors.size());
        anchors.push_back(a);
    }
    return anchors;
}
} // namespace

class TestSyntenyBlocks : public QObject
{
    Q_OBJECT
private slots:
    void chains_data();
    void chains();
};

void TestSyntenyBlocks::chains_data()
{
    QTest::addColumn<QString>("anchors");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<QString>("blocks"); // orientation and anchors of each block, "; " between
    QTest::newRow("direct run") << "0,0 1,1 2,2 3,3" << 5 << 3 << "+ 0 1 2 3";
    QTest::newRow("inverted run") << "0,9 1,8 2,7 3,6" << 5 << 3 << "- 0 1 2 3";
    QTest::newRow("unshared genes between") << "0,0 2,3 4,6 6,9" << 5 << 3 << "+ 0 1 2 3";
    QTest::newRow("gap at the limit") << "0,0 6,6 12,12" << 5 << 3 << "+ 0 1 2";
    QTest::newRow("gap past the limit above") << "0,0 7,1 14,2" << 5 << 3 << "";
    QTest::newRow("gap past the limit below") << "0,0 1,7 2,14" << 5 << 3 << "";
    QTest::newRow("no gap allowed") << "0,0 1,1 3,3 4,4 5,5" << 0 << 3 << "+ 2 3 4";
    QTest::newRow("too few links") << "0,0 1,1" << 5 << 3 << "";
    QTest::newRow("two links enough") << "0,0 1,1" << 5 << 2 << "+ 0 1";
    QTest::newRow("stray link in a run") << "0,0 1,1 2,40 3,2 4,3" << 5 << 3 << "+ 0 1 3 4";
    QTest::newRow("repeat on one gene") << "0,0 0,5 1,1 2,2" << 5 << 3 << "+ 0 2 3";
    QTest::newRow("two runs interleaved")
        << "0,0 1,10 2,1 3,11 4,2 5,12" << 5 << 3 << "+ 0 2 4; + 1 3 5";
    QTest::newRow("direct, then inverted")
        << "0,0 1,1 2,2 10,20~ 11,19~ 12,18~" << 5 << 3 << "+ 0 1 2; - 3 4 5";
    // The direct run may reach on to the inverted run's first gene, turned the other way.
    QTest::newRow("a run keeps the gene turned its way")
        << "0,0 1,1 2,2 3,6~ 4,5~ 5,4~" << 5 << 3 << "+ 0 1 2; - 3 4 5";
    // Without the genes' strands the direct run reaches on to link 8, yet the inverted one stays
    // whole round it.
    QTest::newRow("an inverted run round a link taken")
        << "0,0 1,1 2,2 3,3 4,4 5,11 6,10 7,9 8,8 9,7" << 5 << 3 << "+ 0 1 2 3 4 8; - 5 6 7 9";
    QTest::newRow("stretches within the distance")
        << "1-1000:1-1000 21001-22000:21001-22000 42001-43000:42001-43000" << 5 << 3 << "+ 0 1 2";
    QTest::newRow("stretches past the distance")
        << "1-1000:1-1000 21002-22000:21002-22000 42003-43000:42003-43000" << 5 << 3 << "";
    QTest::newRow("stretches inverted")
        << "1-1000:90001-91000~ 5001-6000:80001-81000~ 10001-11000:70001-71000~" << 5 << 3
        << "- 0 1 2";
    QTest::newRow("stretches overlapping") << "1-5000:1-5000 4001-9000:4001-9000 "
                                              "8001-12000:8001-12000"
                                           << 5 << 3 << "+ 0 1 2";
    QTest::newRow("a stretch on the other strand left out")
        << "1-1000:1-1000 2001-3000:2001-3000 4001-5000:4001-5000~ 6001-7000:6001-7000" << 5 << 3
        << "+ 0 1 3";
    QTest::newRow("genes and stretches apart") << "0,0 1,1 2001-2800:2001-2800" << 5 << 3 << "";
}

void TestSyntenyBlocks::chains()
{
    QFETCH(QString, anchors);
    QFETCH(int, gap);
    QFETCH(int, fewest);
    QFETCH(QString, blocks);
    const std::vector<TSyntenyAnchor> links = Anchors(anchors);
    TBlockOptions options;
    options.MaxGap = gap;
    options.MinAnchors = fewest;
    const std::vector<TSyntenyBlock> found = ChainSyntenyBlocks(3, 4, links, options);
    QStringList described;
    for (const TSyntenyBlock &block : found) {
        QString text = block.Inverted ? QStringLiteral("-") : QStringLiteral("+");
        double low[2] = {1e300, 1e300}, high[2] = {-1e300, -1e300}, sum = 0;
        int measured = 0;
        for (const qint32 i : block.Anchors) {
            text += QLatin1Char(' ') + QString::number(i);
            const TSyntenyAnchor &a = links[std::size_t(i)];
            low[0] = std::min(low[0], a.UpperStart);
            high[0] = std::max(high[0], a.UpperEnd);
            low[1] = std::min(low[1], a.LowerStart);
            high[1] = std::max(high[1], a.LowerEnd);
            if (a.Identity >= 0) {
                sum += a.Identity;
                ++measured;
            }
        }
        described << text;
        // The block covers its links, and its identity is theirs.
        QCOMPARE(block.Upper, 3);
        QCOMPARE(block.Lower, 4);
        QCOMPARE(block.AnchorCount, qint32(block.Anchors.size()));
        QCOMPARE(block.UpperStart, low[0]);
        QCOMPARE(block.UpperEnd, high[0]);
        QCOMPARE(block.LowerStart, low[1]);
        QCOMPARE(block.LowerEnd, high[1]);
        QCOMPARE(block.Identity, measured ? float(sum / measured) : -1.f);
    }
    QCOMPARE(described.join(QStringLiteral("; ")), blocks);
}

QTEST_APPLESS_MAIN(TestSyntenyBlocks)
#include "tst_core_syntenyblocks.moc"
