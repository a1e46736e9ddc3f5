#include "model/mapdefinition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

MapDefinition grid(int rows, int columns, int offset)
{
    MapDefinition d;
    d.rows = rows;
    d.columns = columns;
    d.mapOffset = offset;
    return d;
}

const uint8_t *bytesOf(const QByteArray &image)
{
    return reinterpret_cast<const uint8_t *>(image.constData());
}

} // namespace

class TestMapDefinition : public QObject
{
    Q_OBJECT

private slots:
    void tolerantReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QJsonValue>("expected");
        QTest::newRow("empty object") << QByteArray("{}") << "mapOffset" << QJsonValue(-1);
        QTest::newRow("rows as string")
            << QByteArray(R"({"rows":"12"})") << "rows" << QJsonValue(0);
        QTest::newRow("offset as bool")
            << QByteArray(R"({"mapOffset":true})") << "mapOffset" << QJsonValue(-1);
        QTest::newRow("factor missing") << QByteArray("{}") << "factor" << QJsonValue(1.0);
        QTest::newRow("factor as string")
            << QByteArray(R"({"xFactor":"2"})") << "xFactor" << QJsonValue(1.0);
        QTest::newRow("littleEndian as number")
            << QByteArray(R"({"littleEndian":0})") << "littleEndian" << QJsonValue(true);
        QTest::newRow("name as number") << QByteArray(R"({"name":5})") << "name" << QJsonValue("");
        QTest::newRow("element size kept")
            << QByteArray(R"({"zElementSize":4})") << "zElementSize" << QJsonValue(4);
        QTest::newRow("axis values keep their low 16 bits")
            << QByteArray(R"({"xAxis":[70000,-1,"x",12]})") << "xAxis"
            << QJsonValue(QJsonArray{4464, 65535, 0, 12});
    }

    void tolerantReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, field);
        const MapDefinition d = fromJson(QJsonDocument::fromJson(json).object());
        const QJsonObject back = toJson(d);
        QCOMPARE(back.size(), 50);
        for (const QString &key : mapDefinitionKeys())
            QVERIFY2(back.contains(key), qPrintable(key));
        QTEST(back.value(field), "expected");
        if (json == "{}")
            QVERIFY(d == MapDefinition());
    }

    void roundTripDropsSourceKind()
    {
        MapDefinition d = grid(3, 4, 0x1234);
        d.sourceKind = MapDefinition::SourceA2L;
        d.name = QStringLiteral("Kennfeld Ä");
        d.xAxis = {1, 2, 3, 4};
        d.yAxis = {10, 20, 30};
        d.littleEndian = false;
        d.factor = 0.0234375;
        d.zColumnMajor = true;
        d.yMaximum = 9000.5;
        const QByteArray text = QJsonDocument(toJson(d)).toJson(QJsonDocument::Compact);
        MapDefinition back = fromJson(QJsonDocument::fromJson(text).object());
        QCOMPARE(back.sourceKind, 0);
        back.sourceKind = d.sourceKind;
        QVERIFY(back == d);
    }

    void ranges_data()
    {
        QTest::addColumn<int>("elementSize");
        QTest::addColumn<int>("xSource");
        QTest::addColumn<int>("headerOffset");
        QTest::addColumn<qint64>("dataEnd");
        QTest::addColumn<qint64>("xEnd");
        QTest::addColumn<qint64>("headerEnd");
        // A 2 x 3 map at 0x100 with its X axis at 0x200.
        QTest::newRow("32-bit") << 4 << 1 << -1 << qint64(0x117) << qint64(0x205) << qint64(-1);
        QTest::newRow("16-bit with header")
            << 2 << 1 << 0x50 << qint64(0x10B) << qint64(0x205) << qint64(0x53);
        QTest::newRow("index X axis has no range")
            << 2 << 0 << -1 << qint64(0x10B) << qint64(-1) << qint64(-1);
        QTest::newRow("size 0 counts as 1")
            << 0 << 1 << -1 << qint64(0x105) << qint64(0x205) << qint64(-1);
    }

    void ranges()
    {
        QFETCH(int, elementSize);
        QFETCH(int, xSource);
        QFETCH(int, headerOffset);
        MapDefinition d = grid(2, 3, 0x100);
        d.zElementSize = elementSize;
        d.xAxisSource = xSource;
        d.headerOffset = headerOffset;
        d.xAxisOffset = 0x200;
        const MapRanges r = mapRanges(d);
        QCOMPARE(r.data.start, qint64(0x100));
        QTEST(r.data.end, "dataEnd");
        QTEST(r.xAxis.end, "xEnd");
        QCOMPARE(r.yAxis.start, qint64(-1));
        QTEST(r.header.end, "headerEnd");
    }

    void readingFromImage_data()
    {
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("elementSize");
        QTest::addColumn<bool>("columnMajor");
        QTest::addColumn<QList<quint16>>("values");
        // The image holds 01 02 03 04 ...
        QTest::newRow("8 bit") << 0 << 1 << false << QList<quint16>{1, 2, 3, 4};
        QTest::newRow("LoHi") << 1 << 2 << false << QList<quint16>{0x0201, 0x0403, 0x0605, 0x0807};
        QTest::newRow("HiLo") << 2 << 2 << false << QList<quint16>{0x0102, 0x0304, 0x0506, 0x0708};
        QTest::newRow("32 bit low half")
            << 3 << 4 << false << QList<quint16>{0x0201, 0x0605, 0x0A09, 0x0E0D};
        QTest::newRow("column major keeps storage order")
            << 1 << 2 << true << QList<quint16>{0x0201, 0x0403, 0x0605, 0x0807};
    }

    void readingFromImage()
    {
        QFETCH(int, dataType);
        QFETCH(int, elementSize);
        QFETCH(bool, columnMajor);
        QByteArray image(32, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i + 1);
        MapDefinition d = grid(2, 2, 0);
        d.dataType = dataType;
        d.zElementSize = elementSize;
        d.zColumnMajor = columnMajor;
        QTEST(readMapValues(d, bytesOf(image), image.size()), "values");
        QCOMPARE(cellIndex(d, 0, 1), columnMajor ? qint64(2) : qint64(1));
        d.xAxisSource = 0; // an index axis is numbered, not read
        QCOMPARE(readXAxis(d, nullptr, 0), (QList<quint16>{1, 2}));
    }

    void nothingReadPastTheImage_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::newRow("no offset") << -1 << 2 << 2;
        QTest::newRow("no rows") << 0 << 0 << 2;
        QTest::newRow("grid passes end") << 10 << 2 << 2;
        QTest::newRow("absurd size") << 0 << 2000000000 << 2000000000;
    }

    void nothingReadPastTheImage()
    {
        QFETCH(int, offset);
        QFETCH(int, rows);
        QFETCH(int, columns);
        const QByteArray image(16, '\x11');
        MapDefinition d = grid(rows, columns, offset);
        d.xAxisOffset = 14;
        QVERIFY(readMapValues(d, bytesOf(image), image.size()).isEmpty());
        if (columns > 1 && columns < 100)
            QVERIFY(readXAxis(d, bytesOf(image), image.size()).isEmpty()); // 2 at 14 pass 16
    }

    void physicalRaw_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("raw");
        QTest::newRow("40.3 at 0.5/-10") << 0.5 << -10.0 << 40.3 << 101;
        QTest::newRow("half away from zero") << 1.0 << 0.0 << 2.5 << 3;
        QTest::newRow("clamped low") << 1.0 << 0.0 << -3.0 << 0;
        QTest::newRow("clamped high") << 1.0 << 0.0 << 70000.0 << 65535;
        QTest::newRow("factor 0") << 0.0 << 5.0 << 123.0 << 0;
        QTest::newRow("negative factor") << -0.5 << 0.0 << -10.0 << 20;
    }

    void physicalRaw()
    {
        QFETCH(double, factor);
        QFETCH(double, offset);
        QFETCH(double, value);
        QFETCH(int, raw);
        QCOMPARE(int(physicalToRaw(value, factor, offset)), raw);
        // Unless clamped, the raw value read back lies within half a step of the value.
        if (factor != 0 && raw > 0 && raw < 65535)
            QVERIFY(qAbs(rawToPhysical(quint16(raw), factor, offset) - value)
                    <= qAbs(factor) / 2 + 1e-9);
    }
};

QTEST_GUILESS_MAIN(TestMapDefinition)
#include "tst_mapdefinition.moc"
