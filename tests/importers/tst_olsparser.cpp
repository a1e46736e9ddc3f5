#include "importers/olsparser.h"
#include "olsprojectbuilder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const qsizetype FirmwareSize = 0x10000;

QByteArray firmwareImage()
{
    QByteArray image(FirmwareSize, '\xAA');
    for (qsizetype i = 0; i < image.size(); i += 7)
        image[i] = char(0x5A);
    return image;
}

// Header: signature, an optional vendor text, and the firmware size as a length-prefixed
// hexadecimal text (the fallback a project without the usual size texts relies on).
OlsProjectBuilder project(const QByteArray &vendor = QByteArray())
{
    OlsProjectBuilder b;
    b.zeros(8);
    if (!vendor.isEmpty())
        b.string(vendor);
    b.string(QByteArrayLiteral("010000")).zeros(8);
    return b;
}

OLSParser::Result parse(const OlsProjectBuilder &b)
{
    return OLSParser::parseBytes(b.bytes(), QStringLiteral("/tmp/prova.ols"));
}

} // namespace

class TestOLSParser : public QObject
{
    Q_OBJECT
private slots:
    void refusals_data();
    void refusals();
    void unreadableFile();
    void firmwareSizeFromTexts_data();
    void firmwareSizeFromTexts();
    void firmwareSizeFromHead_data();
    void firmwareSizeFromHead();
    void firmwareIsTheTail();
    void vendor_data();
    void vendor();
    void conversionRecords_data();
    void conversionRecords();
    void conversionRecordTakesNearestName();
    void duplicatesRemoved();
    void boschRecords_data();
    void boschRecords();
    void boschNamedRecords();
    void genericRecords_data();
    void genericRecords();
    void projectsWithoutMaps_data();
    void projectsWithoutMaps();
    void truncatedAndHostile_data();
    void truncatedAndHostile();
    void mutatedProjects();
};

void TestOLSParser::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("valid");
    QTest::newRow("15 bytes") << QByteArray(15, 'x') << "File OLS troppo piccolo." << false;
    QByteArray zero(32, '\0');
    QTest::newRow("length 0") << zero << "Firma OLS non valida." << false;
    QByteArray tooLong = zero;
    tooLong[0] = char(65);
    QTest::newRow("length 65") << tooLong << "Firma OLS non valida." << false;
    QTest::newRow("length past the end") << OlsProjectBuilder(QByteArray(60, 'W')).bytes().left(40)
                                         << "Firma OLS non valida." << false;
    QTest::newRow("other signature") << OlsProjectBuilder("WinOLS Filf").zeros(32).bytes()
                                     << "Il file non è un progetto WinOLS valido." << false;
    QTest::newRow("no firmware size")
        << OlsProjectBuilder().zeros(64).bytes()
        << "Impossibile determinare la dimensione del firmware incorporato nel progetto OLS."
        << true;
}

void TestOLSParser::refusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QFETCH(bool, valid);
    const OLSParser::Result result = OLSParser::parseBytes(bytes, QStringLiteral("x.ols"));
    QCOMPARE(result.error, error);
    QCOMPARE(result.valid, valid);
    QVERIFY(result.firmware.isEmpty());
    QVERIFY(result.maps.isEmpty());
}

void TestOLSParser::unreadableFile()
{
    QTemporaryDir dir;
    const OLSParser::Result result = OLSParser::parse(dir.filePath(QStringLiteral("none.ols")));
    QCOMPARE(result.error, QStringLiteral("Impossibile aprire il file OLS."));
    QVERIFY(!result.valid);
}

void TestOLSParser::firmwareSizeFromTexts_data()
{
    QTest::addColumn<QByteArray>("texts");
    QTest::addColumn<qsizetype>("fileSize");
    QTest::addColumn<qint64>("size");
    QTest::newRow("both fit") << QByteArray("a 80000 b 100000 c") << qsizetype(0x100000)
                              << qint64(0x100000);
    QTest::newRow("larger one too big")
        << QByteArray("a 80000 b 100000 c") << qsizetype(0xFFFFF) << qint64(0x80000);
    // "800000" also holds "80000": the larger that fits wins.
    QTest::newRow("nested texts") << QByteArray("800000") << qsizetype(0x90000) << qint64(0x80000);
    QTest::newRow("none fits") << QByteArray("400000") << qsizetype(0x3FFFFF) << qint64(-1);
}

