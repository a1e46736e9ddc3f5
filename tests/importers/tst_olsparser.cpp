#include "importers/olsparser.h"
#include "mapfields.h"
#include "olsprojectbuilder.h"

#include <QtTest>

#include "testsupport.h"

namespace {

const QString NoRecords
    = QStringLiteral("Progetto WinOLS riconosciuto, ma nessun record mappa trovato.");
const QString NoBoschMaps
    = QStringLiteral("Progetto Bosch riconosciuto, ma nessuna mappa valida trovata.");

QByteArray image()
{
    QByteArray bytes(0x10000, '\xAA');
    for (qsizetype i = 0; i < bytes.size(); i += 7)
        bytes[i] = char(0x5A);
    return bytes;
}

void row(const char *name, const QByteArray &bytes, const QString &maps, const QString &error = {})
{
    QTest::newRow(name) << bytes << maps << error;
}

bool insideFirmware(const OLSParser::Result &result)
{
    return std::all_of(result.maps.cbegin(), result.maps.cend(), [&](const MapDefinition &d) {
        return d.mapOffset >= 0 && d.rows >= 1 && d.columns >= 1
               && (d.zElementSize == 1 || d.zElementSize == 2 || d.zElementSize == 4)
               && qint64(d.mapOffset) + qint64(d.rows) * d.columns * d.zElementSize
                      <= result.firmware.size();
    });
}

quint32 randomState = 1;
quint32 nextRandom()
{
    randomState = randomState * 1103515245u + 12345u;
    return randomState >> 8;
}

} // namespace

