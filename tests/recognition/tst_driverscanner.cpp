#include "recognition/driverbuilder.h"
#include "recognition/drivermapdefinition.h"
#include "recognition/driverscanner.h"
#include "recognition/mapvalidation.h"
#include "recognition/patternindex.h"
#include "recognition/valueindex.h"
#include "scanfixture.h"

#include <QtTest>

#include "firmwarefixture.h"
#include "mapfields.h"
#include "testsupport.h"

#include <atomic>

namespace {

enum class Path { Auto, Raw, Manual, Anchor, Signature };

// Leaves only the flags of one recognition path on, as a driver author would for a map that
// the other paths cannot find.
void onlyPath(DriverMap &map, Path path)
{
    map.autoEnabled = path == Path::Auto;
    if (path != Path::Raw)
        map.rawXEnabled = map.rawYEnabled = false;
    if (path != Path::Anchor)
        map.useXAnchor = map.useYAnchor = false;
    if (path == Path::Signature)
        map.zFingerprint.clear();
    if (path == Path::Manual)
        map.manualAbsolute = true;
}

} // namespace

Q_DECLARE_METATYPE(Path)

class TestDriverScanner : public QObject
{
    Q_OBJECT
private slots:
    void findsMovedMaps_data()
    {
        testsupport::addColumns<Path, bool, QString>({"path", "bigEndianTarget", "status"});
        QTest::newRow("AUTO") << Path::Auto << false << "AUTO: mappa riconosciuta";
        QTest::newRow("AUTO, other byte order") << Path::Auto << true << "AUTO: mappa riconosciuta";
        QTest::newRow("RAW_ASSISTITO")
            << Path::Raw << false << "RAW_ASSISTITO: sequenza RAW TROVATA";
        QTest::newRow("anchor fallback") << Path::Anchor << false << "ANCHOR_FALLBACK: ACCETTATA";
        QTest::newRow("signature fallback")
            << Path::Signature << false << "SIGNATURE_FALLBACK: ACCETTATA";
    }

    void findsMovedMaps()
    {
        QFETCH(Path, path);
        QFETCH(bool, bigEndianTarget);
        QFETCH(QString, status);
        // The signature fallback needs the map's first bytes unchanged, as with an untouched map.
        const double change = path == Path::Signature ? 0.0 : 0.05;
        const ScanFixture f = makeScanFixture(64 * 1024, 6, 7, 1500, change, bigEndianTarget);
        DriverBuildResult built = buildDriver(f.reference, f.maps);
        QCOMPARE(built.driver.maps.size(), f.maps.size());
        for (DriverMap &map : built.driver.maps)
            onlyPath(map, path);

        const DriverScanResult result = scanDriver(f.target, built.driver);
        QCOMPARE(result.mapCount, f.maps.size());
        QCOMPARE(result.recognisedCount, f.maps.size());
        for (int i = 0; i < f.maps.size(); ++i) {
            const DriverMapMatch &match = result.matches.at(i);
            QVERIFY2(match.recognised, qPrintable(match.status));
            QCOMPARE(match.zAddress, f.targetZ.at(i));
            QCOMPARE(match.refZAddress, f.maps.at(i).mapOffset);
            QVERIFY2(match.status.contains(status), qPrintable(match.status));
            QVERIFY(match.confidence > 0.0 && match.confidence <= 100.0);
            if (path == Path::Auto || path == Path::Raw) {
                QVERIFY(match.xFound && match.yFound);
                QCOMPARE(match.xAddress, f.targetZ.at(i) - 2 * match.columns);
            }
        }
        QVERIFY(result.averageConfidence > 0.0);
    }

