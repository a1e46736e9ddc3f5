#include "model/mapdefinition.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include "testsupport.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "firmwarefixture.h"

namespace {

using testsupport::mapGrid;

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
        testsupport::addColumns<QByteArray, QString, QJsonValue>({"json", "field", "expected"});
        const auto row
            = [](const char *tag, const char *json, const char *field, const QJsonValue &expected) {
                  QTest::newRow(tag) << QByteArray(json) << QString::fromLatin1(field) << expected;
              };
        row("empty object", "{}", "mapOffset", -1);
        row("rows as string", R"({"rows":"12"})", "rows", 0);
        row("offset as bool", R"({"mapOffset":true})", "mapOffset", -1);
        row("factor missing", "{}", "factor", 1.0);
        row("factor as string", R"({"xFactor":"2"})", "xFactor", 1.0);
        row("littleEndian as number", R"({"littleEndian":0})", "littleEndian", true);
        row("name as number", R"({"name":5})", "name", "");
        row("element size kept", R"({"zElementSize":4})", "zElementSize", 4);
        row("axis values keep their low 16 bits", R"({"xAxis":[70000,-1,"x",12]})", "xAxis",
            QJsonArray{4464, 65535, 0, 12});
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
        MapDefinition d = mapGrid(0x1234, 3, 4);
        d.sourceKind = MapDefinition::SourceA2L;
        d.name = QStringLiteral("Kennfeld Ä");
        d.xAxis = {1, 2, 3, 4};
        d.yAxis = {-10.5, 20, double(3e38f)};
        d.yDataType = Organisation32Bit;
        d.yValueKind = ValueFloat;
        d.zValueKind = ValueSigned;
        d.littleEndian = false;
        d.factor = 0.0234375;
        d.zColumnMajor = true;
        d.yMaximum = 9000.5;
        d.group = QStringLiteral("Accensione/Base");
        const QByteArray text = QJsonDocument(toJson(d)).toJson(QJsonDocument::Compact);
        // Whole raw values stay JSON integers, as older versions wrote and read them.
        QVERIFY(text.contains(R"("xAxis":[1,2,3,4])"));
        QVERIFY(text.contains(R"("yAxis":[-10.5,20,)"));
        MapDefinition back = fromJson(QJsonDocument::fromJson(text).object());
        QCOMPARE(back.sourceKind, 0);
        back.sourceKind = d.sourceKind;
        QVERIFY(back == d);
    }

    void ranges_data()
    {
        testsupport::addColumns<int, int, int, qint64, qint64, qint64>(
            {"elementSize", "xSource", "headerOffset", "dataEnd", "xEnd", "headerEnd"});
        // A 2 x 3 map at 0x100 with its X axis at 0x200.
        const auto row = [](const char *tag, int size, int xSource, int header, qint64 dataEnd,
                            qint64 xEnd, qint64 headerEnd) {
            QTest::newRow(tag) << size << xSource << header << dataEnd << xEnd << headerEnd;
        };
        row("32-bit", 4, 1, -1, 0x117, 0x205, -1);
        row("16-bit with header", 2, 1, 0x50, 0x10B, 0x205, 0x53);
        row("index X axis has no range", 2, 0, -1, 0x10B, -1, -1);
        row("size 0 counts as 1", 0, 1, -1, 0x105, 0x205, -1);
    }

    void ranges()
    {
        QFETCH(int, elementSize);
        QFETCH(int, xSource);
        QFETCH(int, headerOffset);
        MapDefinition d = mapGrid(0x100, 2, 3);
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
        testsupport::addColumns<int, int, bool, QList<double>>(
            {"dataType", "elementSize", "columnMajor", "values"});
        // The image holds 01 02 03 04 ...
        QTest::newRow("8 bit") << 0 << 1 << false << QList<double>{1, 2, 3, 4};
        QTest::newRow("LoHi") << 1 << 2 << false << QList<double>{0x0201, 0x0403, 0x0605, 0x0807};
        QTest::newRow("HiLo") << 2 << 2 << false << QList<double>{0x0102, 0x0304, 0x0506, 0x0708};
        QTest::newRow("32 bit whole")
            << 3 << 4 << false << QList<double>{0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D};
        QTest::newRow("column major keeps storage order")
            << 1 << 2 << true << QList<double>{0x0201, 0x0403, 0x0605, 0x0807};
    }

    void readingFromImage()
    {
        QFETCH(int, dataType);
        QFETCH(int, elementSize);
        QFETCH(bool, columnMajor);
        QByteArray image(32, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i + 1);
        MapDefinition d = mapGrid(0, 2, 2);
        d.dataType = dataType;
        d.zElementSize = elementSize;
        d.zColumnMajor = columnMajor;
        QTEST(readMapValues(d, bytesOf(image), image.size()), "values");
        QCOMPARE(cellIndex(d, 0, 1), columnMajor ? qint64(2) : qint64(1));
        d.xAxisSource = 0; // an index axis is numbered, not read
        QCOMPARE(readXAxis(d, nullptr, 0), (QList<double>{1, 2}));
    }

    void nothingReadPastTheImage_data()
    {
        testsupport::addColumns<int, int, int>({"offset", "rows", "columns"});
        QTest::newRow("no offset") << -1 << 2 << 2;
        QTest::newRow("no rows") << 0 << 0 << 2;
        QTest::newRow("absurd size") << 0 << 2000000000 << 2000000000;
    }

    void nothingReadPastTheImage()
    {
        QFETCH(int, offset);
        QFETCH(int, rows);
        QFETCH(int, columns);
        const QByteArray image(16, '\x11');
        MapDefinition d = mapGrid(offset, rows, columns);
        d.xAxisOffset = 14;
        QVERIFY(readMapValues(d, bytesOf(image), image.size()).isEmpty());
        if (columns > 1 && columns < 100)
            QVERIFY(readXAxis(d, bytesOf(image), image.size()).isEmpty()); // 2 at 14 pass 16
    }

    void physicalRaw_data()
    {
        testsupport::addColumns<double, double, double, int, int>(
            {"factor", "offset", "value", "raw", "kind"});
        // The rounding and the limits are clampRaw's (see clamping); here only that the value
        // is scaled and that the type and the sign reach it.
        QTest::newRow("40.3 at 0.5/-10") << 0.5 << -10.0 << 40.3 << 101 << 0;
        QTest::newRow("clamped high") << 1.0 << 0.0 << 70000.0 << 65535 << 0;
        QTest::newRow("factor 0") << 0.0 << 5.0 << 123.0 << 0 << 0;
        QTest::newRow("negative factor") << -0.5 << 0.0 << -10.0 << 20 << 0;
        QTest::newRow("signed keeps the sign") << 0.75 << 0.0 << -3.75 << -5 << 1;
    }

    void physicalRaw()
    {
        QFETCH(double, factor);
        QFETCH(double, offset);
        QFETCH(double, value);
        QFETCH(int, raw);
        QFETCH(int, kind);
        QCOMPARE(physicalToRaw(value, factor, offset, Organisation16BitLoHi, kind), double(raw));
        // Unless clamped, the raw value read back lies within half a step of the value.
        if (factor != 0 && raw > -32768 && raw != 0 && raw < 65535)
            QVERIFY(qAbs(rawToPhysical(raw, factor, offset) - value) <= qAbs(factor) / 2 + 1e-9);
    }

    // Every type in both byte orders: the bytes decode to the raw value, the raw value encodes
    // to the bytes, and the type carries its label.
    void valueTypes_data()
    {
        testsupport::addColumns<int, bool, int, QByteArray, double, QString>(
            {"organisation", "littleEndian", "kind", "bytes", "raw", "label"});
        const auto row = [](const char *tag, int organisation, bool littleEndian, int kind,
                            const char *hex, double raw, const char *label) {
            QTest::newRow(tag) << organisation << littleEndian << kind << QByteArray::fromHex(hex)
                               << raw << QString::fromUtf8(label);
        };
        row("u8", 0, true, 0, "FB", 251, "8 Bit");
        row("s8", 0, false, 1, "FB", -5, "8 Bit con segno");
        row("float on 8 bits reads unsigned", 0, true, 2, "FB", 251, "8 Bit");
        row("u16 LoHi", 1, true, 0, "FBFF", 65531, "16 Bit (LoHi)");
        row("s16 LoHi", 1, true, 1, "FBFF", -5, "16 Bit con segno (LoHi)");
        row("u16 HiLo", 2, false, 0, "FFFB", 65531, "16 Bit (HiLo)");
        row("s16 HiLo, its code outweighs the flag", 2, true, 1, "FFFB", -5,
            "16 Bit con segno (HiLo)");
        row("u32 LoHi", 3, true, 0, "01020384", 0x84030201u, "32 Bit");
        row("u32 HiLo", 3, false, 0, "84030201", 0x84030201u, "32 Bit (HiLo)");
        row("s32 LoHi", 3, true, 1, "FBFFFFFF", -5, "32 Bit con segno (LoHi)");
        row("s32 HiLo", 3, false, 1, "80000000", -2147483648.0, "32 Bit con segno (HiLo)");
        row("f32 LoHi", 3, true, 2, "0000C03F", 1.5, "32 Bit float (LoHi)");
        row("f32 HiLo", 3, false, 2, "C0100000", -2.25, "32 Bit float (HiLo)");
    }

    void valueTypes()
    {
        QFETCH(int, organisation);
        QFETCH(bool, littleEndian);
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(double, raw);
        const QByteArray padded = QByteArray(3, '\x55') + bytes;
        QCOMPARE(decodeValue(bytesOf(padded), padded.size(), 3, organisation, littleEndian, kind),
                 raw);
        // One byte short of the element reads nothing.
        QCOMPARE(
            decodeValue(bytesOf(padded), padded.size() - 1, 3, organisation, littleEndian, kind),
            0.0);
        QCOMPARE(encodeValue(raw, organisation, littleEndian, kind), bytes);
        QTEST(valueTypeLabel(organisation, littleEndian, kind), "label");
    }

    void clamping_data()
    {
        testsupport::addColumns<int, int, double, double>(
            {"organisation", "kind", "raw", "clamped"});
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("u8 low") << 0 << 0 << -1.0 << 0.0;
        QTest::newRow("u8 high") << 0 << 0 << 256.0 << 255.0;
        QTest::newRow("s8 low") << 0 << 1 << -129.0 << -128.0;
        QTest::newRow("s8 high") << 0 << 1 << 128.0 << 127.0;
        QTest::newRow("u16 low, -0.4 is 0 not -0") << 1 << 0 << -0.4 << 0.0;
        QTest::newRow("u16 high") << 2 << 0 << 65535.6 << 65535.0;
        QTest::newRow("s16 low") << 1 << 1 << -32768.6 << -32768.0;
        QTest::newRow("s16 high") << 2 << 1 << 32768.0 << 32767.0;
        QTest::newRow("u32 low") << 3 << 0 << -inf << 0.0;
        QTest::newRow("u32 high") << 3 << 0 << 4294967296.0 << 4294967295.0;
        QTest::newRow("s32 low") << 3 << 1 << -2147483649.0 << -2147483648.0;
        QTest::newRow("s32 high") << 3 << 1 << 2147483648.0 << 2147483647.0;
        QTest::newRow("f32 low") << 3 << 2 << -1e39 << -double(FLT_MAX);
        QTest::newRow("f32 high") << 3 << 2 << inf << double(FLT_MAX);
        QTest::newRow("u16 rounds half up") << 1 << 0 << 2.5 << 3.0;
        QTest::newRow("s16 rounds half away from zero") << 1 << 1 << -2.5 << -3.0;
        QTest::newRow("s8 rounds toward the nearer") << 0 << 1 << -2.4 << -2.0;
        QTest::newRow("f32 nearest float") << 3 << 2 << 0.1 << double(0.1f);
        QTest::newRow("f32 not a number") << 3 << 2 << qQNaN() << 0.0;
        QTest::newRow("s32 not a number") << 3 << 1 << qQNaN() << 0.0;
    }

    void clamping()
    {
        QFETCH(int, organisation);
        QFETCH(int, kind);
        QFETCH(double, raw);
        QFETCH(double, clamped);
        const double result = clampRaw(raw, organisation, kind);
        QCOMPARE(result, clamped);
        QVERIFY(!std::signbit(result) || result < 0);
        // What is encoded is what clamping gives, in both byte orders.
        for (bool littleEndian : {true, false}) {
            const QByteArray bytes = encodeValue(raw, organisation, littleEndian, kind);
            QCOMPARE(decodeValue(bytesOf(bytes), bytes.size(), 0, organisation, littleEndian, kind),
                     clamped);
        }
    }

    void floatsThatAreNoNumberReadAsValuesOfTheType()
    {
        const QByteArray erased("\xFF\xFF\xFF\xFF");
        const QByteArray infinity("\x00\x00\x80\xFF", 4);
        QCOMPARE(decodeValue(bytesOf(erased), 4, 0, Organisation32Bit, true, ValueFloat), 0.0);
        QCOMPARE(decodeValue(bytesOf(infinity), 4, 0, Organisation32Bit, true, ValueFloat),
                 -double(FLT_MAX));
    }

    // Kinds are written only when not unsigned, and axes of wide or signed types travel whole.
    void valueKindsInJson_data()
    {
        testsupport::addColumns<QByteArray, QList<double>, QStringList>(
            {"json", "xAxis", "kindKeys"});
        const auto row = [](const char *tag, const char *json, const QList<double> &xAxis,
                            const QStringList &kindKeys) {
            QTest::newRow(tag) << QByteArray(json) << xAxis << kindKeys;
        };
        row("old file", R"({"xAxis":[70000,2.5]})", {4464, 0}, {});
        row("u32 axis", R"({"xDataType":3,"xAxis":[4000000000,-1,2.5]})", {4000000000.0, 0, 3}, {});
        row("s16 axis", R"({"xValueKind":1,"xAxis":[-5,40000],"zValueKind":1})", {-5, 32767},
            {"xValueKind", "zValueKind"});
        row("f32 axis", R"({"xDataType":3,"xValueKind":2,"xAxis":[0.1]})", {double(0.1f)},
            {"xValueKind"});
        row("kind as string is unsigned", R"({"yValueKind":"1"})", {}, {});
    }

    void valueKindsInJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, kindKeys);
        const MapDefinition d = fromJson(QJsonDocument::fromJson(json).object());
        QTEST(d.xAxis, "xAxis");
        const QJsonObject back = toJson(d);
        QCOMPARE(back.size(), 50 + kindKeys.size());
        for (const QString &key : kindKeys)
            QCOMPARE(back.value(key).toInt(),
                     key == QLatin1String("xValueKind") ? d.xValueKind : d.zValueKind);
        QVERIFY(fromJson(back) == d);
    }
};

QTEST_GUILESS_MAIN(TestMapDefinition)
#include "tst_mapdefinition.moc"
