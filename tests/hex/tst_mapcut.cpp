#include "hex/axissearch.h"
#include "hex/mapcut.h"
#include "hex/wordedit.h"

#include <QtTest>

Q_DECLARE_METATYPE(AxisLayout)

namespace {

// Builds an image word by word in the chosen byte order.
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
    void axis(int count, int first, int step)
    {
        for (int i = 0; i < count; ++i)
            word(first + i * step);
    }
    const uchar *data() const { return reinterpret_cast<const uchar *>(bytes.constData()); }
};

QByteArray exampleImage()
{
    QFile file(QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMapCut : public QObject
{
    Q_OBJECT

private slots:
    void axisTest_data()
    {
        QTest::addColumn<QList<quint16>>("words");
        QTest::addColumn<bool>("plausible");
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
        QTest::addColumn<QSize>("map");      // columns × rows
        QTest::addColumn<QString>("layout"); // r/c count, X/Y axis, f flat axis, 0 a zero word
        QTest::addColumn<AxisLayout>("expected");
        QTest::addColumn<QPoint>("axes"); // index in layout of X and Y, -1 none
        const auto two = AxisLayout::TwoCountsFirst, alt = AxisLayout::CountAxisCountAxis;
        const auto none = AxisLayout::None;
        QTest::newRow("one row") << true << QSize(6, 1) << "cX" << AxisLayout::OneRowCount
                                 << QPoint(1, -1);
        QTest::newRow("rows first") << true << QSize(6, 4) << "rcYX" << two << QPoint(3, 2);
        QTest::newRow("columns first") << true << QSize(6, 4) << "crXY" << two << QPoint(2, 3);
        QTest::newRow("big endian") << false << QSize(3, 5) << "rcYX" << two << QPoint(3, 2);
        QTest::newRow("alternating, rows first")
            << true << QSize(6, 4) << "rYcX" << alt << QPoint(3, 1);
        QTest::newRow("alternating, columns")
            << false << QSize(6, 4) << "cXrY" << alt << QPoint(1, 3);
        QTest::newRow("square") << true << QSize(5, 5) << "rcYX" << two << QPoint(3, 2);
        QTest::newRow("gap before data")
            << true << QSize(6, 4) << "rcYX0" << none << QPoint(-1, -1);
        QTest::newRow("flat axis") << true << QSize(6, 4) << "rcfX" << none << QPoint(-1, -1);
        QTest::newRow("one row, no count") << true << QSize(6, 1) << "X" << none << QPoint(-1, -1);
    }
    void layouts()
    {
        QFETCH(bool, littleEndian);
        QFETCH(QSize, map);
        QFETCH(QString, layout);
        QFETCH(QPoint, axes);
        ImageBuilder b;
        b.littleEndian = littleEndian;
        for (int i = 0; i < 40; ++i)
            b.word(0x5A5A + (i % 3) * 0x111); // filler that looks like no layout
        QList<qint64> partOffsets;
        for (QChar part : layout) {
            partOffsets.append(b.bytes.size());
            switch (part.toLatin1()) {
            case 'r':
                b.word(map.height());
                break;
            case 'c':
                b.word(map.width());
                break;
            case 'X':
                b.axis(map.width(), 1000, 250);
                break;
            case 'Y':
                b.axis(map.height(), 6000, -500);
                break;
            case 'f':
                b.axis(map.height(), 7, 0);
                break;
            default:
                b.word(0);
                break;
            }
        }
        const qint64 start = b.bytes.size();
        b.axis(map.width() * map.height(), 300, 1);
        const AxisSearchResult r = findStoredAxes(b.data(), b.bytes.size(), start, map.height(),
                                                  map.width(), littleEndian);
        QTEST(r.layout, "expected");
        QCOMPARE(r.xAxisOffset, axes.x() < 0 ? -1 : partOffsets.at(axes.x()));
        QCOMPARE(r.yAxisOffset, axes.y() < 0 ? -1 : partOffsets.at(axes.y()));
    }

    void searchStopsAtItsReach()
    {
        // A valid layout, then more than 2 × 128 bytes of filler before the data.
        ImageBuilder b;
        for (int w : {2, 3, 10, 20, 1, 2, 3})
            b.word(w);
        b.axis(130, 0x4444, 0);
        const qint64 start = b.bytes.size();
        b.axis(6, 1, 1);
        QCOMPARE(findStoredAxes(b.data(), b.bytes.size(), start, 2, 3, true).layout,
                 AxisLayout::None);
        // Nothing before the image start is read.
        QCOMPARE(findStoredAxes(b.data(), b.bytes.size(), 1, 2, 3, true).layout, AxisLayout::None);
    }

    void exampleImageMaps_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QSize>("map");   // columns × rows
        QTest::addColumn<QPoint>("axes"); // X and Y offsets
        QTest::newRow("Coppia richiesta") << 0x10000 << QSize(16, 12) << QPoint(0xFFE0, 0xFFC8);
        QTest::newRow("Limitatore pedale") << 0x12000 << QSize(10, 8) << QPoint(0x11FDA, 0x11FF0);
        QTest::newRow("Correzione temperatura") << 0x13000 << QSize(16, 1) << QPoint(0x12FE0, -1);
        QTest::newRow("Pressione turbo") << 0x14000 << QSize(16, 16) << QPoint(-1, -1);
    }
    void exampleImageMaps()
    {
        QFETCH(int, start);
        QFETCH(QSize, map);
        const QByteArray image = exampleImage();
        QVERIFY(!image.isEmpty());
        const MapCutResult r = cutMapFromSelection(
            image, start, start + map.width() * map.height() * 2 - 1, map.width(), true);
        QVERIFY(r.ok);
        QTEST(QPoint(r.definition.xAxisOffset, r.definition.yAxisOffset), "axes");
    }

    void cutMessages_data()
    {
        QTest::addColumn<qint64>("selStart");
        QTest::addColumn<qint64>("selEnd");
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("Prima seleziona una zona valida nel 2D.");
        const QString word
            = QStringLiteral("La selezione non contiene un numero intero di WORD 16-bit.");
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
        const MapCutResult r
            = cutMapFromSelection(QByteArray(imageSize, 1), selStart, selEnd, 8, true);
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
        b.axis(10, 0x1111, 0);
        b.word(2);
        b.word(8);
        const qint64 yAt = b.bytes.size();
        b.axis(2, 100, 100);
        const qint64 xAt = b.bytes.size();
        b.axis(8, 500, 500);
        const qint64 start = b.bytes.size();
        b.axis(17, 1, 3);
        const MapCutResult r = cutMapFromSelection(b.bytes, start, start + 31, 8, littleEndian);
        QVERIFY(r.ok);
        const MapDefinition &d = r.definition;
        QCOMPARE(d.name, QStringLiteral("Mappa 8 x 2"));
        QCOMPARE(QSize(d.columns, d.rows), QSize(8, 2));
        QCOMPARE(d.mapOffset, int(start));
        QCOMPARE(QPoint(d.xAxisOffset, d.yAxisOffset), QPoint(int(xAt), int(yAt)));
        QTEST(d.dataType, "dataType");
        QCOMPARE(d.xAxis, (QList<quint16>{500, 1000, 1500, 2000, 2500, 3000, 3500, 4000}));
        QCOMPARE(d.yAxis, (QList<quint16>{100, 200}));
        // One word is a 1 × 1 map with numbered cells.
        const MapCutResult one = cutMapFromSelection(QByteArray(64, 3), 20, 21, 8, true);
        QVERIFY(one.ok);
        QCOMPARE(one.definition.name, QStringLiteral("Mappa 1 x 1"));
        QCOMPARE(one.definition.xAxisOffset, -1);
        QCOMPARE(one.definition.xAxisSource, 0);
    }

    void wordEdits_data()
    {
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<bool>("littleEndian");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("written");
        const int plus = int(WordEditKind::PlusOne), minus = int(WordEditKind::MinusOne);
        const int percent = int(WordEditKind::Percent), absolute = int(WordEditKind::Absolute);
        const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        QTest::newRow("+1 on 65535 stays")
            << hex("ffff0100") << true << plus << 0. << hex("ffff0200");
        QTest::newRow("-1 on 0 stays") << hex("00000100") << true << minus << 0. << hex("00000000");
        QTest::newRow("+1 BE carries") << hex("00ff") << false << plus << 0. << hex("0100");
        QTest::newRow("absolute") << hex("00000000") << true << absolute << 4660.
                                  << hex("34123412");
        QTest::newRow("10.5 -> 11") << hex("0a00") << true << percent << 5. << hex("0b00");
        QTest::newRow("% clamps high") << hex("ff7f") << true << percent << 1e3 << hex("ffff");
        QTest::newRow("% clamps low") << hex("ff7f") << true << percent << -1e3 << hex("0000");
        QTest::newRow("original") << hex("99999999") << true << int(WordEditKind::Original) << 0.
                                  << hex("01020304");
    }
    void wordEdits()
    {
        QFETCH(QByteArray, current);
        QFETCH(bool, littleEndian);
        QFETCH(int, kind);
        QFETCH(double, value);
        QTEST(editedWords(current, QByteArray::fromHex("01020304"), 0, current.size(),
                          WordEditKind(kind), value, littleEndian),
              "written");
    }

    void widening_data()
    {
        QTest::addColumn<QPoint>("selection");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QPoint>("words"); // start, length; (-1, -1): nothing left
        QTest::newRow("odd start and end") << QPoint(3, 6) << qint64(100) << QPoint(2, 6);
        QTest::newRow("even") << QPoint(4, 5) << qint64(100) << QPoint(4, 2);
        QTest::newRow("end limited") << QPoint(96, 500) << qint64(100) << QPoint(96, 4);
        QTest::newRow("odd image tail") << QPoint(97, 100) << qint64(101) << QPoint(96, 4);
        QTest::newRow("1-byte image") << QPoint(0, 0) << qint64(1) << QPoint(-1, -1);
        QTest::newRow("no selection") << QPoint(-1, -1) << qint64(100) << QPoint(-1, -1);
    }
    void widening()
    {
        QFETCH(QPoint, selection);
        QFETCH(qint64, size);
        QFETCH(QPoint, words);
        qint64 start = -1, length = -1;
        QCOMPARE(widenToWords(selection.x(), selection.y(), size, &start, &length), words.x() >= 0);
        QCOMPARE(QPoint(int(start), int(length)), words);
    }
};

QTEST_GUILESS_MAIN(TestMapCut)
#include "tst_mapcut.moc"