void TestOLSParser::firmwareSizeFromTexts()
{
    QFETCH(QByteArray, texts);
    QFETCH(qsizetype, fileSize);
    QFETCH(qint64, size);
    QByteArray bytes = OlsProjectBuilder().raw(texts).bytes();
    bytes.append(QByteArray(fileSize - bytes.size(), '\0'));
    QCOMPARE(OLSParser::detectFirmwareSize(bytes), size);
}

void TestOLSParser::firmwareSizeFromHead_data()
{
    QTest::addColumn<QByteArrayList>("strings");
    QTest::addColumn<qint64>("size");
    QTest::newRow("one size") << QByteArrayList{"020000"} << qint64(0x20000);
    QTest::newRow("largest wins") << QByteArrayList{"010000", "030000", "020000"}
                                  << qint64(0x30000);
    QTest::newRow("not a multiple of 256") << QByteArrayList{"020010"} << qint64(-1);
    QTest::newRow("below 64 KiB") << QByteArrayList{"0FF00"} << qint64(-1);
    QTest::newRow("larger than the file") << QByteArrayList{"100000"} << qint64(-1);
    QTest::newRow("not hexadecimal") << QByteArrayList{"02000G"} << qint64(-1);
    QTest::newRow("too short") << QByteArrayList{"FFFF"} << qint64(-1);
}

void TestOLSParser::firmwareSizeFromHead()
{
    QFETCH(QByteArrayList, strings);
    QFETCH(qint64, size);
    OlsProjectBuilder b;
    for (const QByteArray &s : strings)
        b.zeros(3).string(s);
    b.padTo(0x40000);
    QCOMPARE(OLSParser::detectFirmwareSize(b.bytes()), size);
}

void TestOLSParser::firmwareIsTheTail()
{
    OlsProjectBuilder b = project(QByteArrayLiteral("Bosch"));
    b.boschRecord("KFMIRL", 4, 2, "Kennfeld", 0.1, 0, 0x100, 0x110);
    const QByteArray image = firmwareImage();
    b.firmware(image);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Golf.stage1.ols"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(b.bytes());
    file.close();
    const OLSParser::Result result = OLSParser::parse(path);
    QVERIFY(result.valid);
    QCOMPARE(result.firmware, image);
    QCOMPARE(result.projectName, QStringLiteral("Golf.stage1"));
    QCOMPARE(result.maps.size(), 1);
    QVERIFY(result.error.isEmpty());
}

void TestOLSParser::vendor_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("where");
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("littleEndian");
    QTest::newRow("none") << QByteArray() << 0 << QString() << false << true;
    QTest::newRow("Marelli") << QByteArray("Magneti Marelli IAW") << 100 << "Marelli" << true
                             << false;
    QTest::newRow("Bosch") << QByteArray("Bosch EDC17") << 100 << "Bosch" << true << true;
    QTest::newRow("both: Marelli first")
        << QByteArray("Bosch / Marelli") << 100 << "Marelli" << true << false;
    QTest::newRow("beyond the head") << QByteArray("Bosch") << 5000 << QString() << false << true;
}

void TestOLSParser::vendor()
{
    QFETCH(QByteArray, head);
    QFETCH(int, where);
    QFETCH(QString, vendor);
    QFETCH(bool, known);
    QFETCH(bool, littleEndian);
    OlsProjectBuilder b = project();
    b.padTo(where).raw(head).firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QCOMPARE(result.vendor, vendor);
    QCOMPARE(result.vendorKnown, known);
    QCOMPARE(result.littleEndian, littleEndian);
}

