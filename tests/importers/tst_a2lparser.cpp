#include "importers/a2lparser.h"
#include "mapfields.h"
#include "model/firmware.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// head is "NAME TYPE ADDRESS LAYOUT".
QString chr(const QString &head, const QString &inner = {}, const QString &conversion = "NO_CM")
{
    const QString name = head.section(u' ', 0, 0);
    return "/begin CHARACTERISTIC " + name + " \"desc " + name + "\" " + head.section(u' ', 1)
           + " 0 " + conversion + " 0 100 " + inner + " /end CHARACTERISTIC\n";
}

QString axis(int points, const QString &conversion = "NO_CM", const QString &inner = {})
{
    return QStringLiteral("/begin AXIS_DESCR STD_AXIS INPUT %1 %2 0 100 %3 /end AXIS_DESCR\n")
        .arg(conversion)
        .arg(points)
        .arg(inner);
}

QString layout(const QString &name, const QString &lines)
{
    return "/begin RECORD_LAYOUT " + name + "\n" + lines + "\n/end RECORD_LAYOUT\n";
}

QString compu(const QString &name, const QString &unit, const QString &type, const QString &k)
{
    return "/begin COMPU_METHOD " + name + " \"\" " + type + " \"%6.2\" \"" + unit + "\" COEFFS "
           + k + " /end COMPU_METHOD\n";
}

void row(const char *name, const QString &text, const QString &fields)
{
    QTest::newRow(name) << text << fields;
}

quint32 randomState = 1;
quint32 nextRandom()
{
    randomState = randomState * 1103515245u + 12345u;
    return randomState >> 8;
}

} // namespace

class TestA2LParser : public QObject
{
    Q_OBJECT
private slots:
    void addressRule_data();
    void addressRule();
    void characteristic_data();
    void characteristic();
    void latin1File();
    void hostileInput_data();
    void hostileInput();
    void mutatedDescription();
    void exampleDescribesDemoImage();
    void publicSamples();
};

void TestA2LParser::addressRule_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint64>("offset");
    QTest::newRow("window start") << "0x80000000" << qint64(0);
    QTest::newRow("inside window") << "0x80012345" << qint64(0x12345);
    QTest::newRow("window end") << "0x80FFFFFF" << qint64(0xFFFFFF);
    QTest::newRow("past window") << "0x81000000" << qint64(-1);
    QTest::newRow("top of range") << "0xFFFFFFFF" << qint64(-1);
    QTest::newRow("below window") << "0x7FFFFFFF" << qint64(0x7FFFFFFF);
    QTest::newRow("wider than 32 bits") << "0x100000000" << qint64(-1);
    QTest::newRow("blanks, decimal") << " 4096 " << qint64(4096);
    QTest::newRow("not a number") << "0xZZ" << qint64(-1);
}

void TestA2LParser::addressRule()
{
    QFETCH(QString, address);
    QFETCH(qint64, offset);
    QCOMPARE(A2LParser::addressToOffset(address), offset);
}

