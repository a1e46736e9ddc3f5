#include "importers/a2lparser.h"
#include "model/firmware.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString characteristic(const QString &name,
                       const QString &type,
                       const QString &address,
                       const QString &layout,
                       const QString &conversion = QStringLiteral("NO_CM"),
                       const QString &inner = QString())
{
    return QStringLiteral("/begin CHARACTERISTIC %1 \"desc %1\" %2 %3 %4 0 %5 0 100\n%6\n"
                          "/end CHARACTERISTIC\n")
        .arg(name, type, address, layout, conversion, inner);
}

QString axisDescr(int points,
                  const QString &conversion = QStringLiteral("NO_CM"),
                  const QString &inner = QString())
{
    return QStringLiteral("/begin AXIS_DESCR STD_AXIS INPUT %1 %2 0 100\n%3\n/end AXIS_DESCR\n")
        .arg(conversion)
        .arg(points)
        .arg(inner);
}

QString layout(const QString &name, const QString &lines)
{
    return QStringLiteral("/begin RECORD_LAYOUT %1\n%2\n/end RECORD_LAYOUT\n").arg(name, lines);
}

QString compu(const QString &name, const QString &type, const QString &unit, const QString &coeffs)
{
    return QStringLiteral("/begin COMPU_METHOD %1 \"\" %2 \"%%6.2\" \"%3\"\nCOEFFS %4\n"
                          "/end COMPU_METHOD\n")
        .arg(name, type, unit, coeffs);
}

MapDefinition only(const A2LParser::Result &result)
{
    if (result.maps.size() != 1)
        qWarning() << "maps:" << result.maps.size() << result.errorMessage;
    return result.maps.value(0);
}

} // namespace

class TestA2LParser : public QObject
{
    Q_OBJECT
private slots:
    void addressRule_data();
    void addressRule();
    void addressWindowInFile();
    void byteOrder_data();
    void byteOrder();
    void ratFuncScaling_data();
    void ratFuncScaling();
    void recordLayoutPath();
    void layoutKeywordsStandAlone_data();
    void layoutKeywordsStandAlone();
    void columnDirection();
    void onlyValueCurveMap();
    void referencePath();
    void referenceMissingFallsBackToPointCount_data();
    void referenceMissingFallsBackToPointCount();
    void noCharacteristic();
    void unreadableFile();
    void latin1Text();
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
    QTest::newRow("plain offset") << "0x12345" << qint64(0x12345);
    QTest::newRow("window end") << "0x80FFFFFF" << qint64(0xFFFFFF);
    QTest::newRow("past window") << "0x81000000" << qint64(-1);
    QTest::newRow("top of range") << "0xFFFFFFFF" << qint64(-1);
    QTest::newRow("below window") << "0x7FFFFFFF" << qint64(0x7FFFFFFF);
    QTest::newRow("wider than 32 bits") << "0x100000000" << qint64(-1);
    QTest::newRow("blanks trimmed") << " 0x10 " << qint64(16);
    QTest::newRow("decimal") << "4096" << qint64(4096);
    QTest::newRow("not a number") << "0xZZ" << qint64(-1);
}

void TestA2LParser::addressRule()
{
    QFETCH(QString, address);
    QFETCH(qint64, offset);
    QCOMPARE(A2LParser::addressToOffset(address), offset);
}

void TestA2LParser::addressWindowInFile()
{
    const QString text = characteristic(QStringLiteral("A"), QStringLiteral("VALUE"),
                                        QStringLiteral("0x80012345"), QStringLiteral("RL"))
                         + characteristic(QStringLiteral("B"), QStringLiteral("VALUE"),
                                          QStringLiteral("0x81000000"), QStringLiteral("RL"))
                         + characteristic(QStringLiteral("C"), QStringLiteral("VALUE"),
                                          QStringLiteral("0x12345"), QStringLiteral("RL"));
    const A2LParser::Result result = A2LParser::parseText(text);
    QCOMPARE(result.maps.size(), 2);
    QCOMPARE(result.maps.at(0).name, QStringLiteral("A"));
    QCOMPARE(result.maps.at(0).mapOffset, 0x12345);
    QCOMPARE(result.maps.at(1).name, QStringLiteral("C"));
    QCOMPARE(result.maps.at(1).mapOffset, 0x12345);
    QVERIFY(result.errorMessage.isEmpty());
}