void TestOLSParser::conversionRecords_data()
{
    QTest::addColumn<QByteArray>("vendor");
    QTest::addColumn<quint32>("rows");
    QTest::addColumn<quint32>("columns");
    QTest::addColumn<quint32>("start");
    QTest::addColumn<quint32>("end");
    QTest::addColumn<int>("elementSize");
    QTest::addColumn<int>("dataType");
    QTest::newRow("16-bit, no vendor") << QByteArray() << 8u << 16u << 0x1000u << 0x1100u << 2 << 1;
    QTest::newRow("16-bit Marelli")
        << QByteArray("Marelli") << 8u << 16u << 0x1000u << 0x1100u << 2 << 2;
    QTest::newRow("8-bit") << QByteArray() << 4u << 4u << 0x20u << 0x30u << 1 << 0;
    QTest::newRow("32-bit") << QByteArray("Marelli") << 1u << 3u << 0x40u << 0x4Cu << 4 << 3;
    QTest::newRow("3-byte elements") << QByteArray() << 1u << 4u << 0x40u << 0x4Cu << 0 << 0;
    QTest::newRow("uneven") << QByteArray() << 3u << 3u << 0x40u << 0x4Cu << 0 << 0;
    QTest::newRow("past the firmware") << QByteArray() << 1u << 8u << 0xFFF8u << 0x10008u << 0 << 0;
    QTest::newRow("start at the end") << QByteArray() << 1u << 1u << 0x10000u << 0x10000u << 0 << 0;
    QTest::newRow("rows 0") << QByteArray() << 0u << 4u << 0x40u << 0x48u << 0 << 0;
    QTest::newRow("columns 1025") << QByteArray() << 1u << 1025u << 0u << 1025u << 0 << 0;
}

void TestOLSParser::conversionRecords()
{
    QFETCH(QByteArray, vendor);
    QFETCH(quint32, rows);
    QFETCH(quint32, columns);
    QFETCH(quint32, start);
    QFETCH(quint32, end);
    QFETCH(int, elementSize);
    QFETCH(int, dataType);
    OlsProjectBuilder b = project(vendor);
    b.conversionRecord("Limitatore coppia", rows, columns, "Nm", 0.5, -10, start, end);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    if (elementSize == 0) {
        QVERIFY(result.maps.isEmpty());
        QCOMPARE(result.error,
                 QStringLiteral("Progetto WinOLS riconosciuto, ma nessun record mappa trovato."));
        QCOMPARE(result.firmware.size(), FirmwareSize);
        return;
    }
    QCOMPARE(result.maps.size(), 1);
    const MapDefinition d = result.maps.first();
    QCOMPARE(d.sourceKind, int(MapDefinition::SourceWinOLS));
    QCOMPARE(d.name, QStringLiteral("Limitatore coppia"));
    QCOMPARE(d.unit, QStringLiteral("Nm"));
    QCOMPARE(d.rows, int(rows));
    QCOMPARE(d.columns, int(columns));
    QCOMPARE(d.mapOffset, int(start));
    QCOMPARE(d.zElementSize, elementSize);
    QCOMPARE(d.dataType, dataType);
    QCOMPARE(d.factor, 0.5);
    QCOMPARE(d.offset, -10.0);
    QCOMPARE(d.littleEndian, vendor.isEmpty());
    QCOMPARE(d.xAxisOffset, -1);
    QCOMPARE(d.yAxisOffset, -1);
}

void TestOLSParser::conversionRecordTakesNearestName()
{
    OlsProjectBuilder b = project();
    b.string("Older name").zeros(10).string("Mappa iniezione").string("Asse X");
    b.u32(16).u32(8).zeros(16).raw("Conversion method").zeros(1);
    b.string("mg").f64(1).f64(0).u32(0x200).u32(0x300);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QCOMPARE(result.maps.size(), 1);
    QCOMPARE(result.maps.first().name, QStringLiteral("Mappa iniezione"));
}