void TestA2LParser::characteristic_data()
{
    // Every row describes exactly one importable CHARACTERISTIC.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fields");
    row("past the address window skipped", chr("B VALUE 0x81000000 RL") + chr("A VALUE 0x80012345 RL"),
        "name=A; mapOffset=0x12345");

    const auto ordered = [](const QString &order, const QString &type) -> QString {
        const QString common = "/begin MOD_COMMON \"\" DEPOSIT ABSOLUTE BYTE_ORDER " + order
                               + " ALIGNMENT_BYTE 1 /end MOD_COMMON\n";
        return (order.isEmpty() ? QString() : common)
               + layout("L", "NO_AXIS_PTS_X 1 UBYTE\nAXIS_PTS_X 2 " + type + "\nFNC_VALUES 3 "
                                 + type + " ROW_DIR DIRECT")
               + chr("K CURVE 0x100 L", axis(4));
    };
    const QString little = "littleEndian=true; xLittleEndian=true; yLittleEndian=true; ";
    const QString big = "littleEndian=false; xLittleEndian=false; yLittleEndian=false; ";
    row("no MOD_COMMON", ordered({}, "UWORD"), little + "dataType=1; xDataType=1; zElementSize=2");
    row("MSB_LAST", ordered("MSB_LAST", "UWORD"), little + "dataType=1; xDataType=1");
    row("MSB_FIRST", ordered("MSB_FIRST", "UWORD"), big + "dataType=2; xDataType=2");
    row("msb_first lower case", ordered("msb_first", "SWORD"), big + "dataType=2");
    row("big-endian bytes", ordered("MSB_FIRST", "UBYTE"), big + "dataType=0; xDataType=0");
    row("big-endian longs", ordered("MSB_FIRST", "ULONG"),
        big + "dataType=3; xDataType=3; zElementSize=4");

    const auto ratFunc = [](const QString &type, const QString &coeffs) -> QString {
        return compu("CM", "bar", type, coeffs) + chr("K VALUE 0x10 RL_UWORD", {}, "CM");
    };
    const QString unscaled = "factor=1; offset=0";
    row("RAT_FUNC identity", ratFunc("RAT_FUNC", "0 1 0 0 0 1"),
        "compuMethod=CM; unit=bar; decimals=2; " + unscaled);
    row("RAT_FUNC half minus five", ratFunc("RAT_FUNC", "0 2 10 0 0 1"), "factor=0.5; offset=-5");
    row("rat_func lower case", ratFunc("rat_func", "0 4 0 0 0 2"), "factor=0.5");
    row("RAT_FUNC d not zero", ratFunc("RAT_FUNC", "0 2 10 1 0 1"), unscaled);
    row("RAT_FUNC a not zero", ratFunc("RAT_FUNC", "1 2 10 0 0 1"), unscaled);
    row("RAT_FUNC b zero", ratFunc("RAT_FUNC", "0 0 10 0 0 1"), unscaled);
    row("not RAT_FUNC", ratFunc("TAB_INTP", "0 2 10 0 0 1"), unscaled);

    row("record layout path",
        layout("RL_MAP", "NO_AXIS_PTS_X 1 UWORD\nNO_AXIS_PTS_Y 2 UWORD\nAXIS_PTS_X 3 UWORD "
                         "INDEX_INCR DIRECT\nAXIS_PTS_Y 4 UWORD INDEX_INCR DIRECT\n"
                         "FNC_VALUES 5 UBYTE ROW_DIR DIRECT")
            + compu("CM_X", "rpm", "RAT_FUNC", "0 1 0 0 0 1")
            + compu("CM_Y", "%", "RAT_FUNC", "0 4 0 0 0 1")
            + chr("K MAP 0x1000 RL_MAP", axis(8, "CM_X") + axis(6, "CM_Y")),
        "characteristicType=MAP; columns=8; rows=6; headerOffset=0x1000; xAxisOffset=0x1004; "
        "yAxisOffset=0x1014; mapOffset=0x1020; zElementSize=1; dataType=0; xElementSize=2; "
        "xUnit=rpm; yUnit=%; yFactor=0.25; xAxisName=INPUT; zColumnMajor=false");

    // The point type must come from AXIS_PTS_X itself, never from NO_AXIS_PTS_X around it.
    const auto curve = [](const QString &lines) -> QString {
        return layout("RL", lines + "\nFNC_VALUES 3 ULONG ROW_DIR DIRECT")
               + chr("K CURVE 0x2000 RL", axis(4));
    };
    row("count and points differ", curve("NO_AXIS_PTS_X 1 UBYTE\nAXIS_PTS_X 2 UWORD"),
        "columns=4; rows=1; xAxisOffset=0x2001; xElementSize=2; mapOffset=0x2009; "
        "zElementSize=4; dataType=3");
    row("points listed first", curve("AXIS_PTS_X 2 SBYTE\nNO_AXIS_PTS_X 1 UWORD"),
        "xAxisOffset=0x2002; xElementSize=1; mapOffset=0x2006");
    row("fixed count not stored", curve("FIX_NO_AXIS_PTS_X 4\nAXIS_PTS_X 1 UBYTE"),
        "xAxisOffset=0x2000; xElementSize=1; mapOffset=0x2004");
    row("no stored points", curve({}), "xAxisOffset=-1; mapOffset=0x2000");

    row("COLUMN_DIR",
        layout("RL", "FNC_VALUES 1 SWORD COLUMN_DIR DIRECT") + chr("K MAP 0x400 RL", axis(3) + axis(2)),
        "zColumnMajor=true; rows=2; columns=3");
    row("VAL_BLK and CUBOID skipped, VALUE 1 x 1",
        chr("BLK VAL_BLK 0x10 RL") + chr("CUB CUBOID 0x20 RL") + chr("V value 0x30 RL_ULONG"),
        "name=V; characteristicType=VALUE; rows=1; columns=1; mapOffset=0x30; zElementSize=4; "
        "dataType=3; sourceKind=1; description=desc V");

    row("reference path",
        layout("RL_FNC", "FNC_VALUES 1 UWORD ROW_DIR DIRECT")
            + layout("RL_AX_COUNT", "NO_AXIS_PTS_X 1 UWORD\nAXIS_PTS_X 2 UBYTE INDEX_INCR DIRECT")
            + compu("CM_N", "rpm", "RAT_FUNC", "0 1 0 0 0 1")
            + "/begin AXIS_PTS AX_X \"\" 0x80000500 N_IN RL_AXIS_UWORD 0 CM_N 10 0 8000\n"
              "/end AXIS_PTS\n"
              "/begin AXIS_PTS AX_Y \"\" 0x600 L_IN RL_AX_COUNT 0 NO_CM 5 0 100 /end AXIS_PTS\n"
            + chr("K MAP 0x1000 RL_FNC", axis(10, "NO_CM", "AXIS_PTS_REF AX_X")
                                            + axis(5, "NO_CM", "AXIS_PTS_REF AX_Y")),
        "mapOffset=0x1000; headerOffset=-1; xAxisOffset=0x500; columns=10; xElementSize=2; "
        "xAxisName=N_IN; xCompuMethod=CM_N; xUnit=rpm; yAxisOffset=0x602; rows=5; "
        "yElementSize=1; yDataType=0; yAxisName=L_IN");
    // An axis described nowhere: the count is the first digit run led and followed by white
    // space in the AXIS_DESCR, else 1.
    const QString missing = "AXIS_PTS_REF MISSING";
    row("missing axis, plain count", chr("K CURVE 0x10 RL_SBYTE", axis(7, "NO_CM", missing)),
        "columns=7; xAxisOffset=-1; zElementSize=1; mapOffset=0x10");
    row("missing axis, count after odd tokens",
        chr("K CURVE 0x10 RL_SBYTE",
            missing + " /begin AXIS_DESCR STD_AXIS I CM 12abc 0 x1 9 -5 +5e1 /end AXIS_DESCR"),
        "columns=9; xAxisOffset=-1");
    row("missing axis, no AXIS_DESCR", chr("K CURVE 0x10 RL_SBYTE", missing),
        "columns=1; xAxisOffset=-1");
}

