#include "mapeditor/mapcelltext.h"

#include <QtTest>

#include "testsupport.h"

using Rows = QList<QList<double>>;

class TestMapCellText : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        // error (a word of the refusal, or empty)
        testsupport::addColumns<QString, int, Rows, QString>({"text", "maxCells", "rows", "error"});
        QTest::newRow("CRLF, comma") << "1\t2,5\r\n-3\t4.25\r\n"
                                     << 4 << Rows{{1, 2.5}, {-3, 4.25}} << "";
        QTest::newRow("axes") << "\t100\t200\n10\t1\t2\n20\t3\t4\n"
                              << 4 << Rows{{1, 2}, {3, 4}} << "";
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
        const QString withAxes
            = MapCellText::format(texts, {QStringLiteral("800"), QStringLiteral("1600")},
                                  {QStringLiteral("10"), QStringLiteral("20")});
        QVERIFY(withAxes.startsWith(QStringLiteral("\t800\t1600\n10\t1,5")));
        QCOMPARE(MapCellText::parse(withAxes, 4).rows, expected);
    }

    // A 4 x 6 map; the grid is 2 x 3 unless the row says 1 x 1.
    void place_data()
    {
        // at (top, left, selection rows, columns, cells); expected (row, column, rows, columns,
        // repeat)
        testsupport::addColumns<bool, QList<int>, QList<int>, QString>(
            {"single", "at", "expected", "error"});
        auto row = [](const char *tag, bool single, const QList<int> &at,
                      const QList<int> &expected, const char *error) {
            QTest::newRow(tag) << single << at << expected << QString::fromUtf8(error);
        };
        row("cell, fits to the last column", false, {2, 3, 1, 1, 1}, {2, 3, 2, 3, 0}, "");
        row("cell, one column over", false, {2, 4, 1, 1, 1}, {-1, -1, 2, 3, 0}, "entrano");
        row("cell, one row over", false, {3, 0, 1, 1, 1}, {-1, -1, 2, 3, 0}, "entrano");
        row("selection of the grid's size", false, {1, 1, 2, 3, 6}, {1, 1, 2, 3, 0}, "");
        row("selection of another size", false, {0, 0, 3, 2, 6}, {-1, -1, 2, 3, 0}, "3 x 2");
        row("selection with a hole", false, {0, 0, 2, 3, 5}, {-1, -1, 2, 3, 0}, "rettangolo");
        row("one value fills the selection", true, {0, 0, 4, 6, 24}, {0, 0, 4, 6, 1}, "");
    }

    void place()
    {
        QFETCH(bool, single);
        QFETCH(QList<int>, at);
        QFETCH(QString, error);
        MapCellText::Grid grid;
        grid.rows = single ? Rows{{1}} : Rows{{1, 2, 3}, {4, 5, 6}};
        const MapCellText::Placement p
            = MapCellText::place(grid, 4, 6, at[0], at[1], at[2], at[3], at[4]);
        QTEST((QList<int>{p.row, p.column, p.rows, p.columns, p.repeat}), "expected");
        QVERIFY2(error.isEmpty() ? p.error.isEmpty() : p.error.contains(error),
                 qPrintable(p.error));
    }

    void pastedRaw_data()
    {
        // physical (factor 0.5, offset -10)
        testsupport::addColumns<int, int, double, bool, double>(
            {"organisation", "kind", "physical", "accepted", "raw"});
        QTest::newRow("8-bit, top of the range") << 0 << 0 << 117.5 << true << 255.0;
        QTest::newRow("8-bit, one step over") << 0 << 0 << 118.0 << false << 0.0;
        QTest::newRow("8-bit, rounds half away") << 0 << 0 << -9.75 << true << 1.0;
        QTest::newRow("8-bit, below zero") << 0 << 0 << -10.5 << false << 0.0;
        QTest::newRow("signed 16-bit, bottom") << 1 << 1 << -16394.0 << true << -32768.0;
        QTest::newRow("signed 16-bit, under") << 1 << 1 << -16394.5 << false << 0.0;
        QTest::newRow("float keeps the fraction") << 3 << 2 << -9.875 << true << 0.25;
    }

    void pastedRaw()
    {
        QFETCH(int, organisation);
        QFETCH(int, kind);
        QFETCH(double, physical);
        MapValueScaling scaling;
        scaling.factor = 0.5;
        scaling.offset = -10.0;
        double raw = 0.0;
        QTEST(MapCellText::pastedRaw(physical, scaling, ValueType{organisation, true, kind}, &raw),
              "accepted");
        QTEST(raw, "raw");
    }
};

QTEST_GUILESS_MAIN(TestMapCellText)
#include "tst_mapcelltext.moc"
