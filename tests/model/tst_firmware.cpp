#include "model/fingerprint.h"
#include "model/firmware.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using ByteList = QList<QPair<qint64, int>>;

class TestFirmware : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }

    static QByteArray record(int count, int address, int type, const QByteArray &data)
    {
        QByteArray line = ":" + QByteArray::number(count, 16).rightJustified(2, '0')
                          + QByteArray::number(address, 16).rightJustified(4, '0')
                          + QByteArray::number(type, 16).rightJustified(2, '0') + data.toHex()
                          + "00\n";
        return line.toUpper();
    }

private slots:
    void intelHex_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("size");
        // offset -> expected byte, checked after the size
        QTest::addColumn<ByteList>("bytes");

        const QByteArray sixteen = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F");
        QTest::newRow("0x80000000 base, data 0x10000 above")
            << (record(2, 0, 4, QByteArray::fromHex("8001")) + record(16, 0, 0, sixteen)
                + record(0, 0, 1, {}))
            << true << qint64(0x10010)
            << ByteList{{0, 0xFF}, {0xFFFF, 0xFF}, {0x10000, 0}, {0x1000F, 15}};
        QTest::newRow("gap filled with FF")
            << (record(16, 0, 0, sixteen) + record(16, 0x100, 0, sixteen)) << true << qint64(0x110)
            << ByteList{{0, 0}, {0x10, 0xFF}, {0xFF, 0xFF}, {0x100, 0}};
        QTest::newRow("later record overwrites earlier")
            << (record(2, 0, 0, QByteArray::fromHex("1111")) + record(1, 1, 0, QByteArray::fromHex("22")))
            << true << qint64(2) << ByteList{{0, 0x11}, {1, 0x22}};
        QTest::newRow("lower-case digits and wrong checksum")
            << QByteArray(":02000000abcdff\n") << true << qint64(2)
            << ByteList{{0, 0xAB}, {1, 0xCD}};
        QTest::newRow("CRLF line ends")
            << QByteArray(":02000000ABCD00\r\n:00000001FF\r\n") << true << qint64(2)
            << ByteList{{1, 0xCD}};
        QTest::newRow("short data line dropped whole")
            << (QByteArray(":04000000AABB\n") + record(1, 4, 0, QByteArray::fromHex("CC")))
            << true << qint64(1) << ByteList{{0, 0xCC}};
        QTest::newRow("type 04 with count 1 keeps the base")
            << (record(1, 0, 4, QByteArray::fromHex("80")) + record(1, 0x10, 0, QByteArray::fromHex("55")))
            << true << qint64(1) << ByteList{{0, 0x55}};
        QTest::newRow("type 02 segment base")
            << (record(2, 0, 2, QByteArray::fromHex("1000")) + record(1, 0, 0, QByteArray::fromHex("01"))
                + record(1, 0x10, 0, QByteArray::fromHex("02")))
            << true << qint64(0x10001 - 0x10000 + 0x10) << ByteList{{0, 1}, {0x10, 2}};
        QTest::newRow("end record stops reading")
            << (record(1, 0, 0, QByteArray::fromHex("01")) + record(0, 0, 1, {})
                + record(1, 1, 0, QByteArray::fromHex("02")))
            << true << qint64(1) << ByteList{{0, 1}};
        QTest::newRow("garbage lines skipped")
            << (QByteArray("hello\n:zz000000\n\n") + record(1, 0, 0, QByteArray::fromHex("07")))
            << true << qint64(1) << ByteList{{0, 7}};
        QTest::newRow("10-character end record is no end record")
            << (record(1, 0, 0, QByteArray::fromHex("01")) + QByteArray(":00000001F\n")
                + record(1, 1, 0, QByteArray::fromHex("02")))
            << true << qint64(2) << ByteList{{0, 1}, {1, 2}};
        QTest::newRow("non-hex data digit drops the record")
            << (QByteArray(":02000000AXCD00\n") + record(1, 2, 0, QByteArray::fromHex("03")))
            << true << qint64(1) << ByteList{{0, 3}};
        QTest::newRow("line not starting with colon skipped")
            << (QByteArray(" :0100000011EE\n") + record(1, 3, 0, QByteArray::fromHex("44")))
            << true << qint64(1) << ByteList{{0, 0x44}};
        QTest::newRow("type 02 with count 1 keeps the base")
            << (record(1, 0, 2, QByteArray::fromHex("10")) + record(1, 5, 0, QByteArray::fromHex("66")))
            << true << qint64(1) << ByteList{{0, 0x66}};
        QTest::newRow("last line without newline")
            << QByteArray(":0100000077FF\n:0100010088FF") << true << qint64(2)
            << ByteList{{0, 0x77}, {1, 0x88}};
        QTest::newRow("count runs past the line end, nothing read beyond")
            << QByteArray(":FF000000AABBCCDD00\n") << false << qint64(0) << ByteList{};
        QTest::newRow("no data records") << (record(0, 0, 1, {})) << false << qint64(0)
                                          << ByteList{};
        QTest::newRow("only count-0 data") << record(0, 0, 0, {}) << false << qint64(0)
                                           << ByteList{};
        QTest::newRow("span over 256 MiB refused")
            << (record(1, 0, 0, QByteArray::fromHex("01")) + record(2, 0, 4, QByteArray::fromHex("7FFF"))
                + record(1, 0xFFF0, 0, QByteArray::fromHex("02")))
            << false << qint64(0) << ByteList{};
        QTest::newRow("record running past 4 GiB refused, no wrap")
            << (record(2, 0, 4, QByteArray::fromHex("FFFF")) + record(1, 0xFFFF, 0, QByteArray::fromHex("01"))
                + record(2, 0, 4, QByteArray::fromHex("0000")) + record(1, 0, 0, QByteArray::fromHex("02")))
            << false << qint64(0) << ByteList{};
    }

    void intelHex()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(qint64, size);
        QFETCH(ByteList, bytes);
        Firmware fw;
        QCOMPARE(fw.load(write(QStringLiteral("image.hex"), text).toStdString()), ok);
        if (!ok) {
            QVERIFY(!fw.errorString().empty());
            return;
        }
        QCOMPARE(qint64(fw.size()), size);
        for (const auto &[offset, value] : bytes)
            QCOMPARE(fw.byteAt(size_t(offset)), value);
    }

    // Damaged text must give a clean refusal or a bounded image, never a read outside the
    // text (run under the sanitizers to see that).
    void corruptedIntelHexIsHandled()
    {
        QByteArray valid;
        valid += record(2, 0, 4, QByteArray::fromHex("8000"));
        for (int i = 0; i < 64; ++i)
            valid += record(16, i * 16, 0, QByteArray(16, char(i)));
        valid += record(0, 0, 1, {});
        const char alphabet[] = ":0123456789ABCDEFabcdefXZ\r\n ";
        quint32 state = 12345;
        auto next = [&state] {
            state = state * 1103515245u + 12345u;
            return (state >> 8) & 0xFFFFFF;
        };
        for (int round = 0; round < 2000; ++round) {
            QByteArray text = valid;
            const int edits = 1 + int(next() % 12);
            for (int e = 0; e < edits; ++e) {
                const int at = int(next() % quint32(text.size()));
                switch (next() % 3) {
                case 0:
                    text[at] = alphabet[next() % (sizeof(alphabet) - 1)];
                    break;
                case 1:
                    text.remove(at, int(next() % 40));
                    break;
                default:
                    text.insert(at, alphabet[next() % (sizeof(alphabet) - 1)]);
                }
            }
            if (next() % 4 == 0)
                text.truncate(int(next() % quint32(text.size())));
            // Decode from an exact-size heap copy so that an overread is caught.
            std::unique_ptr<char[]> exact(new char[std::size_t(qMax(1, int(text.size())))]);
            std::copy(text.cbegin(), text.cend(), exact.get());
            std::vector<uint8_t> image;
            std::string error;
            if (Firmware::decodeIntelHex(exact.get(), std::size_t(text.size()), image, &error))
                QVERIFY(!image.empty() && image.size() <= Firmware::MaxImageSize);
            else
                QVERIFY(!error.empty());
        }
    }

    void extensionDecidesDecoding_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("decoded");
        QTest::newRow("ECU.HEX") << QStringLiteral("ECU.HEX") << true;
        QTest::newRow("x.ihx") << QStringLiteral("x.ihx") << true;
        QTest::newRow("ecu.s19") << QStringLiteral("ecu.s19") << false;
        QTest::newRow("ecu.bin") << QStringLiteral("ecu.bin") << false;
        QTest::newRow("no extension") << QStringLiteral("dump") << false;
    }

    void extensionDecidesDecoding()
    {
        QFETCH(QString, name);
        QFETCH(bool, decoded);
        const QByteArray text = ":02000000ABCD00\n";
        Firmware fw;
        QVERIFY(fw.load(write(name, text).toStdString()));
        QCOMPARE(qint64(fw.size()), decoded ? 2 : text.size());
    }

    void namesAndBytes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("extension");
        QTest::newRow("unix") << "/a/b/ecu.bin" << "ecu.bin" << "bin";
        QTest::newRow("windows") << "C:\\dumps\\ecu.ori" << "ecu.ori" << "ori";
        QTest::newRow("no dot") << "/a/dump" << "dump" << "";
        QTest::newRow("bare") << "file.tar.gz" << "file.tar.gz" << "gz";
    }

    void namesAndBytes()
    {
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(QString, extension);
        Firmware fw;
        fw.setFilePath(path.toStdString());
        QCOMPARE(QString::fromStdString(fw.fileName()), fileName);
        QCOMPARE(QString::fromStdString(fw.extension()), extension);
    }

    void byteAtOutside()
    {
        Firmware fw;
        fw.setData({1, 2, 3});
        QCOMPARE(fw.byteAt(2), 3);
        QCOMPARE(fw.byteAt(fw.size()), 0);
        QCOMPARE(fw.byteAt(size_t(-1)), 0);
        QVERIFY(fw.isValidOffset(2));
        QVERIFY(!fw.isValidOffset(3));
    }

    void rawRoundTripAndAtomicSave()
    {
        QByteArray bytes(4096, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        Firmware fw;
        QVERIFY(fw.load(write(QStringLiteral("dump.ori"), bytes).toStdString()));
        QCOMPARE(qint64(fw.size()), qint64(bytes.size()));
        QCOMPARE(imageFingerprint(fw.data()), imageFingerprint(bytes));
        const QString out = m_dir.filePath(QStringLiteral("out.bin"));
        QVERIFY(fw.save(out.toStdString()));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
    }

    void saveToUnwritablePathFails()
    {
        Firmware fw;
        fw.setData({1});
        QVERIFY(!fw.save(m_dir.filePath(QStringLiteral("missing/dir/out.bin")).toStdString()));
        QVERIFY(!fw.errorString().empty());
    }

    void oversizedFilesRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::newRow("raw over 256 MiB") << QStringLiteral("huge.bin")
                                          << qint64(Firmware::MaxImageSize) + 1;
        QTest::newRow("Intel HEX text over 1 GiB") << QStringLiteral("huge.hex")
                                                   << qint64(Firmware::MaxImageSize) * 4 + 1;
    }

    void oversizedFilesRefused()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        // A sparse file: the size is what counts, nothing needs to be written.
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize(size))
            QSKIP("the file system cannot hold a sparse file of this size");
        f.close();
        Firmware fw;
        fw.setData({9});
        QVERIFY(!fw.load(f.fileName().toStdString()));
        QVERIFY(!fw.errorString().empty());
        QCOMPARE(fw.byteAt(0), 9); // the image held before is left alone
        QFile::remove(f.fileName());
    }

    void missingFileFails()
    {
        Firmware fw;
        QVERIFY(!fw.load(m_dir.filePath(QStringLiteral("nope.bin")).toStdString()));
        QVERIFY(fw.data().empty());
    }
};

QTEST_GUILESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