void TestA2LParser::characteristic()
{
    QFETCH(QString, text);
    QFETCH(QString, fields);
    const A2LParser::Result result = A2LParser::parseText(text);
    QCOMPARE(result.maps.size(), 1);
    QVERIFY(result.errorMessage.isEmpty());
    COMPARE_FIELDS(result.maps.first(), fields);
}

void TestA2LParser::latin1File()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("latin1.a2l");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("/begin CHARACTERISTIC K \"Pressione \xe0 regime\" VALUE 0x10 RL 0 NO_CM 0 1\r\n"
               "/end CHARACTERISTIC\r\n");
    file.close();
    COMPARE_FIELDS(A2LParser::parse(path).maps.value(0), "description=Pressione à regime");
    QCOMPARE(A2LParser::parse(dir.filePath("none.a2l")).errorMessage,
             QStringLiteral("Impossibile aprire il file A2L."));
}

void TestA2LParser::hostileInput_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("maps");
    const QByteArray good = "/begin CHARACTERISTIC GOOD \"\" VALUE 0x10 RL 0 NO_CM 0 1\n"
                            "/end CHARACTERISTIC\n";
    QTest::newRow("never ends, then a good one")
        << QByteArray("/begin CHARACTERISTIC LOST \"\" MAP 0x10 RL 0 NO_CM 0 1\n" + good) << 1;
    QTest::newRow("unbalanced quote, then a good one")
        << QByteArray("/begin CHARACTERISTIC Q \"never closed VALUE 0x10 RL 0 NO_CM 0 1\n" + good)
        << 1;
    QTest::newRow("comments between fields")
        << QByteArray("/begin CHARACTERISTIC C /* name */ \"a/*b\" VALUE /* type */ 0x10 "
                      "// address\n RL 0 NO_CM 0 1 /end CHARACTERISTIC")
        << 1;
    QTest::newRow("absurd point count")
        << QByteArray("/begin RECORD_LAYOUT RL AXIS_PTS_X 1 UWORD FNC_VALUES 2 UWORD ROW_DIR "
                      "/end RECORD_LAYOUT\n/begin CHARACTERISTIC C \"\" CURVE 0x10 RL 0 NO_CM 0 1 "
                      "/begin AXIS_DESCR STD_AXIS I NO_CM 99999999999999 0 1 /end AXIS_DESCR "
                      "/end CHARACTERISTIC")
        << 0;
    // Each of these stays linear only if no block searches to the end of the file on its own.
    QTest::newRow("100000 unterminated blocks")
        << QByteArray("/begin CHARACTERISTIC X \"\" MAP 0x10 RL 0 NO_CM 0 1 /begin AXIS_DESCR ")
               .repeated(100000)
        << 0;
    QTest::newRow("200000 axis openings without counts")
        << QByteArray("/begin CHARACTERISTIC C \"\" CURVE 0x10 RL 0 NO_CM 0 1 AXIS_PTS_REF NONE "
                      + QByteArray("/begin AXIS_DESCR x ").repeated(200000) + "/end CHARACTERISTIC")
        << 1;
    QTest::newRow("100000 open quotes")
        << QByteArray("/begin CHARACTERISTIC X \"").repeated(100000) << 0;
    QByteArray random(4 * 1024 * 1024, Qt::Uninitialized);
    for (char &c : random)
        c = char(nextRandom() >> 16);
    QTest::newRow("random bytes") << random << 0;
}