void TestOLSParser::duplicatesRemoved()
{
    OlsProjectBuilder b = project();
    b.conversionRecord("Mappa A", 2, 4, "", 1, 0, 0x100, 0x110);
    b.conversionRecord("Mappa A bis", 2, 4, "", 1, 0, 0x100, 0x110);
    b.conversionRecord("Mappa A 8 bit", 2, 4, "", 1, 0, 0x100, 0x108);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QCOMPARE(result.maps.size(), 2);
    QCOMPARE(result.maps.at(0).name, QStringLiteral("Mappa A"));
    QCOMPARE(OLSParser::mapKey(result.maps.at(1)), QStringLiteral("256|2|4|1"));
}

void TestOLSParser::boschRecords_data()
{
    QTest::addColumn<bool>("layoutB");
    QTest::addColumn<quint32>("columns");
    QTest::addColumn<quint32>("rows");
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<quint32>("end");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("elementSize");
    QTest::newRow("layout A map") << false << 16u << 12u << QByteArray("Coppia") << 0x1180u << "MAP"
                                  << 2;
    QTest::newRow("layout A curve")
        << false << 8u << 1u << QByteArray("Curva") << 0x1020u << "CURVE" << 4;
    QTest::newRow("layout A value") << false << 1u << 1u << QByteArray() << 0x1001u << "VALUE" << 1;
    QTest::newRow("layout B map") << true << 10u << 8u << QByteArray("Limitatore") << 0x10A0u
                                  << "MAP" << 2;
    QTest::newRow("layout B without description")
        << true << 1u << 6u << QByteArray() << 0x100Cu << "CURVE" << 2;
    QTest::newRow("dimension 4097") << false << 4097u << 1u << QByteArray() << 0x3002u << "" << 0;
    QTest::newRow("past the firmware")
        << false << 16u << 16u << QByteArray() << 0x10200u << "" << 0;
    QTest::newRow("8-byte elements") << false << 2u << 2u << QByteArray() << 0x1020u << "" << 0;
}

void TestOLSParser::boschRecords()
{
    QFETCH(bool, layoutB);
    QFETCH(quint32, columns);
    QFETCH(quint32, rows);
    QFETCH(QByteArray, description);
    QFETCH(quint32, end);
    QFETCH(QString, type);
    QFETCH(int, elementSize);
    OlsProjectBuilder b = project("Bosch");
    b.boschRecord("KFMIOP", columns, rows, description, 0.023, 1.5, 0x1000, end, layoutB);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QCOMPARE(result.vendor, QStringLiteral("Bosch"));
    if (elementSize == 0) {
        QVERIFY(result.maps.isEmpty());
        QCOMPARE(result.error,
                 QStringLiteral("Progetto Bosch riconosciuto, ma nessuna mappa valida trovata."));
        QCOMPARE(result.firmware.size(), FirmwareSize);
        return;
    }
    QCOMPARE(result.maps.size(), 1);
    const MapDefinition d = result.maps.first();
    QCOMPARE(d.name, QStringLiteral("KFMIOP"));
    QCOMPARE(d.description, QString::fromLatin1(description));
    QCOMPARE(d.columns, int(columns));
    QCOMPARE(d.rows, int(rows));
    QCOMPARE(d.characteristicType, type);
    QCOMPARE(d.mapOffset, 0x1000);
    QCOMPARE(d.zElementSize, elementSize);
    QCOMPARE(d.dataType, organisationFor(elementSize, true));
    QCOMPARE(d.factor, 0.023);
    QCOMPARE(d.offset, 1.5);
    QVERIFY(d.littleEndian);
}

void TestOLSParser::boschNamedRecords()
{
    OlsProjectBuilder b = project("Bosch");
    // Neither carries the object marker: they are found by their names.
    b.zeros(4).objectBody("DFC_RailPresMax", 1, 1, "Errore pressione rail", 1, 0, 0x2000, 0x2002);
    b.zeros(4).objectBody("DINH_FId.FId_Rail", 4, 1, "", 1, 0, 0x2100, 0x2108);
    b.zeros(4).objectBody("DINH_FId.Broken", 4, 1, "", 1, 0, 0x2100, 0x20000);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QCOMPARE(result.maps.size(), 2);
    QCOMPARE(result.maps.at(0).name, QStringLiteral("DFC_RailPresMax"));
    QCOMPARE(result.maps.at(0).description, QStringLiteral("Errore pressione rail"));
    QCOMPARE(result.maps.at(1).name, QStringLiteral("DINH_FId.FId_Rail"));
    QCOMPARE(result.maps.at(1).description, QStringLiteral("DINH / INH Bosch"));
    QCOMPARE(result.maps.at(1).characteristicType, QStringLiteral("CURVE"));
}

