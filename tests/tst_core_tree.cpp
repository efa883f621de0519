// Newick trees beside the rows: what a file's leaves, names and branch lengths are read as, its
// errors with their character, and which rows the leaves name.
#include "core/NewickTree.h"

#include <QtTest>

class TestCoreTree : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void errors_data();
    void errors();
    void rows();
};

void TestCoreTree::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("leaves");
    QTest::addColumn<bool>("lengths");
    QTest::newRow("plain") << QByteArray("((A,B),C);") << QStringList{"A", "B", "C"} << false;
    QTest::newRow("lengths and inner names")
        << QByteArray("((A:0.1,B:2e-1)ab:0.5,C:1);") << QStringList{"A", "B", "C"} << true;
    QTest::newRow("quoted, blanks, comments")
        << QByteArray(" ( 'x:y''s' , [note] B_two ) ;\n") << QStringList{"x:y's", "B two"} << false;
    QTest::newRow("one leaf") << QByteArray("A;") << QStringList{"A"} << false;
}

void TestCoreTree::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, leaves);
    QFETCH(bool, lengths);
    const TNewickTree tree = ParseNewick(text);
    QStringList names;
    for (const qint32 leaf : tree.Leaves())
        names << tree.Nodes[std::size_t(leaf)].Name;
    QCOMPARE(names, leaves);
    QCOMPARE(tree.HasLengths, lengths);
    if (lengths)
        QCOMPARE(tree.Nodes[std::size_t(tree.Leaves()[1])].Length, 0.2);
}

void TestCoreTree::errors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("unclosed") << QByteArray("((A,B),C") << "at character 9: ) or , expected";
    QTest::newRow("no ;") << QByteArray("(A,B)") << "at character 6: ; expected";
    QTest::newRow("bad length") << QByteArray("(A:x,B);") << "at character 4: a branch length";
    QTest::newRow("empty leaf") << QByteArray("(A,,B);") << "at character 4: a leaf without";
    QTest::newRow("after ;") << QByteArray("(A,B);C") << "at character 7: text after";
}

void TestCoreTree::errors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    try {
        ParseNewick(text);
        QFAIL("a broken tree was read");
    } catch (const ETreeError &e) {
        QVERIFY2(e.message().startsWith("Error in the tree file ") && e.message().contains(message),
                 qPrintable(e.message()));
    }
}

// Leaves name rows by name, by the name without its genome prefix, or by the file's stem; the
// rest are named in one line.
void TestCoreTree::rows()
{
    TCatalogue c = CatalogueFromRecords(ParseCoordinateText(
        "mouse:chr1\t1\t9\t1\ta\nrat:chr1\t1\t9\t1\ta\nrat:chr2\t1\t9\t1\ta\nBB\t1\t9\t1\ta\n"));
    const std::vector<QString> stems{"mouse", "rat", "rat", "barto"};
    const TTreeRows rows = MatchTreeRows(ParseNewick("((rat,BB),('mouse:chr1',X));"), c, stems);
    QCOMPARE(rows.OfLeaf.size(), std::size_t(4));
    QCOMPARE(rows.OfLeaf[0], (std::vector<qint32>{1, 2}));
    QCOMPARE(rows.OfLeaf[1], (std::vector<qint32>{3}));
    QCOMPARE(rows.OfLeaf[2], (std::vector<qint32>{0}));
    QCOMPARE(rows.Text(), QStringLiteral("Tree: tree leaves naming no row: X"));
    const TTreeRows some = MatchTreeRows(ParseNewick("(chr2,BB);"), c, stems);
    QCOMPARE(some.Text(), QStringLiteral("Tree: rows no leaf names: mouse:chr1, rat:chr1"));
}

QTEST_MAIN(TestCoreTree)
#include "tst_core_tree.moc"