class TestOLSParser : public QObject
{
    Q_OBJECT
private slots:
    void refusals_data()
    {
        testsupport::addColumns<QByteArray, QString, bool>({"bytes", "error", "valid"});
        const auto refusal = [](const char *name, const QByteArray &bytes, const QString &error) {
            QTest::newRow(name) << bytes << error << false;
        };
        refusal("no file", {}, "Impossibile aprire il file OLS.");
        refusal("15 bytes", QByteArray(15, 'x'), "File OLS troppo piccolo.");
        refusal("16 bytes", QByteArray(16, 'x'), "Firma OLS non valida.");
        refusal("length 64", OlsProjectBuilder(QByteArray(64, 'W')).zeros(32).bytes(),
                "Il file non è un progetto WinOLS valido.");
        QByteArray zero(32, '\0');
        refusal("length 0", zero, "Firma OLS non valida.");
        zero[0] = char(65);
        refusal("length 65", zero, "Firma OLS non valida.");
        refusal("length past the end", OlsProjectBuilder(QByteArray(60, 'W')).bytes().left(40),
                "Firma OLS non valida.");
        refusal("other signature", OlsProjectBuilder("WinOLS Filf").zeros(32).bytes(),
                "Il file non è un progetto WinOLS valido.");
        QTest::newRow("no firmware size")
            << OlsProjectBuilder().zeros(64).bytes()
            << "Impossibile determinare la dimensione del firmware incorporato nel progetto OLS."
            << true;
    }

    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(bool, valid);
        const OLSParser::Result result = bytes.isEmpty()
                                             ? OLSParser::parse(QDir::temp().filePath("none/x.ols"))
                                             : OLSParser::parseBytes(bytes, "x.ols");
        QCOMPARE(result.error, error);
        QCOMPARE(result.valid, valid);
        QVERIFY(result.firmware.isEmpty() && result.maps.isEmpty());
    }

    void firmwareSize_data()
    {
        testsupport::addColumns<QByteArray, qint64>({"bytes", "size"});
        const auto texts = [](const char *name, const QByteArray &texts, qsizetype fileSize,
                              qint64 size) {
            QTest::newRow(name) << OlsProjectBuilder().raw(texts).padTo(fileSize).bytes() << size;
        };
        texts("texts, both fit", "a 80000 b 100000 c", 0x100000, 0x100000);
        texts("texts, larger too big", "a 80000 b 100000 c", 0xFFFFF, 0x80000);
        // "800000" also holds "80000": the larger that fits wins.
        texts("nested texts", "800000", 0x90000, 0x80000);
        texts("no text fits", "400000", 0x3FFFFF, -1);
        QTest::newRow("text at the file's start")
            << QByteArray("80000").leftJustified(0x80000, '\0') << qint64(0x80000);
        QTest::newRow("text at the file's end")
            << OlsProjectBuilder().padTo(0x80000 - 5).raw("80000").bytes() << qint64(0x80000);
        const auto head = [](const char *name, const QByteArrayList &sizes, qint64 size) {
            OlsProjectBuilder b;
            for (const QByteArray &s : sizes)
                b.zeros(3).string(s);
            QTest::newRow(name) << b.padTo(0x40000).bytes() << size;
        };
        head("head, largest wins", {"010000", "030000", "020000"}, 0x30000);
        head("head, not a multiple of 256", {"020010"}, -1);
        head("head, below 64 KiB", {"0FF00"}, -1);
        head("head, larger than the file", {"100000"}, -1);
        head("head, not hexadecimal", {"02000G"}, -1);
        head("head, too short", {"FFFF"}, -1);
        // Only the first 4 KiB are the head.
        for (const int end : {4096, 4097})
            QTest::addRow("head, text ending at %d", end)
                << OlsProjectBuilder().padTo(end - 10).string("020000").padTo(0x40000).bytes()
                << qint64(end == 4096 ? 0x20000 : -1);
        head("head, 8 digits", {"00020000"}, 0x20000);
        head("head, 9 digits", {"000020000"}, -1);
    }

    void firmwareSize()
    {
        QFETCH(QByteArray, bytes);
        QTEST(OLSParser::detectFirmwareSize(bytes), "size");
    }

    void vendor_data()
    {
        testsupport::addColumns<QByteArray, int, QString, bool>(
            {"head", "where", "vendor", "littleEndian"});
        QTest::newRow("none") << QByteArray() << 0 << QString() << true;
        QTest::newRow("Marelli") << QByteArray("Magneti Marelli IAW") << 100 << "Marelli" << false;
        QTest::newRow("Bosch") << QByteArray("Bosch EDC17") << 100 << "Bosch" << true;
        QTest::newRow("both: Marelli first")
            << QByteArray("Bosch / Marelli") << 100 << "Marelli" << false;
        QTest::newRow("beyond the head") << QByteArray("Bosch") << 5000 << QString() << true;
    }

    void vendor()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, where);
        QFETCH(QString, vendor);
        QFETCH(bool, littleEndian);
        const OLSParser::Result result = OLSParser::parseBytes(
            OlsProjectBuilder::project().padTo(where).raw(head).raw(image()).bytes(), "v.ols");
        QCOMPARE(result.vendor, vendor);
        QCOMPARE(result.vendorKnown, !vendor.isEmpty());
        QCOMPARE(result.littleEndian, littleEndian);
    }

    void records_data()
    {
        // The fields of each map found, in order, separated by '|'; the error when none is.
        testsupport::addColumns<QByteArray, QString, QString>({"bytes", "maps", "error"});
        using B = OlsProjectBuilder;

        const auto conv = [](const QByteArray &vendor, quint32 rows, quint32 columns, quint32 end) {
            const OlsRecord r{"Limitatore coppia", columns, rows, 0.5, -10, 0x1000, end, "Nm"};
            return B::project(vendor).conversion(r).raw(image()).bytes();
        };
        row("conversion, 16-bit", conv({}, 8, 16, 0x1100),
            "sourceKind=2; name=Limitatore coppia; unit=Nm; rows=8; columns=16; mapOffset=0x1000; "
            "factor=0.5; offset=-10; xAxisOffset=-1; yAxisOffset=-1; zElementSize=2; dataType=1; "
            "littleEndian=true");
        row("conversion, 16-bit Marelli", conv("Marelli", 8, 16, 0x1100),
            "zElementSize=2; dataType=2; littleEndian=false");
        row("conversion, 8-bit", conv({}, 4, 4, 0x1010), "zElementSize=1; dataType=0");
        row("conversion, 32-bit", conv("Marelli", 1, 3, 0x100C), "zElementSize=4; dataType=3");
        row("3-byte elements", conv({}, 1, 4, 0x100C), {}, NoRecords);
        row("uneven", conv({}, 3, 3, 0x100C), {}, NoRecords);
        row("rows 0", conv({}, 0, 4, 0x1008), {}, NoRecords);
        row("columns 1025", conv({}, 1, 1025, 0x1000 + 1025), {}, NoRecords);
        const auto at = [](quint32 start, quint32 end) {
            return B::project()
                .conversion({"Mappa", 1, 1, 1, 0, start, end, ""})
                .raw(image())
                .bytes();
        };
        row("conversion past the firmware", at(0xFFFF, 0x10001), {}, NoRecords);
        row("conversion at the end", at(0x10000, 0x10000), {}, NoRecords);
        B nearest = B::project();
        nearest.string("Older name").zeros(10).string("Mappa iniezione");
        nearest.conversion({"Asse X", 16, 8, 1, 0, 0x200, 0x300, "mg"}).raw(image());
        row("conversion takes the nearest name", nearest.bytes(), "name=Mappa iniezione");
        row("duplicates removed",
            B::project()
                .conversion({"Mappa A", 4, 2, 1, 0, 0x100, 0x110, ""})
                .conversion({"Mappa A bis", 4, 2, 1, 0, 0x100, 0x110, ""})
                .conversion({"Mappa A 8 bit", 4, 2, 1, 0, 0x100, 0x108, ""})
                .raw(image())
                .bytes(),
            "name=Mappa A | name=Mappa A 8 bit");

        // Both sides of each cap, and a block that ends with the firmware.
        row("rows 1024", conv({}, 1024, 1, 0x1000 + 1024), "rows=1024; columns=1; zElementSize=1");
        row("rows 1025", conv({}, 1025, 1, 0x1000 + 1025), {}, NoRecords);
        row("columns 1024", conv({}, 1, 1024, 0x1000 + 1024), "columns=1024");
        row("conversion ends at the end", at(0xFFFF, 0x10000), "mapOffset=0xffff");
        const auto sized = [](int nameLength, int unitLength) {
            // Far enough from the project's own texts that only this name is near.
            return B::project()
                .zeros(200)
                .conversion({QByteArray(nameLength, 'N'), 1, 1, 1, 0, 0x100, 0x101,
                             QByteArray(unitLength, 'u')})
                .raw(image())
                .bytes();
        };
        row("name of 80, unit of 256", sized(80, 256), "mapOffset=0x100");
        row("name of 81", sized(81, 0), {}, NoRecords);
        row("unit of 257", sized(10, 257), {}, NoRecords);

        const auto bosch
            = [](quint32 columns, quint32 rows, const QByteArray &text, quint32 end, bool layoutB) {
                  const OlsRecord r{"KFMIOP", columns, rows, 0.023, 1.5, 0x1000, end, text};
                  return B::project("Bosch").bosch(r, layoutB).raw(image()).bytes();
              };
        row("Bosch A map", bosch(16, 12, "Coppia", 0x1180, false),
            "name=KFMIOP; description=Coppia; columns=16; rows=12; characteristicType=MAP; "
            "mapOffset=0x1000; zElementSize=2; dataType=1; factor=0.023; offset=1.5; "
            "littleEndian=true");
        row("Bosch A curve", bosch(8, 1, "Curva", 0x1020, false),
            "characteristicType=CURVE; zElementSize=4; dataType=3");
        row("Bosch A value", bosch(1, 1, {}, 0x1001, false),
            "characteristicType=VALUE; zElementSize=1; description=");
        row("Bosch B map", bosch(10, 8, "Limitatore", 0x10A0, true),
            "description=Limitatore; columns=10; rows=8; zElementSize=2");
        row("Bosch B without description", bosch(1, 6, {}, 0x100C, true),
            "characteristicType=CURVE; rows=6; description=");
        row("Bosch dimension 4097", bosch(4097, 1, {}, 0x3002, false), {}, NoBoschMaps);
        row("Bosch past the firmware", bosch(16, 16, {}, 0x10200, false), {}, NoBoschMaps);
        row("Bosch 8-byte elements", bosch(2, 2, {}, 0x1020, false), {}, NoBoschMaps);
        row("Bosch dimension 4096", bosch(4096, 1, {}, 0x2000, false), "columns=4096");
        row("Bosch 4096 rows", bosch(1, 4096, {}, 0x2000, false), "rows=4096");
        row("Bosch 4097 rows", bosch(1, 4097, {}, 0x3002, false), {}, NoBoschMaps);
        row("Bosch A description of 100", bosch(16, 12, QByteArray(100, 'd'), 0x1180, false),
            "columns=16; rows=12");
        row("Bosch A description of 101", bosch(16, 12, QByteArray(101, 'd'), 0x1180, false), {},
            NoBoschMaps);
        // Layout B marks a missing description by a length of -1 to -16.
        const QByteArray layoutB = bosch(1, 6, {}, 0x100C, true);
        const QByteArray noLength(4, '\xFF');
        row("Bosch B description length -16",
            QByteArray(layoutB).replace(noLength, QByteArray("\xF0\xFF\xFF\xFF", 4)),
            "rows=6; description=");
        // 300 columns: more than the generic records' reading takes, so only this one reads it.
        const auto boschNamed = [](int nameLength, quint32 kind) {
            const OlsRecord r{QByteArray(nameLength, 'K'), 300, 1, 1, 0, 0x1000, 0x1000 + 300, ""};
            return B::project("Bosch")
                .u32(kind)
                .u32(1)
                .raw(QByteArray("\x02\0\0\0\x0A\0\0\0", 8))
                .zeros(4)
                .object(r)
                .raw(image())
                .bytes();
        };
        row("Bosch name of 300, kind 32", boschNamed(300, 32), "columns=300; rows=1");
        row("Bosch name of 301", boschNamed(301, 32), {}, NoBoschMaps);
        row("Bosch kind 33", boschNamed(10, 33), {}, NoBoschMaps);
        // Neither carries the object marker: they are found by their names.
        B named = B::project("Bosch");
        named.zeros(4).object({"DFC_RailPresMax", 1, 1, 1, 0, 0x2000, 0x2002, "Errore rail"});
        named.zeros(4).object({"DINH_FId.FId_Rail", 4, 1, 1, 0, 0x2100, 0x2108, ""});
        named.zeros(4).object({"DINH_FId.Broken", 4, 1, 1, 0, 0x2100, 0x20000, ""});
        row("DFC_ and DINH_FId. records", named.raw(image()).bytes(),
            "name=DFC_RailPresMax; description=Errore rail | name=DINH_FId.FId_Rail; "
            "description=DINH / INH Bosch; characteristicType=CURVE");

        const auto generic = [](const QByteArray &vendor, bool sixteenBit, quint32 end) {
            const OlsRecord r{"Anticipo base", 6, 4, 0.75, -20, 0x3000, end, ""};
            return B::project(vendor).zeros(16).generic(r, sixteenBit).raw(image()).bytes();
        };
        row("generic 8-bit", generic({}, false, 0x3018),
            "name=Anticipo base; columns=6; rows=4; characteristicType=MAP; factor=0.75; "
            "offset=-20; mapOffset=0x3000; zElementSize=1");
        row("generic 16-bit", generic({}, true, 0x3030), "zElementSize=2");
        row("generic 16-bit, 8-bit range", generic({}, true, 0x3018), {}, NoRecords);
        // Bosch projects fall back to these records when nothing else is found.
        row("generic Bosch fallback", generic("Bosch", false, 0x3030), "zElementSize=2");
        row("generic past the firmware", generic({}, false, 0x20000), {}, NoRecords);
        const auto genericOf = [](const QByteArray &name, quint32 columns) {
            const OlsRecord r{name, columns, 1, 1, 0, 0x3000, 0x3000 + columns, ""};
            return B::project().zeros(16).generic(r).raw(image()).bytes();
        };
        row("generic 256 columns, name of 300", genericOf(QByteArray(300, 'G'), 256),
            "columns=256");
        row("generic 257 columns", genericOf("Anticipo", 257), {}, NoRecords);
        row("generic name of 301", genericOf(QByteArray(301, 'G'), 4), {}, NoRecords);
        row("no records", B::project().raw(image()).bytes(), {}, NoRecords);
        row("no Bosch records", B::project("Bosch").raw(image()).bytes(), {}, NoBoschMaps);
    }

    void records()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, maps);
        QFETCH(QString, error);
        const OLSParser::Result result = OLSParser::parseBytes(bytes, "p.ols");
        QVERIFY(result.valid);
        QCOMPARE(result.firmware, image());
        QCOMPARE(result.error, error);
        const QStringList expected = maps.split(u'|', Qt::SkipEmptyParts);
        QCOMPARE(result.maps.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            COMPARE_FIELDS(result.maps.at(i), expected.at(i));
    }

    void truncatedAndHostile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray head = OlsProjectBuilder::project().bytes();
        const QByteArray bosch = OlsProjectBuilder::project("Bosch").bytes();
        const QByteArray record = OlsProjectBuilder::project("Bosch MD1CS")
                                      .bosch({"KFZW", 16, 16, 0.75, 0, 0x100, 0x300, "Anticipo"})
                                      .bytes();
        // Whatever the cut inside the record, nothing is read past the end.
        for (int cut : {40, 80, 130, 170, 200})
            QTest::addRow("record cut at %d", cut)
                << QByteArray(bosch + QByteArray(0x10000, '\0')
                              + record.mid(record.indexOf(OlsProjectBuilder::boschMarker()), cut));
        const QByteArray zeros(0x10000, '\0');
        const auto repeated = [](const char *name, const QByteArray &head, const char *pattern,
                                 qsizetype size, int times, const QByteArray &tail) {
            QTest::newRow(name) << QByteArray(head + QByteArray(pattern, size).repeated(times)
                                              + tail);
        };
        repeated("markers with huge names", bosch,
                 "\2\0\0\0\3\0\0\0\2\0\0\0\n\0\0\0\377\377\377\377,\1\0\0", 24, 20000, zeros);
        repeated("conversion texts with huge units", head,
                 "\377\377\377\177Conversion method\0\377\377\377\377", 25, 20000, zeros);
        // Patterns every decoder stops at, at every position: the parse must stay linear.
        repeated("generic markers everywhere", head, "\n\0\0\0", 4, 512 * 1024, {});
        repeated("size digits everywhere", head, "0", 1, 2 * 1024 * 1024, {});
        repeated("name prefixes everywhere", bosch, "\4\0\0\0DFC_", 8, 256 * 1024, {});
        QByteArray random = head;
        for (int i = 0; i < 2 * 1024 * 1024; ++i)
            random.append(char(nextRandom() >> 16));
        QTest::newRow("random bytes") << random;
    }

    void truncatedAndHostile()
    {
        QFETCH(QByteArray, bytes);
        const OLSParser::Result result = OLSParser::parseBytes(bytes, "h.ols");
        QVERIFY(result.valid && insideFirmware(result));
    }

    void mutatedProjects()
    {
        // Every kind of record, then bytes of the head changed and the file cut at random: the
        // parser must stay inside the file and yield only maps inside the firmware.
        for (const QByteArray &vendor : {QByteArray("Bosch MD1"), QByteArray()}) {
            OlsProjectBuilder b = OlsProjectBuilder::project(vendor);
            b.bosch({"KFZW", 16, 16, 0.75, 0, 0x100, 0x300, "Anticipo"});
            b.bosch({"KFMIRL", 8, 12, 0.1, 0, 0x400, 0x4C0, ""}, true);
            b.zeros(4).object({"DINH_FId.X", 1, 1, 1, 0, 0x10, 0x11, ""});
            b.conversion({"Mappa", 4, 4, 1, 0, 0x800, 0x820, "bar"});
            b.zeros(16).generic({"Generica", 6, 4, 0.5, 0, 0x900, 0x930, ""}, true);
            const quint32 head = quint32(b.size());
            const QByteArray whole = b.raw(image()).bytes();
            randomState = 2024;
            for (int round = 0; round < 800; ++round) {
                QByteArray bytes = whole;
                for (int k = 0; k < 8; ++k)
                    bytes[20 + nextRandom() % (head - 20)] = char(nextRandom());
                if (round % 3 == 0)
                    bytes.truncate(16 + nextRandom() % head);
                const OLSParser::Result result = OLSParser::parseBytes(bytes, "m.ols");
                QVERIFY(insideFirmware(result));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestOLSParser)
#include "tst_olsparser.moc"