void TestA2LParser::byteOrder_data()
{
    QTest::addColumn<QString>("modCommon");
    QTest::addColumn<QString>("dataType");
    QTest::addColumn<bool>("littleEndian");
    QTest::addColumn<int>("organisation");
    const QString begin = QStringLiteral("/begin MOD_COMMON \"\" DEPOSIT ABSOLUTE BYTE_ORDER ");
    const QString end = QStringLiteral(" ALIGNMENT_BYTE 1 /end MOD_COMMON\n");
    QTest::newRow("no MOD_COMMON") << QString() << "UWORD" << true << 1;
    QTest::newRow("MSB_LAST") << begin + "MSB_LAST" + end << "UWORD" << true << 1;
    QTest::newRow("MSB_FIRST") << begin + "MSB_FIRST" + end << "UWORD" << false << 2;
    QTest::newRow("msb_first lower case") << begin + "msb_first" + end << "SWORD" << false << 2;
    QTest::newRow("big-endian bytes") << begin + "MSB_FIRST" + end << "UBYTE" << false << 0;
    QTest::newRow("big-endian longs") << begin + "MSB_FIRST" + end << "ULONG" << false << 3;
}

void TestA2LParser::byteOrder()
{
    QFETCH(QString, modCommon);
    QFETCH(QString, dataType);
    QFETCH(bool, littleEndian);
    QFETCH(int, organisation);
    const QString text
        = modCommon
          + layout(QStringLiteral("L"), QStringLiteral("NO_AXIS_PTS_X 1 UBYTE\nAXIS_PTS_X 2 %1\n"
                                                       "FNC_VALUES 3 %1 ROW_DIR DIRECT")
                                            .arg(dataType))
          + characteristic(QStringLiteral("K"), QStringLiteral("CURVE"), QStringLiteral("0x100"),
                           QStringLiteral("L"), QStringLiteral("NO_CM"), axisDescr(4));
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.littleEndian, littleEndian);
    QCOMPARE(d.xLittleEndian, littleEndian);
    QCOMPARE(d.yLittleEndian, littleEndian);
    QCOMPARE(d.dataType, organisation);
    QCOMPARE(d.xDataType, organisation);
    QCOMPARE(elementSizeOfOrganisation(d.dataType), d.zElementSize);
}

void TestA2LParser::ratFuncScaling_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("coeffs");
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("offset");
    QTest::newRow("identity") << "RAT_FUNC"
                              << "0 1 0 0 0 1" << 1.0 << 0.0;
    QTest::newRow("half minus five") << "RAT_FUNC"
                                     << "0 2 10 0 0 1" << 0.5 << -5.0;
    QTest::newRow("lower-case type") << "rat_func"
                                     << "0 4 0 0 0 2" << 0.5 << 0.0;
    QTest::newRow("d not zero") << "RAT_FUNC"
                                << "0 2 10 1 0 1" << 1.0 << 0.0;
    QTest::newRow("a not zero") << "RAT_FUNC"
                                << "1 2 10 0 0 1" << 1.0 << 0.0;
    QTest::newRow("b zero") << "RAT_FUNC"
                            << "0 0 10 0 0 1" << 1.0 << 0.0;
    QTest::newRow("not RAT_FUNC") << "TAB_INTP"
                                  << "0 2 10 0 0 1" << 1.0 << 0.0;
}

void TestA2LParser::ratFuncScaling()
{
    QFETCH(QString, type);
    QFETCH(QString, coeffs);
    QFETCH(double, factor);
    QFETCH(double, offset);
    const QString text
        = compu(QStringLiteral("CM"), type, QStringLiteral("bar"), coeffs)
          + characteristic(QStringLiteral("K"), QStringLiteral("VALUE"), QStringLiteral("0x10"),
                           QStringLiteral("RL_UWORD"), QStringLiteral("CM"));
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.compuMethod, QStringLiteral("CM"));
    QCOMPARE(d.unit, QStringLiteral("bar"));
    QCOMPARE(d.factor, factor);
    QCOMPARE(d.offset, offset);
    QCOMPARE(d.decimals, 2);
}

