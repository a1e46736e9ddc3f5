#include "clisupport.h"
#include "importers/a2lparser.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

#include <cstdio>
#include <limits>

// The command-line tool writes its large outputs as a stream; scripts that read them must get
// the very text the whole QJsonDocument gave before.
namespace {

// Every field a value of its own, with the texts and numbers that JSON writers get wrong.
MapDefinition everyField(const QString &text, double number)
{
    MapDefinition d;
    d.sourceKind = MapDefinition::SourceWinOLS;
    d.name = text;
    d.description = text + QStringLiteral(" description");
    d.comment = QStringLiteral("comment");
    d.characteristicType = QStringLiteral("MAP");
    d.recordLayout = QStringLiteral("RL");
    d.zColumnMajor = true;
    d.rows = 3;
    d.columns = 4;
    d.mapOffset = 0x1000;
    d.xAxisOffset = 0x2000;
    d.yAxisOffset = -1;
    d.headerOffset = 0x3000;
    d.xAxis = {0, 1, 32768, 65535};
    d.yAxis = {-7.5, 8, 3e9};
    d.zValueKind = ValueSigned;
    d.yValueKind = ValueFloat;
    d.dataType = 2;
    d.xDataType = 0;
    d.yDataType = 3;
    d.xAxisSource = 0;
    d.yAxisSource = 1;
    d.littleEndian = false;
    d.xLittleEndian = true;
    d.yLittleEndian = false;
    d.zElementSize = 4;
    d.xElementSize = 1;
    d.yElementSize = 2;
    d.factor = number;
    d.offset = -number;
    d.decimals = 5;
    d.unit = QStringLiteral("bar");
    d.compuMethod = QStringLiteral("CM_Z");
    d.xAxisName = QStringLiteral("X");
    d.xAxisDescription = QStringLiteral("x axis");
    d.xUnit = QStringLiteral("rpm");
    d.xCompuMethod = QStringLiteral("CM_X");
    d.xFactor = number * 3;
    d.xOffsetFactor = 0.1;
    d.xDecimals = 1;
    d.yAxisName = QStringLiteral("Y");
    d.yAxisDescription = QStringLiteral("y axis");
    d.yUnit = QStringLiteral("%");
    d.yCompuMethod = QStringLiteral("CM_Y");
    d.yFactor = 1.0 / 3;
    d.yOffsetFactor = -2.5;
    d.yDecimals = 2;
    // Whole numbers up to 2^53 are written as integers, beyond it in the shortest form.
    d.minimum = -9.0071e15;
    d.maximum = -9.008e15;
    d.xMinimum = 9.0071e15;
    d.xMaximum = 9.008e15;
    d.yMinimum = -0.0;
    d.yMaximum = 1e-7;
    d.group = text + QStringLiteral("/gruppo");
    return d;
}

QByteArray streamed(const QList<MapDefinition> &maps, bool withSourceKind, bool *written)
{
    FILE *out = std::tmpfile();
    if (!out)
        return {};
    {
        JsonStream stream(out);
        stream.beginArray();
        for (const MapDefinition &map : maps)
            stream.mapDefinition(map, withSourceKind);
        stream.endArray();
        *written = stream.finish();
    }
    std::rewind(out);
    QByteArray text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
        text.append(chunk, qsizetype(n));
    std::fclose(out);
    return text;
}

QByteArray asBefore(const QList<MapDefinition> &maps, bool withSourceKind)
{
    QJsonArray array;
    for (const MapDefinition &map : maps)
        array.append(withSourceKind ? mapsJson({map}).first() : QJsonValue(toJson(map)));
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

class TestCliJson : public QObject
{
    Q_OBJECT

private slots:
    void mapsAsBefore_data()
    {
        testsupport::addColumns<QString, double>({"text", "number"});
        QTest::newRow("plain") << "Coppia" << 0.5;
        QTest::newRow("whole number as double") << "a" << 1e6;
        QTest::newRow("shortest digits") << "b" << 0.1;
        QTest::newRow("past exact integers") << "c" << 18014398509481984.0;
        QTest::newRow("not finite") << "d" << std::numeric_limits<double>::infinity();
        QTest::newRow("quote and backslash") << "say \"x\\y\"" << 2.0;
        QTest::newRow("control characters") << "a\tb\nc\x01\x1f\x7f" << 2.0;
        QTest::newRow("Latin-1 and beyond") << "Pressione à regime 日本 😀" << 2.0;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("x") << 2.0;
    }

    void mapsAsBefore()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        const QList<MapDefinition> maps{MapDefinition(), everyField(text, number)};
        for (bool withSourceKind : {true, false}) {
            bool written = false;
            QCOMPARE(streamed(maps, withSourceKind, &written), asBefore(maps, withSourceKind));
            QVERIFY(written);
        }
    }

    // Each description through the command, against the output the tool gave before.
    void a2lCommandAsBefore_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("demo") << QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l");
        const QDir samples(QStringLiteral(TESSA_SHARED_DATA_DIR "/a2l"));
        for (const QString &name : samples.entryList({QStringLiteral("*.a2l")}, QDir::Files))
            QTest::newRow(qPrintable(name)) << samples.filePath(name);
    }

    void a2lCommandAsBefore()
    {
        QFETCH(QString, path);
        const testsupport::ProcessResult run = testsupport::runCli({QStringLiteral("a2l"), path});
        QCOMPARE(run.exitCode, 0);
        const A2LParser::Result result = A2LParser::parse(path);
        QByteArray refused;
        if (!result.refused.isEmpty())
            refused = ",\"refused\":" + jsonText(QJsonArray::fromStringList(result.refused));
        const QByteArray before = "{\"maps\":" + jsonText(mapsJson(result.maps))
                                  + ",\"error\":" + jsonText(result.errorMessage) + refused + "}\n";
        QCOMPARE(run.out, before);
    }

    // A full disk or a closed pipe must not pass for a complete output.
    void writeFailureIsReported()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(
            QStringLiteral(TESSA_CLI_PATH),
            {QStringLiteral("a2l"), QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("cannot write the output"));
    }
};

QTEST_GUILESS_MAIN(TestCliJson)
#include "tst_clijson.moc"