void TestA2LParser::hostileInput()
{
    QFETCH(QByteArray, text);
    QFETCH(int, maps);
    const A2LParser::Result result = A2LParser::parseText(QString::fromLatin1(text));
    QCOMPARE(result.maps.size(), maps);
    QCOMPARE(result.errorMessage.isEmpty(), maps > 0);
}

void TestA2LParser::mutatedDescription()
{
    QFile file(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const QByteArray alphabet(" \n\"/*0123456789xXAEFZbeginendMAP_\\");
    randomState = 77;
    for (int round = 0; round < 500; ++round) {
        QByteArray text = whole;
        for (int k = 0; k < 6; ++k)
            text[nextRandom() % text.size()] = alphabet.at(nextRandom() % alphabet.size());
        if (round % 4 == 0)
            text.truncate(nextRandom() % text.size());
        const A2LParser::Result result = A2LParser::parseText(QString::fromLatin1(text));
        QCOMPARE(result.maps.isEmpty(), !result.errorMessage.isEmpty());
        for (const MapDefinition &d : result.maps)
            QVERIFY(d.rows >= 1 && d.rows <= 65535 && d.columns >= 1 && d.columns <= 65535
                    && d.mapOffset >= 0);
    }
}

void TestA2LParser::exampleDescribesDemoImage()
{
    Firmware image;
    QVERIFY(image.load(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"));
    const QList<MapDefinition> m = A2LParser::parse(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l").maps;
    QCOMPARE(m.size(), 5);
    const auto x = [&image](const MapDefinition &d) {
        return readXAxis(d, image.data().data(), qint64(image.size()));
    };
    const auto y = [&image](const MapDefinition &d) {
        return readYAxis(d, image.data().data(), qint64(image.size()));
    };
    const auto z = [&image](const MapDefinition &d) {
        return readMapValues(d, image.data().data(), qint64(image.size()));
    };
    COMPARE_FIELDS(m.at(0), "name=Coppia_richiesta; mapOffset=0x10000; rows=12; columns=16; "
                            "unit=Nm; factor=0.1");
    QCOMPARE(x(m.at(0)).constLast(), quint16(960));
    QCOMPARE(y(m.at(0)).constFirst(), quint16(500));
    QCOMPARE(y(m.at(0)).constLast(), quint16(6000));
    QCOMPARE(z(m.at(0)).constFirst(), quint16(800));
    QCOMPARE(x(m.at(1)), QList<quint16>({100, 250, 400, 550, 700, 850, 1000, 1150, 1300, 1450}));
    QCOMPARE(y(m.at(1)).constLast(), quint16(4500));
    COMPARE_FIELDS(m.at(2), "mapOffset=0x13000; columns=16");
    QCOMPARE(x(m.at(2)).constFirst(), quint16(2730));
    QCOMPARE(rawToPhysical(2730, m.at(2).xFactor, m.at(2).xOffsetFactor), 0.0);
    QCOMPARE(z(m.at(2)).constFirst(), quint16(1500));
    COMPARE_FIELDS(m.at(3), "mapOffset=0x14000; xAxisOffset=-1");
    QCOMPARE(z(m.at(3)).size(), 256);
    QCOMPARE(z(m.at(3)).constFirst(), quint16(1000));
    QCOMPARE(z(m.at(4)), QList<quint16>({12}));
}

void TestA2LParser::publicSamples()
{
    const QDir dir(TESSA_SHARED_DATA_DIR "/a2l");
    const QStringList files = dir.entryList({"*.a2l", "*.A2L"}, QDir::Files);
    if (files.isEmpty())
        QSKIP("no public A2L samples here");
    for (const QString &name : files) {
        const A2LParser::Result result = A2LParser::parse(dir.filePath(name));
        QVERIFY2(!result.maps.isEmpty(), qPrintable(name + ": " + result.errorMessage));
        for (const MapDefinition &d : result.maps) {
            // Its curve layout stores a 1-byte count, 1-byte points, then 16-bit values.
            if (name == "ASAP2_Demo_V171.a2l" && d.name == "ASAM.C.CURVE.STD_AXIS")
                COMPARE_FIELDS(d, "xAxisOffset=0x810301; xElementSize=1; columns=8; "
                                  "mapOffset=0x810309; zElementSize=2");
            const QString where = name + ": " + d.name;
            QVERIFY2(d.rows >= 1 && d.columns >= 1 && d.mapOffset >= 0, qPrintable(where));
            QVERIFY2(d.dataType == organisationFor(d.zElementSize, d.littleEndian),
                     qPrintable(where));
            QVERIFY2(d.xAxisOffset < 0
                         || d.xDataType == organisationFor(d.xElementSize, d.xLittleEndian),
                     qPrintable(where));
            QVERIFY2(d.characteristicType != "VALUE" || d.rows * d.columns == 1, qPrintable(where));
            // Axes stored in the same record come before the values.
            QVERIFY2(d.headerOffset < 0 || d.xAxisOffset < d.mapOffset, qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(TestA2LParser)
#include "tst_a2lparser.moc"
