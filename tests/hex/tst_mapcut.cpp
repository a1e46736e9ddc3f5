#include "hex/axissearch.h"
#include "hex/mapcut.h"
#include "hex/wordedit.h"

#include <QtTest>

Q_DECLARE_METATYPE(AxisLayout)

namespace {

// Builds an image: filler, then the given words, then the map data of rows × columns words.
struct ImageBuilder
{
    bool littleEndian = true;
    QByteArray bytes;

    void word(int w)
    {
        const char lo = char(w & 0xFF), hi = char((w >> 8) & 0xFF);
        bytes.append(littleEndian ? lo : hi);
        bytes.append(littleEndian ? hi : lo);
    }
    void words(const QList<int> &ws)
    {
        for (int w : ws)
            word(w);
    }
    void axis(int count, int first, int step)
    {
        for (int i = 0; i < count; ++i)
            word(first + i * step);
    }
};

} // namespace

class TestMapCut : public QObject
{
    Q_OBJECT

private slots:
    void axisTest_data()
    {
        QTest::addColumn<QList<quint16>>("words");
        QTest::addColumn<bool>("plausible");
        QTest::newRow("rising") << QList<quint16>{1, 2, 3, 4} << true;
        QTest::newRow("falling") << QList<quint16>{9, 5, 3, 1} << true;
        QTest::newRow("one word") << QList<quint16>{7} << false;
        QTest::newRow("all equal") << QList<quint16>{3, 3, 3} << false;
        QTest::newRow("rising with flat") << QList<quint16>{1, 1, 2, 3, 3} << true;
        // 3 of 4 steps one way: exactly 75 %.
        QTest::newRow("three quarters") << QList<quint16>{1, 2, 3, 4, 2} << true;
        QTest::newRow("zigzag") << QList<quint16>{1, 5, 2, 6, 3} << false;
    }
    void axisTest()
    {
        QFETCH(QList<quint16>, words);
        QTEST(isPlausibleAxis(words), "plausible");
    }