void TestA2LParser::recordLayoutPath()
{
    const QString text
        = layout(QStringLiteral("RL_MAP"),
                 QStringLiteral("NO_AXIS_PTS_X 1 UWORD\nNO_AXIS_PTS_Y 2 UWORD\n"
                                "AXIS_PTS_X 3 UWORD INDEX_INCR DIRECT\n"
                                "AXIS_PTS_Y 4 UWORD INDEX_INCR DIRECT\n"
                                "FNC_VALUES 5 UBYTE ROW_DIR DIRECT"))
          + compu(QStringLiteral("CM_X"), QStringLiteral("RAT_FUNC"), QStringLiteral("rpm"),
                  QStringLiteral("0 1 0 0 0 1"))
          + compu(QStringLiteral("CM_Y"), QStringLiteral("RAT_FUNC"), QStringLiteral("%"),
                  QStringLiteral("0 4 0 0 0 1"))
          + characteristic(QStringLiteral("K"), QStringLiteral("MAP"), QStringLiteral("0x1000"),
                           QStringLiteral("RL_MAP"), QStringLiteral("NO_CM"),
                           axisDescr(8, QStringLiteral("CM_X"))
                               + axisDescr(6, QStringLiteral("CM_Y")));
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.characteristicType, QStringLiteral("MAP"));
    QCOMPARE(d.columns, 8);
    QCOMPARE(d.rows, 6);
    QCOMPARE(d.headerOffset, 0x1000);
    QCOMPARE(d.xAxisOffset, 0x1004);
    QCOMPARE(d.yAxisOffset, 0x1014);
    QCOMPARE(d.mapOffset, 0x1020);
    QCOMPARE(d.zElementSize, 1);
    QCOMPARE(organisationLabel(d.dataType), QStringLiteral("8 Bit"));
    QCOMPARE(d.xElementSize, 2);
    QCOMPARE(d.xUnit, QStringLiteral("rpm"));
    QCOMPARE(d.yUnit, QStringLiteral("%"));
    QCOMPARE(d.yFactor, 0.25);
    QCOMPARE(d.xAxisName, QStringLiteral("INPUT"));
    QVERIFY(!d.zColumnMajor);
}

void TestA2LParser::layoutKeywordsStandAlone_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<int>("xAxisOffset");
    QTest::addColumn<int>("xElementSize");
    QTest::addColumn<int>("mapOffset");
    QTest::addColumn<int>("zElementSize");
    // A count of one byte, then 16-bit points: the point type must not be taken from the count.
    QTest::newRow("count and points differ")
        << "NO_AXIS_PTS_X 1 UBYTE\nAXIS_PTS_X 2 UWORD INDEX_INCR DIRECT\nFNC_VALUES 3 ULONG "
           "ROW_DIR DIRECT"
        << 0x2001 << 2 << 0x2009 << 4;
    QTest::newRow("points listed first")
        << "AXIS_PTS_X 2 SBYTE INDEX_INCR DIRECT\nNO_AXIS_PTS_X 1 ULONG\nFNC_VALUES 3 UWORD "
           "ROW_DIR DIRECT"
        << 0x2004 << 1 << 0x2008 << 2;
    // A fixed count is not stored in the record.
    QTest::newRow("fixed count")
        << "FIX_NO_AXIS_PTS_X 4\nAXIS_PTS_X 1 UBYTE INDEX_INCR DIRECT\nFNC_VALUES 2 UWORD "
           "ROW_DIR DIRECT"
        << 0x2000 << 1 << 0x2004 << 2;
    // No stored points at all: the axis is not read from the record.
    QTest::newRow("no points line")
        << "FNC_VALUES 1 UWORD ROW_DIR DIRECT" << -1 << 2 << 0x2000 << 2;
}

