#include "mapeditor/mapcelltext.h"

#include <QtTest>

using Rows = QList<QList<double>>;

class TestMapCellText : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxCells");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("error"); // a word of the refusal, or empty
        QTest::newRow("block, CRLF, decimal comma")
            << "1\t2,5\r\n-3\t4.25\r\n" << 4 << Rows{{1, 2.5}, {-3, 4.25}} << "";
        QTest::newRow("with axes") << "\t100\t200\n10\t1\t2\n20\t3\t4\n" << 4
                                   << Rows{{1, 2}, {3, 4}} << "";
        QTest::newRow("exactly the cap") << "1\t2\t3" << 3 << Rows{{1, 2, 3}} << "";
        QTest::newRow("one cell over the cap") << "1\t2\n3\t4" << 3 << Rows{} << "valori";
        QTest::newRow("ragged") << "1\t2\n3\n" << 10 << Rows{} << "stesso numero";
        QTest::newRow("not a number") << "1\tabc\n" << 10 << Rows{} << "abc";
        QTest::newRow("empty cell") << "1\t\t3" << 10 << Rows{} << "numero";
        QTest::newRow("nothing") << "\n\n" << 10 << Rows{} << "appunti";
        QTest::newRow("infinite") << "inf" << 10 << Rows{} << "numero";
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, maxCells);
        QFETCH(Rows, rows);
        QFETCH(QString, error);
        const MapCellText::Grid grid = MapCellText::parse(text, maxCells);
        QCOMPARE(grid.rows, rows);
        QCOMPARE(grid.error.isEmpty(), error.isEmpty());
        QVERIFY2(grid.error.contains(error), qPrintable(grid.error));
    }

    // What is copied pastes back to the same numbers, axes or not.
    void formatThenParse()
    {
        const QList<QStringList> texts{{QStringLiteral("1,5"), QStringLiteral("-2")},
                                       {QStringLiteral("3"), QStringLiteral("4.75")}};
        const Rows expected{{1.5, -2}, {3, 4.75}};
        QCOMPARE(MapCellText::parse(MapCellText::format(texts), 4).rows, expected);
        const QString withAxes = MapCellText::format(
            texts, {QStringLiteral("800"), QStringLiteral("1600")},
            {QStringLiteral("10"), QStringLiteral("20")});
        QVERIFY(withAxes.startsWith(QStringLiteral("\t800\t1600\n10\t1,5")));
        QCOMPARE(MapCellText::parse(withAxes, 4).rows, expected);
    }
};

QTEST_GUILESS_MAIN(TestMapCellText)
#include "tst_mapcelltext.moc"