    void layouts_data()
    {
        QTest::addColumn<bool>("littleEndian");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("layout"); // 'c'/'r' count, 'X'/'Y' axis, numbers literal
        QTest::addColumn<AxisLayout>("expected");
        QTest::addColumn<int>("xAt"); // index of the X axis in layout, -1 none
        QTest::addColumn<int>("yAt");
        const int R = -1, C = -2, X = -3, Y = -4;
        QTest::newRow("one row: count, X") << true << 1 << 6 << QList<int>{C, X}
                                           << AxisLayout::OneRowCount << 1 << -1;
        QTest::newRow("counts rows then columns") << true << 4 << 6 << QList<int>{R, C, Y, X}
                                                  << AxisLayout::TwoCountsFirst << 3 << 2;
        QTest::newRow("counts columns then rows") << true << 4 << 6 << QList<int>{C, R, X, Y}
                                                  << AxisLayout::TwoCountsFirst << 2 << 3;
        QTest::newRow("big endian counts") << false << 5 << 3 << QList<int>{R, C, Y, X}
                                           << AxisLayout::TwoCountsFirst << 3 << 2;
        QTest::newRow("count axis count axis, rows first")
            << true << 4 << 6 << QList<int>{R, Y, C, X} << AxisLayout::CountAxisCountAxis << 3
            << 1;
        QTest::newRow("count axis count axis, columns first")
            << false << 4 << 6 << QList<int>{C, X, R, Y} << AxisLayout::CountAxisCountAxis << 1
            << 3;
        QTest::newRow("square map takes rows first") << true << 5 << 5 << QList<int>{R, C, Y, X}
                                                     << AxisLayout::TwoCountsFirst << 3 << 2;
        QTest::newRow("gap before data: nothing") << true << 4 << 6
                                                  << QList<int>{R, C, Y, X, 0}
                                                  << AxisLayout::None << -1 << -1;
        QTest::newRow("flat axis: nothing") << true << 4 << 6 << QList<int>{R, C, 7, X}
                                            << AxisLayout::None << -1 << -1;
        QTest::newRow("one row without count: nothing") << true << 1 << 6 << QList<int>{X}
                                                        << AxisLayout::None << -1 << -1;
    }
    void layouts()
    {
        QFETCH(bool, littleEndian);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QList<int>, layout);
        QFETCH(int, xAt);
        QFETCH(int, yAt);
        ImageBuilder b;
        b.littleEndian = littleEndian;
        for (int i = 0; i < 40; ++i)
            b.word(0x5A5A + (i % 3) * 0x111); // filler that looks like no layout
        QList<qint64> partOffsets;
        for (int part : layout) {
            partOffsets.append(b.bytes.size());
            switch (part) {
            case -1: b.word(rows); break;
            case -2: b.word(columns); break;
            case -3: b.axis(columns, 1000, 250); break;
            case -4: b.axis(rows, 6000, -500); break;
            case 7: b.axis(rows, 7, 0); break;
            default: b.word(part); break;
            }
        }
        const qint64 start = b.bytes.size();
        b.axis(rows * columns, 300, 1);
        const AxisSearchResult r =
            findStoredAxes(reinterpret_cast<const uchar *>(b.bytes.constData()), b.bytes.size(),
                           start, rows, columns, littleEndian);
        QTEST(r.layout, "expected");
        QCOMPARE(r.xAxisOffset, xAt < 0 ? -1 : partOffsets.at(xAt));
        QCOMPARE(r.yAxisOffset, yAt < 0 ? -1 : partOffsets.at(yAt));
    }

    void exampleImageMaps_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("xAxis");
        QTest::addColumn<int>("yAxis");
        QTest::newRow("Coppia richiesta") << 0x10000 << 12 << 16 << 0xFFE0 << 0xFFC8;
        QTest::newRow("Limitatore pedale") << 0x12000 << 8 << 10 << 0x11FDA << 0x11FF0;
        QTest::newRow("Correzione temperatura") << 0x13000 << 1 << 16 << 0x12FE0 << -1;
        QTest::newRow("Pressione turbo") << 0x14000 << 16 << 16 << -1 << -1;
    }
    void exampleImageMaps()
    {
        QFETCH(int, start);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFile file(QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray image = file.readAll();
        const MapCutResult r =
            cutMapFromSelection(image, start, start + rows * columns * 2 - 1, columns, true);
        QVERIFY(r.ok);
        QTEST(r.definition.xAxisOffset, "xAxis");
        QTEST(r.definition.yAxisOffset, "yAxis");
    }

    void searchStopsAtItsReach()
    {
        // A valid layout, then more than 2 × 128 bytes of filler before the data.
        ImageBuilder b;
        b.words({2, 3, 10, 20, 1, 2, 3});
        for (int i = 0; i < 130; ++i)
            b.word(0x4444);
        const qint64 start = b.bytes.size();
        b.axis(6, 1, 1);
        const auto r = findStoredAxes(reinterpret_cast<const uchar *>(b.bytes.constData()),
                                      b.bytes.size(), start, 2, 3, true);
        QCOMPARE(r.layout, AxisLayout::None);
        // Nothing before the image start is read.
        QCOMPARE(findStoredAxes(reinterpret_cast<const uchar *>(b.bytes.constData()),
                                b.bytes.size(), 1, 2, 3, true)
                     .layout,
                 AxisLayout::None);
    }

    void cutMessages_data()
    {
        QTest::addColumn<qint64>("selStart");
        QTest::addColumn<qint64>("selEnd");
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("Prima seleziona una zona valida nel 2D.");
        const QString word =
            QStringLiteral("La selezione non contiene un numero intero di WORD 16-bit.");
        const QString rows = QStringLiteral("La selezione non contiene un numero intero di righe.");
        QTest::newRow("no selection") << qint64(-1) << qint64(-1) << 100 << invalid;
        QTest::newRow("empty image") << qint64(0) << qint64(3) << 0 << invalid;
        QTest::newRow("start equals end") << qint64(5) << qint64(5) << 100 << invalid;
        QTest::newRow("3 bytes") << qint64(10) << qint64(12) << 100 << word;
        QTest::newRow("24 bytes with 8 columns") << qint64(10) << qint64(33) << 100 << rows;
        QTest::newRow("cut at image end to odd") << qint64(96) << qint64(200) << 101 << word;
    }
    void cutMessages()
    {
        QFETCH(qint64, selStart);
        QFETCH(qint64, selEnd);
        QFETCH(int, imageSize);
        const MapCutResult r =
            cutMapFromSelection(QByteArray(imageSize, 1), selStart, selEnd, 8, true);
        QVERIFY(!r.ok);
        QTEST(r.message, "message");
    }

    void cutThirtyTwoBytes_data()
    {
        QTest::addColumn<bool>("littleEndian");
        QTest::addColumn<int>("dataType");
        QTest::newRow("little endian") << true << 1;
        QTest::newRow("big endian") << false << 2;
    }
    void cutThirtyTwoBytes()
    {
        QFETCH(bool, littleEndian);
        ImageBuilder b;
        b.littleEndian = littleEndian;
        for (int i = 0; i < 10; ++i)
            b.word(0x1111);
        b.words({2, 8});
        const qint64 yAt = b.bytes.size();
        b.axis(2, 100, 100);
        const qint64 xAt = b.bytes.size();
        b.axis(8, 500, 500);
        const qint64 start = b.bytes.size();
        b.axis(16, 1, 3);
        b.word(0);
        const MapCutResult r = cutMapFromSelection(b.bytes, start, start + 31, 8, littleEndian);
        QVERIFY(r.ok);
        const MapDefinition &d = r.definition;
        QCOMPARE(d.name, QStringLiteral("Mappa 8 x 2"));
        QCOMPARE(d.rows, 2);
        QCOMPARE(d.columns, 8);
        QCOMPARE(d.mapOffset, int(start));
        QCOMPARE(d.xAxisOffset, int(xAt));
        QCOMPARE(d.yAxisOffset, int(yAt));
        QTEST(d.dataType, "dataType");
        QCOMPARE(d.factor, 1.0);
        QCOMPARE(d.xAxis, (QList<quint16>{500, 1000, 1500, 2000, 2500, 3000, 3500, 4000}));
        QCOMPARE(d.yAxis, (QList<quint16>{100, 200}));
        const MapRanges ranges = mapRanges(d);
        QCOMPARE(ranges.data.end, start + 31);
    }

    void oneWordIsOneByOne()
    {
        const MapCutResult r = cutMapFromSelection(QByteArray(64, 3), 20, 21, 8, true);
        QVERIFY(r.ok);
        QCOMPARE(r.definition.rows, 1);
        QCOMPARE(r.definition.columns, 1);
        QCOMPARE(r.definition.name, QStringLiteral("Mappa 1 x 1"));
        QCOMPARE(r.definition.xAxisOffset, -1);
        QCOMPARE(r.definition.xAxisSource, 0); // numbered cells when nothing is stored
    }

    void wordEdits_data()
    {
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<bool>("littleEndian");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("+1 on 65535 stays") << QByteArray::fromHex("ffff0100") << true
                                           << int(WordEditKind::PlusOne) << 0.0
                                           << QByteArray::fromHex("ffff0200");
        QTest::newRow("-1 on 0 stays") << QByteArray::fromHex("00000100") << true
                                       << int(WordEditKind::MinusOne) << 0.0
                                       << QByteArray::fromHex("00000000");
        QTest::newRow("+1 big endian carries") << QByteArray::fromHex("00ff") << false
                                               << int(WordEditKind::PlusOne) << 0.0
                                               << QByteArray::fromHex("0100");
        QTest::newRow("absolute") << QByteArray::fromHex("00000000") << true
                                  << int(WordEditKind::Absolute) << 4660.0
                                  << QByteArray::fromHex("34123412");
        QTest::newRow("percent half away") << QByteArray::fromHex("0a00") << true
                                           << int(WordEditKind::Percent) << 5.0
                                           << QByteArray::fromHex("0b00"); // 10.5 -> 11
        QTest::newRow("percent clamps high") << QByteArray::fromHex("ff7f") << true
                                             << int(WordEditKind::Percent) << 1000.0
                                             << QByteArray::fromHex("ffff");
        QTest::newRow("percent clamps low") << QByteArray::fromHex("ff7f") << true
                                            << int(WordEditKind::Percent) << -1000.0
                                            << QByteArray::fromHex("0000");
        QTest::newRow("original") << QByteArray::fromHex("99999999") << true
                                  << int(WordEditKind::Original) << 0.0
                                  << QByteArray::fromHex("01020304");
    }
    void wordEdits()
    {
        QFETCH(QByteArray, current);
        QFETCH(bool, littleEndian);
        QFETCH(int, kind);
        QFETCH(double, value);
        const QByteArray original = QByteArray::fromHex("01020304");
        QTEST(editedWords(current, original, 0, current.size(), WordEditKind(kind), value,
                          littleEndian),
              "written");
    }

    void widening_data()
    {
        QTest::addColumn<qint64>("selStart");
        QTest::addColumn<qint64>("selEnd");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("length");
        QTest::newRow("odd start and end") << qint64(3) << qint64(6) << qint64(100) << true
                                           << qint64(2) << qint64(6);
        QTest::newRow("even") << qint64(4) << qint64(5) << qint64(100) << true << qint64(4)
                              << qint64(2);
        QTest::newRow("end limited") << qint64(96) << qint64(500) << qint64(100) << true
                                     << qint64(96) << qint64(4);
        QTest::newRow("odd image tail") << qint64(97) << qint64(100) << qint64(101) << true
                                        << qint64(96) << qint64(4);
        QTest::newRow("1-byte image") << qint64(0) << qint64(0) << qint64(1) << false
                                      << qint64(-1) << qint64(-1);
        QTest::newRow("no selection") << qint64(-1) << qint64(-1) << qint64(100) << false
                                      << qint64(-1) << qint64(-1);
    }
    void widening()
    {
        QFETCH(qint64, selStart);
        QFETCH(qint64, selEnd);
        QFETCH(qint64, size);
        qint64 start = -1, length = -1;
        QTEST(widenToWords(selStart, selEnd, size, &start, &length), "ok");
        QTEST(start, "start");
        QTEST(length, "length");
    }
};

QTEST_GUILESS_MAIN(TestMapCut)
#include "tst_mapcut.moc"