void TestA2LParser::layoutKeywordsStandAlone()
{
    QFETCH(QString, lines);
    QFETCH(int, xAxisOffset);
    QFETCH(int, xElementSize);
    QFETCH(int, mapOffset);
    QFETCH(int, zElementSize);
    const QString text
        = layout(QStringLiteral("RL"), lines)
          + characteristic(QStringLiteral("K"), QStringLiteral("CURVE"), QStringLiteral("0x2000"),
                           QStringLiteral("RL"), QStringLiteral("NO_CM"), axisDescr(4));
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.columns, 4);
    QCOMPARE(d.rows, 1);
    QCOMPARE(d.xAxisOffset, xAxisOffset);
    QCOMPARE(d.xElementSize, xElementSize);
    QCOMPARE(d.mapOffset, mapOffset);
    QCOMPARE(d.zElementSize, zElementSize);
    QCOMPARE(d.dataType, organisationFor(zElementSize, true));
}

void TestA2LParser::columnDirection()
{
    const QString text
        = layout(QStringLiteral("RL"), QStringLiteral("FNC_VALUES 1 SWORD COLUMN_DIR DIRECT"))
          + characteristic(QStringLiteral("K"), QStringLiteral("MAP"), QStringLiteral("0x400"),
                           QStringLiteral("RL"), QStringLiteral("NO_CM"),
                           axisDescr(3) + axisDescr(2));
    const MapDefinition d = only(A2LParser::parseText(text));
    QVERIFY(d.zColumnMajor);
    QCOMPARE(d.rows, 2);
    QCOMPARE(d.columns, 3);
}

void TestA2LParser::onlyValueCurveMap()
{
    const QString text = characteristic(QStringLiteral("BLK"), QStringLiteral("VAL_BLK"),
                                        QStringLiteral("0x10"), QStringLiteral("RL"))
                         + characteristic(QStringLiteral("CUB"), QStringLiteral("CUBOID"),
                                          QStringLiteral("0x20"), QStringLiteral("RL"))
                         + characteristic(QStringLiteral("V"), QStringLiteral("value"),
                                          QStringLiteral("0x30"), QStringLiteral("RL_ULONG"));
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.name, QStringLiteral("V"));
    QCOMPARE(d.characteristicType, QStringLiteral("VALUE"));
    QCOMPARE(d.rows, 1);
    QCOMPARE(d.columns, 1);
    QCOMPARE(d.mapOffset, 0x30);
    QCOMPARE(d.zElementSize, 4);
    QCOMPARE(d.dataType, int(Organisation32Bit));
    QCOMPARE(d.sourceKind, int(MapDefinition::SourceA2L));
    QCOMPARE(d.description, QStringLiteral("desc V"));
}

void TestA2LParser::referencePath()
{
    const QString text
        = layout(QStringLiteral("RL_FNC"), QStringLiteral("FNC_VALUES 1 UWORD ROW_DIR DIRECT"))
          + layout(QStringLiteral("RL_AX_COUNT"),
                   QStringLiteral("NO_AXIS_PTS_X 1 UWORD\nAXIS_PTS_X 2 UBYTE INDEX_INCR DIRECT"))
          + compu(QStringLiteral("CM_N"), QStringLiteral("RAT_FUNC"), QStringLiteral("rpm"),
                  QStringLiteral("0 1 0 0 0 1"))
          + QStringLiteral(
              "/begin AXIS_PTS AX_X \"\" 0x80000500 N_IN RL_AXIS_UWORD 0 CM_N 10 0 8000\n"
              "/end AXIS_PTS\n"
              "/begin AXIS_PTS AX_Y \"\" 0x600 L_IN RL_AX_COUNT 0 NO_CM 5 0 100\n"
              "/end AXIS_PTS\n")
          + characteristic(
              QStringLiteral("K"), QStringLiteral("MAP"), QStringLiteral("0x1000"),
              QStringLiteral("RL_FNC"), QStringLiteral("NO_CM"),
              axisDescr(10, QStringLiteral("NO_CM"), QStringLiteral("AXIS_PTS_REF AX_X"))
                  + axisDescr(5, QStringLiteral("NO_CM"), QStringLiteral("AXIS_PTS_REF AX_Y")));
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.mapOffset, 0x1000);
    QCOMPARE(d.headerOffset, -1);
    QCOMPARE(d.xAxisOffset, 0x500);
    QCOMPARE(d.columns, 10);
    QCOMPARE(d.xElementSize, 2);
    QCOMPARE(d.xAxisName, QStringLiteral("N_IN"));
    QCOMPARE(d.xCompuMethod, QStringLiteral("CM_N"));
    QCOMPARE(d.xUnit, QStringLiteral("rpm"));
    // The axis record keeps its count in front of the points.
    QCOMPARE(d.yAxisOffset, 0x602);
    QCOMPARE(d.rows, 5);
    QCOMPARE(d.yElementSize, 1);
    QCOMPARE(d.yDataType, int(Organisation8Bit));
    QCOMPARE(d.yAxisName, QStringLiteral("L_IN"));
}

