// Homologs on the map: two gene clusters of different locus tags whose proteins are mutated
// copies of each other. Found by MMseqs2, every homolog pair is joined and coloured as a gene
// both clusters share, its link given the pair's identity; by name alone, none is. A table groups
// them the same way, and a second source replaces the first without losing the chromosomes' state.
#include "chart/TArrowSeries.h"
#include "chart/TChart.h"
#include "core/ProteinClusters.h"
#include "map/Connectors.h"
#include "map/MapSession.h"

#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kGenes = 5;

QByteArray Protein(int k, bool mutated)
{
    static const char kAmino[] = "ACDEFGHIKLMNPQRSTVWY";
    quint32 state = 12345u + 7919u * quint32(k);
    QByteArray p("M");
    for (int i = 1; i < 160; ++i) {
        state = state * 1103515245u + 12345u;
        const char c = kAmino[(state >> 16) % 20];
        p += mutated && i % 9 == 0 ? kAmino[(state >> 8) % 20] : c;
    }
    return p;
}

// One LOCUS of kGenes genes tagged PREFIX_000k, the last cluster's genes in reverse order,
// and a CDS "recA" without a protein that both clusters share by name.
QByteArray Cluster(const QByteArray &locus, const QByteArray &prefix, bool mutated)
{
    QByteArray text = "LOCUS       " + locus +
                      "  20000 bp    DNA\nFEATURES             "
                      "Location/Qualifiers\n";
    for (int i = 0; i <= kGenes; ++i) {
        const QByteArray span =
            QByteArray::number(100 + 600 * i) + ".." + QByteArray::number(580 + 600 * i);
        if (i == kGenes) {
            text += "     CDS             " + span + "\n                     /gene=\"recA\"\n";
            break;
        }
        const int k = mutated ? kGenes - 1 - i : i;
        const QByteArray tag = prefix + "_000" + QByteArray::number(i);
        text += "     CDS             " + span + "\n                     /locus_tag=\"" + tag +
                "\"\n                     /translation=\"" + Protein(k, mutated) + "\"\n";
    }
    return text + "//\n";
}

// "UPPER-LOWER" labels of every connector.
QSet<QString> Links(const TChart &chart)
{
    QSet<QString> links;
    ForEachLinkGroup(chart, [&](int s, const int *p, int ps, int t, const int *q, int qs) {
        for (int i = 0; i < ps * qs; ++i)
            links.insert(QString::fromLatin1(chart.Series(s).Label(p[i / qs]) + '-' +
                                             chart.Series(t).Label(q[i % qs])));
    });
    return links;
}

} // namespace

class TestMapHomology : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_files;
    std::unique_ptr<TChart> m_chart;
    QImage m_screen{640, 300, QImage::Format_RGB32};

    void Open(TMapSession &session, const THomologySource &source)
    {
        m_chart = std::make_unique<TChart>();
        SetupMapChart(*m_chart);
        session.Wire(*m_chart);
        session.SetRepaint([this] {
            QPainter painter(&m_screen);
            m_chart->Draw(painter, m_screen.rect());
        });
        m_chart->SetChartRect(m_screen.rect());
        session.FHomology = source;
        session.Open(m_files);
    }

    // The expected homolog pairs BQ_000i-BH_000j and recA's own link.
    static QSet<QString> Homologs()
    {
        QSet<QString> pairs{QStringLiteral("RECA-RECA")};
        for (int i = 0; i < kGenes; ++i)
            pairs.insert(QStringLiteral("BQ_000%1-BH_000%2").arg(i).arg(kGenes - 1 - i));
        return pairs;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The clusters' cache stays with the test.
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
        for (const auto &[name, prefix, mutated] :
             {std::tuple{"bq", "BQ", false}, std::tuple{"bh", "BH", true}}) {
            QFile file(m_dir.filePath(QString::fromLatin1(name) + QStringLiteral(".gb")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(Cluster(name, prefix, mutated));
            m_files << file.fileName();
        }
    }

    void joinedAndColoured_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("joined");
        QTest::newRow("names alone") << QString() << false;
        QTest::newRow("MMseqs2") << kAutoHomology << true;
        QTest::newRow("MMseqs2, from the cache") << kAutoHomology << true;
        QTest::newRow("table") << QStringLiteral("table") << true;
    }
    void joinedAndColoured()
    {
        QFETCH(QString, source);
        QFETCH(bool, joined);
        if (source == QLatin1String("table")) {
            source = m_dir.filePath(QStringLiteral("pairs.tsv"));
            QFile table(source);
            QVERIFY(table.open(QIODevice::WriteOnly));
            for (int i = 0; i < kGenes; ++i)
                table.write(QStringLiteral("g%1\tBQ_000%1\ng%1\tBH_000%2\n")
                                .arg(i)
                                .arg(kGenes - 1 - i)
                                .toLatin1());
        }
        TMapSession session;
        Open(session, THomologySource{source, {}});
        const QSet<QString> links = Links(*m_chart);
        QCOMPARE(links, joined ? Homologs() : QSet<QString>{QStringLiteral("RECA-RECA")});
        // Each gene's colour is that of recA, found on both rows, exactly when it is joined.
        const TArrowSeries &upper = m_chart->Series(1);
        QCOMPARE(upper.Count(), kGenes + 1);
        for (int p = 0; p < kGenes; ++p)
            QCOMPARE(upper.Color(p) == upper.Color(kGenes), joined);
        if (source != kAutoHomology)
            return;
        QCOMPARE(session.FHomologyReport.Groups, qint64(kGenes));
        // MMseqs2's alignments give each homolog pair the identity of a copy mutated at every
        // ninth residue, on the first load and from the cache.
        const TCatalogue &c = session.FCatalogue;
        QSet<int> identities;
        for (std::size_t p = 0; p < c.FRecords[0].size(); ++p)
            for (std::size_t q = 0; q < c.FRecords[1].size(); ++q)
                if (c.FRecords[0][p].Group >= 0 && c.FRecords[0][p].Group == c.FRecords[1][q].Group)
                    identities << int(LinkIdentity(c, c.FHitKeys[0][p], c.FHitKeys[1][q])) / 20;
        QCOMPARE(identities, QSet<int>{4}); // from 80 to 100 per cent
    }

    // A source given after the load reads the files again; the mirrored row stays mirrored,
    // and a source that fails leaves the map as it was.
    void laterSourceKeepsView()
    {
        TMapSession session;
        Open(session, {});
        session.InverseChromosome(1);
        const QString table = m_dir.filePath(QStringLiteral("two.tsv"));
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("A\tBQ_0000\nA\tBH_0004\n");
        file.close();
        session.SetHomology({table, {}});
        QVERIFY(session.FCatalogue.FChromosomes[1].Inverted);
        QCOMPARE(Links(*m_chart).size(), 2);

        QFile clash(m_dir.filePath(QStringLiteral("clash.tsv")));
        QVERIFY(clash.open(QIODevice::WriteOnly));
        clash.write("A\tBQ_0000\nB\tBQ_0000\n");
        clash.close();
        QVERIFY_THROWS_EXCEPTION(EHomologyError, session.SetHomology({clash.fileName(), {}}));
        QCOMPARE(session.FHomology.Table, table);
        QCOMPARE(Links(*m_chart).size(), 2);
        QCOMPARE(session.FCatalogue.FGroupNames, tVectorOfString{"A"});
    }
};

QTEST_MAIN(TestMapHomology)
#include "tst_map_homology.moc"