void TestOLSParser::genericRecords_data()
{
    QTest::addColumn<QByteArray>("vendor");
    QTest::addColumn<bool>("sixteenBit");
    QTest::addColumn<quint32>("end");
    QTest::addColumn<int>("maps");
    QTest::newRow("plain, 8-bit") << QByteArray() << false << 0x3018u << 1;
    QTest::newRow("16-bit record") << QByteArray() << true << 0x3030u << 1;
    QTest::newRow("16-bit record, 8-bit range") << QByteArray() << true << 0x3018u << 0;
    // Bosch projects fall back to these records when nothing else is found.
    QTest::newRow("Bosch fallback") << QByteArray("Bosch") << false << 0x3030u << 1;
    QTest::newRow("past the firmware") << QByteArray() << false << 0x20000u << 0;
}

void TestOLSParser::genericRecords()
{
    QFETCH(QByteArray, vendor);
    QFETCH(bool, sixteenBit);
    QFETCH(quint32, end);
    QFETCH(int, maps);
    OlsProjectBuilder b = project(vendor);
    b.zeros(16).genericRecord("Anticipo base", 6, 4, 0.75, -20, 0x3000, end, sixteenBit);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QCOMPARE(result.maps.size(), maps);
    if (maps == 0)
        return;
    const MapDefinition d = result.maps.first();
    QCOMPARE(d.name, QStringLiteral("Anticipo base"));
    QCOMPARE(d.columns, 6);
    QCOMPARE(d.rows, 4);
    QCOMPARE(d.characteristicType, QStringLiteral("MAP"));
    QCOMPARE(d.factor, 0.75);
    QCOMPARE(d.offset, -20.0);
    QCOMPARE(qint64(d.mapOffset) + d.rows * d.columns * d.zElementSize, qint64(end));
}

void TestOLSParser::projectsWithoutMaps_data()
{
    QTest::addColumn<QByteArray>("vendor");
    QTest::addColumn<QString>("error");
    QTest::newRow("generic") << QByteArray()
                             << "Progetto WinOLS riconosciuto, ma nessun record mappa trovato.";
    QTest::newRow("Marelli") << QByteArray("Marelli")
                             << "Progetto WinOLS riconosciuto, ma nessun record mappa trovato.";
    QTest::newRow("Bosch") << QByteArray("Bosch")
                           << "Progetto Bosch riconosciuto, ma nessuna mappa valida trovata.";
}

void TestOLSParser::projectsWithoutMaps()
{
    QFETCH(QByteArray, vendor);
    QFETCH(QString, error);
    OlsProjectBuilder b = project(vendor);
    b.firmware(firmwareImage());
    const OLSParser::Result result = parse(b);
    QVERIFY(result.valid);
    QCOMPARE(result.error, error);
    QCOMPARE(result.firmware, firmwareImage());
    QVERIFY(result.maps.isEmpty());
}