void TestA2LParser::referenceMissingFallsBackToPointCount_data()
{
    QTest::addColumn<QString>("axes");
    QTest::addColumn<int>("columns");
    QTest::newRow("plain axis") << axisDescr(7, QStringLiteral("NO_CM"),
                                             QStringLiteral("AXIS_PTS_REF MISSING"))
                                << 7;
    // The count is the first digit run led and followed by white space, then two numbers.
    QTest::newRow("count after odd tokens")
        << "AXIS_PTS_REF MISSING /begin AXIS_DESCR STD_AXIS I CM 12abc 0 x1 9 -5 +5e1 "
           "/end AXIS_DESCR"
        << 9;
    QTest::newRow("no axis at all") << "AXIS_PTS_REF MISSING" << 1;
}

void TestA2LParser::referenceMissingFallsBackToPointCount()
{
    QFETCH(QString, axes);
    QFETCH(int, columns);
    // No RECORD_LAYOUT at all: the reference path, with an axis that is nowhere described.
    const QString text
        = characteristic(QStringLiteral("K"), QStringLiteral("CURVE"), QStringLiteral("0x10"),
                         QStringLiteral("RL_SBYTE"), QStringLiteral("NO_CM"), axes);
    const MapDefinition d = only(A2LParser::parseText(text));
    QCOMPARE(d.columns, columns);
    QCOMPARE(d.xAxisOffset, -1);
    QCOMPARE(d.zElementSize, 1);
    QCOMPARE(d.mapOffset, 0x10);
}

void TestA2LParser::noCharacteristic()
{
    const A2LParser::Result result = A2LParser::parseText(
        layout(QStringLiteral("RL"), QStringLiteral("FNC_VALUES 1 UWORD ROW_DIR DIRECT")));
    QVERIFY(result.maps.isEmpty());
    QCOMPARE(result.errorMessage, QStringLiteral("Nessuna CHARACTERISTIC compatibile trovata."));
}

void TestA2LParser::unreadableFile()
{
    QTemporaryDir dir;
    const A2LParser::Result result = A2LParser::parse(dir.filePath(QStringLiteral("missing.a2l")));
    QVERIFY(result.maps.isEmpty());
    QCOMPARE(result.errorMessage, QStringLiteral("Impossibile aprire il file A2L."));
}

void TestA2LParser::latin1Text()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("latin1.a2l"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("/begin CHARACTERISTIC K \"Pressione \xe0 regime\" VALUE 0x10 RL 0 NO_CM 0 1\r\n"
               "/end CHARACTERISTIC\r\n");
    file.close();
    const MapDefinition d = only(A2LParser::parse(path));
    QCOMPARE(d.description, QStringLiteral("Pressione à regime"));
}

