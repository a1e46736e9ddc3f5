#include "model/mapdefinition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestMapDefinition : public QObject
{
    Q_OBJECT

private slots:
    void emptyObjectGivesDefaults()
    {
        const MapDefinition d = fromJson(QJsonObject());
        QVERIFY(d == MapDefinition());
        const QJsonObject o = toJson(d);
        QCOMPARE(o.size(), 50);
        QCOMPARE(o.value(QLatin1String("mapOffset")).toInt(), -1);
        QCOMPARE(o.value(QLatin1String("dataType")).toInt(), 1);
        for (const QString &key : mapDefinitionKeys())
            QVERIFY2(o.contains(key), qPrintable(key));
        QCOMPARE(mapDefinitionKeys().size(), 50);
    }

    void tolerantReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("rows as string") << QByteArray(R"({"rows":"12"})") << "rows" << QVariant(0);
        QTest::newRow("offset as bool") << QByteArray(R"({"mapOffset":true})") << "mapOffset" << QVariant(-1);
        QTest::newRow("factor missing") << QByteArray(R"({})") << "factor" << QVariant(1.0);
        QTest::newRow("factor as string") << QByteArray(R"({"xFactor":"2"})") << "xFactor" << QVariant(1.0);
        QTest::newRow("littleEndian as number") << QByteArray(R"({"littleEndian":0})") << "littleEndian" << QVariant(true);
        QTest::newRow("name as number") << QByteArray(R"({"name":5})") << "name" << QVariant(QString());
        QTest::newRow("element size kept") << QByteArray(R"({"zElementSize":4})") << "zElementSize" << QVariant(4);
    }

    void tolerantReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        const MapDefinition d = fromJson(QJsonDocument::fromJson(json).object());
        const QJsonObject back = toJson(d);
        QCOMPARE(back.value(field).toVariant(), expected);
    }

    void axisValuesKeepLow16Bits()
    {
        const MapDefinition d = fromJson(
            QJsonDocument::fromJson(R"({"xAxis":[70000,-1,"x",12]})").object());
        QCOMPARE(d.xAxis, (QList<quint16>{4464, 65535, 0, 12}));
    }

    void roundTripDropsSourceKind()
    {
        MapDefinition d;
        d.sourceKind = MapDefinition::SourceA2L;
        d.name = QStringLiteral("Kennfeld Ä");
        d.rows = 3;
        d.columns = 4;
        d.mapOffset = 0x1234;
        d.xAxis = {1, 2, 3, 4};
        d.yAxis = {10, 20, 30};
        d.dataType = 2;
        d.littleEndian = false;
        d.factor = 0.0234375;
        d.offset = -40;
        d.decimals = 2;
        d.zColumnMajor = true;
        d.yMaximum = 9000.5;
        MapDefinition back = fromJson(QJsonDocument::fromJson(
            QJsonDocument(toJson(d)).toJson(QJsonDocument::Compact)).object());
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
        QTest::newRow("32-bit 2x3 at 0x100") << 4 << 1 << -1 << qint64(0x117) << qint64(0x205) << qint64(-1);
        QTest::newRow("16-bit with header") << 2 << 1 << 0x50 << qint64(0x10B) << qint64(0x205) << qint64(0x53);
        QTest::newRow("index X axis has no range") << 2 << 0 << -1 << qint64(0x10B) << qint64(-1) << qint64(-1);
        QTest::newRow("size 0 counts as 1") << 0 << 1 << -1 << qint64(0x105) << qint64(0x205) << qint64(-1);
    }

    void ranges()
    {
        QFETCH(int, elementSize);
        QFETCH(int, xSource);
        QFETCH(int, headerOffset);
        QFETCH(qint64, dataEnd);
        QFETCH(qint64, xEnd);
        QFETCH(qint64, headerEnd);
        MapDefinition d;
        d.rows = 2;
        d.columns = 3;
        d.mapOffset = 0x100;
        d.zElementSize = elementSize;
        d.xAxisOffset = 0x200;
        d.xAxisSource = xSource;
        d.headerOffset = headerOffset;
        const MapRanges r = mapRanges(d);
        QCOMPARE(r.data.start, qint64(0x100));
        QCOMPARE(r.data.end, dataEnd);
        QCOMPARE(r.xAxis.end, xEnd);
        QCOMPARE(r.yAxis.start, qint64(-1));
        QCOMPARE(r.header.end, headerEnd);
    }

    void readingFromImage_data()
    {
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("elementSize");
        QTest::addColumn<bool>("columnMajor");
        QTest::addColumn<QList<quint16>>("values");
        // bytes: 01 02 03 04 05 06 07 08 09 0A 0B 0C ...
        QTest::newRow("8 bit") << 0 << 1 << false << QList<quint16>{1, 2, 3, 4};
        QTest::newRow("LoHi") << 1 << 2 << false << QList<quint16>{0x0201, 0x0403, 0x0605, 0x0807};
        QTest::newRow("HiLo") << 2 << 2 << false << QList<quint16>{0x0102, 0x0304, 0x0506, 0x0708};
        QTest::newRow("32 bit low half") << 3 << 4 << false << QList<quint16>{0x0201, 0x0605, 0x0A09, 0x0E0D};
        QTest::newRow("column major keeps storage order") << 1 << 2 << true
                                                          << QList<quint16>{0x0201, 0x0403, 0x0605, 0x0807};
    }

    void readingFromImage()
    {
        QFETCH(int, dataType);
        QFETCH(int, elementSize);
        QFETCH(bool, columnMajor);
        QFETCH(QList<quint16>, values);
        QByteArray image(32, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i + 1);
        MapDefinition d;
        d.rows = 2;
        d.columns = 2;
        d.mapOffset = 0;
        d.dataType = dataType;
        d.zElementSize = elementSize;
        d.zColumnMajor = columnMajor;
        const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
        QCOMPARE(readMapValues(d, bytes, image.size()), values);
        QCOMPARE(cellIndex(d, 0, 1), columnMajor ? qint64(2) : qint64(1));
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
        MapDefinition d;
        d.mapOffset = offset;
        d.rows = rows;
        d.columns = columns;
        d.xAxisOffset = 14;
        const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
        QVERIFY(readMapValues(d, bytes, image.size()).isEmpty());
        if (columns > 1 && columns < 100)
            QVERIFY(readXAxis(d, bytes, image.size()).isEmpty()); // 2 elements at 14 pass 16
    }

    void indexAxis()
    {
        MapDefinition d;
        d.columns = 3;
        d.xAxisSource = 0;
        QCOMPARE(readXAxis(d, nullptr, 0), (QList<quint16>{1, 2, 3}));
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
    }

    void rawToPhysicalText()
    {
        QCOMPARE(rawToPhysical(100, 0.5, -10), 40.0);
        QCOMPARE(formatPhysical(rawToPhysical(100, 0.5, -10), 2), QStringLiteral("40.00"));
    }

    void organisations()
    {
        QCOMPARE(organisationFor(1, false), 0);
        QCOMPARE(organisationFor(2, true), 1);
        QCOMPARE(organisationFor(2, false), 2);
        QCOMPARE(organisationFor(4, false), 3);
        QCOMPARE(organisationLabel(2), QStringLiteral("16 Bit (HiLo)"));
        QCOMPARE(elementSizeOfOrganisation(3), 4);
    }
};

QTEST_GUILESS_MAIN(TestMapDefinition)
#include "tst_mapdefinition.moc"