void TestOLSParser::truncatedAndHostile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    OlsProjectBuilder bosch = project("Bosch MD1CS");
    bosch.boschRecord("KFZW", 16, 16, "Anticipo", 0.75, 0, 0x100, 0x300);
    const QByteArray whole = bosch.firmware(firmwareImage()).bytes();
    // Cut inside the record: whatever the cut, nothing is read past the end.
    for (int cut : {40, 80, 130, 170, 200}) {
        OlsProjectBuilder b = project("Bosch");
        b.padTo(0x10000);
        QByteArray bytes = b.bytes();
        bytes.append(whole.mid(whole.indexOf("\x02\x00\x00\x00\x03", 16), cut));
        QTest::addRow("record cut at %d", cut) << bytes;
    }
    QByteArray markers = project("Bosch").bytes();
    for (int i = 0; i < 20000; ++i)
        markers.append("\x02\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x0A\x00\x00\x00"
                       "\xff\xff\xff\xff\x2c\x01\x00\x00",
                       24);
    markers.append(QByteArray(0x10000, '\0'));
    QTest::newRow("markers with huge names") << markers;
    QByteArray random = project().bytes();
    quint32 state = 99;
    for (int i = 0; i < 2 * 1024 * 1024; ++i) {
        state = state * 1664525u + 1013904223u;
        random.append(char(state >> 24));
    }
    QTest::newRow("random bytes") << random;
    QByteArray conversion = project().bytes();
    for (int i = 0; i < 20000; ++i)
        conversion.append("\xff\xff\xff\x7f"
                          "Conversion method\x00\xff\xff\xff\xff",
                          25);
    conversion.append(QByteArray(0x10000, '\0'));
    QTest::newRow("conversion texts with huge units") << conversion;
    // Patterns every decoder stops at, at every position: the parse must stay linear.
    QTest::newRow("generic markers everywhere")
        << project().bytes() + QByteArray("\x0A\x00\x00\x00", 4).repeated(512 * 1024);
    QTest::newRow("size digits everywhere") << project().bytes() + QByteArray(2 * 1024 * 1024, '0');
    QTest::newRow("name prefixes everywhere")
        << project("Bosch").bytes() + QByteArray("\x04\x00\x00\x00" "DFC_", 8).repeated(256 * 1024);
}

void TestOLSParser::truncatedAndHostile()
{
    QFETCH(QByteArray, bytes);
    const OLSParser::Result result = OLSParser::parseBytes(bytes, QStringLiteral("h.ols"));
    QVERIFY(result.valid);
    for (const MapDefinition &d : result.maps) {
        QVERIFY(d.mapOffset >= 0);
        QVERIFY(qint64(d.mapOffset) + qint64(d.rows) * d.columns * d.zElementSize
                <= result.firmware.size());
        QVERIFY(d.zElementSize == 1 || d.zElementSize == 2 || d.zElementSize == 4);
    }
}

void TestOLSParser::mutatedProjects()
{
    // Every kind of record, then bytes of the head changed and the file cut at random: the
    // parser must stay inside the file and yield only maps inside the firmware.
    for (const QByteArray &vendor : {QByteArray("Bosch MD1"), QByteArray()}) {
        OlsProjectBuilder b = project(vendor);
        b.boschRecord("KFZW", 16, 16, "Anticipo", 0.75, 0, 0x100, 0x300);
        b.boschRecord("KFMIRL", 8, 12, "", 0.1, 0, 0x400, 0x4C0, true);
        b.zeros(4).objectBody("DINH_FId.X", 1, 1, "", 1, 0, 0x10, 0x11);
        b.conversionRecord("Mappa", 4, 4, "bar", 1, 0, 0x800, 0x820);
        b.zeros(16).genericRecord("Generica", 6, 4, 0.5, 0, 0x900, 0x930, true);
        const qsizetype head = b.size();
        const QByteArray whole = b.firmware(firmwareImage()).bytes();
        quint32 state = 2024;
        auto next = [&state] {
            state = state * 1103515245u + 12345u;
            return state >> 8;
        };
        for (int round = 0; round < 800; ++round) {
            QByteArray bytes = whole;
            for (int k = 0; k < 8; ++k)
                bytes[20 + qsizetype(next() % quint32(head - 20))] = char(next());
            if (round % 3 == 0)
                bytes.truncate(16 + qsizetype(next() % quint32(head)));
            const OLSParser::Result result = OLSParser::parseBytes(bytes, QStringLiteral("m.ols"));
            for (const MapDefinition &d : result.maps) {
                QVERIFY(d.mapOffset >= 0 && d.rows >= 1 && d.columns >= 1);
                QVERIFY(qint64(d.mapOffset) + qint64(d.rows) * d.columns * d.zElementSize
                        <= result.firmware.size());
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestOLSParser)
#include "tst_olsparser.moc"