void TestA2LParser::hostileInput_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("maps");
    const QByteArray good = "/begin CHARACTERISTIC GOOD \"\" VALUE 0x10 RL 0 NO_CM 0 1\n"
                            "/end CHARACTERISTIC\n";
    QTest::newRow("never ends, then a good one")
        << QByteArray("/begin CHARACTERISTIC LOST \"\" MAP 0x10 RL 0 NO_CM 0 1\n") + good << 1;
    QTest::newRow("unbalanced quote, then a good one")
        << QByteArray("/begin CHARACTERISTIC Q \"never closed VALUE 0x10 RL 0 NO_CM 0 1\n") + good
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
    // Many blocks that never end: must stay linear (a regex scanning to the end of the file
    // for each of them would not).
    QByteArray unterminated;
    for (int i = 0; i < 100000; ++i)
        unterminated += "/begin CHARACTERISTIC X \"\" MAP 0x10 RL 0 NO_CM 0 1 /begin AXIS_DESCR ";
    QTest::newRow("100000 unterminated blocks") << unterminated << 0;
    // A missing axis falls back on the first point count after "/begin AXIS_DESCR"; a body
    // full of such openings without any count must not be searched once per opening.
    QByteArray descrs = "/begin CHARACTERISTIC C \"\" CURVE 0x10 RL 0 NO_CM 0 1 AXIS_PTS_REF NONE ";
    for (int i = 0; i < 200000; ++i)
        descrs += "/begin AXIS_DESCR x ";
    descrs += "/end CHARACTERISTIC";
    QTest::newRow("200000 axis openings without counts") << descrs << 1;
    QByteArray quotes;
    for (int i = 0; i < 100000; ++i)
        quotes += "/begin CHARACTERISTIC X \"";
    QTest::newRow("100000 open quotes") << quotes << 0;
    QByteArray random(4 * 1024 * 1024, Qt::Uninitialized);
    quint32 state = 12345;
    for (char &c : random) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 24);
    }
    QTest::newRow("random bytes") << random << 0;
}

void TestA2LParser::hostileInput()
{
    QFETCH(QByteArray, text);
    QFETCH(int, maps);
    QElapsedTimer timer;
    timer.start();
    const A2LParser::Result result = A2LParser::parseText(QString::fromLatin1(text));
    QCOMPARE(result.maps.size(), maps);
    QCOMPARE(result.errorMessage.isEmpty(), maps > 0);
    qDebug() << "parsed" << text.size() << "bytes in" << timer.elapsed() << "ms";
}

