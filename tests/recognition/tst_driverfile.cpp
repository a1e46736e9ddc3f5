#include "recognition/driverfields.h"
#include "recognition/driverfile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

namespace {

// Gives every field a value of its own, so that a field read into another's place shows.
struct Filler
{
    int n;
    void field(const char *, QString &v) { v = QStringLiteral("t%1 ü").arg(++n); }
    void field(const char *, QByteArray &v) { v = QByteArray::number(++n).append('\0'); }
    void field(const char *, qint32 &v) { v = -(++n); }
    void field(const char *, qint64 &v) { v = (qint64(++n) << 33) + 1; }
    void field(const char *, double &v) { v = ++n + 0.25; }
    void field(const char *, bool &v)
    {
        v = !v;
        ++n;
    }
    void field(const char *, QList<double> &v) { v = {++n + 0.5, -0.0, 1e300}; }
    void field(const char *, QList<DriverAnchor> &v)
    {
        const int k = ++n;
        v = {{QByteArray::number(k), -k, k, 2 * k}, {QByteArray(), 0, 0, k + 1}};
    }
};

DriverMap fullMap(int seed)
{
    DriverMap m;
    Filler filler{seed * 1000};
    visitDriverMapFields(filler, m);
    // Null and empty texts, byte strings and lists, each kept apart.
    m.description = QString();
    m.unit = QStringLiteral("");
    m.zTailSignature = QByteArray();
    m.xAxisSignature = QByteArray("");
    m.rawYValues.clear();
    return m;
}

Driver fullDriver()
{
    Driver d;
    d.text1 = QStringLiteral("uno");
    d.text2 = QString();
    d.text3 = QStringLiteral("");
    d.text4 = QStringLiteral("quattro");
    d.text5 = QStringLiteral("cinque");
    d.number = -(qint64(1) << 40);
    d.maps = {fullMap(1), fullMap(2), fullMap(3)};
    return d;
}

// Header fields by hand, for files the writer would never make.
QByteArray header(quint32 magic, qint32 version, qint32 mapCount, const QByteArray &tail = {})
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << magic << version;
    if (mapCount == INT_MIN)
        return bytes;
    for (int i = 0; i < 5; ++i)
        out << QString();
    out << qint64(0) << mapCount;
    return bytes + tail;
}

QString damaged()
{
    return QStringLiteral("Driver danneggiato o incompleto.");
}

} // namespace

class TestDriverFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void roundTripOfTheNewestVersion()
    {
        // Every one of the record's 98 fields (the anchor count goes with the anchors) is set.
        DriverMap counted;
        Filler filler{0};
        visitDriverMapFields(filler, counted);
        QCOMPARE(filler.n, 97);
        const Driver written = fullDriver();
        Driver read;
        QVERIFY(loadDriverBytes(driverFileBytes(written), read));
        QCOMPARE(read.formatVersion, 9);
        QVERIFY(read == written);
        QVERIFY(read.maps.at(0).description.isNull());
        QVERIFY(!read.maps.at(0).unit.isNull());
        QVERIFY(read.maps.at(0).zTailSignature.isNull());
        QVERIFY(!read.maps.at(0).xAxisSignature.isNull());
        QVERIFY(read.text2.isNull() && !read.text3.isNull());
    }

    // Each version: the fields it has come back as written, the first field of the next version
    // keeps its when-absent value, and the two closing fields are always read.
    void olderVersions_data()
    {
        QTest::addColumn<int>("version");
        for (int version = 2; version <= 9; ++version)
            QTest::addRow("%d", version) << version;
    }
    void olderVersions()
    {
        QFETCH(int, version);
        const Driver written = fullDriver();
        const QByteArray bytes = driverFileBytes(written, version);
        Driver read;
        QVERIFY(loadDriverBytes(bytes, read));
        QCOMPARE(read.formatVersion, version);
        QCOMPARE(read.maps.size(), 3);
        // What the version carries survives exactly.
        QCOMPARE(driverFileBytes(read, version), bytes);
        const DriverMap &m = read.maps.at(0);
        const DriverMap full = fullMap(1);
        const DriverMap absent;
        // The field as written from the version that brought it, else its when-absent value.
        const auto since = [&](int first, auto DriverMap::*field) {
            return version >= first ? full.*field : absent.*field;
        };
        QCOMPARE(m.category, since(3, &DriverMap::category));
        QCOMPARE(m.xAnchorDivisor, since(4, &DriverMap::xAnchorDivisor));
        QCOMPARE(m.byteOrder, since(5, &DriverMap::byteOrder));
        QCOMPARE(m.rangeTolerance, since(6, &DriverMap::rangeTolerance));
        QCOMPARE(m.rawXTolerance, since(7, &DriverMap::rawXTolerance));
        QCOMPARE(m.absZAddress, since(8, &DriverMap::absZAddress));
        QCOMPARE(m.absRows, since(9, &DriverMap::absRows));
        QCOMPARE(m.minScore, written.maps.at(0).minScore);
        QCOMPARE(m.signatureValid, true);
    }

    void refusals_data()
    {
        testsupport::addColumns<QByteArray, QString, bool>({"bytes", "message", "emptied"});
        const QString magic = QStringLiteral("File non riconosciuto come driver Tessamorvandi.");
        const QString version = QStringLiteral("Versione driver non supportata.");
        QTest::newRow("empty file") << QByteArray() << magic << false;
        QTest::newRow("three bytes") << QByteArray("ECU") << magic << false;
        QTest::newRow("other magic") << header(0x45435545, 9, 0) << magic << false;
        QTest::newRow("magic without version") << QByteArray("ECUD") << version << false;
        QTest::newRow("version 1") << header(DriverFileMagic, 1, 0) << version << false;
        QTest::newRow("version 10") << header(DriverFileMagic, 10, 0) << version << false;
        QTest::newRow("header cut short")
            << header(DriverFileMagic, 9, INT_MIN) << damaged() << true;
        QTest::newRow("negative map count") << header(DriverFileMagic, 9, -1) << damaged() << true;
        QTest::newRow("one map too many") << header(DriverFileMagic, 9, 1) << damaged() << true;
        // 100 bytes claiming 2^31 - 1 maps.
        QTest::newRow("2^31-1 maps in 100 bytes")
            << header(DriverFileMagic, 9, INT_MAX).leftJustified(100, '\0') << damaged() << true;
        // A map key claiming 2^32 - 2 bytes.
        QTest::newRow("2^32-2 byte string") << header(
            DriverFileMagic, 9, 1, QByteArray("\xff\xff\xff\xfe", 4) + QByteArray(80, 'a'))
                                            << damaged() << true;
        QTest::newRow("odd string length")
            << header(DriverFileMagic, 9, 1, QByteArray("\x00\x00\x00\x03", 4) + QByteArray(600, 0))
            << damaged() << true;
    }
    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, emptied);
        Driver driver = fullDriver();
        QString error;
        QVERIFY(!loadDriverBytes(bytes, driver, &error));
        QTEST(error, "message");
        QCOMPARE(driver == Driver(), emptied);
        QCOMPARE(driver == fullDriver(), !emptied);
    }

    // The file is read whole, not mapped; one larger than any driver is refused unread (a
    // sparse file: no disk is spent). At the limit it is read and judged by its bytes.
    void fileSizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("at the limit") << qint64(256) * 1024 * 1024;
        QTest::newRow("one byte over") << qint64(256) * 1024 * 1024 + 1;
    }
    void fileSizeLimit()
    {
        QFETCH(qint64, size);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("big.ecudrv")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(header(DriverFileMagic, 9, INT_MAX));
        QVERIFY(file.resize(size));
        file.close();
        Driver driver = fullDriver();
        QString error;
        QVERIFY(!loadDriverFile(file.fileName(), driver, &error));
        QCOMPARE(error, damaged());
        QCOMPARE(driver, Driver());
    }

    // A count or length inside a record claiming far more than the bytes left.
    void hostileCountsInsideRecords_data()
    {
        QTest::addColumn<QByteArray>("hostile");
        Driver one;
        one.maps = {fullMap(1)};
        const QByteArray bytes = driverFileBytes(one);
        const DriverMap &m = one.maps.first();
        QByteArray firstRawX;
        QDataStream(&firstRawX, QIODevice::WriteOnly) << m.rawXValues.first();
        const auto withCount = [&bytes](qsizetype at, const char *count) {
            QByteArray hostile = bytes;
            return hostile.replace(at, 4, QByteArray(count, 4));
        };
        QTest::newRow("anchor count")
            << withCount(bytes.indexOf(m.anchors.first().pattern) - 8, "\x7f\xff\xff\xff");
        QTest::newRow("negative anchor count")
            << withCount(bytes.indexOf(m.anchors.first().pattern) - 8, "\xff\xff\xff\xf0");
        QTest::newRow("byte string length")
            << withCount(bytes.indexOf(m.rowProfile) - 4, "\xff\xff\xff\xfe");
        QTest::newRow("value list count")
            << withCount(bytes.indexOf(firstRawX) - 4, "\x10\x00\x00\x00");
    }
    void hostileCountsInsideRecords()
    {
        QFETCH(QByteArray, hostile);
        Driver read;
        QString error;
        QVERIFY(!loadDriverBytes(hostile, read, &error));
        QCOMPARE(error, damaged());
    }

    void truncationAnywhere()
    {
        const QByteArray bytes = driverFileBytes(fullDriver());
        // Every cut after the version field, up to one byte short of the whole.
        for (qsizetype cut = 8; cut < bytes.size(); ++cut) {
            Driver driver = fullDriver();
            QString error;
            QVERIFY2(!loadDriverBytes(bytes.left(cut), driver, &error),
                     qPrintable(QString::number(cut)));
            QCOMPARE(error, damaged());
            QVERIFY(driver == Driver());
        }
        Driver whole;
        QVERIFY(loadDriverBytes(bytes, whole));
    }

    // Corrupted lengths and counts anywhere in a file: loaded or refused, never out of bounds.
    void corruptionAnywhere()
    {
        const QByteArray bytes = driverFileBytes(fullDriver());
        for (qsizetype at = 8; at < bytes.size(); at += 3) {
            for (char value : {'\xff', '\x7f', '\x00'}) {
                QByteArray damagedBytes = bytes;
                damagedBytes[at] = value;
                Driver driver;
                QString error;
                if (!loadDriverBytes(damagedBytes, driver, &error))
                    QCOMPARE(error, damaged());
            }
        }
    }

    void emptyDriverAndFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("vuoto.ecudrv"));
        QVERIFY(saveDriverFile(Driver(), path));
        Driver read = fullDriver();
        QVERIFY(loadDriverFile(path, read));
        QVERIFY(read == Driver());

        QString error;
        QVERIFY(!loadDriverFile(dir.filePath(QStringLiteral("manca.ecudrv")), read, &error));
        QCOMPARE(error, QStringLiteral("Impossibile aprire il file driver."));
        QVERIFY(
            !saveDriverFile(Driver(), dir.filePath(QStringLiteral("no/such/dir.ecudrv")), &error));
        QCOMPARE(error, QStringLiteral("Impossibile aprire il file driver in scrittura."));

        const QString full = dir.filePath(QStringLiteral("pieno.ecudrv"));
        QVERIFY(saveDriverFile(fullDriver(), full));
        QVERIFY(loadDriverFile(full, read));
        QVERIFY(read == fullDriver());
    }

    void listsDriverFilesInNameOrder()
    {
        QTemporaryDir dir;
        for (const char *name : {"b.ecudrv", "a.ecudrv", "c.txt", "d.ecudrv.bak"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("e.ecudrv")));
        QCOMPARE(listDriverFiles(dir.path()),
                 QStringList({dir.filePath(QStringLiteral("a.ecudrv")),
                              dir.filePath(QStringLiteral("b.ecudrv"))}));
        QCOMPARE(listDriverFiles(dir.filePath(QStringLiteral("missing"))), QStringList());
    }

    // The value kinds ride in byteOrder; every value an existing driver holds keeps its
    // meaning (unsigned, 2 big-endian).
    void valueKindsInByteOrder_data()
    {
        // kinds (z, x, y); written (the value a builder writes for them)
        testsupport::addColumns<qint32, bool, QList<int>, bool>(
            {"byteOrder", "littleEndian", "kinds", "written"});
        QTest::newRow("1") << 1 << true << QList<int>{0, 0, 0} << true;
        QTest::newRow("2") << 2 << false << QList<int>{0, 0, 0} << true;
        QTest::newRow("0") << 0 << true << QList<int>{0, 0, 0} << false;
        QTest::newRow("15") << 15 << true << QList<int>{0, 0, 0} << false;
        QTest::newRow("-14") << -14 << true << QList<int>{0, 0, 0} << false;
        QTest::newRow("signed Z and Y") << 1 + 16 * 10 << true << QList<int>{1, 0, 1} << true;
        QTest::newRow("float Z, signed X, big-endian")
            << 2 + 16 * 5 << false << QList<int>{2, 1, 0} << true;
        QTest::newRow("all float, largest") << 2 + 16 * 26 << false << QList<int>{2, 2, 2} << true;
        QTest::newRow("past the kinds") << 2 + 16 * 27 << true << QList<int>{0, 0, 0} << false;
        QTest::newRow("no byte order of its own")
            << 3 + 16 * 10 << true << QList<int>{0, 0, 0} << false;
    }
    void valueKindsInByteOrder()
    {
        QFETCH(qint32, byteOrder);
        QFETCH(bool, littleEndian);
        QFETCH(QList<int>, kinds);
        QFETCH(bool, written);
        DriverMap map;
        map.byteOrder = byteOrder;
        QCOMPARE(map.littleEndian(), littleEndian);
        QCOMPARE((QList<int>{map.zValueKind(), map.xValueKind(), map.yValueKind()}), kinds);
        if (written)
            QCOMPARE(DriverMap::byteOrderFor(littleEndian, kinds.at(0), kinds.at(1), kinds.at(2)),
                     byteOrder);
    }
};

QTEST_GUILESS_MAIN(TestDriverFile)
#include "tst_driverfile.moc"