    // Each way recognition went wrong on real images, built: the map must be found at its true
    // place (or said to be ambiguous), never confidently elsewhere.
    void placesWhatMovedOrLooksAlike_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("a sibling of the same shape beside the true map") << 0;
        QTest::newRow("a block of maps moved together beyond the old window") << 1;
        QTest::newRow("an axis moved away from its data") << 2;
        QTest::newRow("a table of one value, moved with its region") << 3;
    }
    void placesWhatMovedOrLooksAlike()
    {
        QFETCH(int, kind);
        // Values changed a little and each map with its code moved by up to 300 bytes.
        ScanFixture f = makeScanFixture(96 * 1024, 8, 21, kind == 1 ? 0 : 300);
        QByteArray &target = f.target;
        const int i = 4;
        const MapDefinition &m = f.maps.at(i);
        const qint64 zBytes = 2LL * m.rows * m.columns;
        const qint64 z = f.targetZ.at(i);
        QList<qint64> expected = f.targetZ;
        qint64 expectedX = -1;
        if (kind == 0) {
            // The same shape, other values, 50 bytes after the true block.
            for (qint64 k = 0; k < zBytes; k += 2) {
                const quint32 v = quint8(target[z + k]) | quint8(target[z + k + 1]) << 8;
                scanfixture::putValue(target.data() + z + zBytes + 50 + k, v * 6 / 10 + 7, true);
            }
        } else if (kind == 1) {
            // 8 KiB inserted before the last four maps moves them all together.
            const qint64 at = f.maps.at(i).yAxisOffset - 1100;
            QByteArray filler(8192, Qt::Uninitialized);
            scanfixture::fillCode(filler.data(), filler.size(), 99);
            target = target.left(at) + filler + target.mid(at, target.size() - at - 8192);
            for (int k = i; k < expected.size(); ++k)
                expected[k] += 8192;
        } else if (kind == 2) {
            // The X axis now lies 200 bytes after the data; its old place holds code.
            const qint64 x = z - 2 * m.columns;
            expectedX = z + zBytes + 200;
            target.replace(expectedX, 2 * m.columns, target.mid(x, 2 * m.columns));
            // Followed by falling words, as an axis ends: not a longer axis.
            target.replace(expectedX + 2 * m.columns, 4, QByteArray("\x00\x10\x00\x01", 4));
            QByteArray code(2 * m.columns, Qt::Uninitialized);
            scanfixture::fillCode(code.data(), code.size(), 7);
            target.replace(x, code.size(), code);
        } else {
            // 24 bytes of one value in the code after the map, moved with it.
            const MapDefinition flat = testsupport::mapGrid(m.mapOffset + int(zBytes) + 100, 1, 12,
                                                            QStringLiteral("Costante"), true);
            f.reference.replace(flat.mapOffset, 24, QByteArray(24, '\x2a'));
            target.replace(z + zBytes + 100, 24, QByteArray(24, '\x2a'));
            f.maps.append(flat);
            expected.append(z + zBytes + 100);
        }
        const DriverBuildResult built = buildDriver(f.reference, f.maps);
        QCOMPARE(built.driver.maps.size(), f.maps.size());
        const DriverScanResult result = scanDriver(target, built.driver);
        QVERIFY(!result.foreignImage);
        for (int k = 0; k < expected.size(); ++k) {
            const DriverMapMatch &match = result.matches.at(k);
            QVERIFY2(match.recognised, qPrintable(match.mapKey + ": " + match.status));
            QCOMPARE(match.zAddress, expected.at(k));
            QVERIFY(match.confidence >= trustedMatchConfidence);
        }
        if (expectedX >= 0)
            QCOMPARE(result.matches.at(i).xAddress, expectedX);
    }

    // Two places that fit alike: the match says so, below the trusted level.
    void nearTieIsSaid()
    {
        ScanFixture f = makeScanFixture(16 * 1024, 1, 31, 0, 0.0);
        const MapDefinition &m = f.maps.first();
        const qint64 bytes = 2LL * (m.rows + m.columns + qint64(m.rows) * m.columns);
        // The whole map, axes and data, a second time 2 KiB further on.
        f.target.replace(m.yAxisOffset + 2048, bytes, f.target.mid(m.yAxisOffset, bytes));
        DriverBuildResult built = buildDriver(f.reference, f.maps);
        DriverMap &map = built.driver.maps.first();
        // Nothing but likeness to go by: no anchors, no reference address to prefer.
        map.anchors.clear();
        map.useXAnchor = map.useYAnchor = false;
        map.zAddress = m.yAxisOffset + 1024 + bytes;
        const DriverMapMatch match = scanDriver(f.target, built.driver).matches.first();
        QVERIFY(match.recognised);
        QVERIFY(match.zAddress == m.mapOffset || match.zAddress == m.mapOffset + 2048);
        QVERIFY2(match.status.contains(QStringLiteral("ambigua")), qPrintable(match.status));
        QVERIFY(match.confidence < trustedMatchConfidence);
    }

    // A driver scanned on an image of another family finds nothing there, and says why.
    void foreignImageIsSaid()
    {
        const ScanFixture own = makeScanFixture(96 * 1024, 10, 41);
        const ScanFixture other = makeScanFixture(96 * 1024, 10, 42);
        const DriverBuildResult built = buildDriver(own.reference, own.maps);
        const DriverScanResult foreign = scanDriver(other.target, built.driver);
        QVERIFY(foreign.foreignImage);
        QVERIFY(!foreign.imageVerdict.isEmpty());
        QCOMPARE(foreign.recognisedCount, 0);
        const DriverScanResult same = scanDriver(own.target, built.driver);
        QVERIFY(!same.foreignImage);
        QCOMPARE(same.recognisedCount, own.maps.size());
    }

    // A flag raised before the scan ends it at its first look: nothing of it is to be used.
    void cancelledScanSaysSo()
    {
        const ScanFixture f = makeScanFixture(16 * 1024, 1, 3);
        const DriverBuildResult built = buildDriver(f.reference, f.maps);
        std::atomic_bool cancel(true);
        QVERIFY(scanDriver(f.target, built.driver, nullptr, &cancel).cancelled);
        cancel = false;
        QVERIFY(!scanDriver(f.target, built.driver, nullptr, &cancel).cancelled);
    }

    void contestedBlockGoesToEarlierMap()
    {
        const ScanFixture f = makeScanFixture(16 * 1024, 1, 3);
        DriverBuildResult built = buildDriver(f.reference, f.maps);
        DriverMap copy = built.driver.maps.first();
        copy.mapKey = QStringLiteral("copy");
        built.driver.maps.append(copy);

        const DriverScanResult result = scanDriver(f.target, built.driver);
        QVERIFY(result.matches.at(0).recognised);
        QCOMPARE(result.matches.at(0).zAddress, f.targetZ.first());
        const DriverMapMatch &second = result.matches.at(1);
        const qint64 firstEnd
            = f.targetZ.first() + 2LL * f.maps.first().rows * f.maps.first().columns;
        QVERIFY(!second.recognised || second.zAddress >= firstEnd
                || second.zAddress + 2LL * second.rows * second.columns <= f.targetZ.first());
    }

    void manualAbsoluteRespectsClaims_data()
    {
        // distance (from the first map's end to the manual block)
        testsupport::addColumns<qint64, bool>({"distance", "recognised"});
        QTest::newRow("overlaps the last byte") << qint64(-1) << false;
        QTest::newRow("starts right after") << qint64(0) << true;
    }

    void manualAbsoluteRespectsClaims()
    {
        QFETCH(qint64, distance);
        QFETCH(bool, recognised);
        const ScanFixture f = makeScanFixture(16 * 1024, 1, 5);
        DriverBuildResult built = buildDriver(f.reference, f.maps);
        const DriverMap &first = built.driver.maps.first();
        const qint64 end = f.targetZ.first() + 2LL * first.rows * first.columns;
        DriverMap manual;
        manual.mapKey = QStringLiteral("manual");
        manual.rows = 2;
        manual.columns = 2;
        manual.zElementSize = 2;
        manual.manualAbsolute = true;
        manual.absZAddress = end + distance;
        built.driver.maps.append(manual);

        const DriverScanResult result = scanDriver(f.target, built.driver);
        QVERIFY(result.matches.at(0).recognised);
        const DriverMapMatch &match = result.matches.at(1);
        QCOMPARE(match.recognised, recognised);
        if (recognised) {
            QCOMPARE(match.confidence, 100.0);
            QCOMPARE(match.zAddress, end);
            QCOMPARE(match.status,
                     QStringLiteral("MANUAL_AXIS: nessuna firma RAW X/Y configurata | "
                                    "MANUAL_ABSOLUTE: ACCETTATA"));
        }
    }

    void signatureFallbackSkipsDecoy()
    {
        ScanFixture f = makeScanFixture(32 * 1024, 1, 11, 1500, 0.0);
        DriverBuildResult built = buildDriver(f.reference, f.maps);
        DriverMap &map = built.driver.maps.first();
        onlyPath(map, Path::Signature);
        // A copy of the first bytes of the map early in the image, without its tail and axes.
        f.target.replace(256, map.zSignature.size(), map.zSignature);

        const DriverScanResult result = scanDriver(f.target, built.driver);
        QVERIFY2(result.matches.first().recognised, qPrintable(result.matches.first().status));
        QCOMPARE(result.matches.first().zAddress, f.targetZ.first());
    }

    void invalidSignatureFailsAutoAndTriesNextPaths()
    {
        const ScanFixture f = makeScanFixture(16 * 1024, 1, 9);
        DriverBuildResult built = buildDriver(f.reference, f.maps);
        DriverMap &map = built.driver.maps.first();
        map.signatureValid = false;
        QVERIFY(map.rawXEnabled || map.rawYEnabled);

        const DriverMapMatch match = scanDriver(f.target, built.driver).matches.first();
        QVERIFY(match.status.startsWith(QLatin1String("AUTO: fallito | RAW_ASSISTITO")));
        QVERIFY(match.recognised);
        QCOMPARE(match.zAddress, f.targetZ.first());
    }

    void nothingToTry()
    {
        Driver driver;
        driver.maps.append(DriverMap());
        const DriverScanResult result = scanDriver(QByteArray(1024, '\1'), driver);
        QCOMPARE(result.matches.first().status,
                 QStringLiteral("Nessun percorso di riconoscimento disponibile"));
        QCOMPARE(result.recognisedCount, 0);
        QCOMPARE(result.averageConfidence, 0.0);
    }

    void emptyInputs()
    {
        Driver driver;
        driver.maps.resize(3);
        const DriverScanResult noImage = scanDriver(QByteArray(), driver);
        QCOMPARE(noImage.mapCount, 3);
        QVERIFY(noImage.matches.isEmpty());
        QCOMPARE(scanDriver(QByteArray(100, '\0'), Driver()).mapCount, 0);
    }

    void hostileDriverReadsNothingOutside_data()
    {
        QTest::addColumn<DriverMap>("map");
        const ScanFixture f = makeScanFixture(16 * 1024, 1, 13);
        DriverMap good;
        QVERIFY(buildDriverMap(f.reference, f.maps.first(), good));
        good.rawXEnabled = good.rawYEnabled = true;
        good.manualAbsolute = true;
        good.absZAddress = 0;

        DriverMap huge = good;
        huge.rows = huge.columns = std::numeric_limits<qint32>::max();
        huge.absRows = huge.absColumns = std::numeric_limits<qint32>::max();
        QTest::newRow("huge dimensions") << huge;
        DriverMap beyond = good;
        beyond.zAddress = beyond.xAddress = beyond.yAddress = qint64(1) << 40;
        beyond.absZAddress = std::numeric_limits<qint64>::max() - 1;
        beyond.xAxisDelta = beyond.yAxisDelta = std::numeric_limits<qint64>::min();
        beyond.xAnchorDelta = beyond.yAnchorDelta = std::numeric_limits<qint64>::max();
        for (DriverAnchor &anchor : beyond.anchors)
            anchor.delta = std::numeric_limits<qint64>::max();
        QTest::newRow("addresses beyond the image") << beyond;
        DriverMap zeroSize = good;
        zeroSize.zElementSize = zeroSize.xElementSize = zeroSize.yElementSize = 0;
        QTest::newRow("element size 0") << zeroSize;
        DriverMap negative = good;
        negative.rows = -5;
        negative.zElementSize = -2;
        negative.absZAddress = 16 * 1024 - 1;
        QTest::newRow("negative sizes, block past the end") << negative;
        // Scores computed from these are not numbers; they must not pass for evidence.
        DriverMap notANumber = good;
        notANumber.manualAbsolute = false;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        notANumber.xFactor = notANumber.xOffset = notANumber.zFactor = nan;
        notANumber.xMin = notANumber.yMin = notANumber.zMean = nan;
        notANumber.zRangeA = notANumber.xRangeA = nan;
        notANumber.rawXTolerance = notANumber.rawYTolerance = nan;
        QTest::newRow("NaN factors, ranges and statistics") << notANumber;
        DriverMap infinite = notANumber;
        const double inf = std::numeric_limits<double>::infinity();
        infinite.xFactor = infinite.xOffset = infinite.zFactor = inf;
        infinite.xMin = infinite.yMin = infinite.zMean = -inf;
        infinite.zRangeA = infinite.xRangeA = inf;
        infinite.rawXTolerance = infinite.rawYTolerance = inf;
        QTest::newRow("infinite factors, ranges and statistics") << infinite;
    }

    void hostileDriverReadsNothingOutside()
    {
        QFETCH(DriverMap, map);
        const ScanFixture f = makeScanFixture(16 * 1024, 1, 13);
        Driver driver;
        driver.maps = {map, map};
        DriverMap signatureOnly = map;
        onlyPath(signatureOnly, Path::Signature);
        driver.maps.append(signatureOnly);
        DriverMap anchorOnly = map;
        anchorOnly.autoEnabled = false;
        driver.maps.append(anchorOnly);

        // An address sanitizer build turns any read outside the image into a failure here.
        const DriverScanResult result = scanDriver(f.target, driver);
        QCOMPARE(result.matches.size(), 4);
        QVERIFY(result.averageConfidence >= 0 && result.averageConfidence <= 100);
        for (const DriverMapMatch &match : result.matches) {
            QVERIFY2(match.confidence >= 0 && match.confidence <= 100,
                     qPrintable(QString::number(match.confidence)));
            if (!match.recognised)
                continue;
            const qint64 bytes
                = qint64(std::max(1, match.zElementSize)) * match.rows * match.columns;
            QVERIFY(match.zAddress >= 0 && match.zAddress + bytes <= f.target.size());
        }
    }

    // A raw axis of 30 000 points of blank values over blank flash, or expecting 0 with an
    // infinite tolerance, answers at once (an unbounded search took hours).
    void hugeRawAxisOverBlankFlashAnswers()
    {
        const QByteArray blank(1024 * 1024, '\xff');
        DriverMap map;
        map.mapKey = QStringLiteral("huge");
        map.rows = 1;
        map.columns = 30000;
        map.zElementSize = map.xElementSize = map.yElementSize = 2;
        map.hasXAxis = map.hasYAxis = true;
        map.rawXEnabled = map.rawYEnabled = true;
        map.rawXValues = QList<double>(30000, 65535.0);
        map.rawYValues = {0.0};
        map.rawYTolerance = std::numeric_limits<double>::infinity();
        map.rawXTolerance = std::numeric_limits<double>::infinity();
        Driver driver;
        driver.maps = {map};
        map.columns = 3;
        map.rawXValues = {65535.0, 65535.0, 65535.0};
        driver.maps.append(map);
        const DriverScanResult result = scanDriver(blank, driver);
        QCOMPARE(result.matches.size(), 2);
        QVERIFY(!result.matches.first().recognised);
    }

    // The value index against a walk over every element, across bucket edges and the ends of
    // the value range.
    void valueIndexMatchesAWalk_data()
    {
        testsupport::addColumns<int, bool, int, int>({"size", "littleEndian", "lo", "hi"});
        QTest::newRow("bytes, all") << 1 << true << -5 << 300;
        QTest::newRow("bytes, one value") << 1 << true << 0x4e << 0x4e;
        QTest::newRow("words, across a bucket edge") << 2 << true << 0x12f0 << 0x1310;
        QTest::newRow("words, big-endian") << 2 << false << 0x4e00 << 0x4eff;
        QTest::newRow("words, top of the range") << 2 << true << 0xff00 << 0x10000;
        QTest::newRow("words, empty range") << 2 << true << 9 << 8;
    }
    void valueIndexMatchesAWalk()
    {
        QFETCH(int, size);
        QFETCH(bool, littleEndian);
        QFETCH(int, lo);
        QFETCH(int, hi);
        const ScanFixture f = makeScanFixture(16 * 1024, 2, 17);
        const ValueIndex index(f.reference, size, littleEndian);
        std::vector<qint64> expected;
        for (qint64 p = 0; p + size <= f.reference.size(); p += size) {
            const int v = int(readValue(f.reference, p, size, littleEndian));
            if (v >= lo && v <= hi)
                expected.push_back(p);
        }
        std::vector<qint64> found;
        index.appendIn(lo, hi, found);
        std::sort(found.begin(), found.end());
        QCOMPARE(found, expected);
        QCOMPARE(index.countIn(lo, hi), qint64(expected.size()));
    }

    void patternIndexMatchesFindAll_data()
    {
        testsupport::addColumns<QByteArray, int>({"pattern", "maxHits"});
        QTest::newRow("overlapping hits") << QByteArray("aaaa") << 64;
        QTest::newRow("capped") << QByteArray("aaaa") << 3;
        QTest::newRow("at the very end") << QByteArray("tail!") << 8;
        QTest::newRow("shorter than a prefix") << QByteArray("ab") << 8;
        QTest::newRow("absent") << QByteArray("zzzzzz") << 8;
    }

    void patternIndexMatchesFindAll()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(int, maxHits);
        const QByteArray image
            = QByteArray("xxaaaaaaabxab") + QByteArray(500, 'q') + QByteArray("aaaaaab tail!");
        const PatternIndex index(image, {pattern, QByteArray("aaaa"), QByteArray()}, 64);
        QCOMPARE(index.hits(pattern, maxHits), findAll(image, pattern, maxHits));
    }

    void definitionOfMatch_data()
    {
        testsupport::addColumns<int, int, bool, int, int, int>(
            {"elementSize", "byteOrder", "xFound", "dataType", "xDataType", "xAxisSource"});
        QTest::newRow("16-bit little-endian, X found") << 2 << 1 << true << 1 << 1 << 1;
        QTest::newRow("16-bit big-endian, X found") << 2 << 2 << true << 2 << 2 << 1;
        QTest::newRow("16-bit big-endian, no X") << 2 << 2 << false << 2 << 1 << 0;
        QTest::newRow("8-bit") << 1 << 1 << true << 0 << 0 << 1;
        QTest::newRow("32-bit") << 4 << 2 << true << 3 << 3 << 1;
    }

    void definitionOfMatch()
    {
        QFETCH(int, elementSize);
        QFETCH(int, byteOrder);
        QFETCH(bool, xFound);
        QFETCH(int, dataType);
        QFETCH(int, xDataType);
        QFETCH(int, xAxisSource);
        DriverMap map;
        map.byteOrder = byteOrder;
        DriverMapMatch match;
        match.displayName = QStringLiteral("Name");
        match.description = QStringLiteral("Description");
        match.unit = QStringLiteral("Nm");
        match.compuMethod = QStringLiteral("CM");
        match.rows = 3;
        match.columns = 5;
        match.zAddress = 0x1000;
        match.xAddress = xFound ? 0x0f00 : -1;
        match.yAddress = 0x0f80;
        match.zElementSize = elementSize;
        match.xElementSize = elementSize;
        match.xFound = xFound;
        match.yFound = false;

        COMPARE_FIELDS(
            mapDefinitionFromMatch(match, map),
            QStringLiteral("name=Name; description=Description; unit=Nm; compuMethod=CM; "
                           "rows=3; columns=5; mapOffset=0x1000; yAxisOffset=0xf80; "
                           "headerOffset=-1; yAxisSource=0; factor=1; zElementSize=%1; "
                           "dataType=%2; littleEndian=%3; xAxisOffset=%4; xDataType=%5; "
                           "xAxisSource=%6; xElementSize=%7")
                .arg(elementSize)
                .arg(dataType)
                .arg(QLatin1String(byteOrder != 2 ? "true" : "false"))
                .arg(match.xAddress)
                .arg(xDataType)
                .arg(xAxisSource)
                .arg(xFound ? elementSize : 2));
    }

    // A signed map (and its signed axis): the driver keeps the statistics of its signed values
    // and its kinds, and the scan finds it moved in another image and loads it with them.
    void signedMapsKeepTheirSign()
    {
        QByteArray reference(0x3000, '\0');
        scanfixture::fillCode(reference.data(), reference.size(), 7);
        MapDefinition map = testsupport::mapGrid(0x1020, 8, 8, QStringLiteral("Anticipo"));
        map.yAxisOffset = 0x1000;
        map.xAxisOffset = 0x1010;
        map.zValueKind = map.yValueKind = ValueSigned;
        const auto put = [&reference](qint64 at, int value) {
            reference[at] = char(value & 0xFF);
            reference[at + 1] = char((value >> 8) & 0xFF);
        };
        for (int i = 0; i < 8; ++i) {
            put(map.yAxisOffset + 2 * i, -40 + 20 * i);
            put(map.xAxisOffset + 2 * i, 800 + 400 * i);
        }
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                put(map.mapOffset + 2 * (8 * r + c),
                    -600 + 90 * r + 40 * c + int(30 * std::sin(r + c)));
        DriverMap built;
        QVERIFY(buildDriverMap(reference, map, built));
        QCOMPARE(built.byteOrder, 1 + 16 * (1 + 9));
        QCOMPARE(built.zMin, -600.0);
        QCOMPARE(built.zMax, 339.0);
        QCOMPARE(built.yMin, -40.0);
        QCOMPARE(built.yMax, 100.0);
        QCOMPARE(built.rawYValues.constFirst(), -40.0);

        // Another version: everything 0x120 bytes further on.
        QByteArray target(0x120, '\0');
        scanfixture::fillCode(target.data(), target.size(), 8);
        target += reference.left(reference.size() - 0x120);
        Driver driver;
        driver.maps = {built};
        const DriverScanResult result = scanDriver(target, driver);
        QCOMPARE(result.matches.size(), 1);
        const DriverMapMatch &match = result.matches.constFirst();
        QVERIFY2(match.recognised, qPrintable(match.status));
        QCOMPARE(match.zAddress, map.mapOffset + 0x120);
        const MapDefinition found = mapDefinitionFromMatch(match, built);
        QCOMPARE(found.zValueKind, int(ValueSigned));
        const auto *bytes = reinterpret_cast<const uint8_t *>(target.constData());
        QCOMPARE(readMapValues(found, bytes, target.size()).constFirst(), -600.0);
        if (match.yFound)
            QCOMPARE(readYAxis(found, bytes, target.size()).constFirst(), -40.0);
    }

    void itemTextFallsBack()
    {
        DriverMapMatch match;
        match.zAddress = 0x1a2b0;
        QCOMPARE(driverMapItemText(match), QStringLiteral("MAP 0X0001A2B0"));
        match.description = QStringLiteral("Descrizione");
        QCOMPARE(driverMapItemText(match), match.description);
        match.displayName = QStringLiteral("Nome");
        QCOMPARE(driverMapItemText(match), match.displayName);
    }
};

QTEST_GUILESS_MAIN(TestDriverScanner)
#include "tst_driverscanner.moc"