void TestA2LParser::mutatedDescription()
{
    QFile file(QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const QByteArray alphabet(" \n\"/*0123456789xXAEFZbeginendMAP_\\", 35);
    quint32 state = 77;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (int round = 0; round < 500; ++round) {
        QByteArray text = whole;
        for (int k = 0; k < 6; ++k)
            text[qsizetype(next() % quint32(text.size()))] = alphabet.at(next() % alphabet.size());
        if (round % 4 == 0)
            text.truncate(qsizetype(next() % quint32(text.size())));
        const A2LParser::Result result = A2LParser::parseText(QString::fromLatin1(text));
        QCOMPARE(result.maps.isEmpty(), !result.errorMessage.isEmpty());
        for (const MapDefinition &d : result.maps) {
            QVERIFY(d.rows >= 1 && d.rows <= 65535 && d.columns >= 1 && d.columns <= 65535);
            QVERIFY(d.mapOffset >= 0);
        }
    }
}

void TestA2LParser::exampleDescribesDemoImage()
{
    const QString examples = QStringLiteral(TESSA_SOURCE_DIR "/examples/");
    Firmware image;
    QVERIFY(image.load(QString(examples + QStringLiteral("tessa-demo.bin")).toStdString()));
    const A2LParser::Result result = A2LParser::parse(examples + QStringLiteral("tessa-demo.a2l"));
    QVERIFY2(result.errorMessage.isEmpty(), qPrintable(result.errorMessage));
    QCOMPARE(result.maps.size(), 5);
    const uint8_t *bytes = image.data().data();
    const qint64 length = qint64(image.size());

    const MapDefinition torque = result.maps.at(0);
    QCOMPARE(torque.name, QStringLiteral("Coppia_richiesta"));
    QCOMPARE(torque.mapOffset, 0x10000);
    QCOMPARE(torque.rows, 12);
    QCOMPARE(torque.columns, 16);
    QCOMPARE(readXAxis(torque, bytes, length).constLast(), quint16(960));
    QCOMPARE(readYAxis(torque, bytes, length).constFirst(), quint16(500));
    QCOMPARE(readYAxis(torque, bytes, length).constLast(), quint16(6000));
    QCOMPARE(readMapValues(torque, bytes, length).constFirst(), quint16(800));
    QCOMPARE(torque.unit, QStringLiteral("Nm"));
    QCOMPARE(torque.factor, 0.1);

    const MapDefinition pedal = result.maps.at(1);
    QCOMPARE(pedal.mapOffset, 0x12000);
    QCOMPARE(readXAxis(pedal, bytes, length),
             QList<quint16>({100, 250, 400, 550, 700, 850, 1000, 1150, 1300, 1450}));
    QCOMPARE(readYAxis(pedal, bytes, length).constFirst(), quint16(1000));
    QCOMPARE(readYAxis(pedal, bytes, length).constLast(), quint16(4500));

    const MapDefinition curve = result.maps.at(2);
    QCOMPARE(curve.mapOffset, 0x13000);
    QCOMPARE(curve.columns, 16);
    QCOMPARE(readXAxis(curve, bytes, length).constFirst(), quint16(2730));
    QCOMPARE(rawToPhysical(2730, curve.xFactor, curve.xOffsetFactor), 0.0);
    QCOMPARE(readMapValues(curve, bytes, length).constFirst(), quint16(1500));

    const MapDefinition boost = result.maps.at(3);
    QCOMPARE(boost.mapOffset, 0x14000);
    QCOMPARE(boost.rows * boost.columns, 256);
    QCOMPARE(boost.xAxisOffset, -1);
    QCOMPARE(readMapValues(boost, bytes, length).constFirst(), quint16(1000));

    QCOMPARE(readMapValues(result.maps.at(4), bytes, length), QList<quint16>({12}));
}

void TestA2LParser::publicSamples()
{
    const QDir dir(QStringLiteral(TESSA_SHARED_DATA_DIR "/a2l"));
    const QStringList files
        = dir.entryList({QStringLiteral("*.a2l"), QStringLiteral("*.A2L")}, QDir::Files);
    if (files.isEmpty())
        QSKIP("no public A2L samples here");
    for (const QString &name : files) {
        const A2LParser::Result result = A2LParser::parse(dir.filePath(name));
        if (name == QLatin1String("ASAP2_Demo_V171.a2l")) {
            // Its curve layout stores a 1-byte count, 1-byte points, then 16-bit values.
            const auto curve = std::find_if(
                result.maps.cbegin(), result.maps.cend(), [](const MapDefinition &d) {
                    return d.name == QLatin1String("ASAM.C.CURVE.STD_AXIS");
                });
            QVERIFY(curve != result.maps.cend());
            QCOMPARE(curve->xAxisOffset, 0x810301);
            QCOMPARE(curve->xElementSize, 1);
            QCOMPARE(curve->columns, 8);
            QCOMPARE(curve->mapOffset, 0x810309);
            QCOMPARE(curve->zElementSize, 2);
        }
        QVERIFY2(!result.maps.isEmpty(),
                 qPrintable(name + QStringLiteral(": ") + result.errorMessage));
        for (const MapDefinition &d : result.maps) {
            const QString where = name + QStringLiteral(": ") + d.name;
            QVERIFY2(d.rows >= 1 && d.columns >= 1, qPrintable(where));
            QVERIFY2(d.mapOffset >= 0, qPrintable(where));
            QVERIFY2(d.dataType == organisationFor(d.zElementSize, d.littleEndian),
                     qPrintable(where));
            if (d.xAxisOffset >= 0)
                QVERIFY2(d.xDataType == organisationFor(d.xElementSize, d.xLittleEndian),
                         qPrintable(where));
            if (d.characteristicType == QLatin1String("VALUE"))
                QVERIFY2(d.rows == 1 && d.columns == 1, qPrintable(where));
            // Axes stored in the same record come before the values.
            if (d.headerOffset >= 0 && d.xAxisOffset >= 0)
                QVERIFY2(d.xAxisOffset < d.mapOffset, qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(TestA2LParser)
#include "tst_a2lparser.moc"
