#include "importers/a2lparser.h"
#include "mapfields.h"
#include "model/firmware.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

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
    return "/begin AXIS_DESCR STD_AXIS INPUT " + conversion + u' ' + QString::number(points)
           + " 0 100 " + inner + " /end AXIS_DESCR\n";
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

const QString NoCharacteristic = QStringLiteral("Nessuna CHARACTERISTIC compatibile trovata.");

void row(const char *name, const QString &text, const QString &maps)
{
    QTest::newRow(name) << text << maps;
}

// What every imported map must satisfy, whatever the description says.
bool isSound(const MapDefinition &d)
{
    return d.rows >= 1 && d.rows <= 65535 && d.columns >= 1 && d.columns <= 65535
           && d.mapOffset >= 0 && d.dataType == organisationFor(d.zElementSize, d.littleEndian)
           && (d.xAxisOffset < 0 || d.xDataType == organisationFor(d.xElementSize, d.xLittleEndian))
           && (d.characteristicType != "VALUE" || d.rows * d.columns == 1)
           // Axes stored in the same record come before the values.
           && (d.headerOffset < 0 || d.xAxisOffset < d.mapOffset);
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
    void parse_data()
    {
        // The fields of each map found, in order, separated by '|'.
        testsupport::addColumns<QString, QString>({"text", "maps"});
        // Addresses map onto the image through the 0x80000000..0x80FFFFFF window.
        const auto at = [](const QString &address) { return chr("A VALUE " + address + " RL"); };
        row("window start", at("0x80000000"), "mapOffset=0");
        row("window end", at("0x80FFFFFF"), "mapOffset=0xFFFFFF");
        row("below the window", at("0x7FFFFF00"), "mapOffset=0x7FFFFF00");
        row("past the window", at("0x81000000"), {});
        row("wider than 32 bits", at("0x100000000"), {});
        row("ends at the last offset", chr("A VALUE 0x7FFFFFFE RL_UBYTE"), "mapOffset=0x7FFFFFFE");
        row("ends past the last offset", chr("A VALUE 0x7FFFFFFF RL_UBYTE"), {});
        row("past the window, then one inside", at("0x81000000") + chr("B VALUE 0x80000010 RL"),
            "name=B; mapOffset=0x10");

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
        row("no MOD_COMMON", ordered({}, "UWORD"),
            little + "dataType=1; xDataType=1; zElementSize=2");
        row("MSB_LAST", ordered("MSB_LAST", "UWORD"), little + "dataType=1; xDataType=1");
        row("MSB_FIRST", ordered("MSB_FIRST", "UWORD"), big + "dataType=2; xDataType=2");
        row("msb_first lower case", ordered("msb_first", "SWORD"), big + "dataType=2");
        row("big-endian longs", ordered("MSB_FIRST", "ULONG"),
            big + "dataType=3; xDataType=3; zElementSize=4");

        // Each data type of a record layout gives the values' type; 64-bit ones refuse the map.
        const QString unsignedAxis = "; xValueKind=0";
        row("UBYTE", ordered({}, "UBYTE"), "type=8 Bit; xElementSize=1" + unsignedAxis);
        row("SBYTE", ordered({}, "SBYTE"), "type=8 Bit con segno; xValueKind=1");
        row("UWORD HiLo", ordered("MSB_FIRST", "UWORD"), "type=16 Bit (HiLo)" + unsignedAxis);
        row("SWORD", ordered({}, "SWORD"), "type=16 Bit con segno (LoHi); xValueKind=1");
        row("ULONG", ordered({}, "ULONG"), "type=32 Bit; xElementSize=4" + unsignedAxis);
        row("SLONG HiLo", ordered("MSB_FIRST", "SLONG"), "type=32 Bit con segno (HiLo)");
        row("FLOAT32_IEEE", ordered({}, "FLOAT32_IEEE"), "type=32 Bit float (LoHi); xValueKind=2");
        row("FLOAT64_IEEE", ordered({}, "FLOAT64_IEEE"), {});
        row("A_UINT64 points",
            layout("L", "AXIS_PTS_X 1 A_UINT64\nFNC_VALUES 2 UWORD ROW_DIR")
                + chr("K CURVE 0x100 L", axis(4)) + chr("V VALUE 0x10 L"),
            "name=V; type=16 Bit (LoHi)");
        row("a VALUE takes its layout's type, whatever the layout's name",
            layout("RL", "FNC_VALUES 1 SLONG ROW_DIR DIRECT") + chr("V VALUE 0x10 RL"),
            "zElementSize=4; type=32 Bit con segno (LoHi)");
        row("without a layout the name tells", chr("V VALUE 0x10 RL_SWORD"),
            "type=16 Bit con segno (LoHi)");

        const auto ratFunc = [](const QString &type, const QString &coeffs) -> QString {
            return compu("CM", "bar", type, coeffs) + chr("K VALUE 0x10 RL_UWORD", {}, "CM");
        };
        const QString unscaled = "factor=1; offset=0";
        row("RAT_FUNC identity", ratFunc("RAT_FUNC", "0 1 0 0 0 1"),
            "compuMethod=CM; unit=bar; decimals=2; " + unscaled);
        row("RAT_FUNC half minus five", ratFunc("RAT_FUNC", "0 2 10 0 0 1"),
            "factor=0.5; offset=-5");
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
            "yAxisOffset=0x1014; mapOffset=0x1020; zElementSize=1; organisation=8 Bit; "
            "xElementSize=2; xUnit=rpm; yUnit=%; yFactor=0.25; xAxisName=INPUT; "
            "zColumnMajor=false");

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
            layout("RL", "FNC_VALUES 1 SWORD COLUMN_DIR DIRECT")
                + chr("K MAP 0x400 RL", axis(3) + axis(2)),
            "zColumnMajor=true; rows=2; columns=3");
        row("VAL_BLK and CUBOID skipped, VALUE 1 x 1",
            chr("BLK VAL_BLK 0x10 RL") + chr("CUB CUBOID 0x20 RL") + chr("V value 0x30 RL_ULONG"),
            "name=V; characteristicType=VALUE; rows=1; columns=1; mapOffset=0x30; zElementSize=4; "
            "dataType=3; sourceKind=1; description=desc V");

        row("reference path",
            layout("RL_FNC", "FNC_VALUES 1 UWORD ROW_DIR DIRECT")
                + layout("RL_AX_COUNT",
                         "NO_AXIS_PTS_X 1 UWORD\nAXIS_PTS_X 2 UBYTE INDEX_INCR DIRECT")
                + compu("CM_N", "rpm", "RAT_FUNC", "0 1 0 0 0 1")
                + "/begin AXIS_PTS AX_X \"\" 0x80000500 N_IN RL_AXIS_UWORD 0 CM_N 10 0 8000\n"
                  "/end AXIS_PTS\n"
                  "/begin AXIS_PTS AX_Y \"\" 0x600 L_IN RL_AX_COUNT 0 NO_CM 5 0 100 /end AXIS_PTS\n"
                + chr("K MAP 0x1000 RL_FNC", axis(10, "NO_CM", "AXIS_PTS_REF AX_X")
                                                 + axis(5, "NO_CM", "AXIS_PTS_REF AX_Y")),
            "mapOffset=0x1000; headerOffset=-1; xAxisOffset=0x500; columns=10; xElementSize=2; "
            "xAxisName=N_IN; xCompuMethod=CM_N; xUnit=rpm; yAxisOffset=0x602; rows=5; "
            "yElementSize=1; yDataType=0; yAxisName=L_IN");
        // The characteristic's own layout sets the Z elements on this path too (the name alone
        // would guess 16 bits here).
        const auto byReference = [](const QString &fnc) -> QString {
            return layout("RL_F", "FNC_VALUES 1 " + fnc + " DIRECT")
                   + "/begin AXIS_PTS AX \"\" 0x500 IN RL_AXIS_UWORD 0 NO_CM 4 0 1 /end AXIS_PTS\n"
                   + chr("K MAP 0x1000 RL_F",
                         axis(4, "NO_CM", "AXIS_PTS_REF AX") + axis(4, "NO_CM", "AXIS_PTS_REF AX"));
        };
        row("reference path, FNC_VALUES COLUMN_DIR", byReference("UBYTE COLUMN_DIR"),
            "zElementSize=1; dataType=0; zColumnMajor=true; mapOffset=0x1000");
        row("reference path, FNC_VALUES ROW_DIR", byReference("ULONG ROW_DIR"),
            "zElementSize=4; dataType=3; zColumnMajor=false");

        // A referenced axis gives its count, name and scaling wherever its values lie; an
        // address outside the window loses only the offset.
        const auto referenced = [](const QString &address, const QString &points) -> QString {
            return compu("CM_N", "rpm", "RAT_FUNC", "0 4 0 0 0 1") + "/begin AXIS_PTS AX \"\" "
                   + address + " N_IN RL_AXIS_UBYTE 0 CM_N " + points + " 0 8000 /end AXIS_PTS\n"
                   + chr("K MAP 0x80001000 RL_UWORD", axis(20, "NO_CM", "AXIS_PTS_REF AX")
                                                          + axis(30, "NO_CM", "AXIS_PTS_REF AX"));
        };
        const QString axisFacts = "columns=3; rows=3; mapOffset=0x1000; xAxisName=N_IN; "
                                  "xCompuMethod=CM_N; xUnit=rpm; xFactor=0.25; xElementSize=1; "
                                  "xDataType=0; yAxisName=N_IN; yUnit=rpm; yFactor=0.25; "
                                  "yElementSize=1";
        row("axis points at the window end", referenced("0x80FFFFFF", "3"),
            axisFacts + "; xAxisOffset=0xFFFFFF; yAxisOffset=0xFFFFFF");
        row("axis points past the window", referenced("0x81000000", "3"),
            axisFacts + "; xAxisOffset=-1; yAxisOffset=-1");
        // The count is the axis's own: a 0-point axis leaves no map to show.
        row("axis points of one point", referenced("0x81000000", "1"), "columns=1; rows=1");
        row("axis points of no point", referenced("0x80000500", "0"), {});
        row("axis of 65535 points", chr("C CURVE 0x10 RL_UBYTE", axis(65535)), "columns=65535");
        row("axis of 65536 points", chr("C CURVE 0x10 RL_UBYTE", axis(65536)), {});
        row("axis description of no point",
            layout("RL", "AXIS_PTS_X 1 UWORD\nFNC_VALUES 2 UWORD ROW_DIR DIRECT")
                + chr("C CURVE 0x10 RL", axis(0)) + chr("M MAP 0x20 RL", axis(2) + axis(0))
                + chr("ONE CURVE 0x30 RL", axis(1)),
            "name=ONE; columns=1");
        // Neither axis of a MAP described anywhere: X counts as a CURVE's would, Y takes the
        // maximum of its own AXIS_DESCR.
        row("missing axes of a map",
            chr("K MAP 0x10 RL_SBYTE",
                axis(7, "NO_CM", "AXIS_PTS_REF MISSING") + axis(5, "NO_CM", "AXIS_PTS_REF NONE")),
            "columns=7; rows=5; xAxisOffset=-1; yAxisOffset=-1; mapOffset=0x10");
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
        const QString good = chr("GOOD VALUE 0x10 RL");
        row("never ends, then a good one",
            "/begin CHARACTERISTIC L \"\" MAP 0x10 RL 0 NO_CM 0 1\n" + good, "name=GOOD");
        row("unbalanced quote, then a good one",
            "/begin CHARACTERISTIC Q \"never closed VALUE 0x10 RL 0 NO_CM 0 1\n" + good,
            "name=GOOD");
        row("comments between fields",
            "/begin CHARACTERISTIC C /* name */ \"a/*b\" VALUE /* type */ 0x10 // address\n RL 0 "
            "NO_CM 0 1 /end CHARACTERISTIC",
            "name=C; mapOffset=0x10");
        row("escaped quote in a text",
            "/begin CHARACTERISTIC C \"a\\\"/*b\" VALUE 0x10 RL 0 NO_CM 0 1 /end CHARACTERISTIC",
            "name=C; description=a\"/*b; mapOffset=0x10");
        row("a second /end closes nothing", good + "/end CHARACTERISTIC\n", "name=GOOD");
        // Group paths: the defining FUNCTION (below the function that lists it as a sub),
        // else a GROUP, else a FUNCTION that refers to the characteristic.
        const QString abc = chr("A VALUE 0x80000000 RL") + chr("B VALUE 0x80000010 RL")
                            + chr("C VALUE 0x80000020 RL");
        const auto list = [](const QString &keyword, const QString &names) -> QString {
            return "/begin " + keyword + u' ' + names + " /end " + keyword + u' ';
        };
        row("groups from FUNCTION and GROUP",
            abc + "/begin FUNCTION Accensione \"\" " + list("SUB_FUNCTION", "Base")
                + "/end FUNCTION\n/begin FUNCTION Base \"\" " + list("DEF_CHARACTERISTIC", "A")
                + list("REF_CHARACTERISTIC", "C") + "/end FUNCTION\n/begin GROUP Turbo \"\" "
                + list("REF_CHARACTERISTIC", "A B") + "/end GROUP\n",
            "group=Accensione/Base|group=Turbo|group=Accensione/Base");
        row("the characteristic's own FUNCTION_LIST",
            chr("A VALUE 0x80000000 RL", list("FUNCTION_LIST", "Minimo Avviamento")),
            "group=Minimo");
        row("sub-functions in a cycle",
            chr("A VALUE 0x80000000 RL") + "/begin FUNCTION F1 \"\" " + list("SUB_FUNCTION", "F2")
                + "/end FUNCTION /begin FUNCTION F2 \"\" " + list("SUB_FUNCTION", "F1")
                + list("DEF_CHARACTERISTIC", "A") + "/end FUNCTION",
            "group=F1/F2");
        row("absurd point count",
            layout("RL", "AXIS_PTS_X 1 UWORD FNC_VALUES 2 UWORD ROW_DIR")
                + chr("C CURVE 0x10 RL", "/begin AXIS_DESCR STD_AXIS I NO_CM 99999999999999 0 1 "
                                         "/end AXIS_DESCR"),
            {});
        // Each of these stays linear only if no block searches to the end of the file on its own.
        row("100000 unterminated blocks",
            QString("/begin CHARACTERISTIC X \"\" MAP 0x10 RL 0 NO_CM 0 1 /begin AXIS_DESCR ")
                .repeated(100000),
            {});
        row("200000 axis openings without counts",
            chr("C CURVE 0x10 RL",
                "AXIS_PTS_REF NONE " + QString("/begin AXIS_DESCR x ").repeated(200000)),
            "columns=1");
        row("100000 open quotes", QString("/begin CHARACTERISTIC X \"").repeated(100000), {});
        QByteArray random(4 * 1024 * 1024, Qt::Uninitialized);
        for (char &c : random)
            c = char(nextRandom() >> 16);
        row("random bytes", QString::fromLatin1(random), {});
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, maps);
        const A2LParser::Result result = A2LParser::parseText(text);
        const QStringList expected = maps.split(u'|', Qt::SkipEmptyParts);
        QCOMPARE(result.maps.size(), expected.size());
        QCOMPARE(result.errorMessage, expected.isEmpty() ? NoCharacteristic : QString());
        for (qsizetype i = 0; i < expected.size(); ++i)
            COMPARE_FIELDS(result.maps.at(i), expected.at(i));

        // A file drops its comments before it is widened to UTF-16: the same maps either way.
        QTemporaryDir dir;
        QFile file(dir.filePath("text.a2l"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toLatin1());
        file.close();
        QCOMPARE(A2LParser::parse(file.fileName()).maps, result.maps);
    }

    void refusedMapsAreNamed()
    {
        const QString text = layout("L64", "FNC_VALUES 1 FLOAT64_IEEE ROW_DIR DIRECT")
                             + chr("DOUBLE VALUE 0x10 L64") + chr("WORD VALUE 0x20 RL_UWORD");
        const A2LParser::Result result = A2LParser::parseText(text);
        QCOMPARE(result.maps.size(), 1);
        QCOMPARE(result.refused,
                 QStringList{"DOUBLE: tipo di dato FLOAT64_IEEE non supportato (64 bit), mappa non "
                             "importata."});
        QCOMPARE(A2LParser::refusalSummary({}), QString());
        QStringList many;
        for (int i = 1; i <= 21; ++i)
            many.append(QString::number(i));
        const QString summary = A2LParser::refusalSummary(many);
        QVERIFY(summary.startsWith("\n\nMappe non importate: 21\n1\n"));
        QVERIFY(summary.endsWith("\n20\n... e altre 1."));
        QVERIFY(A2LParser::refusalSummary(many.mid(1)).endsWith("\n21"));
    }

    void latin1File()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("latin1.a2l");
        QVERIFY(
            !testsupport::writeFile(
                 path,
                 "/begin CHARACTERISTIC K \"Pressione \xe0 regime\" VALUE 0x10 RL 0 NO_CM 0 1\r\n"
                 "/end CHARACTERISTIC\r\n")
                 .isEmpty());
        COMPARE_FIELDS(A2LParser::parse(path).maps.value(0), "description=Pressione à regime");
        QCOMPARE(A2LParser::parse(dir.filePath("none.a2l")).errorMessage,
                 QStringLiteral("Impossibile aprire il file A2L."));
    }

    void mutatedDescription()
    {
        const QByteArray whole = testsupport::readFile(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l");
        QVERIFY(!whole.isEmpty());
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
                QVERIFY2(isSound(d), qPrintable(d.name));
        }
    }

    void exampleDescribesDemoImage()
    {
        Firmware image;
        QVERIFY(image.load(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"));
        const auto m = A2LParser::parse(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l").maps;
        QCOMPARE(m.size(), 5);
        const uint8_t *bytes = image.data().data();
        const qint64 n = qint64(image.size());
        COMPARE_FIELDS(m.at(0), "name=Coppia_richiesta; rows=12; columns=16; unit=Nm; factor=0.1");
        QCOMPARE(readXAxis(m.at(0), bytes, n).constLast(), 960.0);
        QCOMPARE(readYAxis(m.at(0), bytes, n).constLast(), 6000.0);
        QCOMPARE(readMapValues(m.at(0), bytes, n).constFirst(), 800.0);
        QCOMPARE(readXAxis(m.at(1), bytes, n),
                 QList<double>({100, 250, 400, 550, 700, 850, 1000, 1150, 1300, 1450}));
        QCOMPARE(readYAxis(m.at(1), bytes, n).constLast(), 4500.0);
        QCOMPARE(readXAxis(m.at(2), bytes, n).constFirst(), 2730.0);
        QCOMPARE(rawToPhysical(2730, m.at(2).xFactor, m.at(2).xOffsetFactor), 0.0);
        QCOMPARE(readMapValues(m.at(2), bytes, n).constFirst(), 1500.0);
        QCOMPARE(readMapValues(m.at(3), bytes, n).size(), 256);
        QCOMPARE(readMapValues(m.at(3), bytes, n).constFirst(), 1000.0);
        QCOMPARE(readMapValues(m.at(4), bytes, n), QList<double>({12}));
    }

    void publicSamples()
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
                // Its AxisPts_01 lies at 0xEE001134, outside the window: 2 points, CompuMethod_08.
                if (name == "example-a2l-file.a2l" && d.name == "Characteristic_16")
                    COMPARE_FIELDS(d, "columns=2; xAxisOffset=-1; xCompuMethod=CompuMethod_08; "
                                      "xUnit=V; xFactor=0.001221001221001221; xOffsetFactor=0; "
                                      "xAxisName=NO_INPUT_QUANTITY");
                QVERIFY2(isSound(d), qPrintable(name + ": " + d.name));
            }
            if (name == "ASAP2_Demo_V171.a2l")
                demoValuesAreTrue(result);
        }
    }

    // The demo's scalars of each type, read from an image that holds -5 (as bytes FB FF FF FF,
    // or the float -2.5) at their addresses, show their true values; its FLOAT64 ones are named
    // as refused.
    void demoValuesAreTrue(const A2LParser::Result &result)
    {
        QByteArray image(0x820000, '\0');
        const QByteArray minusFive("\xFB\xFF\xFF\xFF");
        const QByteArray minusTwoAndAHalf("\x00\x00\x20\xC0", 4);
        const QList<QPair<QString, double>> expected = {
            {"ASAM.C.SCALAR.UBYTE.IDENTICAL", 251},          {"ASAM.C.SCALAR.SBYTE.IDENTICAL", -5},
            {"ASAM.C.SCALAR.UWORD.IDENTICAL", 65531},        {"ASAM.C.SCALAR.SWORD.IDENTICAL", -5},
            {"ASAM.C.SCALAR.ULONG.IDENTICAL", 4294967291.0}, {"ASAM.C.SCALAR.SLONG.IDENTICAL", -5},
            {"ASAM.C.SCALAR.FLOAT32_IEEE.IDENTICAL", -2.5}};
        for (const auto &entry : expected) {
            const QString &map = entry.first;
            const double value = entry.second;
            const auto found = std::find_if(result.maps.cbegin(), result.maps.cend(),
                                            [&](const MapDefinition &d) { return d.name == map; });
            QVERIFY2(found != result.maps.cend(), qPrintable(map));
            image.replace(found->mapOffset, 4, value == -2.5 ? minusTwoAndAHalf : minusFive);
            const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
            QCOMPARE(readMapValues(*found, bytes, image.size()), QList<double>{value});
        }
        QCOMPARE(result.refused.size(), 4);
        QVERIFY(result.refused.constFirst().startsWith("ASAM.C.SCALAR.FLOAT64_IEEE.IDENTICAL: "));
    }
};

QTEST_GUILESS_MAIN(TestA2LParser)
#include "tst_a2lparser.moc"
